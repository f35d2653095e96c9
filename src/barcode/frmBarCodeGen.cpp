#include "frmBarCodeGen.h"

#include "DrawBar.h"
#include "frmPrintCode.h"

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
constexpr int kColumn = 128;                 // Text1 and Picture1 at left 1920 twips
constexpr QRect kText1(kColumn, 8, 249, 28); // top 120, 3735 x 420
constexpr QPoint kPictureAt(kColumn, 48);    // top 720
constexpr QSize kPictureSize(537, 97);       // 8055 x 1455
constexpr int kFrame = 2;
constexpr int kNoteTop = 48 + 97 + kFrame + 6;
constexpr int kButtonsTop = kNoteTop + 26;
constexpr int kButtonHeight = 30;
constexpr int kClientHeight = kButtonsTop + kButtonHeight + 12;
// Wide enough for the barcode of the longest text a user can type.
constexpr int kClientWidth = kColumn + (13 * (frmBarCodeGen::kTypedMaxLength + 2) + 2) * 2 + 2 * kFrame + 12;

// The longest text whose barcode the picture box can hold: DrawBarcode first makes room for
// 16.5 modules a character, start and stop included, and the box is at most kMaxPixels wide.
qsizetype longestBarcodeText()
{
    const int module = moduleWidth(kPictureSize.height());
    return static_cast<qsizetype>(PictureSurface::kMaxPixels / (1.1 * 15.0 * module)) - 2;
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

frmBarCodeGen::frmBarCodeGen(const QString &itemNumber, QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("frmBarCodeGen"));
    setWindowTitle(QStringLiteral("BarCode 39"));

    QFont labelFont(QStringLiteral("Tahoma"));
    labelFont.setPointSizeF(11.25);

    Label1 = new QLabel(QStringLiteral("&Item Number :"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(labelFont);
    Label1->setGeometry(kMargin, kText1.top(), kColumn - kMargin - 4, kText1.height());
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    Text1 = new QLineEdit(this);
    Text1->setObjectName(QStringLiteral("Text1"));
    QFont textFont(QStringLiteral("Comic Sans MS"));
    textFont.setPointSizeF(11.25);
    Text1->setFont(textFont);
    Text1->setAlignment(Qt::AlignCenter);
    Text1->setMaxLength(kTypedMaxLength);
    Text1->setGeometry(kText1);
    Text1->setAccessibleName(QStringLiteral("Item Number"));
    Label1->setBuddy(Text1);

    Label2 = new QLabel(QStringLiteral("BarCode :"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(labelFont);
    Label2->setGeometry(kMargin, kPictureAt.y(), kColumn - kMargin - 4, kText1.height());
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    Picture1 = new PictureBox(kPictureSize, this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    QFont pictureFont(QStringLiteral("Tahoma"));
    pictureFont.setPointSizeF(9);
    Picture1->surface().setFont(pictureFont);
    Picture1->move(kPictureAt - QPoint(kFrame, kFrame));
    Picture1->setAccessibleName(QStringLiteral("BarCode"));

    lblNotEncoded = new QLabel(this);
    lblNotEncoded->setObjectName(QStringLiteral("lblNotEncoded"));
    lblNotEncoded->setGeometry(kColumn, kNoteTop, kClientWidth - kColumn - kMargin, 22);
    QPalette warning = lblNotEncoded->palette();
    warning.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x00));
    lblNotEncoded->setPalette(warning);
    lblNotEncoded->hide();

    const auto makeButton = [this](const QString &name, const QString &caption, const QString &plain,
                                   int left, int width) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setGeometry(left, kButtonsTop, width, kButtonHeight);
        b->setAccessibleName(plain);
        b->setAutoDefault(true); // Enter presses the button that has the focus
        return b;
    };
    cmdCopy = makeButton(QStringLiteral("cmdCopy"), QStringLiteral("&Copy to Clipboard"),
                         QStringLiteral("Copy to Clipboard"), kColumn, 160);
    cmdPrint = makeButton(QStringLiteral("cmdPrint"), QStringLiteral("&Print"), QStringLiteral("Print"),
                          kColumn + 168, 100);
    cmdSave = makeButton(QStringLiteral("cmdSave"), QStringLiteral("Save &As"), QStringLiteral("Save As"),
                         kColumn + 276, 100);

    setTabOrder(Text1, cmdCopy);
    setTabOrder(cmdCopy, cmdPrint);
    setTabOrder(cmdPrint, cmdSave);

    connect(Text1, &QLineEdit::textChanged, this, &frmBarCodeGen::Text1_Change);
    connect(cmdCopy, &QPushButton::clicked, this, &frmBarCodeGen::cmdCopy_Click);
    connect(cmdPrint, &QPushButton::clicked, this, &frmBarCodeGen::cmdPrint_Click);
    connect(cmdSave, &QPushButton::clicked, this, &frmBarCodeGen::cmdSave_Click);

    m_printerSource = &frmBarCodeGen::defaultPrinter;
    Form_Load(itemNumber);
}

frmBarCodeGen::~frmBarCodeGen() = default;

void frmBarCodeGen::Form_Load(const QString &itemNumber)
{
    // Typing stops at 23 characters, but a longer item number is shown whole: a cut one would scan
    // as another item.
    Text1->setMaxLength(std::max<int>(kTypedMaxLength, static_cast<int>(itemNumber.size())));
    Text1->setText(itemNumber);
    draw(Text1->text());
}

void frmBarCodeGen::Text1_Change()
{
    const QString text = Text1->text();
    if (Text1->maxLength() > kTypedMaxLength && text.size() < Text1->maxLength())
        Text1->setMaxLength(std::max<int>(kTypedMaxLength, static_cast<int>(text.size())));

    Picture1->setAccessibleDescription(upperCasedForBarcode(text));
    draw(text);
}

void frmBarCodeGen::draw(const QString &text)
{
    QString note;
    if (text.size() > longestBarcodeText()) {
        // No box is wide enough; the text stays whole and the note says why there are no bars.
        Picture1->surface().clear();
        note = QStringLiteral("Too long for a barcode: %1 characters, at most %2 fit.")
                   .arg(text.size())
                   .arg(longestBarcodeText());
    } else {
        DrawBarcode(text, Picture1->surface());
        note = notEncodedNote(text);
    }
    Picture1->refresh();
    lblNotEncoded->setText(note);
    lblNotEncoded->setVisible(!note.isEmpty());
    fitWindow();
}

void frmBarCodeGen::fitWindow()
{
    const int width = std::max(kClientWidth, Picture1->geometry().right() + 1 + kMargin);
    setFixedSize(width, kClientHeight);
    lblNotEncoded->setFixedWidth(width - kColumn - kMargin);
}

void frmBarCodeGen::cmdCopy_Click()
{
    hide();
    QClipboard *clipboard = QGuiApplication::clipboard();
    bool copied = false;
    if (clipboard) {
        clipboard->clear();
        clipboard->setImage(Picture1->surface().image());
        const QMimeData *data = clipboard->mimeData();
        copied = data && data->hasImage();
    }
    if (!copied)
        prompts().message(
            QStringLiteral("The barcode could not be copied to the clipboard. Close any program "
                           "that is using the clipboard and try again."),
            MsgButtons::Ok, MsgIcon::Exclamation);
}

std::unique_ptr<QPrinter> frmBarCodeGen::defaultPrinter()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) return nullptr;
    auto printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    if (!printer->isValid()) return nullptr;
    return printer;
}

void frmBarCodeGen::cmdPrint_Click()
{
    hide();
    std::unique_ptr<QPrinter> printer = m_printerSource ? m_printerSource() : nullptr;
    if (!printer) {
        prompts().message(QStringLiteral("No printer is installed. Install a printer and make it the default "
                                         "printer, then print the barcode again."),
                          MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    frmPrintCode printWindow;
    printWindow.setPicture(Picture1->surface().image());
    if (!printWindow.PrintForm(*printer)) {
        const QString name =
            printer->printerName().isEmpty() ? printer->outputFileName() : printer->printerName();
        prompts().message(
            QStringLiteral("The barcode could not be printed on %1. Check the printer and try again.")
                .arg(name),
            MsgButtons::Ok, MsgIcon::Exclamation);
    }
}

void frmBarCodeGen::cmdSave_Click()
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
        PictureSurface &surface = Picture1->surface();
        surface.setPicture(surface.image());
        writeBitmap(surface.picture(), *path);
        hide();
    });
}

void frmBarCodeGen::closeEvent(QCloseEvent *event)
{
    // Closed is unloaded, but never under one of its own boxes still waiting for an answer.
    event->accept();
    unloadWhenIdle(this);
}

void frmBarCodeGen::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace tv
