#include "frmReadCode.h"

#include "KeyboardScan.h"
#include "ScannerPort.h"
#include "ScannerSend.h"
#include "SerialPorts.h"

#include "common/ErrorTrap.h"
#include "common/LastingWindow.h"
#include "common/ModalSafety.h"
#include "common/Prompts.h"
#include "items/ItemRecordSet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tv {

namespace {
const QString kForm = QStringLiteral("frmReadCode");

QFont tahoma(qreal points)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    return font;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption,
                        const QString &accessibleName, const QString &description)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAccessibleName(accessibleName);
    button->setAccessibleDescription(description);
    button->setToolTip(description);
    return button;
}

// Ports that exist but are locked or refused stay selectable, so Connect can say why.
bool disablesOption(PortFailure::Kind kind)
{
    return kind != PortFailure::Kind::Busy && kind != PortFailure::Kind::NotPermitted;
}
} // namespace

frmReadCode::frmReadCode(ItemRecordSet &records, QLineEdit *itemNumberField, QWidget *parent)
    : QDialog(parent), m_records(records), m_field(itemNumberField)
{
    setObjectName(kForm);
    setWindowTitle(QStringLiteral("Barcode Reader"));
    setAccessibleName(QStringLiteral("Barcode Reader"));
    setModal(false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    buildWindow();
    Form_Load();
}

frmReadCode::~frmReadCode() = default;

frmReadCode *frmReadCode::scan(ItemRecordSet &records, QLineEdit *itemNumberField, QWidget *owner)
{
    frmReadCode *window = nullptr;
    const QList<frmReadCode *> windows =
        owner->findChildren<frmReadCode *>(kForm, Qt::FindDirectChildrenOnly);
    for (frmReadCode *w : windows)
        if (!w->isUnloaded()) window = w;
    if (!window) window = new frmReadCode(records, itemNumberField, owner);
    window->clearBarcode();
    bringForward(window);
    return window;
}

void frmReadCode::buildWindow()
{
    auto *outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    outer->setSpacing(10);

    fraFrames[0] = new QGroupBox(QStringLiteral("Barcode Reader Options"), this);
    fraFrames[0]->setObjectName(QStringLiteral("fraFrames_0"));
    fraFrames[0]->setAccessibleName(QStringLiteral("Barcode Reader Options"));
    auto *options = new QVBoxLayout(fraFrames[0]);
    options->setSpacing(10);

    auto *portRow = new QHBoxLayout;
    auto *group = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        const QString name = ScannerPort::portName(i + 1);
        auto *opt = new QRadioButton(QStringLiteral("COM&%1").arg(i + 1), fraFrames[0]);
        opt->setObjectName(QStringLiteral("optComPort_%1").arg(i));
        opt->setAccessibleName(name);
        opt->setFont(tahoma(8.25));
        group->addButton(opt, i);
        portRow->addWidget(opt);
        optComPort[static_cast<size_t>(i)] = opt;
    }
    optComPort[0]->setChecked(true);
    options->addLayout(portRow);

    lblStatus = new QLabel(QStringLiteral("Idle"), fraFrames[0]);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setFont(tahoma(11.25));
    lblStatus->setAlignment(Qt::AlignCenter);
    lblStatus->setFrameShape(QFrame::StyledPanel);
    lblStatus->setFrameShadow(QFrame::Sunken);
    lblStatus->setMinimumHeight(lblStatus->fontMetrics().height() * 2);
    options->addWidget(lblStatus);

    auto *portButtons = new QHBoxLayout;
    cmdConnect =
        makeButton(fraFrames[0], "cmdConnect", QStringLiteral("&Connect ComPort"),
                   QStringLiteral("Connect ComPort"), QStringLiteral("Opens the chosen port to the scanner"));
    cmdDisconnect =
        makeButton(fraFrames[0], "cmdDisconnect", QStringLiteral("&DisConnect ComPort"),
                   QStringLiteral("DisConnect ComPort"), QStringLiteral("Closes the port to the scanner"));
    portButtons->addWidget(cmdConnect);
    portButtons->addWidget(cmdDisconnect);
    options->addLayout(portButtons);
    outer->addWidget(fraFrames[0]);

    fraFrames[1] = new QGroupBox(QStringLiteral("Barcode Scanned"), this);
    fraFrames[1]->setObjectName(QStringLiteral("fraFrames_1"));
    fraFrames[1]->setAccessibleName(QStringLiteral("Barcode Scanned"));
    auto *scanned = new QVBoxLayout(fraFrames[1]);
    txtBarcode = new QLineEdit(fraFrames[1]);
    txtBarcode->setObjectName(QStringLiteral("txtBarcode"));
    txtBarcode->setAccessibleName(QStringLiteral("Barcode"));
    txtBarcode->setAccessibleDescription(QStringLiteral("The last code the scanner sent"));
    txtBarcode->setReadOnly(true);
    txtBarcode->setAlignment(Qt::AlignCenter);
    txtBarcode->setFont(tahoma(9.75));
    txtBarcode->setMinimumWidth(txtBarcode->fontMetrics().averageCharWidth() * 32);
    scanned->addWidget(txtBarcode);
    outer->addWidget(fraFrames[1]);

    chkKeyboardScanners = new QCheckBox(QStringLiteral("Accept scanners that type like a &keyboard"), this);
    chkKeyboardScanners->setObjectName(QStringLiteral("chkKeyboardScanners"));
    chkKeyboardScanners->setAccessibleName(QStringLiteral("Accept scanners that type like a keyboard"));
    chkKeyboardScanners->setToolTip(QStringLiteral(
        "A code typed much faster than a person types, ended by Enter or Tab, is taken as a scan "
        "in the main window"));
    chkKeyboardScanners->setChecked(keyboardScannersAccepted());
    connect(chkKeyboardScanners, &QCheckBox::toggled, this, [](bool on) { setKeyboardScannersAccepted(on); });
    outer->addWidget(chkKeyboardScanners);

    auto *commands = new QHBoxLayout;
    cmdClear = makeButton(this, "cmdClear", QStringLiteral("C&lear Barcode"), QStringLiteral("Clear Barcode"),
                          QStringLiteral("Empties the code box"));
    cmdSend =
        makeButton(this, "cmdSend", QStringLiteral("&Send to Ketbook"), QStringLiteral("Send to Ketbook"),
                   QStringLiteral("Finds the item with this code, or adds it as a new item"));
    cmdExit = makeButton(this, "cmdExit", QStringLiteral("E&xit"), QStringLiteral("Exit"),
                         QStringLiteral("Closes the port and hides this window"));
    cmdSend->setDefault(true);
    commands->addWidget(cmdClear);
    commands->addWidget(cmdSend);
    commands->addWidget(cmdExit);
    outer->addLayout(commands);

    ComPort = new ScannerPort(scannerPortPaths(), this);
    ComPort->setObjectName(QStringLiteral("ComPort"));

    connect(cmdConnect, &QPushButton::clicked, this, &frmReadCode::cmdConnect_Click);
    connect(cmdDisconnect, &QPushButton::clicked, this, &frmReadCode::cmdDisconnect_Click);
    connect(cmdClear, &QPushButton::clicked, this, &frmReadCode::cmdClear_Click);
    connect(cmdSend, &QPushButton::clicked, this, &frmReadCode::cmdSend_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmReadCode::cmdExit_Click);
    connect(ComPort, &ScannerPort::codeScanned, this, &frmReadCode::ComPort_OnComm);
    connect(ComPort, &ScannerPort::connectionLost, this, &frmReadCode::portLost);
}

