#include "scanner/ScannerWindow.h"

#include "KeyboardScan.h"
#include "ScanCounting.h"
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
#include <QSpinBox>
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

ScannerWindow::ScannerWindow(ItemRecordSet &records, QLineEdit *itemNumberField, QWidget *parent,
                             ScanRouter *router)
    : QDialog(parent), m_router(router ? router : new ScanRouter(records, itemNumberField, this)),
      m_records(records), m_field(itemNumberField)
{
    setObjectName(kForm);
    setWindowTitle(QStringLiteral("Barcode Reader"));
    setAccessibleName(QStringLiteral("Barcode Reader"));
    setModal(false);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    buildWindow();
    load();
}

ScannerWindow::~ScannerWindow() = default;

ScannerWindow *ScannerWindow::scan(ItemRecordSet &records, QLineEdit *itemNumberField, QWidget *owner,
                                   ScanRouter *router)
{
    ScannerWindow *window = nullptr;
    const QList<ScannerWindow *> windows =
        owner->findChildren<ScannerWindow *>(kForm, Qt::FindDirectChildrenOnly);
    for (ScannerWindow *w : windows)
        if (!w->isUnloaded()) window = w;
    if (!window) window = new ScannerWindow(records, itemNumberField, owner, router);
    window->clearBarcode();
    bringForward(window);
    return window;
}

// Widgets are created in the order Tab moves through them.
void ScannerWindow::buildWindow()
{
    auto *outer = new QVBoxLayout(this);
    outer->setSizeConstraint(QLayout::SetFixedSize);
    outer->setSpacing(10);
    outer->addWidget(buildPortFrame());
    outer->addWidget(buildCodeFrame());
    outer->addWidget(buildModeFrame());
    outer->addWidget(buildKeyboardOption());
    outer->addLayout(buildCommandButtons());

    m_port = new ScannerPort(scannerPortPaths(), this);
    m_port->setObjectName(QStringLiteral("ComPort"));
    connectControls();
}

QGroupBox *ScannerWindow::buildPortFrame()
{
    auto *frame = new QGroupBox(QStringLiteral("Barcode Reader Options"), this);
    frame->setObjectName(QStringLiteral("fraFrames_0"));
    frame->setAccessibleName(QStringLiteral("Barcode Reader Options"));
    auto *options = new QVBoxLayout(frame);
    options->setSpacing(10);
    options->addLayout(buildPortChoice(frame));
    options->addWidget(buildStatus(frame));
    options->addLayout(buildPortButtons(frame));
    return frame;
}

QLayout *ScannerWindow::buildPortChoice(QWidget *frame)
{
    auto *portRow = new QHBoxLayout;
    auto *group = new QButtonGroup(this);
    for (int i = 0; i < 4; ++i) {
        auto *choice = new QRadioButton(QStringLiteral("COM&%1").arg(i + 1), frame);
        choice->setObjectName(QStringLiteral("optComPort_%1").arg(i));
        choice->setAccessibleName(ScannerPort::portName(i + 1));
        choice->setFont(tahoma(8.25));
        group->addButton(choice, i);
        portRow->addWidget(choice);
        m_portChoices[static_cast<size_t>(i)] = choice;
    }
    m_portChoices[0]->setChecked(true);
    return portRow;
}

QLabel *ScannerWindow::buildStatus(QWidget *frame)
{
    m_status = new QLabel(QStringLiteral("Idle"), frame);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setFont(tahoma(11.25));
    m_status->setAlignment(Qt::AlignCenter);
    m_status->setFrameShape(QFrame::StyledPanel);
    m_status->setFrameShadow(QFrame::Sunken);
    m_status->setMinimumHeight(m_status->fontMetrics().height() * 2);
    return m_status;
}

QLayout *ScannerWindow::buildPortButtons(QWidget *frame)
{
    auto *portButtons = new QHBoxLayout;
    m_connectButton =
        makeButton(frame, "cmdConnect", QStringLiteral("&Connect ComPort"), QStringLiteral("Connect ComPort"),
                   QStringLiteral("Opens the chosen port to the scanner"));
    m_disconnectButton =
        makeButton(frame, "cmdDisconnect", QStringLiteral("&DisConnect ComPort"),
                   QStringLiteral("DisConnect ComPort"), QStringLiteral("Closes the port to the scanner"));
    portButtons->addWidget(m_connectButton);
    portButtons->addWidget(m_disconnectButton);
    return portButtons;
}

