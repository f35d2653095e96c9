// bench_find [items] [vendors]: a find that matches nothing and a pick list fill over a large
// item database, against the sqlite3 shell doing the same work on the same file.
#include "BenchDb.h"
#include "items/ItemFinder.h"
#include "items/ItemRecordSet.h"
#include "items/PickLists.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tv;

using bench::median;

namespace {
template <class F> double medianMs(int runs, F &&work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        work();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    return median(times);
}

double shellMedianMs(int runs, const QString &command)
{
    bench::timeShellMs(command); // page cache
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(bench::timeShellMs(command));
    return median(times);
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int items = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int vendors = argc > 2 ? std::atoi(argv[2]) : 1000;
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("InventoryDb.mdb"));
    bench::generateInventory(db, items, vendors);
    ItemRecordSet records(db);
    records.open();
    const int runs = 7;

    // A search that matches nothing walks every row, letting events run as the window would.
    bool found = false;
    const double findMs = medianMs(runs, [&] {
        found = findItemNumber(records, QStringLiteral("no-such-item"), 0, [] {
                    QCoreApplication::processEvents();
                }).has_value();
    });
    const double sqliteFindMs = shellMedianMs(
        runs, QStringLiteral("sqlite3 '%1' \"select rowid from Items where instr(lower(ItemNum), "
                             "lower('no-such-item')) > 0\" > /dev/null")
                  .arg(db));

    qsizetype listSize = 0;
    const double pickMs = medianMs(runs, [&] { listSize = pickListValues(PickList::Vendor, db).size(); });
    const double sqlitePickMs = shellMedianMs(
        runs, QStringLiteral("sqlite3 '%1' \"select distinct Vendor from Items\" > /dev/null").arg(db));

    std::printf("items: %d, distinct vendors: %d (list holds %lld)\n", items, vendors,
                static_cast<long long>(listSize));
    std::printf("find with no match:   %8.2f ms (target < 30 ms)   sqlite3 instr: %8.2f ms   ratio %.2f%s\n",
                findMs, sqliteFindMs, findMs / sqliteFindMs, found ? "  (unexpected match)" : "");
    std::printf("vendor pick list:     %8.2f ms (target < 50 ms)   sqlite3 distinct: %8.2f ms   ratio %.2f\n",
                pickMs, sqlitePickMs, pickMs / sqlitePickMs);
    std::printf("(sqlite3 figures include starting the shell process)\n");
    return 0;
}
