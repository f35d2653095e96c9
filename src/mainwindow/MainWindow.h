#pragma once

#include "common/AppError.h"
#include "items/ItemRecordSet.h"
#include "items/ItemStore.h"

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>

class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QToolBar;

namespace tv {
class ItemBinding;
class ItemEditor;
class ItemNavigator;
class ItemTableModel;
class KeyboardScanDetector;
class ScanRouter;
class StocktakeWindow;
class ReorderStatusLine;
class TipOfTheDay;

// The program's one lasting window: the current item in bound fields, every item in the grid,
// the item's picture, and every command of the program.
class Prompts;
class AboutDialog;
class BarcodeWindow;
class HistoryWindow;
class LabelsWindow;
class ManualWindow;
class UpdateCheckWindow;

// The item records the program folder names, not opened yet; a server address that cannot be
// used gives records over no store and the error the main window shows at load.
struct ChosenRecords
{
    std::unique_ptr<ItemRecordSet> records;
    std::optional<AppError> error;
};
ChosenRecords chooseRecords(const QString &folder);

class MainWindow;
// The main window over the records of the program folder, asking through the program's prompts.
std::unique_ptr<MainWindow> makeMainWindow();

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // The window works on the records it is given; a store that could not be chosen is shown at load.
    MainWindow(ChosenRecords records, tv::Prompts &prompts, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The item record set of the hidden data control m_records.
    tv::ItemRecordSet &recordSet() { return *m_records; }
    tv::ItemBinding &binding() { return *m_binding; }
    tv::TipOfTheDay &tipOfTheDay() { return *TipOfTheDay; }

    // txtfield elements 3..10 (name, number, count, cost, picture path, total value, reorder level,
    // order quantity).
    QLineEdit *txtfield(int index) const;
    QComboBox *cboDate() const { return m_cboDate; }
    QComboBox *cboVendor() const { return m_cboVendor; }
    QComboBox *cboInvNum() const { return m_cboInvNum; }
    QTableView *grid() const { return m_grid; }
    tv::ReorderStatusLine *reorderLine() const { return m_reorderLine; }
    QLabel *picture() const { return m_image1; }
    QPushButton *button(const QString &objectName) const;
    QToolBar *toolbar() const { return m_toolbar; }
    QTimer &tipTimer() { return m_tipTimer; }
    tv::KeyboardScanDetector &keyboardScans() { return *m_keyboardScans; }
    tv::ScanRouter &scans() { return *m_scans; }
    QLabel *scanNotice() const { return m_scanNotice; }

    // The path of the picture shown last (View) and the file dialog's starting folder.
    const QString &picturePath() const { return m_picturePath; }
    const QString &cdl1InitDir() const { return m_cdl1InitDir; }

    // The title for a record count; right after the last row was deleted a count of 0 still
    // says "Records".
    static QString recordCountTitle(int count, bool lastRowDeleted = false);
    void refreshTitle(bool lastRowDeleted = false);

    // Takes typed text still pending in the bound fields into the current row. Returns whether
    // any was taken in; throws AppError when a field's text is refused.
    bool commitEdits();
    // Pending text, then the record set's save. Throws AppError on failure.
    void saveData();

public slots:
    void showPicture();

    void addItem();
    void saveItem();
    void deleteItem();
    void findItem();
    void moveFirst();
    void movePrevious();
    void moveNext();
    void moveLast();
    void addPicture();
    void deletePicture();
    void openReport();
    void openBarcodeWindow();
    void openLabelsWindow();
    void openScannerWindow();
    void openUpdateCheck();
    void exitProgram();
    void gridRowClicked();

    void toolbarButtonClicked(const QString &key);
    void backupDatabase();
    void restoreDatabase();
    void exportCsv();       // CSV files for spreadsheets
    void openReorderList(); // the status line's click: writes reorder.html and shows it
    void importCsv();
    // The reorder list of the items in reorder.html, shown in the viewer. Throws AppError.
    void writeReorderList();
    void showTipAtStartup();
    // A code from a scanner that types like a keyboard: what the scan mode says (find, or count).
    void keyboardScan(const QString &code);
    void openStocktake();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    void buildToolbar();
    QGroupBox *buildDetails(QWidget *central, QList<QWidget *> &tabOrder);
    QGroupBox *buildPictureFrame(QWidget *central, QList<QWidget *> &tabOrder);
    QGridLayout *buildRecordButtons(QWidget *central, QList<QWidget *> &tabOrder);
    QTableView *buildGrid(QWidget *central);
    QLabel *buildScanNotice(QWidget *central);
    void showScanNotice();
    QHBoxLayout *buildWindowButtons(QWidget *central, QList<QWidget *> &tabOrder);
    void bindFields();
    QPushButton *makeButton(const char *name, const QString &caption, void (MainWindow::*slot)(),
                            QWidget *parentWidget);
    void load();
    // The leaving steps; returns false when the user cancelled.
    bool leaveProgram();
    void syncGridToRecordSet();
    void gridRowChanged(int row);
    // With a server: the count in the title and a deleted current item follow other workstations.
    void followOtherWorkstations();
    // With a server: asks a lost one again, opens the record set once it is there, and reads every
    // row again after it came back.
    void tryServerAgain();
    // After the server came back: every row again, the same item current.
    void readEverythingAgain();
    // With a server: the rows are read after the window shows, which keeps answering meanwhile.
    void loadFromServer();
    // With a server: the line under the window says whether it is away or slow to answer.
    void showServerState();
    // Where the items are kept, for the about box and the manual.
    QString databaseInUse() const;

    std::optional<tv::AppError> m_storeError;
    std::unique_ptr<tv::ItemRecordSet> m_records;
    tv::Prompts &m_prompts;
    // The lasting windows, each created on first use.
    QPointer<BarcodeWindow> m_barcodeWindow;
    QPointer<HistoryWindow> m_history;
    QPointer<LabelsWindow> m_labelsWindow;
    QPointer<StocktakeWindow> m_stocktake;
    QPointer<UpdateCheckWindow> m_updateCheck;
    QPointer<ManualWindow> m_manual;
    QPointer<AboutDialog> m_about;
    tv::ReorderStatusLine *m_reorderLine = nullptr;
    std::unique_ptr<tv::ItemBinding> m_binding;
    std::unique_ptr<tv::ItemNavigator> m_navigator;
    tv::ItemEditor *m_editor = nullptr;
    tv::ItemTableModel *m_model = nullptr;
    tv::TipOfTheDay *TipOfTheDay = nullptr;

    std::array<QLineEdit *, 11> m_txtfield{};
    QComboBox *m_cboDate = nullptr;
    QComboBox *m_cboVendor = nullptr;
    QComboBox *m_cboInvNum = nullptr;
    QTableView *m_grid = nullptr;
    QGroupBox *m_frame1 = nullptr;
    QLabel *m_image1 = nullptr;
    QToolBar *m_toolbar = nullptr;
    QTimer m_tipTimer;
    QTimer m_reconnect;
    bool m_serverLost = false;
    bool m_rereadPending = false;
    bool m_serverWaiting = false;
    bool m_connecting = false;
    QLabel *m_serverState = nullptr;
    tv::KeyboardScanDetector *m_keyboardScans = nullptr;
    tv::ScanRouter *m_scans = nullptr;
    QLabel *m_scanNotice = nullptr;

    QString m_picturePath;
    QString m_cdl1InitDir;
    int m_answer = 0; // the last question's answer; nothing reads it back
    bool m_syncingGrid = false;
};

} // namespace tv
