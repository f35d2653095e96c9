#include "report/ReportWindow.h"

#include "BusyCursor.h"
#include "ReportView.h"
#include "common/AppError.h"
#include "common/DurableFile.h"
#include "common/ErrorTrap.h"
#include "common/LastingWindow.h"
#include "common/ModalSafety.h"
#include "common/Prompts.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>

namespace tv {

namespace {
QPointer<ReportWindow> s_viewer;

// Work that takes longer than this shows its progress.
constexpr int kProgressAfterMs = 500;

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

ReportWindow::ReportWindow(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmreport"));
    setWindowTitle(QStringLiteral("Report"));
    setAccessibleName(QStringLiteral("Report"));
    buildReportArea();
    buildFindBar();
    buildMenu();
    buildFindKeys();
    resize(960, 720);
}

void ReportWindow::buildReportArea()
{
    // The report area is placed by placeReport, not by a layout.
    auto *area = new QWidget(this);
    area->setObjectName(QStringLiteral("reportArea"));
    setCentralWidget(area);
    m_reportArea = new QWidget(area);
    m_reportArea->setObjectName(QStringLiteral("wb"));
    m_reportArea->setAccessibleName(QStringLiteral("Report area"));

    m_pages = new QStackedWidget(m_reportArea);
    m_rowView = new ReportView(m_pages);
    m_browser = new QTextBrowser(m_pages);
    m_browser->setObjectName(QStringLiteral("browser"));
    m_browser->setAccessibleName(QStringLiteral("Inventory report"));
    m_browser->setOpenLinks(false);
    // The tables of a report are as wide as the page; Qt's layout of them can come out a pixel
    // wider than the view, which would show a scroll bar for nothing. One pixel of slack avoids it.
    m_browser->setLineWrapMode(QTextEdit::FixedPixelWidth);
    m_browser->viewport()->installEventFilter(this);
    m_pages->addWidget(m_rowView);
    m_pages->addWidget(m_browser);
}

// The find bar, hidden below the report until asked for.
void ReportWindow::buildFindBar()
{
    m_findBar = new QWidget(m_reportArea);
    m_findBar->setObjectName(QStringLiteral("findBar"));
    m_findBar->setAccessibleName(QStringLiteral("Find bar"));
    auto *label = new QLabel(QStringLiteral("Fi&nd:"), m_findBar);
    m_findText = new QLineEdit(m_findBar);
    m_findText->setObjectName(QStringLiteral("findText"));
    m_findText->setAccessibleName(QStringLiteral("Find text"));
    m_findText->installEventFilter(this);
    label->setBuddy(m_findText);
    m_findPrevious = new QPushButton(QStringLiteral("P&revious"), m_findBar);
    m_findPrevious->setObjectName(QStringLiteral("findPrevious"));
    m_findPrevious->setAccessibleName(QStringLiteral("Find previous"));
    m_findNext = new QPushButton(QStringLiteral("N&ext"), m_findBar);
    m_findNext->setObjectName(QStringLiteral("findNext"));
    m_findNext->setAccessibleName(QStringLiteral("Find next"));
    m_findClose = new QPushButton(QStringLiteral("Close"), m_findBar);
    m_findClose->setObjectName(QStringLiteral("findClose"));
    m_findClose->setAccessibleName(QStringLiteral("Close find bar"));
    m_findStatus = new QLabel(m_findBar);
    m_findStatus->setObjectName(QStringLiteral("findStatus"));
    m_findStatus->setAccessibleName(QStringLiteral("Find result"));
    for (QPushButton *button : {m_findPrevious, m_findNext, m_findClose})
        button->setAutoDefault(false);
    auto *bar = new QHBoxLayout(m_findBar);
    bar->setContentsMargins(0, 2, 0, 0);
    bar->addWidget(label);
    bar->addWidget(m_findText, 1);
    bar->addWidget(m_findPrevious);
    bar->addWidget(m_findNext);
    bar->addWidget(m_findStatus, 1);
    bar->addWidget(m_findClose);
    m_findBar->hide();
    auto *column = new QVBoxLayout(m_reportArea);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(m_pages, 1);
    column->addWidget(m_findBar);
    setTabOrder(m_rowView, m_browser);
    setTabOrder(m_browser, m_findText);
    setTabOrder(m_findText, m_findPrevious);
    setTabOrder(m_findPrevious, m_findNext);
    setTabOrder(m_findNext, m_findClose);
}

void ReportWindow::buildMenu()
{
    m_printAction = menuBar()->addAction(QStringLiteral("&Print"));
    m_printAction->setObjectName(QStringLiteral("mnuprint"));
    m_printAction->setShortcut(QKeySequence::Print);
    m_printAction->setShortcutContext(Qt::WindowShortcut);
    menuBar()->setAccessibleName(QStringLiteral("Menu"));
    connect(m_printAction, &QAction::triggered, this, &ReportWindow::printReport);
    m_csvAction = menuBar()->addAction(QStringLiteral("Save as &CSV..."));
    m_csvAction->setObjectName(QStringLiteral("mnusavecsv"));
    m_csvAction->setVisible(false);
    connect(m_csvAction, &QAction::triggered, this, [this] {
        tv::ErrorTrap trap(QStringLiteral("mnusavecsv_Click"), objectName());
        trap.run([this] { saveCsv(); });
    });
}

void ReportWindow::buildFindKeys()
{
    // Find is kept off the menu bar, whose one entry is Print; its keys work in the whole window.
    m_findAction = new QAction(QStringLiteral("Find"), this);
    m_findAction->setObjectName(QStringLiteral("findAction"));
    m_findAction->setShortcut(QKeySequence::Find);
    m_findAction->setShortcutContext(Qt::WindowShortcut);
    addAction(m_findAction);
    connect(m_findAction, &QAction::triggered, this, &ReportWindow::showFindBar);
    auto *again = new QAction(this);
    again->setShortcut(QKeySequence::FindNext);
    addAction(again);
    connect(again, &QAction::triggered, this, [this] { findFromBar(false, true); });
    auto *back = new QAction(this);
    back->setShortcut(QKeySequence::FindPrevious);
    addAction(back);
    connect(back, &QAction::triggered, this, [this] { findFromBar(true, true); });
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), m_findBar, nullptr, nullptr,
                                 Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &ReportWindow::hideFindBar);
    connect(m_findClose, &QPushButton::clicked, this, &ReportWindow::hideFindBar);
    connect(m_findNext, &QPushButton::clicked, this, [this] { findFromBar(false, true); });
    connect(m_findPrevious, &QPushButton::clicked, this, [this] { findFromBar(true, true); });
    connect(m_findText, &QLineEdit::textEdited, this, [this] { findFromBar(false, false); });
}

