// bench_open_pg [items]: the item store on a PostgreSQL server of its own on 127.0.0.1 - reading
// every item against psql copying the table out in the same run, a save's round trip, and how
// long a change takes to reach another workstation's store.
#include "BenchDb.h"
#include "PgTestServer.h"
#include "items/PgItemStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace tv;

using bench::median;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int items = argc > 1 ? std::atoi(argv[1]) : 100000;
    test::PgTestServer server;
    if (const QString error = server.setUp(); !error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const QString connect =
        QStringLiteral("psql -X -q -h 127.0.0.1 -p %1 -U tallyvane -d inventory").arg(server.port());

    // The same realistic items the file benchmarks use, copied in by the server's own tools.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("InventoryDb.mdb"));
    bench::generateInventory(file, items);
    const QString columns =
        QStringLiteral("ItemDesc, ItemNum, ItemCnt, ItemCst, TotItemCst, Image, InvNum, Vendor, InvDate");
    const QString load =
        QStringLiteral("sqlite3 -csv '%1' 'select %2 from Items' | %3 -c 'copy items (%2) from stdin csv'")
            .arg(file, columns, connect);
    if (bench::timeShellMs(load) < 0) {
        std::fprintf(stderr, "loading the items failed\n");
        return 1;
    }
    server.psql(QStringLiteral("vacuum analyze items"));

    const QString copy = connect + QStringLiteral(" -c \"copy (select * from items) to stdout\" > /dev/null");
    bench::timeShellMs(copy);
    std::vector<double> psqlRuns, storeRuns, readRuns;
    size_t rowsRead = 0;
    for (int i = 0; i < 5; ++i) {
        psqlRuns.push_back(bench::timeShellMs(copy));
        QElapsedTimer t;
        t.start();
        PgItemStore store(server.address());
        store.open();
        const qint64 opened = t.nsecsElapsed();
        rowsRead = store.readAll().size();
        storeRuns.push_back(t.nsecsElapsed() / 1e6);
        readRuns.push_back((t.nsecsElapsed() - opened) / 1e6);
    }

    // The report's read: every row sorted by name.
    std::vector<double> orderedRuns;
    {
        PgItemStore store(server.address());
        store.open();
        for (int i = 0; i < 3; ++i) {
            size_t n = 0;
            QElapsedTimer t;
            t.start();
            store.readOrdered(Column::ItemDesc, [&n](const ItemRow &) { ++n; });
            orderedRuns.push_back(t.nsecsElapsed() / 1e6);
        }
    }

    PgItemStore mine(server.address());
    PgItemStore other(server.address());
    mine.open();
    other.open();
    ItemRow row = *mine.read(mine.readAll().at(static_cast<size_t>(items / 2)).rowid.value());
    std::vector<double> saveRuns, heardRuns;
    for (int i = 0; i < 200; ++i) {
        row.itemCnt = i;
        QElapsedTimer t;
        t.start();
        mine.update(row, 1u << static_cast<unsigned>(Column::ItemCnt));
        saveRuns.push_back(t.nsecsElapsed() / 1e6);
    }
    QCoreApplication::processEvents(); // what the saves above sent
    for (int i = 0; i < 50; ++i) {
        QEventLoop loop;
        double heardMs = -1;
        QElapsedTimer t;
        const auto c = QObject::connect(&other, &ItemStore::changedElsewhere, &loop, [&] {
            heardMs = t.nsecsElapsed() / 1e6;
            loop.quit();
        });
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        row.itemCnt = 1000 + i;
        t.start();
        mine.update(row, 1u << static_cast<unsigned>(Column::ItemCnt));
        loop.exec();
        QObject::disconnect(c);
        heardRuns.push_back(heardMs);
    }

    const double psqlMs = median(psqlRuns), storeMs = median(storeRuns);
    std::printf("items on the server:                 %d (read %zu)\n", items, rowsRead);
    std::printf("psql copy (select * from items):     %.1f ms (median of 5)\n", psqlMs);
    std::printf("store open + readAll:                %.1f ms (median of 5)\n", storeMs);
    std::printf("  of which readAll:                  %.1f ms (median of 5)\n", median(readRuns));
    std::printf("ratio to psql:                       %.2f (target <= 3)\n", storeMs / psqlMs);
    std::printf("readOrdered by name (the report):   %.1f ms (median of 3)\n", median(orderedRuns));
    std::printf("save round trip (one column):        %.2f ms (median of 200; max %.2f; target < 10)\n",
                median(saveRuns), *std::max_element(saveRuns.begin(), saveRuns.end()));
    std::printf("change heard by another store:       %.2f ms (median of 50; max %.2f; target < 1000)\n",
                median(heardRuns), *std::max_element(heardRuns.begin(), heardRuns.end()));
    return 0;
}
