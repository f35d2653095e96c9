#include "ExpectedReport.h"
#include "common/AppError.h"
#include "report/frmreport.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

namespace {
QString writeFile(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath("report.html");
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    return path;
}

// The colour the viewer shows a piece of text in.
QColor shownColour(const frmreport *viewer, const QString &text)
{
    const QTextCursor found = viewer->wb->document()->find(text);
    if (found.isNull()) return QColor();
    return found.charFormat().foreground().color();
}
} // namespace

class TestFrmReport : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { delete frmreport::openInstance(); }

    void layout_data()
    {
        QTest::addColumn<QSize>("outer");
        QTest::addColumn<double>("dpi");
        QTest::addColumn<QRect>("browser");
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
        QFETCH(QRect, browser);
        QCOMPARE(frmreport::browserGeometry(outer, QSize(44, 55), dpi, dpi), browser);
    }

    void windowFollowsItsSize()
    {
        frmreport *viewer = frmreport::instance();
        viewer->show();
        QVERIFY(QTest::qWaitForWindowExposed(viewer));
        const double dpi = viewer->logicalDpiY();
        for (const QSize size : {QSize(700, 500), QSize(1000, 800)}) {
            viewer->resize(size);
            QApplication::processEvents();
            const QSize outer = viewer->frameGeometry().size();
            const QRect wb = viewer->wb->geometry();
            QCOMPARE(wb.topLeft(), QPoint(qRound(10 * dpi / 1440), qRound(10 * dpi / 1440)));
            QVERIFY2(qAbs(wb.width() - (outer.width() - 200 * dpi / 1440)) <= 0.5,
                     qPrintable(QString::number(wb.width())));
            QVERIFY2(qAbs(wb.height() - (outer.height() - 1000 * dpi / 1440)) <= 0.5,
                     qPrintable(QString::number(wb.height())));
        }
        // The browser sits inside the window, below the menu bar.
        QVERIFY(viewer->wb->mapTo(viewer, QPoint(0, 0)).y() >= viewer->menuBar()->height());
    }

    void oneMenuEntry()
    {
        frmreport *viewer = frmreport::instance();
        QCOMPARE(viewer->windowTitle(), "Report");
        const QList<QAction *> entries = viewer->menuBar()->actions();
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries[0]->text().remove('&'), "Print");
        QCOMPARE(entries[0]->shortcut(), QKeySequence(QKeySequence::Print));
        QVERIFY(!viewer->wb->accessibleName().isEmpty());
    }

    void printOpensTheDialog()
    {
        frmreport *viewer = frmreport::instance();
        viewer->show();
        QString seen;
        QTimer::singleShot(0, this, [&] {
            if (auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget())) {
                seen = dialog->metaObject()->className();
                dialog->reject();
            }
        });
        viewer->mnuprint->trigger();
        QCOMPARE(seen, "QPrintDialog");
    }

    void reusedUntilClosed()
    {
        frmreport *viewer = frmreport::instance();
        QCOMPARE(frmreport::instance(), viewer);
        QPointer<frmreport> closed(viewer);
        viewer->show();
        viewer->close();
        QVERIFY(frmreport::openInstance() == nullptr);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(closed.isNull());
        QVERIFY(frmreport::instance() != nullptr);
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
        QCOMPARE(frmreport::displayHtml(html), shown);
    }

    void showsReportInItsColours()
    {
        QTemporaryDir dir;
        const QByteArray bytes = expected::workedExampleReport(0);
        const QString path = writeFile(dir, bytes);
        frmreport *viewer = frmreport::instance();
        viewer->navigate(path);
        QCOMPARE(shownColour(viewer, "Unit Cost"), QColor(0x00, 0x00, 0xaa));
        QCOMPARE(shownColour(viewer, "$3,703.50"), QColor(0x00, 0xbb, 0x00));
        QCOMPARE(shownColour(viewer, "$3,728.75"), QColor(0xcc, 0x00, 0x00));
        QVERIFY(viewer->wb->toPlainText().contains("End of Report"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), bytes);
    }

    void noScrollBarForNothing()
    {
        // The page-wide tables fit the view at every width, without a horizontal scroll bar.
        QTemporaryDir dir;
        frmreport *viewer = frmreport::instance();
        viewer->navigate(writeFile(dir, expected::workedExampleReport(0)));
        viewer->show();
        QStringList overflowing;
        for (int width = 700; width <= 1000; ++width) {
            viewer->resize(width, 600);
            QApplication::processEvents();
            if (viewer->wb->horizontalScrollBar()->maximum() > 0) overflowing << QString::number(width);
        }
        QVERIFY2(overflowing.isEmpty(), qPrintable(overflowing.join(' ')));
    }

    void missingFile()
    {
        QTemporaryDir dir;
        try {
            frmreport::instance()->navigate(dir.filePath("report.html"));
            QFAIL("showed a missing file");
        } catch (const tv::AppError &e) {
            QCOMPARE(e.number(), int(tv::Err::FileNotFound));
        }
    }

    void printsToPdf()
    {
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
        QTemporaryDir dir;
        frmreport *viewer = frmreport::instance();
        viewer->navigate(writeFile(dir, expected::workedExampleReport(0)));
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(dir.filePath("report.pdf"));
        viewer->printShown(&printer);
        QProcess pdftotext;
        pdftotext.start("pdftotext", {dir.filePath("report.pdf"), "-"});
        QVERIFY(pdftotext.waitForFinished(30000));
        QCOMPARE(pdftotext.exitCode(), 0);
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
        QVERIFY2(text.contains("Inventory Report"), qPrintable(text));
        QVERIFY2(text.contains("$3,728.75"), qPrintable(text));
        QVERIFY2(text.contains("Bolt") && text.contains("$1,234.50"), qPrintable(text));
    }
};

QTEST_MAIN(TestFrmReport)
#include "tst_frmreport.moc"