ReportWindow::~ReportWindow() = default;

ReportWindow *ReportWindow::instance()
{
    if (!s_viewer) {
        s_viewer = new ReportWindow();
    }
    return s_viewer;
}

ReportWindow *ReportWindow::openInstance()
{
    return s_viewer;
}

void ReportWindow::showReport(const QString &path)
{
    ReportWindow *viewer = instance();
    viewer->navigate(path);
    tv::bringForward(viewer);
}

void ReportWindow::showReorderList(const QString &path, const QByteArray &csv)
{
    ReportWindow *viewer = instance();
    viewer->navigate(path, false);
    viewer->m_csv = csv;
    viewer->m_csvAction->setVisible(true);
    tv::bringForward(viewer);
}

bool ReportWindow::saveCsv()
{
    if (!m_csvAction->isVisible()) return false;
    tv::FileDialogRequest request;
    request.title = QStringLiteral("Save the Reorder List");
    request.filter = QStringLiteral("CSV files (*.csv)|*.csv|All files (*)|*");
    request.initialDir = QFileInfo(m_path).absolutePath();
    request.fileName = QStringLiteral("reorder.csv");
    request.overwritePrompt = true;
    request.defaultExt = QStringLiteral("csv");
    const auto path = tv::prompts().saveFile(request);
    if (!path || path->isEmpty()) return false;
    tv::DurableFile file(*path, QStringLiteral("Could not write '%1'").arg(*path));
    file.writeAll(m_csv);
    file.commit();
    return true;
}

