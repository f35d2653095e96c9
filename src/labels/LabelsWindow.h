#pragma once

#include "labels/LabelPrint.h"

#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPrinter;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace tv {

class ItemRecordSet;

// "Print Labels": barcodes of many items at once on a sheet of labels or a label printer, with a
// preview of the first page, printed through the printer dialog or saved as a PDF file.
class LabelsWindow : public QWidget
{
    Q_OBJECT
public:
    // The rows selected in the main window's grid, asked afresh whenever they count.
    using SelectedRows = std::function<std::vector<int>()>;
    // Shows the printer dialog for a printer already set up; false when the user cancelled.
    using PrinterDialog = std::function<bool(QPrinter &)>;

    LabelsWindow(ItemRecordSet &records, SelectedRows selectedRows, QWidget *parent = nullptr);
    ~LabelsWindow() override;

    void setPrinterDialog(PrinterDialog dialog) { m_printerDialog = std::move(dialog); }
    static bool showPrinterDialog(QPrinter &printer, QWidget *parent);

    // The labels as the window's choices stand now, fitted to a printer of that resolution.
    LabelJob currentJob(int dotsPerInch = kPdfDotsPerInch) const;

public slots:
    // Plans again and redraws the preview: the choices, the items or the selection changed.
    void refresh();
    void printLabelsNow();
    void saveAsPdf();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QGroupBox *buildItemChoice();
    QGroupBox *buildHowMany();
    QGroupBox *buildContent();
    QGroupBox *buildSheet();
    QGroupBox *buildCustomSheet();
    QGroupBox *buildPrinter();
    QWidget *buildPreview();
    QWidget *buildButtons();
    void wireChoices();
    void followRecords();
    void fillSheets();
    void fillPrinters();
    void sheetChosen();
    void customSheetEdited();
    void printerChosen();
    void offsetEdited();
    void showCustomSheet(const LabelSheet &sheet);
    LabelSheet chosenSheet() const;
    ItemChoice itemChoice() const;
    void showPlan(const LabelJob &job);
    // Runs a print or a save with a progress box that can cancel it, the window answering meanwhile.
    LabelsResult runWithProgress(const QString &doing,
                                 const std::function<LabelsResult(const LabelProgress &)> &run);
    void setRunning(bool running);

    ItemRecordSet &m_records;
    SelectedRows m_selectedRows;
    PrinterDialog m_printerDialog;
    std::vector<LabelSheet> m_sheets;
    QTimer m_refreshSoon;
    bool m_running = false;
    bool m_cancelRun = false;
    bool m_closeAfterRun = false;
    bool m_filling = false;

    QWidget *m_body = nullptr;
    QRadioButton *m_optCurrent = nullptr;
    QRadioButton *m_optSelected = nullptr;
    QRadioButton *m_optAll = nullptr;
    QSpinBox *m_copies = nullptr;
    QCheckBox *m_inStock = nullptr;
    QCheckBox *m_showName = nullptr;
    QCheckBox *m_showCost = nullptr;
    QComboBox *m_sheet = nullptr;
    QSpinBox *m_startRow = nullptr;
    QSpinBox *m_startColumn = nullptr;
    QGroupBox *m_custom = nullptr;
    std::array<QDoubleSpinBox *, 8> m_customSizes{}; // page, label, margins and gaps
    QSpinBox *m_customRows = nullptr;
    QSpinBox *m_customColumns = nullptr;
    QComboBox *m_printer = nullptr;
    QDoubleSpinBox *m_offsetLeft = nullptr;
    QDoubleSpinBox *m_offsetDown = nullptr;
    QLabel *m_preview = nullptr;
    QLabel *m_summary = nullptr;
    QLabel *m_problem = nullptr;
    QLabel *m_leftOutLabel = nullptr;
    QListWidget *m_leftOut = nullptr;
    QPushButton *m_print = nullptr;
    QPushButton *m_savePdf = nullptr;
    QPushButton *m_close = nullptr;
};

} // namespace tv
