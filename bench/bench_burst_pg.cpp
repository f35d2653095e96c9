// bench_burst_pg [rows]: another workstation (psql) adds rows in one statement while a record set
// is open on the same server: how long until every row is shown, and the longest time the
// event loop (the window) went without answering meanwhile.
#include "PgTestServer.h"
#include "items/ItemRecordSet.h"
#include "items/PgItemStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cstdio>

using namespace tv;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rows = argc > 1 ? std::atoi(argv[1]) : 50000;
    test::PgTestServer server;
    if (const QString error = server.setUp(); !error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    server.psql(
        QStringLiteral("insert into items (ItemDesc, ItemNum) values ('First', '1'), ('Second', '2')"));
    ItemRecordSet records(std::make_unique<PgItemStore>(server.address()));
    records.open();

    // Ticks every 10 ms: a late tick is time the window could not answer a click.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0, longestGap = 0;
    bool measuring = false;
    QTimer ticks;
    ticks.setInterval(10);
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (measuring) longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });
    ticks.start();

    QProcess psql;
    psql.start(QStringLiteral("psql"),
               {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                QStringLiteral("-p"), QString::number(server.port()), QStringLiteral("-U"),
                QStringLiteral("tallyvane"), QStringLiteral("-d"), QStringLiteral("inventory"),
                QStringLiteral("-c"),
                QStringLiteral("insert into items (ItemDesc, ItemNum) select 'Burst ' || g, g::text from "
                               "generate_series(1, %1) g")
                    .arg(rows)});
    qint64 committed = -1, shown = -1;
    QObject::connect(&psql, &QProcess::finished, [&] {
        committed = clock.elapsed();
        measuring = true;
        lastTick = committed;
    });
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (records.recordCount() == rows + 2 && committed >= 0) {
            shown = clock.elapsed();
            loop.quit();
        }
    });
    poll.start();
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    std::printf("rows added elsewhere in one statement: %d\n", rows);
    if (shown < 0) {
        std::printf("not all shown within 120 s (%d of %d)\n", records.recordCount() - 2, rows);
        return 1;
    }
    std::printf("commit to every row shown:             %lld ms (target < 2000)\n",
                static_cast<long long>(shown - committed));
    std::printf("longest the window went unanswered:    %lld ms (target < 100)\n",
                static_cast<long long>(longestGap));
    return 0;
}
