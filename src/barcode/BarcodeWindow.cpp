#include "barcode/BarcodeWindow.h"

#include "DrawBar.h"
#include "barcode/BarcodePrintSurface.h"

#include "common/AppError.h"
#include "common/DurableFile.h"
#include "common/ErrorTrap.h"
#include "common/ModalSafety.h"
#include "common/Prompts.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <algorithm>

namespace tv {

namespace {
// Fixed layout in pixels (15 twips a pixel).
constexpr int kMargin = 8;
constexpr int kColumn = 128;                     // the item number and the barcode at left 1920 twips
constexpr QRect kCodeField(kColumn, 8, 249, 28); // top 120, 3735 x 420
constexpr QPoint kPictureAt(kColumn, 48);        // top 720
constexpr QSize kPictureSize(537, 97);           // 8055 x 1455
constexpr int kFrame = 2;
constexpr int kNoteTop = 48 + 97 + kFrame + 6;
constexpr int kButtonsTop = kNoteTop + 26;
constexpr int kButtonHeight = 30;
constexpr int kClientHeight = kButtonsTop + kButtonHeight + 12;
// Wide enough for the barcode of the longest text a user can type.
constexpr int kClientWidth = kColumn + (13 * (BarcodeWindow::kTypedMaxLength + 2) + 2) * 2 + 2 * kFrame + 12;

// The longest text whose barcode the picture box can hold: DrawBarcode first makes room for
// 16.5 modules a character, start and stop included, and the box is at most kMaxPixels wide.
qsizetype longestBarcodeText()
{
    const int module = moduleWidth(kPictureSize.height());
    return static_cast<qsizetype>(PictureSurface::kMaxPixels / (1.1 * 15.0 * module)) - 2;
}

QFont labelFont()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(11.25);
    return font;
}

QString shownCharacter(QChar c)
{
    if (c.isPrint() && !c.isSpace()) return QString(c);
    return QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper();
}

void writeBitmap(const QImage &image, const QString &path)
{
    const QFileInfo info(path);
    if (!info.absoluteDir().exists()) throw AppError(Err::PathNotFound);
    // A read-only file is refused, never replaced (also when running with rights to override it).
    constexpr QFileDevice::Permissions anyWrite =
        QFileDevice::WriteOwner | QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (info.exists() && (!info.isFile() || !info.isWritable() || !(info.permissions() & anyWrite)))
        throw AppError(Err::PathFileAccess);
    DurableFile file(path, QStringLiteral("Could not save the picture '%1'").arg(path));
    if (!image.save(&file, "BMP")) throw file.writeFailure();
    file.commit();
}
} // namespace

QString notEncodedNote(const QString &text)
{
    const QString missing = charactersNotEncoded(text);
    if (missing.isEmpty()) return QString();
    QStringList shown;
    for (const QChar c : missing)
        shown << shownCharacter(c);
    return QStringLiteral("Not in the barcode (no Code 39 symbol): ") + shown.join(QLatin1Char(' '));
}

PictureBox::PictureBox(QSize pixels, QWidget *parent) : QFrame(parent), m_surface(pixels)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(kFrame);
    m_surface.setBackground(palette().color(QPalette::Base));
    m_surface.setForeground(palette().color(QPalette::Text));
    m_surface.clear();
    refresh();
}

void PictureBox::refresh()
{
    setFixedSize(m_surface.pixelSize() + QSize(2 * frameWidth(), 2 * frameWidth()));
    update();
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter p(this);
    p.drawImage(contentsRect().topLeft(), m_surface.image());
}

BarcodeWindow::BarcodeWindow(const QString &itemNumber, QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmBarCodeGen"));
    setWindowTitle(QStringLiteral("BarCode 39"));
    buildCodeField();
    buildBarcodeBox();
    buildButtons();
    setTabOrder(m_codeField, m_copyButton);
    setTabOrder(m_copyButton, m_printButton);
    setTabOrder(m_printButton, m_saveButton);
    setTabOrder(m_saveButton, m_labelsButton);

    connect(m_codeField, &QLineEdit::textChanged, this, &BarcodeWindow::codeChanged);
    connect(m_copyButton, &QPushButton::clicked, this, &BarcodeWindow::copyBarcode);
    connect(m_printButton, &QPushButton::clicked, this, &BarcodeWindow::printBarcode);
    connect(m_saveButton, &QPushButton::clicked, this, &BarcodeWindow::saveBarcode);
    connect(m_labelsButton, &QPushButton::clicked, this, &BarcodeWindow::labelsRequested);

    m_printerSource = &BarcodeWindow::defaultPrinter;
    load(itemNumber);
}

