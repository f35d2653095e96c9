#include "frmreport.h"

#include "common/AppError.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QMenuBar>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextBrowser>
#include <algorithm>
#include <cmath>

namespace {
QPointer<frmreport> s_viewer;

constexpr double kTwipsPerInch = 1440.0;
constexpr int kLeft = 10;
constexpr int kTop = 10;
constexpr int kLessHeight = 1000;
constexpr int kLessWidth = 200;

int toPixels(double twips, double dpi)
{
    return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch));
}
double toTwips(int pixels, double dpi)
{
    return pixels * kTwipsPerInch / dpi;
}

// A colour value without "#" as a browser reads it: padded with zeros to a multiple of three
// digits, split into three parts, leading zeros dropped while longer than two, two digits kept.
QString legacyColour(const QString &value)
{
    QString digits = value.left(128);
    while (digits.isEmpty() || digits.size() % 3 != 0)
        digits += QLatin1Char('0');
    qsizetype length = digits.size() / 3;
    QString parts[3] = {digits.mid(0, length), digits.mid(length, length), digits.mid(2 * length, length)};
    if (length > 8) {
        for (QString &p : parts)
            p = p.right(8);
        length = 8;
    }
    while (length > 2 && parts[0].startsWith(QLatin1Char('0')) && parts[1].startsWith(QLatin1Char('0')) &&
           parts[2].startsWith(QLatin1Char('0'))) {
        for (QString &p : parts)
            p.remove(0, 1);
        --length;
    }
    QString colour = QStringLiteral("#");
    for (const QString &p : parts)
        colour += p.left(2).rightJustified(2, QLatin1Char('0')).toLower();
    return colour;
}

bool isHex(QStringView text)
{
    if (text.isEmpty()) return false;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F'))) return false;
    }
    return true;
}

// Adds "#" to the colour attributes of one tag.
QString fixTag(const QString &tag)
{
    QString out;
    qsizetype i = 0;
    const qsizetype n = tag.size();
    while (i < n) {
        const qsizetype at = tag.indexOf(QLatin1String("color"), i, Qt::CaseInsensitive);
        if (at < 0) break;
        qsizetype j = at + 5;
        while (j < n && tag[j].isSpace())
            ++j;
        if (j >= n || tag[j] != QLatin1Char('=')) {
            out += tag.mid(i, j - i);
            i = j;
            continue;
        }
        ++j;
        while (j < n && tag[j].isSpace())
            ++j;
        qsizetype start = j;
        qsizetype end = j;
        QChar quote;
        if (j < n && (tag[j] == QLatin1Char('"') || tag[j] == QLatin1Char('\''))) {
            quote = tag[j];
            start = j + 1;
            end = tag.indexOf(quote, start);
            if (end < 0) end = n;
        } else {
            while (end < n && !tag[end].isSpace() && tag[end] != QLatin1Char('>') &&
                   tag[end] != QLatin1Char('/'))
                ++end;
        }
        const QString value = tag.mid(start, end - start);
        out += tag.mid(i, start - i);
        out += isHex(value) ? legacyColour(value) : value;
        i = end;
    }
    out += tag.mid(i);
    return out;
}
} // namespace

frmreport::frmreport(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmreport"));
    setWindowTitle(QStringLiteral("Report"));
    setAccessibleName(QStringLiteral("Report"));

    // The browser is placed by Form_Resize, not by a layout.
    auto *area = new QWidget(this);
    area->setObjectName(QStringLiteral("reportArea"));
    setCentralWidget(area);
    wb = new QTextBrowser(area);
    wb->setObjectName(QStringLiteral("wb"));
    wb->setAccessibleName(QStringLiteral("Inventory report"));
    wb->setOpenLinks(false);
    // The tables of the report are as wide as the page; Qt's layout of them can come out a pixel
    // wider than the view, which would show a scroll bar for nothing. One pixel of slack avoids it.
    wb->setLineWrapMode(QTextEdit::FixedPixelWidth);
    wb->viewport()->installEventFilter(this);
    wb->setFocusPolicy(Qt::StrongFocus);

    mnuprint = menuBar()->addAction(QStringLiteral("&Print"));
    mnuprint->setObjectName(QStringLiteral("mnuprint"));
    mnuprint->setShortcut(QKeySequence::Print);
    mnuprint->setShortcutContext(Qt::WindowShortcut);
    menuBar()->setAccessibleName(QStringLiteral("Menu"));
    connect(mnuprint, &QAction::triggered, this, &frmreport::mnuprint_Click);

    resize(960, 720);
}

frmreport::~frmreport() = default;

frmreport *frmreport::instance()
{
    if (!s_viewer) {
        s_viewer = new frmreport();
        s_viewer->setAttribute(Qt::WA_DeleteOnClose);
    }
    return s_viewer;
}

frmreport *frmreport::openInstance()
{
    return s_viewer;
}

void frmreport::navigate(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw tv::AppError(file.exists() ? tv::Err::PathFileAccess : tv::Err::FileNotFound);
    const QByteArray bytes = file.readAll();
    // The report is ASCII; an older file in a single-byte code page still reads.
    wb->setHtml(displayHtml(QString::fromLatin1(bytes)));
    m_path = path;
}

void frmreport::printShown(QPrinter *printer) const
{
    wb->document()->print(printer);
}

QRect frmreport::browserGeometry(QSize outer, QSize current, double dpiX, double dpiY)
{
    const double width = toTwips(outer.width(), dpiX) - kLessWidth;
    const double height = toTwips(outer.height(), dpiY) - kLessHeight;
    return QRect(toPixels(kLeft, dpiX), toPixels(kTop, dpiY),
                 width < 0 ? current.width() : toPixels(width, dpiX),
                 height < 0 ? current.height() : toPixels(height, dpiY));
}

QString frmreport::displayHtml(const QString &html)
{
    QString out;
    out.reserve(html.size() + html.size() / 16);
    qsizetype i = 0;
    const qsizetype n = html.size();
    while (i < n) {
        const qsizetype open = html.indexOf(QLatin1Char('<'), i);
        if (open < 0) break;
        qsizetype close = html.indexOf(QLatin1Char('>'), open);
        if (close < 0) close = n - 1;
        out += QStringView(html).mid(i, open - i);
        const QStringView tag = QStringView(html).mid(open, close - open + 1);
        if (tag.contains(QLatin1String("color"), Qt::CaseInsensitive))
            out += fixTag(tag.toString());
        else
            out += tag;
        i = close + 1;
    }
    out += QStringView(html).mid(i);
    return out;
}

void frmreport::Form_Resize()
{
    const QRect rect = browserGeometry(frameGeometry().size(), wb->size(), logicalDpiX(), logicalDpiY());
    wb->setGeometry(rect);
}

void frmreport::mnuprint_Click()
{
    wb->setFocus();
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted) printShown(&printer);
}

bool frmreport::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == wb->viewport() && event->type() == QEvent::Resize) {
        const int width = std::max(1, wb->viewport()->width() - 1);
        if (wb->lineWrapColumnOrWidth() != width) wb->setLineWrapColumnOrWidth(width);
    }
    return QMainWindow::eventFilter(watched, event);
}

void frmreport::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmreport::moveEvent(QMoveEvent *event)
{
    // The frame arrives from the window manager after the first show and comes with a move.
    QMainWindow::moveEvent(event);
    Form_Resize();
}

void frmreport::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    Form_Resize();
}

void frmreport::closeEvent(QCloseEvent *event)
{
    // Closed means unloaded: the next report opens a new viewer.
    if (s_viewer == this) s_viewer = nullptr;
    QMainWindow::closeEvent(event);
}