QGroupBox *ScannerWindow::buildCodeFrame()
{
    auto *frame = new QGroupBox(QStringLiteral("Barcode Scanned"), this);
    frame->setObjectName(QStringLiteral("fraFrames_1"));
    frame->setAccessibleName(QStringLiteral("Barcode Scanned"));
    auto *scanned = new QVBoxLayout(frame);
    m_codeField = new QLineEdit(frame);
    m_codeField->setObjectName(QStringLiteral("txtBarcode"));
    m_codeField->setAccessibleName(QStringLiteral("Barcode"));
    m_codeField->setAccessibleDescription(QStringLiteral("The last code the scanner sent"));
    m_codeField->setReadOnly(true);
    m_codeField->setAlignment(Qt::AlignCenter);
    m_codeField->setFont(tahoma(9.75));
    m_codeField->setMinimumWidth(m_codeField->fontMetrics().averageCharWidth() * 32);
    scanned->addWidget(m_codeField);
    return frame;
}

QCheckBox *ScannerWindow::buildKeyboardOption()
{
    m_acceptKeyboardScanners =
        new QCheckBox(QStringLiteral("Accept scanners that type like a &keyboard"), this);
    m_acceptKeyboardScanners->setObjectName(QStringLiteral("chkKeyboardScanners"));
    m_acceptKeyboardScanners->setAccessibleName(QStringLiteral("Accept scanners that type like a keyboard"));
    m_acceptKeyboardScanners->setToolTip(QStringLiteral(
        "A code typed much faster than a person types, ended by Enter or Tab, is taken as a scan "
        "in the main window"));
    m_acceptKeyboardScanners->setChecked(keyboardScannersAccepted());
    connect(m_acceptKeyboardScanners, &QCheckBox::toggled, this,
            [](bool on) { setKeyboardScannersAccepted(on); });
    return m_acceptKeyboardScanners;
}

QGroupBox *ScannerWindow::buildModeFrame()
{
    auto *frame = new QGroupBox(QStringLiteral("When a code is scanned:"), this);
    frame->setObjectName(QStringLiteral("fraScanMode"));
    frame->setAccessibleName(QStringLiteral("When a code is scanned:"));
    auto *rows = new QVBoxLayout(frame);
    const std::array<std::pair<QString, QString>, 3> captions{{
        {QStringLiteral("&Find the item"),
         QStringLiteral("Finds the item, or adds it as a new item, after Send")},
        {QStringLiteral("&Add to its count"),
         QStringLiteral("Each scan adds the quantity to the item's count")},
        {QStringLiteral("&Take from its count"),
         QStringLiteral("Each scan takes the quantity from the item's count")},
    }};
    auto *group = new QButtonGroup(frame);
    for (size_t i = 0; i < captions.size(); ++i) {
        auto *choice = new QRadioButton(captions[i].first, frame);
        choice->setObjectName(QStringLiteral("optScanMode_%1").arg(i));
        choice->setAccessibleName(QString(captions[i].first).remove(QLatin1Char('&')));
        choice->setAccessibleDescription(captions[i].second);
        choice->setToolTip(captions[i].second);
        group->addButton(choice, static_cast<int>(i));
        rows->addWidget(choice);
        m_modeChoices[i] = choice;
    }
    auto *quantityRow = new QHBoxLayout;
    auto *label = new QLabel(QStringLiteral("&Quantity:"), frame);
    m_quantity = new QSpinBox(frame);
    m_quantity->setObjectName(QStringLiteral("txtQuantity"));
    m_quantity->setAccessibleName(QStringLiteral("Quantity"));
    m_quantity->setAccessibleDescription(QStringLiteral("How many each scan adds or takes"));
    m_quantity->setRange(1, kMaxScanQuantity);
    // The text field inside is what a screen reader lands on.
    if (auto *text = m_quantity->findChild<QLineEdit *>())
        text->setAccessibleName(QStringLiteral("Quantity"));
    label->setBuddy(m_quantity);
    quantityRow->addWidget(label);
    quantityRow->addWidget(m_quantity);
    quantityRow->addStretch();
    rows->addLayout(quantityRow);
    showMode();
    connect(group, &QButtonGroup::idToggled, this, [this](int, bool on) {
        if (on) modeChosen();
    });
    connect(m_quantity, &QSpinBox::valueChanged, this, [this] { modeChosen(); });
    connect(m_router, &ScanRouter::modeChanged, this, &ScannerWindow::showMode);
    return frame;
}

void ScannerWindow::showMode()
{
    const QSignalBlocker quiet(m_quantity);
    m_modeChoices[static_cast<size_t>(m_router->mode())]->setChecked(true);
    m_quantity->setValue(m_router->quantity());
}

void ScannerWindow::modeChosen()
{
    for (size_t i = 0; i < m_modeChoices.size(); ++i)
        if (m_modeChoices[i]->isChecked()) m_router->setMode(static_cast<ScanMode>(i), m_quantity->value());
}

