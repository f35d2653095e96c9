// Writes the inventory report over growing tables and compares the time with the sqlite3 shell
// writing the same rows as HTML. Wall and CPU times are both printed: on a busy machine the CPU
// times are the fairer comparison.
#include "BenchDb.h"
#include "common/ProgramFolder.h"
#include "report/ReportWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace tv;

namespace {
double cpuMs(int who)
{
    rusage u{};
    getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

struct Timing
{
    double wallMs = 1e300;
    double cpuMs = 1e300;
};

// Best of a few runs; CPU time of this process or of the children it waited for.
Timing bestOf(int runs, int who, const auto &work)
{
    Timing best;
    for (int i = 0; i < runs; ++i) {
        const double cpu0 = cpuMs(who);
        QElapsedTimer t;
        t.start();
        work();
        best.wallMs = std::min(best.wallMs, t.nsecsElapsed() / 1e6);
        best.cpuMs = std::min(best.cpuMs, cpuMs(who) - cpu0);
    }
    return best;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const ReportWriter writer(SortChoice::ItemName);
    const QList<int> sizes{25000, 50000, 100000};
    QTemporaryDir dir;
    for (const int n : sizes) {
        QDir().mkpath(dir.filePath(QString::number(n)));
        bench::generateInventory(dir.filePath(QString::number(n) + "/InventoryDb.mdb"), n);
    }

    const long baseline = bench::peakRssKiB();
    std::printf("%8s %10s %10s %12s %12s %10s\n", "items", "wall ms", "cpu ms", "bytes", "peak+ KiB",
                "KiB/1000");
    Timing largest;
    for (const int n : sizes) {
        // Growing sizes in turn, so that each peak belongs to the run just made.
        setProgramFolder(dir.filePath(QString::number(n)));
        writer.write(); // warms the file cache
        const Timing whole = bestOf(3, RUSAGE_SELF, [&] { writer.write(); });
        const long growth = bench::peakRssKiB() - baseline;
        std::printf("%8d %10.1f %10.1f %12lld %12ld %10.2f\n", n, whole.wallMs, whole.cpuMs,
                    static_cast<long long>(QFileInfo(ReportWriter::reportPath()).size()), growth,
                    growth * 1000.0 / n);
        largest = whole;
    }
    const QString shell =
        QStringLiteral("sqlite3 -html '%1' \"%2\" > /dev/null").arg(databasePath(), writer.query());
    bench::timeShellMs(shell);
    const Timing sqlite = bestOf(3, RUSAGE_CHILDREN, [&] { bench::timeShellMs(shell); });
    std::printf("sqlite3 -html over 100000 items: wall %.1f ms, cpu %.1f ms\n", sqlite.wallMs, sqlite.cpuMs);
    std::printf("report / sqlite3: wall %.2f, cpu %.2f (target <= 3); report over 100000 items %s 1 s\n",
                largest.wallMs / sqlite.wallMs, largest.cpuMs / sqlite.cpuMs,
                largest.wallMs < 1000 ? "under" : "NOT under");
    setProgramFolder(QString());
    return 0;
}