void ReportWindow::navigate(const QString &path, bool legacyColours)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw tv::AppError(file.exists() ? tv::Err::PathFileAccess : tv::Err::FileNotFound);
    std::optional<tv::ReportModel> model;
    {
        tv::BusyCursor busy;
        // A report of many items shows how far the reading has come once it takes a while.
        QElapsedTimer clock;
        clock.start();
        QPointer<QProgressDialog> progress;
        model = tv::ReportReader::read(file, [&](qint64 done, qint64 total) {
            if (!progress && total > 0 && clock.elapsed() > kProgressAfterMs) {
                progress =
                    new QProgressDialog(QStringLiteral("Opening the report..."), QString(), 0, 1000, this);
                progress->setWindowTitle(windowTitle());
                progress->setAccessibleName(QStringLiteral("Opening the report"));
                progress->setWindowModality(Qt::ApplicationModal);
                progress->setMinimumDuration(0);
            }
            if (progress) progress->setValue(int(done * 1000 / std::max<qint64>(total, done)));
        });
        delete progress;
    }
    if (model) {
        m_rowView->setModel(std::make_shared<const tv::ReportModel>(std::move(*model)));
        m_browser->clear();
        m_pages->setCurrentWidget(m_rowView);
    } else {
        // Not the writer's report: the text browser shows it, however long that takes.
        tv::BusyCursor busy;
        file.seek(0);
        // The report is ASCII, the reorder list UTF-8; an older file in a single-byte code page
        // still reads.
        const QByteArray bytes = file.readAll();
        QStringDecoder utf8(QStringDecoder::Utf8);
        QString text = utf8(bytes);
        if (utf8.hasError()) text = QString::fromLatin1(bytes);
        m_browser->setHtml(legacyColours ? displayHtml(text) : text);
        m_rowView->setModel(nullptr);
        m_pages->setCurrentWidget(m_browser);
    }
    m_findStatus->clear();
    m_path = path;
    m_csv.clear();
    m_csvAction->setVisible(false);
}

bool ReportWindow::showsRows() const
{
    return m_pages->currentWidget() == m_rowView;
}

QWidget *ReportWindow::shownWidget() const
{
    return m_pages->currentWidget();
}

QString ReportWindow::shownText() const
{
    if (!showsRows()) return m_browser->toPlainText();
    const auto model = m_rowView->model();
    QStringList pieces;
    for (qsizetype piece = 0; model && piece < model->pieceCount(); ++piece)
        pieces << model->pieceText(piece);
    return pieces.join(QLatin1Char('\n'));
}

tv::PrintResult ReportWindow::printShown(QPrinter *printer, const tv::ReportPrinter::Progress &progress,
                                         QString *error) const
{
    if (showsRows()) {
        const tv::ReportPrinter job(m_rowView->model(), m_rowView->font());
        return tv::printSafely(
            *printer, [&](QPrinter &out) { return job.print(out, progress); }, error);
    }
    return tv::printSafely(
        *printer,
        [&](QPrinter &out) {
            m_browser->document()->print(&out);
            return tv::PrintResult::Printed;
        },
        error);
}

bool ReportWindow::find(const QString &text, bool backwards)
{
    return findFrom(text, backwards, false);
}

bool ReportWindow::findFrom(const QString &text, bool backwards, bool here)
{
    if (showsRows()) {
        const auto model = m_rowView->model();
        const qsizetype piece = model ? model->find(text, m_rowView->findStart(here), backwards) : -1;
        m_rowView->showPiece(piece);
        return piece >= 0;
    }
    if (here) {
        QTextCursor cursor = m_browser->textCursor();
        cursor.setPosition(cursor.selectionStart());
        m_browser->setTextCursor(cursor);
    }
    const QTextDocument::FindFlags flags =
        backwards ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (m_browser->find(text, flags)) return true;
    // Round past the end.
    m_browser->moveCursor(backwards ? QTextCursor::End : QTextCursor::Start);
    return m_browser->find(text, flags);
}

