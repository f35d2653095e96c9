// The report viewer over growing tables: from OK in the sort window to the first rows painted
// (the report file written and read again), a jump to the end and back, the memory the viewer
// adds, and printing every page into a PDF file. Runs on the offscreen platform unless a
// display is named.
#include "BenchDb.h"
#include "common/ProgramFolder.h"
#include "report/ReportModel.h"
#include "report/ReportView.h"
#include "report/ReportWindow.h"
#include "report/ReportWriter.h"
#include "report/SortDialog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QProcess>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <sys/resource.h>

using namespace tv;

namespace {
// CPU time of this process: on a busy machine the fairer figure beside the wall time.
double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double msSince(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

// A jump as the keyboard makes it, painted before the time is taken.
double jump(ReportView *view, Qt::Key key)
{
    QElapsedTimer t;
    t.start();
    QTest::keyClick(view, key);
    view->viewport()->repaint();
    return msSince(t);
}

void closeViewer()
{
    if (ReportWindow *viewer = ReportWindow::openInstance()) {
        viewer->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// One size in a process of its own, so that the memory figure is this viewer's alone.
int measure(int n, const QString &folder)
{
    setProgramFolder(folder);
    const long baseline = bench::currentRssKiB();

    QElapsedTimer t;
    t.start();
    const double firstCpu0 = cpuSeconds();
    SortDialog *sort = SortDialog::showWindow(nullptr, &ReportWindow::showReport);
    sort->findChild<QRadioButton *>(QStringLiteral("Option1"))->setChecked(true);
    sort->writeReport();
    ReportWindow *viewer = ReportWindow::openInstance();
    ReportView *view = viewer ? viewer->findChild<ReportView *>(QStringLiteral("reportView")) : nullptr;
    while (view && view->paintCount() == 0 && t.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double first = msSince(t);
    const double firstCpu = (cpuSeconds() - firstCpu0) * 1000;
    if (!view || view->paintCount() == 0 || !viewer->showsRows()) {
        std::printf("%8d the viewer did not show the rows\n", n);
        return 1;
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const double extra = (bench::currentRssKiB() - baseline) / 1024.0;

    // The two halves of the first figure: writing the file and reading it back.
    t.restart();
    ReportWriter(SortChoice::ItemName).write();
    const double write = msSince(t);
    QFile file(ReportWriter::reportPath());
    file.open(QIODevice::ReadOnly);
    t.restart();
    const bool read = ReportReader::read(file).has_value();
    const double reading = msSince(t);

    double end = 0;
    double home = 0;
    for (int k = 0; k < 3; ++k) {
        end = std::max(end, jump(view, Qt::Key_End));
        home = std::max(home, jump(view, Qt::Key_Home));
    }

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(folder + "/report.pdf");
    int pages = 0;
    t.restart();
    const double cpu0 = cpuSeconds();
    const PrintResult printed = viewer->printShown(&printer, [&](int, int count) {
        pages = count;
        return true;
    });
    const double print = msSince(t) / 1000.0;
    const double printCpu = cpuSeconds() - cpu0;
    if (printed != PrintResult::Printed) {
        std::printf("%8d printing failed\n", n);
        return 1;
    }
    std::printf("%8d %10.1f %8.1f %10.1f %10.1f %8.1f %8.1f %9.1f %8.1f %8.1f %7d %8.1f %6.1f\n", n, first,
                firstCpu, write, read ? reading : -1.0, end, home, extra,
                view->model()->memoryUse() / 1048576.0,
                QFileInfo(ReportWriter::reportPath()).size() / 1048576.0, pages, print, printCpu);
    closeViewer();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--measure")) return measure(args[2].toInt(), args[3]);

    // The text browser, from OK to the window shown.
    const QMap<int, double> before{{2000, 2100}, {10000, 9100}, {100000, 118000}};
    QList<int> sizes;
    for (int i = 1; i < args.size(); ++i)
        sizes << args[i].toInt();
    if (sizes.isEmpty()) sizes = before.keys();
    QTemporaryDir dir;
    // BENCH_KEEP=1 keeps the databases, reports and PDF files to look at.
    if (!qEnvironmentVariableIsEmpty("BENCH_KEEP")) {
        dir.setAutoRemove(false);
        std::printf("files in %s\n", qPrintable(dir.path()));
    }
    for (const int n : sizes) {
        QDir().mkpath(dir.filePath(QString::number(n)));
        bench::generateInventory(dir.filePath(QString::number(n) + "/InventoryDb.mdb"), n);
    }

    std::printf("%8s %10s %8s %10s %10s %8s %8s %9s %8s %8s %7s %8s %6s\n", "items", "first ms", "cpu ms",
                "write ms", "read ms", "end ms", "home ms", "extra MB", "model MB", "file MB", "pages",
                "print s", "cpu s");
    std::fflush(stdout);
    for (const int n : sizes) {
        QProcess one;
        one.setProcessChannelMode(QProcess::ForwardedOutputChannel);
        one.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--measure"), QString::number(n), dir.filePath(QString::number(n))});
        if (!one.waitForFinished(-1) || one.exitCode() != 0) return 1;
        if (before.contains(n))
            std::printf("%8s %10.0f  (the text browser before: OK to the window shown)\n", "", before[n]);
        std::fflush(stdout);
    }
    std::printf("targets: first paint < 300 ms at 10000 and < 1000 ms at 100000 items; a jump < 100 ms; "
                "extra < 150 MB; print < 30 s\n");
    closeViewer();
    setProgramFolder(QString());
    return 0;
}
