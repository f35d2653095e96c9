// bench_open [items] [database]: opening the item database up to the first item shown, with its
// title and grid, against the sqlite3 shell reading the whole table from the same file.
// bench_open --read database: reads every row into a record set once and ends, so that a
// process timer can set it beside the sqlite3 shell (farm-bench --vs "sqlite3 database ...").
#include "BenchDb.h"
#include "app/SplashScreen.h"
#include "common/EndProgram.h"
#include "common/ProgramFolder.h"
#include "items/ItemRecordSet.h"
#include "mainwindow/MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace tv;

using bench::median;

int main(int argc, char **argv)
{
    if (argc > 2 && std::strcmp(argv[1], "--read") == 0) {
        QCoreApplication app(argc, argv);
        const long before = bench::currentRssKiB();
        ItemRecordSet rs(QString::fromLocal8Bit(argv[2]));
        rs.open();
        if (qEnvironmentVariableIsSet("BENCH_RSS"))
            std::printf("record set: %.1f MB resident, rows %.1f MB\n",
                        (bench::currentRssKiB() - before) / 1024.0,
                        static_cast<double>(rs.rows().bytesUsed() + rs.rows().slotBytes()) / 1048576.0);
        return rs.recordCount() > 0 ? 0 : 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tallyvane"));
    QApplication::setApplicationName(QStringLiteral("KetbookBench"));
    const int items = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir dir;
    setProgramFolder(dir.path());
    const QString db = databasePath();
    if (argc > 2) {
        if (!QFile::copy(QString::fromLocal8Bit(argv[2]), db)) return 1;
    } else {
        bench::generateInventory(db, items);
    }
    setEndProgramHandler([] {});
    QSettings().setValue(QStringLiteral("TipOfTheDay/ShowAtStartup"), false);

    // Warm the page cache for both sides, then take the median of several runs.
    const QString shell = QStringLiteral("sqlite3 '%1' \"select * from Items\" > /dev/null").arg(db);
    bench::timeShellMs(shell);
    std::vector<double> sqliteRuns;
    for (int i = 0; i < 5; ++i)
        sqliteRuns.push_back(bench::timeShellMs(shell));

    // Ketbook shows its splash window before the main window; fonts and style are loaded then.
    {
        SplashScreen splash({});
        splash.show();
        QCoreApplication::processEvents();
    }

    const long rssBefore = bench::currentRssKiB();
    const int runs =
        qEnvironmentVariableIntValue("BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("BENCH_RUNS") : 5;
    std::vector<double> openRuns, createRuns;
    long peakExtra = 0;
    QString title;
    int gridRows = 0;
    QString firstName;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        auto *w = makeMainWindow().release();
        const double made = t.nsecsElapsed() / 1e6;
        w->show();
        QCoreApplication::processEvents(); // the first paint of fields and grid
        openRuns.push_back(t.nsecsElapsed() / 1e6);
        createRuns.push_back(made);
        peakExtra = std::max(peakExtra, bench::currentRssKiB() - rssBefore);
        title = w->windowTitle();
        gridRows = w->grid()->model()->rowCount();
        firstName = w->txtfield(3)->text();
        delete w;
    }
    const long peak = bench::peakRssKiB();

    // The edit commands on the open window: from the press to the title showing the new count.
    std::vector<double> saveRuns, deleteRuns, saveSettled, deleteSettled;
    {
        auto w = makeMainWindow();
        w->show();
        QCoreApplication::processEvents();
        // The file's store answers at once: the title is set when the click returns; then what the
        // change set off (the grid, the reorder line) runs.
        const auto press = [&w](const char *button, int count, std::vector<double> &toTitle,
                                std::vector<double> &settled) {
            QElapsedTimer t;
            t.start();
            w->button(QString::fromLatin1(button))->click();
            toTitle.push_back(t.nsecsElapsed() / 1e6);
            if (!w->windowTitle().contains(QString::number(count)))
                std::printf("%s: the title does not show %d\n", button, count);
            QCoreApplication::processEvents();
            settled.push_back(t.nsecsElapsed() / 1e6);
        };
        for (int i = 0; i < 5; ++i) {
            const int count = w->recordSet().recordCount();
            w->button(QStringLiteral("cmdAdd"))->click();
            QCoreApplication::processEvents();
            w->txtfield(3)->setText(QStringLiteral("Bench item %1").arg(i));
            press("cmdSave", count + 1, saveRuns, saveSettled);
            press("cmdDelete", count, deleteRuns, deleteSettled);
        }
    }

    // The record set alone, without the window.
    std::vector<double> setRuns, setCpu;
    size_t blockBytes = 0, slotBytes = 0;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        const double cpu = bench::cpuMs();
        ItemRecordSet rs(db);
        rs.open();
        setRuns.push_back(t.nsecsElapsed() / 1e6);
        setCpu.push_back(bench::cpuMs() - cpu);
        blockBytes = rs.rows().bytesUsed();
        slotBytes = rs.rows().slotBytes();
    }

    const double sqliteMs = median(sqliteRuns);
    const double openMs = median(openRuns);
    std::printf("items:                         %d\n", items);
    std::printf("title:                         \"%s\"\n", qPrintable(title));
    std::printf("grid rows / first item:        %d / %s\n", gridRows, qPrintable(firstName));
    std::printf("sqlite3 select * from Items:   %.1f ms (median of 5)\n", sqliteMs);
    std::printf("open to first item shown:      %.1f ms (median of 5; first %.1f ms)\n", openMs, openRuns[0]);
    std::printf("  of which creating the window:%.1f ms (median of 5)\n", median(createRuns));
    std::printf("  of which the record set:     %.1f ms (median of 5; CPU %.1f ms)\n", median(setRuns),
                median(setCpu));
    std::printf("ratio to sqlite3:              %.2f (target <= 1.2 at 1,000,000 items)\n",
                openMs / sqliteMs);
    std::printf(
        "extra memory while open:       %.1f MB (target < 15 MB at 100,000 items, < 120 MB at 1,000,000)\n",
        peakExtra / 1024.0);
    std::printf("  of which the rows:           %.1f MB, %.1f bytes an item (values %.1f, slots %.1f)\n",
                static_cast<double>(blockBytes + slotBytes) / 1048576.0,
                static_cast<double>(blockBytes + slotBytes) / std::max(1, items),
                static_cast<double>(blockBytes) / std::max(1, items),
                static_cast<double>(slotBytes) / std::max(1, items));
    std::printf("peak resident memory:          %.1f MB\n", peak / 1024.0);
    std::printf("save a new item, to the title: %.1f ms (median of 5; all settled %.1f ms)\n",
                median(saveRuns), median(saveSettled));
    std::printf("delete it, to the title:       %.1f ms (median of 5; all settled %.1f ms)\n",
                median(deleteRuns), median(deleteSettled));
    return 0;
}