void ReportWindow::findFromBar(bool backwards, bool again)
{
    const QString text = m_findText->text();
    if (text.isEmpty()) {
        m_findStatus->clear();
        return;
    }
    // Typing on, the place found so far is looked at first.
    const bool found = findFrom(text, backwards, !again);
    m_findStatus->setText(found ? QString() : QStringLiteral("Not found"));
}

void ReportWindow::showFindBar()
{
    m_findBar->show();
    m_findText->setFocus(Qt::ShortcutFocusReason);
    m_findText->selectAll();
}

void ReportWindow::hideFindBar()
{
    m_findBar->hide();
    m_findStatus->clear();
    if (showsRows()) m_rowView->showPiece(-1);
    shownWidget()->setFocus();
}

QRect ReportWindow::reportAreaGeometry(QSize outer, QSize current, double dpiX, double dpiY)
{
    const double width = toTwips(outer.width(), dpiX) - kLessWidth;
    const double height = toTwips(outer.height(), dpiY) - kLessHeight;
    return QRect(toPixels(kLeft, dpiX), toPixels(kTop, dpiY),
                 width < 0 ? current.width() : toPixels(width, dpiX),
                 height < 0 ? current.height() : toPixels(height, dpiY));
}

QString ReportWindow::displayHtml(const QString &html)
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

void ReportWindow::placeReport()
{
    const QRect rect =
        reportAreaGeometry(frameGeometry().size(), m_reportArea->size(), logicalDpiX(), logicalDpiY());
    m_reportArea->setGeometry(rect);
}

void ReportWindow::printReport()
{
    shownWidget()->setFocus();
    // Both dialogs belong to the viewer, which may be closed while they are open: each is held
    // through a guard, and nothing of the viewer is touched once it has gone.
    QPointer<ReportWindow> self(this);
    QPrinter printer(QPrinter::HighResolution);
    QPointer<QPrintDialog> dialog = new QPrintDialog(&printer, this);
    dialog->setOption(QAbstractPrintDialog::PrintPageRange, !showsRows());
    const int answer = tv::execDialog(dialog);
    delete dialog;
    if (!self || answer != QDialog::Accepted) return;

    QPointer<QProgressDialog> progress =
        new QProgressDialog(QStringLiteral("Printing the report..."), QStringLiteral("Cancel"), 0, 1, this);
    progress->setObjectName(QStringLiteral("printProgress"));
    progress->setWindowTitle(windowTitle());
    progress->setAccessibleName(QStringLiteral("Printing the report"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(kProgressAfterMs);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    QString error;
    const tv::PrintResult result = printShown(
        &printer,
        [progress](int page, int pages) {
            if (!progress) return false;
            progress->setMaximum(std::max(1, pages));
            progress->setLabelText(
                QStringLiteral("Printing page %1 of %2...").arg(std::min(page + 1, pages)).arg(pages));
            progress->setValue(page);
            return !progress->wasCanceled();
        },
        &error);
    delete progress;
    if (self && result == tv::PrintResult::Failed)
        tv::prompts().message(QStringLiteral("The report could not be printed. %1").arg(error),
                              tv::MsgButtons::Ok, tv::MsgIcon::Exclamation);
}

bool ReportWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_browser->viewport() && event->type() == QEvent::Resize) {
        const int width = std::max(1, m_browser->viewport()->width() - 1);
        if (m_browser->lineWrapColumnOrWidth() != width) m_browser->setLineWrapColumnOrWidth(width);
    }
    if (watched == m_findText && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            findFromBar(key->modifiers() & Qt::ShiftModifier, true);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void ReportWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    placeReport();
}

void ReportWindow::moveEvent(QMoveEvent *event)
{
    // The frame arrives from the window manager after the first show and comes with a move.
    QMainWindow::moveEvent(event);
    placeReport();
}

void ReportWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    placeReport();
}

void ReportWindow::closeEvent(QCloseEvent *event)
{
    // Closed means unloaded: the next report opens a new viewer.
    if (s_viewer == this) s_viewer = nullptr;
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) tv::unloadWhenIdle(this);
}

} // namespace tv