void BarcodeWindow::buildCodeField()
{
    m_codeLabel = new QLabel(QStringLiteral("&Item Number :"), this);
    m_codeLabel->setObjectName(QStringLiteral("Label1"));
    m_codeLabel->setFont(labelFont());
    m_codeLabel->setGeometry(kMargin, kCodeField.top(), kColumn - kMargin - 4, kCodeField.height());
    m_codeLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_codeField = new QLineEdit(this);
    m_codeField->setObjectName(QStringLiteral("Text1"));
    QFont textFont(QStringLiteral("Comic Sans MS"));
    textFont.setPointSizeF(11.25);
    m_codeField->setFont(textFont);
    m_codeField->setAlignment(Qt::AlignCenter);
    m_codeField->setMaxLength(kTypedMaxLength);
    m_codeField->setGeometry(kCodeField);
    m_codeField->setAccessibleName(QStringLiteral("Item Number"));
    m_codeLabel->setBuddy(m_codeField);
}

// The barcode's picture box and, under it, the note on characters left out of the bars.
void BarcodeWindow::buildBarcodeBox()
{
    m_barcodeLabel = new QLabel(QStringLiteral("BarCode :"), this);
    m_barcodeLabel->setObjectName(QStringLiteral("Label2"));
    m_barcodeLabel->setFont(labelFont());
    m_barcodeLabel->setGeometry(kMargin, kPictureAt.y(), kColumn - kMargin - 4, kCodeField.height());
    m_barcodeLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_barcodeBox = new PictureBox(kPictureSize, this);
    m_barcodeBox->setObjectName(QStringLiteral("Picture1"));
    QFont pictureFont(QStringLiteral("Tahoma"));
    pictureFont.setPointSizeF(9);
    m_barcodeBox->surface().setFont(pictureFont);
    m_barcodeBox->move(kPictureAt - QPoint(kFrame, kFrame));
    m_barcodeBox->setAccessibleName(QStringLiteral("BarCode"));

    m_notEncodedNote = new QLabel(this);
    m_notEncodedNote->setObjectName(QStringLiteral("lblNotEncoded"));
    m_notEncodedNote->setGeometry(kColumn, kNoteTop, kClientWidth - kColumn - kMargin, 22);
    QPalette warning = m_notEncodedNote->palette();
    warning.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x00));
    m_notEncodedNote->setPalette(warning);
    m_notEncodedNote->hide();
}

void BarcodeWindow::buildButtons()
{
    const auto makeButton = [this](const QString &name, const QString &caption, const QString &plain,
                                   int left, int width) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setGeometry(left, kButtonsTop, width, kButtonHeight);
        b->setAccessibleName(plain);
        b->setAutoDefault(true); // Enter presses the button that has the focus
        return b;
    };
    m_copyButton = makeButton(QStringLiteral("cmdCopy"), QStringLiteral("&Copy to Clipboard"),
                              QStringLiteral("Copy to Clipboard"), kColumn, 160);
    m_printButton = makeButton(QStringLiteral("cmdPrint"), QStringLiteral("&Print"), QStringLiteral("Print"),
                               kColumn + 168, 100);
    m_saveButton = makeButton(QStringLiteral("cmdSave"), QStringLiteral("Save &As"),
                              QStringLiteral("Save As"), kColumn + 276, 100);
    m_labelsButton = makeButton(QStringLiteral("cmdLabels"), QStringLiteral("&Labels..."),
                                QStringLiteral("Labels"), kColumn + 384, 100);
}

BarcodeWindow::~BarcodeWindow() = default;

