#pragma once

#include <QDialog>
#include <QPointer>
#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace tv {

class ItemRecordSet;
class ScannerPort;
class ScanRouter;

// "Barcode Reader": connects to a barcode scanner on COM1 to COM4, shows each code it sends, and
// hands a code to the main window: the first item whose number contains it, or a new item.
// One lasting instance per main window, shown without blocking it; Send and Exit only hide it,
// the close box unloads it (the next Scan Barcode creates it anew and probes the ports again).
class ScannerWindow : public QDialog
{
    Q_OBJECT
public:
    // records: the main window's item record set; itemNumberField: its item number field, which
    // shows the current row and refreshes the picture when it gets the focus; router: takes the
    // codes that count (one of the window's own when none is given).
    ScannerWindow(ItemRecordSet &records, QLineEdit *itemNumberField, QWidget *parent = nullptr,
                  ScanRouter *router = nullptr);
    ~ScannerWindow() override;

    // The main window's Scan Barcode: the lasting window of `owner` (created on first use, or
    // again after its close box unloaded it), its code box emptied, shown non-modal.
    static ScannerWindow *scan(ItemRecordSet &records, QLineEdit *itemNumberField, QWidget *owner,
                               ScanRouter *router = nullptr);

    // True once the close box has unloaded the window (it is deleted shortly after).
    bool isUnloaded() const { return m_unloaded; }

public slots:
    // Empties the code box; the receive buffer keeps any partial code.
    void clearBarcode();

    void connectPort();
    void disconnectPort();
    void clearCode();
    void sendCode();
    void closeWindow();
    void codeArrived(const QString &code);
    void reject() override; // Escape: as Exit

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildWindow();
    QGroupBox *buildPortFrame();
    QLayout *buildPortChoice(QWidget *frame);
    QLabel *buildStatus(QWidget *frame);
    QLayout *buildPortButtons(QWidget *frame);
    QGroupBox *buildCodeFrame();
    QCheckBox *buildKeyboardOption();
    QGroupBox *buildModeFrame();
    void modeChosen();
    void showMode();
    QLayout *buildCommandButtons();
    void connectControls();
    void load();
    void portLost(const QString &message);
    void unload();

    std::array<QRadioButton *, 4> m_portChoices{}; // COM1 to COM4
    QLabel *m_status = nullptr;
    QLineEdit *m_codeField = nullptr;
    QCheckBox *m_acceptKeyboardScanners = nullptr;
    QPushButton *m_connectButton = nullptr;
    QPushButton *m_disconnectButton = nullptr;
    QPushButton *m_clearButton = nullptr;
    QPushButton *m_sendButton = nullptr;
    QPushButton *m_exitButton = nullptr;
    ScannerPort *m_port = nullptr;
    std::array<QRadioButton *, 3> m_modeChoices{}; // find, add to the count, take from it
    QSpinBox *m_quantity = nullptr;
    ScanRouter *m_router = nullptr;

    ItemRecordSet &m_records;
    QPointer<QLineEdit> m_field;
    bool m_sending = false;
    bool m_unloadAfterSend = false;
    bool m_unloaded = false;
};

} // namespace tv
