#include "BenchDb.h"

#include "common/Money.h"
#include "items/Database.h"
#include "items/SqliteConnection.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringList>
#include <algorithm>
#include <array>
#include <sys/resource.h>

namespace tv::bench {

void generateInventory(const QString &path, int n, int distinctVendors, unsigned seed)
{
    createEmptyDatabase(path);
    static constexpr std::array kWhat{"Hex Bolt",     "Wood Screw",   "Wing Nut",   "Washer",
                                      "Hinge",        "Drawer Pull",  "Cable Tie",  "Wall Anchor",
                                      "Pipe Clamp",   "Hose Fitting", "Door Stop",  "Shelf Bracket",
                                      "Caster Wheel", "Padlock",      "Chain Link", "Spring"};
    static constexpr std::array kSize{"M4",    "M5",    "M6",    "M8",    "1/4in",
                                      "3/8in", "1/2in", "Small", "Large", "XL"};
    static constexpr std::array kCompany{"Supply", "Hardware", "Industrial", "Wholesale", "Trading", "Parts"};
    QRandomGenerator rng(seed);
    SqliteConnection db(path, SqliteConnection::Access::ReadWrite);
    db.exec("BEGIN");
    SqliteStatement q(db,
                      "insert into Items (ItemDesc, ItemNum, ItemCnt, ItemCst, TotItemCst, Image, InvNum, "
                      "Vendor, InvDate) values (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (int i = 0; i < n; ++i) {
        const int vendor = static_cast<int>(rng.bounded(distinctVendors));
        const qint64 count = rng.bounded(500);
        const Money cost = Money::fromRaw(static_cast<qint64>(rng.bounded(5, 250000)) * 100);
        const int year = 2015 + static_cast<int>(rng.bounded(11));
        const int month = 1 + static_cast<int>(rng.bounded(12));
        const int day = 1 + static_cast<int>(rng.bounded(28));
        q.bind(1, QStringLiteral("%1 %2").arg(QLatin1String(kWhat[rng.bounded(int(kWhat.size()))]),
                                              QLatin1String(kSize[rng.bounded(int(kSize.size()))])));
        q.bind(2, QStringLiteral("TV-%1-%2")
                      .arg(i, 6, 10, QLatin1Char('0'))
                      .arg(rng.bounded(100), 2, 10, QLatin1Char('0')));
        q.bind(3, count);
        q.bind(4, cost.raw());
        q.bind(5, cost.times(count)->raw());
        q.bind(6, QStringLiteral("0"));
        q.bind(7, QStringLiteral("INV-%1").arg(rng.bounded(n / 10 + 1) + 10000));
        q.bind(8, QStringLiteral("Vendor %1 %2")
                      .arg(vendor)
                      .arg(QLatin1String(kCompany[vendor % kCompany.size()])));
        q.bind(9, QStringLiteral("%1-%2-%3")
                      .arg(year)
                      .arg(month, 2, 10, QLatin1Char('0'))
                      .arg(day, 2, 10, QLatin1Char('0')));
        q.step();
        q.reset();
    }
    db.exec("COMMIT");
}

namespace {
long statusKiB(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(static_cast<qsizetype>(qstrlen(key))).trimmed().split(' ').value(0).toLong();
    return -1;
}
} // namespace

void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly)) f.write("5");
}

double cpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

long peakRssKiB()
{
    return statusKiB("VmHWM:");
}
long currentRssKiB()
{
    return statusKiB("VmRSS:");
}

double timeShellMs(const QString &command)
{
    QElapsedTimer t;
    t.start();
    const int rc = QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    return rc == 0 ? t.nsecsElapsed() / 1e6 : -1;
}

double median(std::vector<double> figures)
{
    std::sort(figures.begin(), figures.end());
    return figures[figures.size() / 2];
}

} // namespace tv::bench