QLayout *ScannerWindow::buildCommandButtons()
{
    auto *commands = new QHBoxLayout;
    m_clearButton = makeButton(this, "cmdClear", QStringLiteral("C&lear Barcode"),
                               QStringLiteral("Clear Barcode"), QStringLiteral("Empties the code box"));
    m_sendButton =
        makeButton(this, "cmdSend", QStringLiteral("&Send to Ketbook"), QStringLiteral("Send to Ketbook"),
                   QStringLiteral("Finds the item with this code, or adds it as a new item"));
    m_exitButton = makeButton(this, "cmdExit", QStringLiteral("E&xit"), QStringLiteral("Exit"),
                              QStringLiteral("Closes the port and hides this window"));
    m_sendButton->setDefault(true);
    commands->addWidget(m_clearButton);
    commands->addWidget(m_sendButton);
    commands->addWidget(m_exitButton);
    return commands;
}

void ScannerWindow::connectControls()
{
    connect(m_connectButton, &QPushButton::clicked, this, &ScannerWindow::connectPort);
    connect(m_disconnectButton, &QPushButton::clicked, this, &ScannerWindow::disconnectPort);
    connect(m_clearButton, &QPushButton::clicked, this, &ScannerWindow::clearCode);
    connect(m_sendButton, &QPushButton::clicked, this, &ScannerWindow::sendCode);
    connect(m_exitButton, &QPushButton::clicked, this, &ScannerWindow::closeWindow);
    connect(m_port, &ScannerPort::codeScanned, this, &ScannerWindow::codeArrived);
    connect(m_port, &ScannerPort::connectionLost, this, &ScannerWindow::portLost);
}

void ScannerWindow::load()
{
    // Every port is tried; one that cannot be opened is greyed out without a word, and the
    // selection stays on COM1 even when that one is greyed out.
    for (int n = 1; n <= kScannerPortCount; ++n) {
        QRadioButton *choice = m_portChoices[static_cast<size_t>(n - 1)];
        const QString path = m_port->devicePath(n);
        const QString tip = path.isEmpty() ? QStringLiteral("No serial port") : path;
        choice->setToolTip(tip);
        choice->setAccessibleDescription(tip);
        if (const auto failure = m_port->probe(n); failure && disablesOption(failure->kind))
            choice->setEnabled(false);
    }
}

void ScannerWindow::clearBarcode()
{
    m_codeField->clear();
}

void ScannerWindow::connectPort()
{
    int number = 1;
    for (int i = 0; i < 4; ++i)
        if (m_portChoices[static_cast<size_t>(i)]->isChecked()) {
            number = i + 1;
            break;
        }
    m_port->setPortNumber(number);
    m_port->close();
    if (const auto failure = m_port->open()) {
        prompts().message(failure->message, MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    m_status->setText(QStringLiteral("Connected..."));
    m_connectButton->setEnabled(false);
    m_disconnectButton->setEnabled(true);
}

void ScannerWindow::disconnectPort()
{
    m_port->close();
    m_status->setText(QStringLiteral("DisConnected..."));
    m_disconnectButton->setEnabled(false);
    m_connectButton->setEnabled(true);
}

void ScannerWindow::portLost(const QString &message)
{
    m_status->setText(QStringLiteral("DisConnected..."));
    m_disconnectButton->setEnabled(false);
    m_connectButton->setEnabled(true);
    prompts().message(message, MsgButtons::Ok, MsgIcon::Exclamation);
}

void ScannerWindow::codeArrived(const QString &code)
{
    m_codeField->setText(code);
    m_status->setText(QStringLiteral("Barcode Scanned"));
    // Counting takes each code as it comes; finding waits for Send to Ketbook.
    m_router->serialScan(code);
}

void ScannerWindow::clearCode()
{
    clearBarcode();
}

void ScannerWindow::sendCode()
{
    // The search lets other events run; a second press meanwhile is ignored.
    if (m_sending) return;
    m_sending = true;
    const QPointer<ScannerWindow> self(this);
    const QString boxText = m_codeField->text();
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

void ScannerWindow::closeWindow()
{
    m_port->close();
    hide();
}

void ScannerWindow::reject()
{
    closeWindow();
}

void ScannerWindow::closeEvent(QCloseEvent *event)
{
    m_port->close();
    event->accept();
    hide();
    if (m_sending)
        m_unloadAfterSend = true;
    else
        unload();
}

void ScannerWindow::unload()
{
    m_unloaded = true;
    unloadWhenIdle(this);
}

} // namespace tv
