// bench_reorder [items] [below]: opening the main window over a database without reorder levels
// and over the same items with a level each (`below` of them at or below it), and writing and
// showing the reorder list.
#include "BenchDb.h"
#include "app/SplashScreen.h"
#include "common/EndProgram.h"
#include "common/ProgramFolder.h"
#include "items/SqliteConnection.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/ReorderStatusLine.h"
#include "report/ReorderWriter.h"
#include "report/ReportWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <vector>

using namespace tv;

namespace {

// Every item gets a level: every step-th one its count plus 5 (so at or below it), the others
// one below their count.
void addLevels(const QString &path, int step)
{
    SqliteConnection c(path, SqliteConnection::Access::ReadWrite);
    c.exec("ALTER TABLE Items ADD COLUMN ReorderLevel INTEGER");
    c.exec("ALTER TABLE Items ADD COLUMN ReorderQty INTEGER");
    const std::string sql = "UPDATE Items SET ReorderLevel = CASE WHEN rowid % " + std::to_string(step) +
                            " = 0 THEN ItemCnt + 5 ELSE ItemCnt - 1 END";
    c.exec(sql.c_str());
}

// Opens the main window over the program folder's database and shows it; the median of runs, in
// wall time and (fairer on a machine shared with other work) in CPU time.
double openMs(int runs, int &marked, std::vector<double> &cpu)
{
    std::vector<double> figures, cpuFigures;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        const double cpuStart = bench::cpuMs();
        t.start();
        auto *w = makeMainWindow().release();
        w->show();
        QCoreApplication::processEvents(); // the first paint of fields, grid and the line under it
        figures.push_back(t.nsecsElapsed() / 1e6);
        cpuFigures.push_back(bench::cpuMs() - cpuStart);
        marked = w->reorderLine()->count();
        delete w;
    }
    cpu.push_back(bench::median(cpuFigures));
    return bench::median(figures);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tallyvane"));
    QApplication::setApplicationName(QStringLiteral("KetbookBench"));
    const int items = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int below = argc > 2 ? std::atoi(argv[2]) : 5000;
    QTemporaryDir plainDir, levelDir;
    setProgramFolder(plainDir.path());
    bench::generateInventory(databasePath(), items);
    const QString levelled = levelDir.filePath(QStringLiteral("InventoryDb.mdb"));
    if (!QFile::copy(databasePath(), levelled)) return 1;
    addLevels(levelled, std::max(1, items / std::max(1, below)));
    setEndProgramHandler([] {});
    QSettings().setValue(QStringLiteral("TipOfTheDay/ShowAtStartup"), false);
    {
        SplashScreen splash({});
        splash.show();
        QCoreApplication::processEvents();
    }
    const int runs =
        qEnvironmentVariableIntValue("BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("BENCH_RUNS") : 7;

    // Alternated, so that both see the same state of the machine.
    int markedPlain = 0, markedLevels = 0;
    std::vector<double> plain, withLevels, plainCpu, levelCpu;
    for (int round = 0; round < 3; ++round) {
        setProgramFolder(plainDir.path());
        plain.push_back(openMs(runs, markedPlain, plainCpu));
        setProgramFolder(levelDir.path());
        withLevels.push_back(openMs(runs, markedLevels, levelCpu));
    }

    // The reorder list: built, written to reorder.html and shown in the viewer, laid out.
    auto window = makeMainWindow();
    window->show();
    QCoreApplication::processEvents();
    // Its parts, once, before the viewer exists.
    QElapsedTimer part;
    part.start();
    const ReorderWriter writer(buildReorderList(window->recordSet().rows()));
    const double builtMs = part.nsecsElapsed() / 1e6;
    part.restart();
    const QByteArray page = writer.html();
    const double htmlMs = part.nsecsElapsed() / 1e6;
    part.restart();
    writer.save(ReorderWriter::listPath());
    const double savedMs = part.nsecsElapsed() / 1e6;
    part.restart();
    ReportWindow::showReorderList(ReorderWriter::listPath(), writer.csv());
    QCoreApplication::processEvents();
    const double shownMs = part.nsecsElapsed() / 1e6;
    delete ReportWindow::openInstance();
    std::vector<double> listRuns;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        window->writeReorderList();
        QCoreApplication::processEvents();
        listRuns.push_back(t.nsecsElapsed() / 1e6);
    }
    const QString shown =
        ReportWindow::openInstance() ? ReportWindow::openInstance()->shownPath() : QString();
    const qint64 bytes = QFile(ReorderWriter::listPath()).size();

    const double plainMs = bench::median(plain), levelMs = bench::median(withLevels);
    std::printf("items / at or below their level:  %d / %d (marked %d, without levels %d)\n", items, below,
                markedLevels, markedPlain);
    const double plainCpuMs = bench::median(plainCpu), levelCpuMs = bench::median(levelCpu);
    std::printf("open without levels:              %.1f ms, CPU %.1f ms (median of 3 rounds of %d)\n",
                plainMs, plainCpuMs, runs);
    std::printf(
        "open with levels and marks:       %.1f ms (%+.1f %%), CPU %.1f ms (%+.1f %%; target <= +5 %%)\n",
        levelMs, (levelMs / plainMs - 1) * 100, levelCpuMs, (levelCpuMs / plainCpuMs - 1) * 100);
    std::printf("reorder list written and shown:   %.1f ms (median of 5; first %.1f ms; target < 1000 ms)\n",
                bench::median(listRuns), listRuns[0]);
    std::printf("  first time: list %.1f ms, page %.1f ms (%lld bytes), file %.1f ms, viewer made and shown "
                "%.1f ms\n",
                builtMs, htmlMs, static_cast<long long>(page.size()), savedMs, shownMs);
    std::printf("reorder.html:                     %.1f KB, shown from %s\n", bytes / 1024.0,
                qPrintable(shown));
    return 0;
}