void frmReadCode::Form_Load()
{
    // Every port is tried; one that cannot be opened is greyed out without a word, and the
    // selection stays on COM1 even when that one is greyed out.
    for (int n = 1; n <= kScannerPortCount; ++n) {
        QRadioButton *opt = optComPort[static_cast<size_t>(n - 1)];
        const QString path = ComPort->devicePath(n);
        const QString tip = path.isEmpty() ? QStringLiteral("No serial port") : path;
        opt->setToolTip(tip);
        opt->setAccessibleDescription(tip);
        if (const auto failure = ComPort->probe(n); failure && disablesOption(failure->kind))
            opt->setEnabled(false);
    }
}

void frmReadCode::clearBarcode()
{
    txtBarcode->clear();
}

void frmReadCode::cmdConnect_Click()
{
    int number = 1;
    for (int i = 0; i < 4; ++i)
        if (optComPort[static_cast<size_t>(i)]->isChecked()) {
            number = i + 1;
            break;
        }
    ComPort->setPortNumber(number);
    ComPort->close();
    if (const auto failure = ComPort->open()) {
        prompts().message(failure->message, MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    lblStatus->setText(QStringLiteral("Connected..."));
    cmdConnect->setEnabled(false);
    cmdDisconnect->setEnabled(true);
}

void frmReadCode::cmdDisconnect_Click()
{
    ComPort->close();
    lblStatus->setText(QStringLiteral("DisConnected..."));
    cmdDisconnect->setEnabled(false);
    cmdConnect->setEnabled(true);
}

void frmReadCode::portLost(const QString &message)
{
    lblStatus->setText(QStringLiteral("DisConnected..."));
    cmdDisconnect->setEnabled(false);
    cmdConnect->setEnabled(true);
    prompts().message(message, MsgButtons::Ok, MsgIcon::Exclamation);
}

void frmReadCode::ComPort_OnComm(const QString &code)
{
    txtBarcode->setText(code);
    lblStatus->setText(QStringLiteral("Barcode Scanned"));
}

void frmReadCode::cmdClear_Click()
{
    clearBarcode();
}

void frmReadCode::cmdSend_Click()
{
    // The search lets other events run; a second press meanwhile is ignored.
    if (m_sending) return;
    m_sending = true;
    const QPointer<frmReadCode> self(this);
    const QString boxText = txtBarcode->text();
    SendOutcome outcome;
    trapped(QStringLiteral("cmdSend_Click"), kForm,
            [&] { outcome = sendBarcode(m_records, boxText, [] { QCoreApplication::processEvents(); }); });
    if (!self) return;
    m_sending = false;
    if (outcome.kind != SendOutcome::Kind::Nothing) {
        hide();
        showInItemField(m_field, outcome, boxText);
    }
    if (m_unloadAfterSend) unload();
}

void frmReadCode::cmdExit_Click()
{
    ComPort->close();
    hide();
}

void frmReadCode::reject()
{
    cmdExit_Click();
}

void frmReadCode::closeEvent(QCloseEvent *event)
{
    ComPort->close();
    event->accept();
    hide();
    if (m_sending)
        m_unloadAfterSend = true;
    else
        unload();
}

void frmReadCode::unload()
{
    m_unloaded = true;
    unloadWhenIdle(this);
}

} // namespace tv
