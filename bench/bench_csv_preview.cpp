// bench_csv_preview [MB]: the import preview of a generated CSV file (50 MB by default), once of
// good items and once full of bad rows, each read whole and cancelled half way: the time to read
// it, the extra memory at its peak, the longest the window's event loop went without turning
// (a 5 ms timer), and the memory left after Cancel.
// Target: under 200 MB extra for a 50 MB file, the window answering throughout.
#include "BenchDb.h"
#include "SilentPrompts.h"
#include "common/Prompts.h"
#include "csv/CsvTransfer.h"
#include "csv/ImportPreviewDialog.h"
#include "items/Database.h"
#include "items/ItemRecordSet.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace tv;
using bench::cpuMs;
using bench::resetPeak;

namespace {
// Items about as long as a shop's (about 76 bytes a row); bad rows have a count that is no number.
void writeFile(const QString &path, qint64 bytes, bool bad)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) std::abort();
    QByteArray block = "ItemDesc,ItemNum,ItemCnt,ItemCst,TotItemCst,Image,InvNum,Vendor,InvDate\r\n";
    static const char *const kWhat[] = {"Hex Bolt", "Wood Screw", "Wing Nut", "Washer", "Hinge", "Padlock"};
    qint64 written = 0;
    for (int i = 0; written + block.size() < bytes; ++i) {
        block += QByteArray(kWhat[i % 6]) + " M" + QByteArray::number(i % 12 + 3) + ",HB-" +
                 QByteArray::number(100000 + i) + "," +
                 (bad ? QByteArray("many") : QByteArray::number(i % 500)) + "," +
                 QByteArray::number(i % 2500) + ".25," + QByteArray::number(i % 2500 * 3) + ".75,0,INV-" +
                 QByteArray::number(i % 99999) + ",Acme Supply " + QByteArray::number(i % 1000) + ",2021-0" +
                 QByteArray::number(i % 9 + 1) + "-1" + QByteArray::number(i % 9) + "\r\n";
        if (block.size() > (1 << 20)) {
            written += f.write(block);
            block.clear();
        }
    }
    f.write(block);
}

struct Figures
{
    double readMs = 0, readCpuMs = 0, longestGapMs = 0;
    long peakKiB = 0, afterKiB = 0;
    qint64 rows = 0, problems = 0;
};

// Previews the file in the real window and presses Cancel, either when the reading is over or,
// with early, half way through.
Figures preview(ItemRecordSet &rs, const QString &path, bool early)
{
    Figures f;
    const long base = bench::currentRssKiB();
    resetPeak();
    CsvTransfer transfer(
        rs, {{},
             [&](ImportScan &scan, const QString &file) {
                 ImportPreviewDialog window(scan, file);
                 window.show();
                 // The first paint of the window is no part of the reading.
                 while (!window.windowHandle() || !window.windowHandle()->isExposed())
                     QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
                 QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
                 QElapsedTimer clock, sinceTick;
                 const double cpu0 = cpuMs();
                 clock.start();
                 sinceTick.start();
                 QTimer tick;
                 QObject::connect(&tick, &QTimer::timeout, [&] {
                     f.longestGapMs = std::max(f.longestGapMs, sinceTick.nsecsElapsed() / 1e6);
                     sinceTick.restart();
                 });
                 tick.start(5);
                 while (scan.state() == ImportScan::State::Reading && !(early && scan.percent() >= 50))
                     QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                 f.readMs = clock.nsecsElapsed() / 1e6;
                 f.readCpuMs = cpuMs() - cpu0;
                 // A few more turns with the plan shown.
                 for (int i = 0; i < 10; ++i)
                     QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
                 if (scan.state() == ImportScan::State::Ready) {
                     f.rows = scan.plan().rowCount;
                     f.problems = scan.plan().problemCount;
                 }
                 f.peakKiB = bench::peakRssKiB() - base;
                 window.findChild<QPushButton *>(QStringLiteral("cmdCancel"))->click();
                 return false;
             },
             {}});
    transfer.importPath(path);
    f.afterKiB = bench::currentRssKiB() - base;
    return f;
}
} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    bench::SilentPrompts silent;
    setPrompts(&silent);
    const qint64 mb = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("target.mdb"));
    createEmptyDatabase(db);
    ItemRecordSet rs(db);
    rs.open();
    std::printf("%-28s %16s %10s %10s %10s %15s %11s\n", "file", "read ms (cpu)", "rows", "problems",
                "peak +MiB", "longest gap ms", "after +MiB");
    for (const bool bad : {false, true}) {
        const QString path = dir.filePath(bad ? QStringLiteral("bad.csv") : QStringLiteral("good.csv"));
        writeFile(path, mb << 20, bad);
        for (const bool early : {false, true}) {
            const Figures f = preview(rs, path, early);
            const QString name = QStringLiteral("%1 MB %2%3")
                                     .arg(QFileInfo(path).size() / 1048576)
                                     .arg(bad ? QStringLiteral("bad") : QStringLiteral("good"))
                                     .arg(early ? QStringLiteral(", Cancel at 50%") : QString());
            std::printf("%-28s %7.0f (%6.0f) %10lld %10lld %10.1f %15.1f %11.1f\n", qPrintable(name),
                        f.readMs, f.readCpuMs, static_cast<long long>(f.rows),
                        static_cast<long long>(f.problems), f.peakKiB / 1024.0, f.longestGapMs,
                        f.afterKiB / 1024.0);
        }
        QFile::remove(path);
    }
    std::printf("target for 50 MB: peak under 200 MiB extra; the window's loop never stops long\n");
    setPrompts(nullptr);
    return 0;
}
