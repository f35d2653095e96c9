// bench_labels [labels]: label runs saved as PDF on Avery 5160 (1,000 labels by default, one for
// each of as many items), then runs of 10 and 50 times as many labels (copies of the same items):
// the time to write, the longest page (the window answers between pages), the extra memory at its
// peak, the file size; and every barcode of the first run's pages, rendered at 300 dpi, decoded
// with zbarimg.
// Target: 1,000 labels in under 10 s; memory the same whatever the count.
#include "BenchDb.h"
#include "items/ItemRecordSet.h"
#include "labels/LabelPrint.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace tv;
using bench::cpuMs;
using bench::resetPeak;

namespace {
struct Figures
{
    double ms = 0, cpuMs = 0, longestPageMs = 0;
    long peakKiB = 0;
    int pages = 0;
};

std::vector<ItemRow> items(int n)
{
    static const char *const kWhat[] = {
        "Hex bolt M8 x 40, zinc plated", "Wood screw 4 x 30", "Wing nut M6", "Flat washer M10",
        "Butt hinge 75 mm, brass",       "Padlock 40 mm"};
    std::vector<ItemRow> rows(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        ItemRow &r = rows[static_cast<std::size_t>(i)];
        r.itemDesc = QString::fromLatin1(kWhat[i % 6]);
        r.itemNum = QStringLiteral("HB-%1").arg(100000 + i);
        r.itemCnt = i % 50;
        r.itemCst = Money::fromRaw(12500 + i);
    }
    return rows;
}

Figures save(const std::vector<ItemRow> &rows, int copies, const QString &pdf)
{
    LabelJob job;
    job.sheet = standardSheets().front(); // Avery 5160
    job.content = {true, true};
    job.plan = planLabels(rows, {copies, false}, job.sheet, kPdfDotsPerInch);
    Figures f;
    const long base = bench::currentRssKiB();
    resetPeak();
    QElapsedTimer clock, page;
    const double cpu0 = cpuMs();
    clock.start();
    page.start();
    const LabelsResult result = saveLabelsPdf(pdf, job, [&](int, int pages) {
        f.longestPageMs = std::max(f.longestPageMs, page.nsecsElapsed() / 1e6);
        f.pages = pages;
        page.restart();
        return true;
    });
    f.ms = clock.nsecsElapsed() / 1e6;
    f.cpuMs = cpuMs() - cpu0;
    f.peakKiB = bench::peakRssKiB() - base;
    if (result != LabelsResult::Done) std::printf("the PDF could not be written\n");
    return f;
}

// Renders every page at 300 dpi and reads every barcode; returns how many of the expected were read.
int decodedLabels(const QString &pdf, const std::vector<ItemRow> &rows)
{
    const QString prefix = QFileInfo(pdf).absolutePath() + QStringLiteral("/page");
    if (QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("300"),
                                                       QStringLiteral("-png"), pdf, prefix}) != 0)
        return -1;
    QStringList read;
    for (const QString &png : QDir(QFileInfo(pdf).absolutePath()).entryList({QStringLiteral("page*.png")})) {
        QProcess zbar;
        zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"),
                                               QStringLiteral("-Sdisable"), QStringLiteral("-Scode39.enable"),
                                               QFileInfo(pdf).absolutePath() + QLatin1Char('/') + png});
        zbar.waitForFinished(60000);
        read << QString::fromUtf8(zbar.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    int found = 0;
    for (const ItemRow &r : rows)
        found += read.removeOne(r.itemNum) ? 1 : 0;
    return read.isEmpty() ? found : -found; // a barcode read as something else counts against
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    QTemporaryDir dir;
    const std::vector<ItemRow> rows = items(n);
    save(rows, 1, dir.filePath(QStringLiteral("warm.pdf"))); // fonts loaded once, as in a running program

    std::printf("%-10s %8s %14s %16s %12s %10s\n", "labels", "pages", "ms (cpu)", "longest page ms",
                "peak +MiB", "file MiB");
    const QString first = dir.filePath(QStringLiteral("first/labels.pdf"));
    QDir(dir.path()).mkdir(QStringLiteral("first"));
    for (const int copies : {1, 10, 50}) {
        const QString pdf = copies == 1 ? first : dir.filePath(QStringLiteral("labels-%1.pdf").arg(copies));
        const Figures f = save(rows, copies, pdf);
        std::printf("%-10lld %8d %7.0f (%5.0f) %16.1f %12.1f %10.2f\n", static_cast<long long>(n) * copies,
                    f.pages, f.ms, f.cpuMs, f.longestPageMs, f.peakKiB / 1024.0,
                    QFileInfo(pdf).size() / 1048576.0);
        if (copies == 1) {
            const int decoded = decodedLabels(pdf, rows);
            std::printf("  every page at 300 dpi: zbarimg reads %d of the %d item numbers%s\n",
                        std::abs(decoded), n, decoded < 0 ? ", and something else besides" : "");
        }
        QFile::remove(pdf);
    }
    std::printf("target: 1,000 labels in under 10,000 ms; peak memory the same at every count\n");
    return 0;
}
