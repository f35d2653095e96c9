// bench_csv [items]: CSV export and import of a large item database (targets for 100,000 items:
// export < 1 s, import < 2 s, memory linear in the number of items). Import is the whole command:
// reading the file, the checks of every cell, one transaction and the record set read afresh.
#include "BenchDb.h"
#include "SilentPrompts.h"
#include "common/Prompts.h"
#include "csv/CsvTransfer.h"
#include "items/Database.h"
#include "items/ItemRecordSet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace tv;
using bench::cpuMs;

namespace {
double ms(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    bench::SilentPrompts silent;
    setPrompts(&silent);
    const int largest = argc > 1 ? std::max(4, std::atoi(argv[1])) : 100000;
    std::printf("%-9s %18s %18s %10s %12s %14s\n", "items", "export ms (cpu)", "import ms (cpu)", "file MiB",
                "peak +KiB", "KiB per item");
    // Growing sizes, so that each size sets the peak of the process afresh.
    const long baseline = bench::currentRssKiB();
    for (const int n : {largest / 4, largest / 2, largest}) {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("source.mdb"));
        bench::generateInventory(source, n);
        const QString csv = dir.filePath(QStringLiteral("items.csv"));
        double exportMs = 1e300, importMs = 1e300, exportCpu = 1e300, importCpu = 1e300;
        {
            ItemRecordSet rs(source);
            rs.open();
            for (int run = 0; run < 3; ++run) {
                const double cpu0 = cpuMs();
                QElapsedTimer t;
                t.start();
                exportItemsCsv(rs.rows(), csv);
                exportMs = std::min(exportMs, ms(t));
                exportCpu = std::min(exportCpu, cpuMs() - cpu0);
            }
        }
        for (int run = 0; run < 3; ++run) {
            const QString target = dir.filePath(QStringLiteral("target%1.mdb").arg(run));
            createEmptyDatabase(target);
            ItemRecordSet rs(target);
            rs.open();
            CsvTransfer transfer(rs, {{},
                                      [](ImportScan &scan, const QString &) {
                                          scan.wait();
                                          return scan.state() == ImportScan::State::Ready &&
                                                 scan.plan().canImport();
                                      },
                                      {}});
            const double cpu0 = cpuMs();
            QElapsedTimer t;
            t.start();
            if (!transfer.importPath(csv) || rs.recordCount() != n) {
                std::fprintf(stderr, "import of %d items failed\n", n);
                return 1;
            }
            importMs = std::min(importMs, ms(t));
            importCpu = std::min(importCpu, cpuMs() - cpu0);
        }
        const long peak = bench::peakRssKiB() - baseline;
        std::printf("%-9d %9.1f (%6.1f) %9.1f (%6.1f) %10.1f %12ld %14.2f\n", n, exportMs, exportCpu,
                    importMs, importCpu, QFileInfo(csv).size() / 1048576.0, peak, double(peak) / n);
    }
    std::printf("targets at 100000 items: export < 1000 ms, import < 2000 ms; KiB per item about even across "
                "sizes\n");
    setPrompts(nullptr);
    return 0;
}
