#include "Controls.h"
#include "ExpectedReport.h"
#include "common/AppError.h"
#include "report/ReportView.h"
#include "report/ReportWindow.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QtTest>

using namespace tv;

namespace {
QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath("report.html");
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    return path;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

// A report of the writer with n numbered items.
QByteArray numberedReport(int n)
{
    QList<QList<QByteArray>> rows;
    for (int i = 0; i < n; ++i) {
        const QByteArray k = QByteArray::number(i);
        rows.append({"Item " + k, "Acme", "3/1/2004", "N-" + k, k, "$1.00", "$" + k + ".00"});
    }
    return expected::report({"Item Name", "Vendor", "Date", "Item Number"}, rows, "$99.00");
}

// The worked example with a third row whose name is not ASCII.
QByteArray threeRowReport()
{
    const expected::Choice c = expected::workedExample(0);
    const QList<QByteArray> creme{
        "Cr&#232;me Br&#251;l&#233;e", "Caf&#233;", "3/3/2004", "C-1", "1", "$1.00", "$1.00"};
    return expected::report(c.labels, {c.bolt, c.nut, creme}, "$3,729.75");
}

QString pdfText(const QString &pdf)
{
    QProcess pdftotext;
    pdftotext.start("pdftotext", {"-layout", pdf, "-"});
    if (!pdftotext.waitForFinished(60000) || pdftotext.exitCode() != 0) return QString();
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

// The darkest pixel of an area: the colour its text is drawn in.
QColor ink(const QImage &image, const QRect &area)
{
    QColor darkest(Qt::white);
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() + c.green() + c.blue() < darkest.red() + darkest.green() + darkest.blue())
                darkest = c;
        }
    return darkest;
}

// The middle of what is drawn in an area, across.
int inkMiddle(const QImage &image, const QRect &area)
{
    int left = area.right();
    int right = area.left();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() + c.green() + c.blue() < 600) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    return (left + right) / 2;
}

QWidget *reportAreaOf(const ReportWindow *viewer)
{
    return control<QWidget>(*viewer, "wb");
}
ReportView *rowViewOf(const ReportWindow *viewer)
{
    return control<ReportView>(*viewer, "reportView");
}
QTextBrowser *browserOf(const ReportWindow *viewer)
{
    return control<QTextBrowser>(*viewer, "browser");
}
QWidget *findBarOf(const ReportWindow *viewer)
{
    return control<QWidget>(*viewer, "findBar");
}
QLineEdit *findTextOf(const ReportWindow *viewer)
{
    return control<QLineEdit>(*viewer, "findText");
}
QLabel *findStatusOf(const ReportWindow *viewer)
{
    return control<QLabel>(*viewer, "findStatus");
}

ReportWindow *shownViewer(const QByteArray &report, const QTemporaryDir &dir)
{
    ReportWindow *viewer = ReportWindow::instance();
    viewer->navigate(writeFile(dir, report));
    viewer->show();
    if (!QTest::qWaitForWindowExposed(viewer)) return nullptr;
    QApplication::processEvents();
    return viewer;
}
} // namespace