void BarcodeWindow::load(const QString &itemNumber)
{
    // Typing stops at 23 characters, but a longer item number is shown whole: a cut one would scan
    // as another item.
    m_codeField->setMaxLength(std::max<int>(kTypedMaxLength, static_cast<int>(itemNumber.size())));
    m_codeField->setText(itemNumber);
    draw(m_codeField->text());
}

void BarcodeWindow::codeChanged()
{
    const QString text = m_codeField->text();
    if (m_codeField->maxLength() > kTypedMaxLength && text.size() < m_codeField->maxLength())
        m_codeField->setMaxLength(std::max<int>(kTypedMaxLength, static_cast<int>(text.size())));

    m_barcodeBox->setAccessibleDescription(upperCasedForBarcode(text));
    draw(text);
}

void BarcodeWindow::draw(const QString &text)
{
    QString note;
    if (text.size() > longestBarcodeText()) {
        // No box is wide enough; the text stays whole and the note says why there are no bars.
        m_barcodeBox->surface().clear();
        note = QStringLiteral("Too long for a barcode: %1 characters, at most %2 fit.")
                   .arg(text.size())
                   .arg(longestBarcodeText());
    } else {
        DrawBarcode(text, m_barcodeBox->surface());
        note = notEncodedNote(text);
    }
    m_barcodeBox->refresh();
    m_notEncodedNote->setText(note);
    m_notEncodedNote->setVisible(!note.isEmpty());
    fitWindow();
}

void BarcodeWindow::fitWindow()
{
    const int width = std::max(kClientWidth, m_barcodeBox->geometry().right() + 1 + kMargin);
    setFixedSize(width, kClientHeight);
    m_notEncodedNote->setFixedWidth(width - kColumn - kMargin);
}

void BarcodeWindow::copyBarcode()
{
    hide();
    QClipboard *clipboard = QGuiApplication::clipboard();
    bool copied = false;
    if (clipboard) {
        clipboard->clear();
        clipboard->setImage(m_barcodeBox->surface().image());
        const QMimeData *data = clipboard->mimeData();
        copied = data && data->hasImage();
    }
    if (!copied)
        prompts().message(
            QStringLiteral("The barcode could not be copied to the clipboard. Close any program "
                           "that is using the clipboard and try again."),
            MsgButtons::Ok, MsgIcon::Exclamation);
}

std::unique_ptr<QPrinter> BarcodeWindow::defaultPrinter()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) return nullptr;
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    if (!printer->isValid()) return nullptr;
    return printer;
}

void BarcodeWindow::printBarcode()
{
    hide();
    std::unique_ptr<QPrinter> printer = m_printerSource ? m_printerSource() : nullptr;
    if (!printer) {
        prompts().message(QStringLiteral("No printer is installed. Install a printer and make it the default "
                                         "printer, then print the barcode again."),
                          MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    BarcodePrintSurface surface;
    surface.setPicture(m_barcodeBox->surface().image());
    if (!surface.printClientArea(*printer)) {
        const QString name =
            printer->printerName().isEmpty() ? printer->outputFileName() : printer->printerName();
        prompts().message(
            QStringLiteral("The barcode could not be printed on %1. Check the printer and try again.")
                .arg(name),
            MsgButtons::Ok, MsgIcon::Exclamation);
    }
}

void BarcodeWindow::saveBarcode()
{
    ErrorTrap trap(QStringLiteral("cmdSave_Click"), QStringLiteral("frmBarCodeGen"));
    trap.run([&] {
        FileDialogRequest request;
        request.filter = QStringLiteral("Bitmaps (*.bmp)|*.bmp");
        request.fileName = QStringLiteral("Picture1");
        request.overwritePrompt = true;
        const std::optional<QString> path = prompts().saveFile(request);
        if (!path) throw AppError(Err::DialogCancelled);
        QCoreApplication::processEvents();
        // The image becomes the picture that is written; the next drawing removes it again.
        PictureSurface &surface = m_barcodeBox->surface();
        surface.setPicture(surface.image());
        writeBitmap(surface.picture(), *path);
        hide();
    });
}

void BarcodeWindow::closeEvent(QCloseEvent *event)
{
    // Closed is unloaded, but never under one of its own boxes still waiting for an answer.
    event->accept();
    unloadWhenIdle(this);
}

void BarcodeWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace tv
