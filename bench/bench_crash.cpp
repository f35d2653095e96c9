// bench_crash [seconds] [max delay ms]: kills a program in the middle of its saves with SIGKILL,
// again and again, and checks the file after each kill (integrity, every acknowledged save
// there). Prints kills, acknowledged saves, rows and failures; exits non-zero on a failure.
#include "CrashLoop.h"
#include "TestFolder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>

using namespace tv;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    const int maxDelayMs = argc > 2 ? std::atoi(argv[2]) : 200;
    test::TestFolder folder;
    folder.addRows({test::makeRow(QStringLiteral("First"), QStringLiteral("FIRST"), 0)});
    const quint32 seed = QRandomGenerator::global()->generate();
    test::CrashLoop loop(QStringLiteral(ITEM_WRITER), folder.databasePath(), seed);

    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000LL)
        loop.killOnce(maxDelayMs * 1000);

    std::printf("seed              %u\n", seed);
    std::printf("seconds           %.1f\n", clock.elapsed() / 1000.0);
    std::printf("kills             %d\n", loop.kills());
    std::printf("acknowledged      %lld\n", static_cast<long long>(loop.acknowledged()));
    std::printf("rows in the file  %lld\n", static_cast<long long>(loop.rows()));
    std::printf("failures          %lld\n", static_cast<long long>(loop.failures().size()));
    for (const QString &f : loop.failures())
        std::printf("  %s\n", qPrintable(f));
    return loop.failures().isEmpty() ? 0 : 1;
}