class TestReportWindow : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { delete ReportWindow::openInstance(); }

    void layout_data()
    {
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<QRect>("area");
        // 96 dots per inch: 15 twips a pixel; 10 twips round to 1 pixel, 200 to 13, 1000 to 67.
        QTest::newRow("96 dpi") << QSize(900, 700) << 96.0 << QRect(1, 1, 887, 633);
        QTest::newRow("enlarged") << QSize(1800, 1300) << 96.0 << QRect(1, 1, 1787, 1233);
        QTest::newRow("144 dpi") << QSize(900, 700) << 144.0 << QRect(1, 1, 880, 600);
        QTest::newRow("exactly the margins") << QSize(20, 100) << 144.0 << QRect(1, 1, 0, 0);
        QTest::newRow("too low keeps the height") << QSize(400, 60) << 96.0 << QRect(1, 1, 387, 55);
        QTest::newRow("too narrow keeps the width") << QSize(10, 700) << 96.0 << QRect(1, 1, 44, 633);
        QTest::newRow("minimized") << QSize(0, 0) << 96.0 << QRect(1, 1, 44, 55);
    }
    void layout()
    {
        QFETCH(QSize, outer);
        QFETCH(double, dpi);
        QFETCH(QRect, area);
        QCOMPARE(ReportWindow::reportAreaGeometry(outer, QSize(44, 55), dpi, dpi), area);
    }

    void windowFollowsItsSize()
    {
        ReportWindow *viewer = ReportWindow::instance();
        viewer->show();
        QVERIFY(QTest::qWaitForWindowExposed(viewer));
        const double dpi = viewer->logicalDpiY();
        for (const QSize size : {QSize(700, 500), QSize(1000, 800)}) {
            viewer->resize(size);
            QApplication::processEvents();
            const QSize outer = viewer->frameGeometry().size();
            const QRect wb = reportAreaOf(viewer)->geometry();
            QCOMPARE(wb.topLeft(), QPoint(qRound(10 * dpi / 1440), qRound(10 * dpi / 1440)));
            QVERIFY2(qAbs(wb.width() - (outer.width() - 200 * dpi / 1440)) <= 0.5,
                     qPrintable(QString::number(wb.width())));
            QVERIFY2(qAbs(wb.height() - (outer.height() - 1000 * dpi / 1440)) <= 0.5,
                     qPrintable(QString::number(wb.height())));
        }
        // The report area sits inside the window, below the menu bar.
        QVERIFY(reportAreaOf(viewer)->mapTo(viewer, QPoint(0, 0)).y() >= viewer->menuBar()->height());
    }

    void contract()
    {
        ReportWindow *viewer = ReportWindow::instance();
        QCOMPARE(viewer->windowTitle(), "Report");
        QList<QAction *> entries = viewer->menuBar()->actions();
        // "Save as CSV..." is there only while the reorder list is shown.
        entries.removeIf([](QAction *a) { return !a->isVisible(); });
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries[0]->text().remove('&'), "Print");
        QCOMPARE(entries[0]->shortcut(), QKeySequence(QKeySequence::Print));
        QCOMPARE(control<QAction>(*viewer, "findAction")->shortcut(), QKeySequence(QKeySequence::Find));
        QStringList unnamed;
        for (QWidget *w : viewer->findChildren<QWidget *>())
            if (!w->objectName().startsWith("qt_") &&
                (qobject_cast<QAbstractButton *>(w) || qobject_cast<QLineEdit *>(w) ||
                 qobject_cast<QAbstractScrollArea *>(w) || w == findBarOf(viewer) ||
                 w == reportAreaOf(viewer)) &&
                w->accessibleName().isEmpty())
                unnamed << w->objectName() + ":" + w->metaObject()->className();
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(' ')));
    }

    void printDialog_data()
    {
        QTest::addColumn<bool>("closeViewer");
        QTest::newRow("cancelled") << false;
        QTest::newRow("viewer closed meanwhile") << true;
    }
    void printDialog()
    {
        QFETCH(bool, closeViewer);
        QTemporaryDir dir;
        QPointer<ReportWindow> viewer = shownViewer(expected::workedExampleReport(0), dir);
        QVERIFY(viewer);
        QString seen;
        QTimer::singleShot(0, this, [&] {
            if (auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget())) {
                seen = dialog->metaObject()->className();
                if (closeViewer)
                    viewer->close();
                else
                    dialog->reject();
            }
        });
        // Should the dialog outlive its window, it is closed all the same.
        QTimer::singleShot(5000, this, [] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) dialog->reject();
        });
        control<QAction>(*viewer, "mnuprint")->trigger();
        QCOMPARE(seen, "QPrintDialog");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(viewer.isNull(), closeViewer);
    }

    void reusedUntilClosed()
    {
        ReportWindow *viewer = ReportWindow::instance();
        QCOMPARE(ReportWindow::instance(), viewer);
        QPointer<ReportWindow> closed(viewer);
        viewer->show();
        viewer->close();
        QVERIFY(ReportWindow::openInstance() == nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(closed.isNull());
        QVERIFY(ReportWindow::instance() != nullptr);
    }

    void colours_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("shown");
        QTest::newRow("six digits") << R"(<font color="0000aa">)"
                                    << R"(<font color="#0000aa">)";
        QTest::newRow("five digits as a browser reads them") << R"(<font color="cc000">)"
                                                             << R"(<font color="#cc0000">)";
        QTest::newRow("three digits") << "<font color=abc>"
                                      << "<font color=#0a0b0c>";
        QTest::newRow("nine digits") << R"(<td bgcolor='00ff00ff0'>)"
                                     << R"(<td bgcolor='#00f0ff'>)";
        QTest::newRow("long value drops leading zeros") << "<font color=000aa0000bb0000cc0>"
                                                        << "<font color=#aabbcc>";
        QTest::newRow("name kept") << "<table bordercolor=black cellspacing=0>"
                                   << "<table bordercolor=black cellspacing=0>";
        QTest::newRow("hash kept") << R"(<font color="#123456">)"
                                   << R"(<font color="#123456">)";
        QTest::newRow("blanks around the equals sign") << R"(<font color = "00bb00">)"
                                                       << R"(<font color = "#00bb00">)";
        QTest::newRow("text outside tags kept") << "<b>color=abc</b>"
                                                << "<b>color=abc</b>";
    }
    void colours()
    {
        QFETCH(QString, html);
        QFETCH(QString, shown);
        QCOMPARE(ReportWindow::displayHtml(html), shown);
    }

    void reads_data()
    {
        // The rows shown, or -1 for the text browser, and a text that shows.
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("shows");
        const QByteArray worked = expected::workedExampleReport(0);
        const expected::Choice c = expected::workedExample(0);
        QTest::newRow("worked example")
            << worked << 2 << "Bolt\nAcme\n3/1/2004\nB-10\n101\n$.25\n$25.25\nNut";
        QTest::newRow("empty table") << expected::report(c.labels, {}, "") << 0
                                     << "Total Unit Value\nTotal Inventory Value\n\nEnd of Report";
        QTest::newRow("escaped text")
            << expected::report(c.labels,
                                {QList<QByteArray>{"A&amp;B &lt;x&gt; &quot;q&quot; &#233;t&#233; &#128512;",
                                                   "  Big   Acme ", "", "", "", "", ""}},
                                "$1.00")
            << 1 << QString::fromUtf8("A&B <x> \"q\" été 😀\nBig Acme\n");
        QTest::newRow("line break at the end") << worked + "\r\n" << 2 << "Nut";
        QTest::newRow("rows over many read blocks") << numberedReport(4000) << 4000 << "Item 3999\nAcme";
        QTest::newRow("foreign page")
            << QByteArray("<html><body><p>Hello <b>there</b></p></body></html>") << -1 << "Hello there";
        QByteArray edited = worked;
        edited.replace(R"(<td align = "center"><b> &nbsp;Acme)", R"(<td align="left"><b> &nbsp;Acme)");
        QTest::newRow("edited by hand") << edited << -1 << "Acme";
        QTest::newRow("cut short") << worked.left(worked.indexOf("Nut")) << -1 << "Bolt";
        QTest::newRow("more after the end") << worked + "<p>PS</p>" << -1 << "PS";
    }
    void reads()
    {
        QFETCH(QByteArray, html);
        QFETCH(int, rows);
        QFETCH(QString, shows);
        QTemporaryDir dir;
        const QString path = writeFile(dir, html);
        ReportWindow *viewer = ReportWindow::instance();
        viewer->navigate(path);
        QCOMPARE(viewer->showsRows(), rows >= 0);
        if (rows >= 0) QCOMPARE(rowViewOf(viewer)->model()->rowCount(), rows);
        QVERIFY2(viewer->shownText().contains(shows), qPrintable(viewer->shownText().left(2000)));
        QCOMPARE(readAll(path), html);
    }

    void looksAsBefore_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("title") << "Inventory Report" << QColor(Qt::black);
        QTest::newRow("header") << "Unit Cost" << QColor(0x00, 0x00, 0xaa);
        QTest::newRow("cell") << "Bolt" << QColor(Qt::black);
        QTest::newRow("money cell") << "$1,234.50" << QColor(Qt::black);
        QTest::newRow("row value") << "$3,703.50" << QColor(0x00, 0xbb, 0x00);
        QTest::newRow("total label") << "Total Inventory Value" << QColor(0x00, 0x00, 0xaa);
        QTest::newRow("total") << "$3,728.75" << QColor(0xcc, 0x00, 0x00);
        QTest::newRow("closing") << "End of Report" << QColor(Qt::black);
    }
    void looksAsBefore()
    {
        QFETCH(QString, text);
        QFETCH(QColor, colour);
        QTemporaryDir dir;
        ReportWindow *viewer = shownViewer(expected::workedExampleReport(0), dir);
        QVERIFY(viewer && viewer->showsRows());
        const auto model = rowViewOf(viewer)->model();
        const qsizetype piece = model->find(text, -1);
        QVERIFY(piece >= 0);
        QCOMPARE(model->pieceText(piece), text);
        const QImage shot = rowViewOf(viewer)->viewport()->grab().toImage();
        const QRect area = rowViewOf(viewer)->reportLayout()->pieceRect(piece).adjusted(2, 2, -2, -2);
        QVERIFY2(shot.rect().contains(area),
                 qPrintable(QString("%1 %2").arg(area.bottom()).arg(shot.height())));
        const QColor drawn = ink(shot, area);
        QVERIFY2(qAbs(drawn.red() - colour.red()) < 40 && qAbs(drawn.green() - colour.green()) < 40 &&
                     qAbs(drawn.blue() - colour.blue()) < 40,
                 qPrintable(drawn.name()));
        // Centred in its cell or line.
        QVERIFY2(qAbs(inkMiddle(shot, area) - area.center().x()) <= 3,
                 qPrintable(QString::number(inkMiddle(shot, area))));
    }

    void noScrollBarForNothing()
    {
        // The page-wide table fits the view at every width, without a horizontal scroll bar.
        QTemporaryDir dir;
        ReportWindow *viewer = shownViewer(expected::workedExampleReport(0), dir);
        QVERIFY(viewer);
        QStringList overflowing;
        for (int width = 700; width <= 1000; ++width) {
            viewer->resize(width, 600);
            QApplication::processEvents();
            if (rowViewOf(viewer)->horizontalScrollBar()->maximum() > 0)
                overflowing << QString::number(width);
        }
        QVERIFY2(overflowing.isEmpty(), qPrintable(overflowing.join(' ')));
    }

    void keys_data()
    {
        QTest::addColumn<bool>("fromEnd");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("lands"); // top, end, row, page: where the view goes
        QTest::newRow("Down") << false << int(Qt::Key_Down) << "row";
        QTest::newRow("PageDown") << false << int(Qt::Key_PageDown) << "page";
        QTest::newRow("End") << false << int(Qt::Key_End) << "end";
        QTest::newRow("Home") << true << int(Qt::Key_Home) << "top";
        QTest::newRow("Up") << true << int(Qt::Key_Up) << "row";
        QTest::newRow("PageUp") << true << int(Qt::Key_PageUp) << "page";
    }
    void keys()
    {
        QFETCH(bool, fromEnd);
        QFETCH(int, key);
        QFETCH(QString, lands);
        QTemporaryDir dir;
        ReportWindow *viewer = shownViewer(numberedReport(5000), dir);
        QVERIFY(viewer);
        ReportView *view = rowViewOf(viewer);
        QScrollBar *bar = view->verticalScrollBar();
        bar->setValue(fromEnd ? bar->maximum() : 0);
        const int start = bar->value();
        view->setFocus();
        QTest::keyClick(view, Qt::Key(key));
        const int step = lands == "row" ? view->reportLayout()->rowHeight() : bar->pageStep();
        const int expected = lands == "top"   ? 0
                             : lands == "end" ? bar->maximum()
                                              : start + (fromEnd ? -step : step);
        QCOMPARE(bar->value(), expected);
        // At the end the last row and the total are in sight.
        if (lands == "end") QCOMPARE(view->rowsInSight().second, 4999);
    }

    void find_data()
    {
        // Pieces: 0 title, 1-7 headers, 8-14 Bolt, 15-21 Nut, 22-28 Creme, 29 total label, 30 total,
        // 31 closing.
        QTest::addColumn<QString>("needle");
        QTest::addColumn<int>("from");
        QTest::addColumn<bool>("backwards");
        QTest::addColumn<int>("found");
        QTest::newRow("case ignored") << "bOLT" << -1 << false << 8;
        QTest::newRow("next after") << "acme" << 9 << false << 16;
        QTest::newRow("round past the end") << "acme" << 16 << false << 9;
        QTest::newRow("backwards") << "acme" << 16 << true << 9;
        QTest::newRow("backwards round") << "nut" << 8 << true << 15;
        QTest::newRow("header") << "unit" << -1 << false << 5;
        QTest::newRow("not ASCII, case ignored") << QString::fromUtf8("BRÛLÉE") << -1 << false << 22;
        QTest::newRow("entity text") << QString::fromUtf8("café") << 22 << false << 23;
        QTest::newRow("total") << "3,729" << -1 << false << 30;
        QTest::newRow("only itself") << "3,729" << 30 << false << 30;
        QTest::newRow("closing") << "end of" << -1 << false << 31;
        QTest::newRow("title from the end") << "inventory r" << 31 << false << 0;
        QTest::newRow("not held") << "washer" << -1 << false << -1;
        QTest::newRow("empty") << "" << -1 << false << -1;
    }
    void find()
    {
        QFETCH(QString, needle);
        QFETCH(int, from);
        QFETCH(bool, backwards);
        QFETCH(int, found);
        const auto model = tv::ReportReader::parse(threeRowReport());
        QVERIFY(model);
        QCOMPARE(model->pieceCount(), 32);
        QCOMPARE(model->find(needle, from, backwards), found);
    }

    void findBar_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<QString>("needle");
        QTest::newRow("report rows") << numberedReport(3000) << "item 2999";
        QTest::newRow("text browser")
            << QByteArray("<html><body><p>Hello <b>there</b></p></body></html>") << "THERE";
    }
    void findBar()
    {
        QFETCH(QByteArray, html);
        QFETCH(QString, needle);
        QTemporaryDir dir;
        ReportWindow *viewer = shownViewer(html, dir);
        QVERIFY(viewer);
        viewer->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(viewer));
        QVERIFY(!findBarOf(viewer)->isVisible());
        QTest::keySequence(viewer, QKeySequence::Find);
        QVERIFY(findBarOf(viewer)->isVisible());
        QCOMPARE(QApplication::focusWidget(), findTextOf(viewer));

        QTest::keyClicks(findTextOf(viewer), needle);
        QCOMPARE(findStatusOf(viewer)->text(), QString());
        if (viewer->showsRows()) {
            const auto [first, last] = rowViewOf(viewer)->rowsInSight();
            QVERIFY2(first <= 2999 && 2999 <= last, qPrintable(QString("%1-%2").arg(first).arg(last)));
            QCOMPARE(rowViewOf(viewer)->model()->pieceText(rowViewOf(viewer)->shownPiece()), "Item 2999");
        } else {
            QCOMPARE(browserOf(viewer)->textCursor().selectedText().toLower(), needle.toLower());
        }
        QTest::keyClick(findTextOf(viewer), Qt::Key_Return); // the one place again, round the end
        QCOMPARE(findStatusOf(viewer)->text(), QString());
        QTest::keyClicks(findTextOf(viewer), "zzz");
        QCOMPARE(findStatusOf(viewer)->text(), "Not found");

        QTest::keyClick(findTextOf(viewer), Qt::Key_Escape);
        QVERIFY(!findBarOf(viewer)->isVisible());
        QVERIFY(QApplication::focusWidget() == rowViewOf(viewer) ||
                QApplication::focusWidget() == browserOf(viewer));
    }

    void missingFile()
    {
        QTemporaryDir dir;
        try {
            ReportWindow::instance()->navigate(dir.filePath("report.html"));
            QFAIL("showed a missing file");
        } catch (const tv::AppError &e) {
            QCOMPARE(e.number(), int(tv::Err::FileNotFound));
        }
    }

    void printsEveryPage_data()
    {
        QTest::addColumn<QByteArray>("html");
        QTest::addColumn<int>("pages"); // 0: as many as the worked example takes
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("last");
        QTest::addColumn<QString>("total");
        QTest::newRow("worked example") << expected::workedExampleReport(0) << 1 << "Bolt"
                                        << "$3,703.50"
                                        << "$3,728.75";
        QTest::newRow("three pages") << QByteArray() << 3 << "Item 0 "
                                     << "Item %1 "
                                     << "$99.00";
        QTest::newRow("foreign page")
            << QByteArray("<html><body><p>Hello <b>there</b></p></body></html>") << 1 << "Hello"
            << "there"
            << "there";
    }
    void printsEveryPage()
    {
        QFETCH(QByteArray, html);
        QFETCH(int, pages);
        QFETCH(QString, first);
        QFETCH(QString, last);
        QFETCH(QString, total);
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        QTemporaryDir dir;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("report.pdf"));
        ReportWindow *viewer = ReportWindow::instance();
        if (html.isEmpty()) {
            // Just enough rows for three pages, however tall a row prints here.
            viewer->navigate(writeFile(dir, numberedReport(400)));
            const tv::ReportPrinter probe(rowViewOf(viewer)->model(), rowViewOf(viewer)->font());
            const std::vector<qsizetype> starts = probe.pageStarts(printer);
            QVERIFY(starts.size() > 3);
            const int rows = int(starts[2] + (starts[2] - starts[1]) / 2);
            html = numberedReport(rows);
            last = last.arg(rows - 1);
        }
        viewer->navigate(writeFile(dir, html));
        QCOMPARE(viewer->printShown(&printer), tv::PrintResult::Printed);
        QStringList text = pdfText(dir.filePath("report.pdf")).split('\f');
        if (text.last().trimmed().isEmpty()) text.removeLast();
        QCOMPARE(text.size(), pages);
        QVERIFY2(text.first().contains(first), qPrintable(text.first()));
        QVERIFY2(text.last().contains(last) && text.last().contains(total), qPrintable(text.last()));
        if (!viewer->showsRows()) return;
        QVERIFY(text.first().contains("Inventory Report"));
        QVERIFY(text.last().contains("End of Report"));
        for (int i = 0; i < pages; ++i) {
            QVERIFY2(text[i].contains("Item Name") && text[i].contains("Total Unit"), qPrintable(text[i]));
            QVERIFY2(text[i].contains(QString("Page %1 of %2").arg(i + 1).arg(pages)), qPrintable(text[i]));
        }
    }

    void printLeavesNoPart_data()
    {
        QTest::addColumn<QByteArray>("earlier"); // the file there before, if any
        QTest::addColumn<int>("stopAt");         // the page the print is cancelled at, -1: never
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("result");
        QTest::newRow("cancelled") << QByteArray() << 1 << "" << int(tv::PrintResult::Canceled);
        QTest::newRow("cancelled keeps the earlier file")
            << QByteArray("earlier") << 1 << "" << int(tv::PrintResult::Canceled);
        QTest::newRow("cancelled before the first page")
            << QByteArray("earlier") << 0 << "" << int(tv::PrintResult::Canceled);
        QTest::newRow("replaces the earlier file")
            << QByteArray("earlier") << -1 << "" << int(tv::PrintResult::Printed);
        QTest::newRow("folder missing") << QByteArray() << -1 << "missing" << int(tv::PrintResult::Failed);
    }
    void printLeavesNoPart()
    {
        QFETCH(QByteArray, earlier);
        QFETCH(int, stopAt);
        QFETCH(QString, folder);
        QFETCH(int, result);
        QTemporaryDir dir;
        QTemporaryDir reportDir;
        ReportWindow *viewer = ReportWindow::instance();
        viewer->navigate(writeFile(reportDir, numberedReport(300)));
        const QString pdf = dir.filePath(folder.isEmpty() ? "report.pdf" : folder + "/report.pdf");
        if (!earlier.isEmpty()) {
            QFile f(pdf);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(earlier);
        }
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        QString error;
        const tv::PrintResult printed = viewer->printShown(
            &printer, [&](int page, int) { return page != stopAt; }, &error);
        QCOMPARE(int(printed), result);
        QCOMPARE(printer.outputFileName(), pdf);
        QCOMPARE(error.isEmpty(), printed != tv::PrintResult::Failed);
        const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        if (printed == tv::PrintResult::Printed) {
            QCOMPARE(left, QStringList{"report.pdf"});
            QVERIFY(readAll(pdf).startsWith("%PDF"));
        } else {
            QCOMPARE(left, earlier.isEmpty() ? QStringList() : QStringList{"report.pdf"});
            if (!earlier.isEmpty()) QCOMPARE(readAll(pdf), earlier);
        }
    }
};

QTEST_MAIN(TestReportWindow)
#include "tst_reportwindow.moc"
