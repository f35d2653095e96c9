#include "ExpectedReport.h"
#include "PgTestServer.h"
#include "TestFolder.h"
#include "common/AppError.h"
#include "common/Money.h"
#include "common/ProgramFolder.h"
#include "items/ItemStore.h"
#include "items/PgItemStore.h"
#include "items/ReorderLevels.h"
#include "report/ReorderWriter.h"
#include "report/ReportText.h"
#include "report/ReportWriter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <sys/mount.h>
#include <unistd.h>

using namespace tv;
using tv::test::makeRow;
using tv::test::TestFolder;

Q_DECLARE_METATYPE(std::vector<tv::ItemRow>)

namespace {
QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray("<unreadable>");
    return f.readAll();
}

// With levels, the file gets the reorder columns: the report must not change for them.
void addWorkedExample(const TestFolder &folder, bool withLevels = false)
{
    std::vector<ItemRow> rows{makeRow("Bolt", "B-10", 101, "0.25", "Acme", "2004-03-01"),
                              makeRow("Nut", "N-7", 3, "1234.5", "Acme", "2004-03-02")};
    if (withLevels) {
        rows[0].reorderLevel = 200;
        rows[1].reorderLevel = 2;
        rows[1].reorderQty = 10;
    }
    folder.addRows(rows);
}

ItemRow reorderRow(const char *desc, const char *vendor, qint64 count, std::optional<qint64> level,
                   std::optional<qint64> qty = std::nullopt, const char *cost = "1.5")
{
    ItemRow r = makeRow(desc, QByteArray(desc).left(1) + "-1", count, cost, vendor, "2024-01-02");
    r.reorderLevel = level;
    r.reorderQty = qty;
    return r;
}

// A tmpfs of 64 KiB mounted on a new folder for as long as it lives; the superuser's only.
class SmallDisk
{
public:
    explicit SmallDisk(const QString &path) : m_path(path)
    {
        m_mounted = QDir().mkpath(path) && ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", 0,
                                                   "size=64k,mode=0755") == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted) ::umount2(QFile::encodeName(m_path).constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool mounted() const { return m_mounted; }
    const QString &path() const { return m_path; }
    bool makeReadOnly()
    {
        return ::mount(nullptr, QFile::encodeName(m_path).constData(), nullptr, MS_REMOUNT | MS_RDONLY,
                       nullptr) == 0;
    }

private:
    QString m_path;
    bool m_mounted = false;
};

// Runs one statement on the folder's database, for rows no window would write.
void exec(const TestFolder &folder, const QString &sql)
{
    const QString error = tv::test::execSql(folder.databasePath(), {sql});
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

// The cell texts of the data rows, read back from a report: what sits between "&nbsp;" and
// the closing blanks.
QList<QByteArray> firstColumn(const QByteArray &report)
{
    QList<QByteArray> values;
    const QByteArray rowStart = "</tr><tr><td align = \"center\"><b> &nbsp;";
    qsizetype at = report.indexOf(rowStart);
    while (at >= 0) {
        const qsizetype start = at + rowStart.size();
        values << report.mid(start, report.indexOf("  </b></td>", start) - start);
        at = report.indexOf(rowStart, start);
    }
    return values;
}
} // namespace

class TestReportWriter : public QObject
{
    Q_OBJECT
    std::unique_ptr<tv::test::PgTestServer> m_server; // made by the first test that needs it

private slots:
    void workedExample_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<bool>("withLevels");
        QTest::newRow("Item Name") << 0 << false;
        QTest::newRow("Vendor") << 1 << false;
        QTest::newRow("Invoice Date") << 2 << false;
        QTest::newRow("Item Number") << 3 << false;
        QTest::newRow("Item Name, items with reorder levels") << 0 << true;
        QTest::newRow("Vendor, items with reorder levels") << 1 << true;
    }
    void workedExample()
    {
        QFETCH(int, choice);
        QFETCH(bool, withLevels);
        TestFolder folder;
        addWorkedExample(folder, withLevels);
        const QString path = ReportWriter(static_cast<SortChoice>(choice)).write();
        QCOMPARE(path, folder.file("report.html"));
        const QByteArray bytes = readAll(path);
        QCOMPARE(bytes, expected::workedExampleReport(choice));
        QVERIFY(!bytes.contains('\n') && !bytes.contains('\r'));
    }

    void emptyTable()
    {
        TestFolder folder;
        const QByteArray bytes = readAll(ReportWriter(SortChoice::ItemName).write());
        QCOMPARE(bytes, expected::report({"Item Name", "Vendor", "Date", "Item Number"}, {}, ""));
    }

    void emptyValues_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QList<QByteArray>>("cells");
        QTest::addColumn<QByteArray>("total");
        QTest::newRow("null vendor")
            << "insert into Items values ('Bolt','B-10',2,2500,5000,'0','I1',NULL,'2004-03-01')"
            << QList<QByteArray>{"Bolt", "", "3/1/2004", "B-10", "2", "$.25", "$.50"} << QByteArray("$.50");
        QTest::newRow("empty vendor")
            << "insert into Items values ('Bolt','B-10',2,2500,5000,'0','I1','','2004-03-01')"
            << QList<QByteArray>{"Bolt", "", "3/1/2004", "B-10", "2", "$.25", "$.50"} << QByteArray("$.50");
        QTest::newRow("all null") << "insert into Items default values"
                                  << QList<QByteArray>{"", "", "", "", "", "", ""} << QByteArray();
        QTest::newRow("date not in ISO form")
            << "insert into Items values ('Bolt','B-10',0,0,0,'0','I1','Acme','March 1')"
            << QList<QByteArray>{"Bolt", "Acme", "March 1", "B-10", "0", "$.00", "$.00"}
            << QByteArray("$.00");
        QTest::newRow("values as the program reads them")
            << "insert into Items values (cast(x'EFBBBF426F6C74' as text), 'a' || char(0) || char(9) || 'b', "
               "2.0, 2500.0, 5000, '0', 'I1', char(233), cast(x'EFBBBF' as text) || '2004-03-01')"
            << QList<QByteArray>{"Bolt", "&#233;", "3/1/2004", "a&#65533;\tb", "2", "$.25", "$.50"}
            << QByteArray("$.50");
        QTest::newRow("values kept as stored")
            << "insert into Items values (x'00ff', 'B-10', 2.5, 2500, 5000, '0', 'I1', "
               "cast(x'ff' as text), '2004-03-01')"
            << QList<QByteArray>{"&#9888; binary data, 2 bytes (kept as stored)",
                                 "&#9888; &#65533;, not UTF-8 (kept as stored)",
                                 "3/1/2004",
                                 "B-10",
                                 "&#9888; 2.5 (kept as stored)",
                                 "$.25",
                                 "$.50"}
            << QByteArray("$.50");
        QTest::newRow("impossible ISO date")
            << "insert into Items values ('Bolt','B-10',1,10000,10000,'0','I1','Acme','2004-02-30')"
            << QList<QByteArray>{"Bolt", "Acme", "2004-02-30", "B-10", "1", "$1.00", "$1.00"}
            << QByteArray("$1.00");
    }
    void emptyValues()
    {
        QFETCH(QString, sql);
        QFETCH(QList<QByteArray>, cells);
        QFETCH(QByteArray, total);
        TestFolder folder;
        exec(folder, sql);
        const QByteArray bytes = readAll(ReportWriter(SortChoice::ItemName).write());
        QCOMPARE(bytes, expected::report({"Item Name", "Vendor", "Date", "Item Number"}, {cells}, total));
    }

    void sortOrder_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QList<QByteArray>>("firstCells");
        QTest::newRow("names without regard to case") << 0 << QList<QByteArray>{"apple", "Banana", "cherry"};
        QTest::newRow("vendors") << 1 << QList<QByteArray>{"Able", "baker", "Charlie"};
        QTest::newRow("dates by date, not by text")
            << 2 << QList<QByteArray>{"9/30/2003", "2/1/2004", "10/1/2004"};
        QTest::newRow("item numbers") << 3 << QList<QByteArray>{"a-1", "B-2", "c-3"};
    }
    void sortOrder()
    {
        QFETCH(int, choice);
        QFETCH(QList<QByteArray>, firstCells);
        TestFolder folder;
        folder.addRows({makeRow("cherry", "c-3", 1, "1", "Able", "2004-02-01"),
                        makeRow("apple", "B-2", 1, "1", "Charlie", "2004-10-01"),
                        makeRow("Banana", "a-1", 1, "1", "baker", "2003-09-30")});
        QCOMPARE(firstColumn(readAll(ReportWriter(static_cast<SortChoice>(choice)).write())), firstCells);
    }

    // The same rows give the same bytes from the database file and from a server: equal keys of
    // either case, NULLs, empty texts and letters beyond ASCII sort alike on both.
    void sameBytesFromFileAndServer_data()
    {
        QTest::addColumn<int>("choice");
        QTest::newRow("Item Name") << 0;
        QTest::newRow("Vendor") << 1;
        QTest::newRow("Invoice Date") << 2;
        QTest::newRow("Item Number") << 3;
    }
    void sameBytesFromFileAndServer()
    {
        QFETCH(int, choice);
        if (!m_server) {
            m_server = std::make_unique<tv::test::PgTestServer>();
            const QString error = m_server->setUp();
            QVERIFY2(error.isEmpty(), qPrintable(error));
        }
        QCOMPARE(m_server->resetTable(), QString());
        std::vector<ItemRow> rows{
            makeRow("bolt", "b-1", 1, "0.25", "acme", "2004-03-01"),
            makeRow("Bolt", "B-1", 2, "0.5", "Acme", "2004-03-01"),
            makeRow(QString(), "_9", 0, "0", QString(), QString()),
            makeRow("", "", 3, "1", "", ""),
            makeRow(QString::fromUtf8("\xc3\x89"
                                      "clair"),
                    "[1]", 4, "2", "Zeta", "2003-12-31"),
            makeRow("eclair", "a1", 5, "1234.5", QString::fromUtf8("\xc3\xa9"), "2004-03-01"),
            makeRow("Z", "Z", 6, "0.01", "b", "2004-3-1")};
        rows[2].itemCnt.reset();
        rows[2].totItemCst.reset();
        TestFolder folder;
        folder.addRows(rows);
        auto server = std::make_unique<PgItemStore>(m_server->address());
        server->open();
        server->insertAll(rows);

        const ReportWriter writer(static_cast<SortChoice>(choice));
        QByteArray fromServer;
        QBuffer out(&fromServer);
        QVERIFY(out.open(QIODevice::WriteOnly));
        writer.writeTo(out, *server);
        const QByteArray fromFile = writer.build(folder.databasePath());
        QCOMPARE(firstColumn(fromServer), firstColumn(fromFile));
        QCOMPARE(fromServer, fromFile);
    }

    void escaping_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("html");
        QTest::newRow("plain ASCII unchanged")
            << "Hex bolt M6-30, 'zinc' (x10)" << QByteArray("Hex bolt M6-30, 'zinc' (x10)");
        QTest::newRow("angle brackets") << "Bolts <M6>" << QByteArray("Bolts &lt;M6&gt;");
        QTest::newRow("ampersand") << "Nuts & Washers" << QByteArray("Nuts &amp; Washers");
        QTest::newRow("double quote") << "6\" pipe" << QByteArray("6&quot; pipe");
        QTest::newRow("entity-looking text") << "&nbsp;" << QByteArray("&amp;nbsp;");
        QTest::newRow("accented letter") << "Caf\u00e9" << QByteArray("Caf&#233;");
        QTest::newRow("euro sign") << "\u20ac5" << QByteArray("&#8364;5");
        QTest::newRow("outside the basic plane") << "\U0001F600" << QByteArray("&#128512;");
        QTest::newRow("line break stays on one line") << "a\nb\r" << QByteArray("a&#10;b&#13;");
        QTest::newRow("delete character") << "a\x7f" << QByteArray("a&#127;");
        QTest::newRow("tab kept, NUL replaced") << QString("a\tb") + QChar(0) << QByteArray("a\tb&#65533;");
    }
    void escaping()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, html);
        QCOMPARE(htmlText(value), html);

        // The same value as item name, vendor and item number of a whole report.
        TestFolder folder;
        folder.addRows({makeRow(value, value, 1, "1", value, "2004-03-01")});
        const QByteArray bytes = readAll(ReportWriter(SortChoice::ItemName).write());
        QCOMPARE(bytes, expected::report({"Item Name", "Vendor", "Date", "Item Number"},
                                         {{html, html, "3/1/2004", html, "1", "$1.00", "$1.00"}}, "$1.00"));
        for (char c : bytes)
            QVERIFY2(static_cast<unsigned char>(c) < 0x80 && c != '\n', "the report is one line of ASCII");
    }

    void brokenText()
    {
        // Text the database would not keep, written safely all the same.
        QCOMPARE(htmlText(QString(QChar(0xd800)) + "x"), QByteArray("&#65533;x"));
        QCOMPARE(htmlText(QString(QChar(0xdc00))), QByteArray("&#65533;"));
        QCOMPARE(htmlText(QString(QChar(0)) + "a"), QByteArray("&#65533;a"));
    }

    void totalSkipsEmptyAmounts()
    {
        TestFolder folder;
        addWorkedExample(folder);
        exec(folder, "insert into Items (ItemDesc, TotItemCst) values ('Washer', NULL)");
        exec(folder, "insert into Items (ItemDesc, TotItemCst) values ('Credit', -125000)");
        const QByteArray bytes = readAll(ReportWriter(SortChoice::ItemName).write());
        QVERIFY(
            bytes.endsWith(R"(<font color="cc000"><b>  &nbsp;$3,716.25  </b></font></td></tr></table></div>)"
                           "<br> End of Report </body></html>"));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("fault"); // SQL to run first, or a fault by name
        QTest::addColumn<int>("number");
        // %1 the report, %2 the database, %3 the system's reason
        QTest::addColumn<QString>("description");
        QTest::newRow("missing database")
            << "no database" << int(Err::DatabaseError) << "Could not find file '%2'.";
        QTest::newRow("cost that is no amount")
            << "insert into Items (ItemDesc, ItemCst) values ('Bolt', 'abc')" << int(Err::TypeMismatch)
            << "Type mismatch";
        QTest::newRow("total beyond the range")
            << "insert into Items (TotItemCst) values (9223372036854775807), (1)" << int(Err::Overflow)
            << "The total value of the inventory is too large to show.";
        QTest::newRow("damaged table: the engine's words, once")
            << "damaged" << int(Err::DatabaseError) << "database disk image is malformed";
        QTest::newRow("disk full") << "disk full" << int(Err::DiskFull)
                                   << "Could not write the report '%1': No space left on device";
        QTest::newRow("read-only folder")
            << "read-only folder" << int(Err::PermissionDenied) << "Could not write the report '%1': %3";
    }
    void failures()
    {
        QFETCH(QString, fault);
        QFETCH(int, number);
        QFETCH(QString, description);
        TestFolder folder;
        if (fault.startsWith(QLatin1String("insert"))) exec(folder, fault);
        if (fault == QLatin1String("damaged")) {
            // Rows over many pages, one of them overwritten; the table's header still reads.
            exec(folder, "with recursive n(i) as (select 1 union all select i + 1 from n where i < 300) "
                         "insert into Items (ItemDesc, ItemNum, ItemCnt) "
                         "select replace(hex(zeroblob(100)), '0', 'a'), 'N' || i, i from n");
            QFile f(folder.databasePath());
            QVERIFY(f.open(QIODevice::ReadWrite) && f.size() > 8 * 4096 && f.seek(5 * 4096));
            f.write(QByteArray(4096, '\xab'));
        }
        if (fault == QLatin1String("no database")) QVERIFY(QFile::remove(folder.databasePath()));

        // The superuser may write anywhere a folder's permissions forbid: a small file system of
        // its own is full or read-only for everyone.
        const bool root = ::geteuid() == 0;
        std::optional<SmallDisk> disk;
        QString dir = folder.path();
        if (fault == QLatin1String("disk full") || (fault == QLatin1String("read-only folder") && root)) {
            if (!root) QSKIP("filling a disk needs a small file system, which only the superuser may mount");
            disk.emplace(folder.file("disk"));
            if (!disk->mounted()) QSKIP("no small tmpfs can be mounted here");
            dir = disk->path();
            QVERIFY(QFile::copy(folder.databasePath(), dir + "/InventoryDb.mdb"));
            setProgramFolder(dir);
        }
        {
            QFile earlier(dir + "/report.html");
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("earlier report");
        }
        QString reason;
        if (fault == QLatin1String("disk full")) {
            QFile filler(dir + "/filler");
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            while (filler.write(QByteArray(1024, 'x')) == 1024) {
            }
        } else if (fault == QLatin1String("read-only folder")) {
            if (disk) {
                QVERIFY(disk->makeReadOnly());
                reason = QString::fromLocal8Bit(std::strerror(EROFS));
            } else {
                QVERIFY(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
                reason = QString::fromLocal8Bit(std::strerror(EACCES));
            }
        }
        const QStringList before = QDir(dir).entryList(QDir::Files | QDir::Hidden);

        try {
            ReportWriter(SortChoice::Vendor).write();
            QFAIL("the report was written");
        } catch (const AppError &e) {
            QCOMPARE(e.number(), number);
            description.replace("%1", dir + "/report.html")
                .replace("%2", dir + "/InventoryDb.mdb")
                .replace("%3", reason);
            QCOMPARE(e.description(), description);
        }
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(readAll(dir + "/report.html"), QByteArray("earlier report"));
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), before); // nothing half-written left
    }

    void saveFailureLeavesNoPartialFile()
    {
        TestFolder folder;
        QVERIFY(QDir(folder.path()).mkdir("report.html")); // cannot be replaced by a file
        try {
            ReportWriter::save("<html></html>", folder.file("report.html"));
            QFAIL("saved over a folder");
        } catch (const AppError &e) {
            QVERIFY(e.number() == Err::PathFileAccess || e.number() == Err::PermissionDenied);
        }
        QVERIFY(QFileInfo(folder.file("report.html")).isDir());
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"InventoryDb.mdb"});
    }

    void manyItems()
    {
        // Several hundred kilobytes: the report reaches the file in more than one block.
        TestFolder folder;
        std::vector<ItemRow> items;
        QList<QList<QByteArray>> rows;
        qint64 cents = 0;
        for (int i = 0; i < 3000; ++i) {
            const QByteArray name = "Item " + QByteArray::number(i).rightJustified(4, '0');
            items.push_back(makeRow(name, "N" + name.right(4), i, "1.05", "V", "2010-12-31"));
            cents += 105LL * i;
            rows.append({name, "V", "12/31/2010", "N" + name.right(4), QByteArray::number(i), "$1.05",
                         Money::fromRaw(10500LL * i).toDollars(Money::Dollars::NoLeadingZero).toLatin1()});
        }
        folder.addRows(items);
        const QByteArray total =
            Money::fromRaw(cents * 100).toDollars(Money::Dollars::NoLeadingZero).toLatin1();
        QCOMPARE(total, QByteArray("$4,723,425.00"));
        const QByteArray bytes = readAll(ReportWriter(SortChoice::ItemName).write());
        QVERIFY(bytes.size() > 1000000);
        QCOMPARE(bytes, expected::report({"Item Name", "Vendor", "Date", "Item Number"}, rows, total));
        QCOMPARE(ReportWriter(SortChoice::ItemName).build(folder.databasePath()), bytes);
    }

    // The reorder list: exactly the items at or below their level, by vendor (without regard to
    // case, none last), each with its quantity and cost, the subtotals and the total.
    void reorderList_data()
    {
        QTest::addColumn<std::vector<ItemRow>>("rows");
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QStringList>("totals"); // each vendor's subtotal, then the grand total
        const QByteArray head = "Vendor,ItemDesc,ItemNum,ItemCnt,ReorderLevel,OrderQty,ItemCst,LineCost\r\n";
        QTest::newRow("none at or below its level")
            << std::vector<ItemRow>{reorderRow("Above", "Acme", 11, 10), reorderRow("NoLevel", "Acme", 0, {})}
            << head << QStringList{QStringLiteral("$0.00")};
        QTest::newRow("at and below, grouped, vendor without one last")
            << std::vector<ItemRow>{reorderRow("Washer", "", 0, 5), reorderRow("Bolt", "zeta tools", 4, 10),
                                    reorderRow("Nut", "Acme", 10, 10, 25, "0.1"),
                                    reorderRow("Above", "Acme", 11, 10),
                                    reorderRow("Anchor", "ACME", -2, 0, std::nullopt, "2")}
            << head + "Acme,Anchor,A-1,-2,0,2,2,4\r\n"
                      "Acme,Nut,N-1,10,10,25,0.1,2.5\r\n"
                      "zeta tools,Bolt,B-1,4,10,16,1.5,24\r\n"
                      ",Washer,W-1,0,5,10,1.5,15\r\n"
            << QStringList{QStringLiteral("$6.50"), QStringLiteral("$24.00"), QStringLiteral("$15.00"),
                           QStringLiteral("$45.50")};
    }

    void reorderList()
    {
        QFETCH(std::vector<ItemRow>, rows);
        QFETCH(QByteArray, csv);
        QFETCH(QStringList, totals);
        TestFolder folder;
        const ReorderWriter writer(buildReorderList(rows));
        QCOMPARE(writer.csv(), csv);
        QCOMPARE(writer.list().itemCount(), csv.count('\n') - 1);
        QCOMPARE(ReorderWriter::listPath(), folder.file("reorder.html"));
        writer.save(ReorderWriter::listPath());
        const QString html = QString::fromUtf8(readAll(folder.file("reorder.html")));
        // Every sum in its place: each after the lines of its vendor, the total last.
        qsizetype at = 0;
        for (const QString &sum : totals) {
            at = html.indexOf(sum, at);
            QVERIFY2(at > 0, qPrintable(sum));
        }
        QVERIFY(html.indexOf(QStringLiteral("Washer")) > html.indexOf(QStringLiteral("Bolt")) ||
                !html.contains(QStringLiteral("Washer")));
        QCOMPARE(html.contains(QStringLiteral("No item needs reordering.")), totals.size() == 1);
    }

    void secondReportReplacesFirst()
    {
        TestFolder folder;
        addWorkedExample(folder);
        ReportWriter(SortChoice::ItemName).write();
        const QByteArray second = readAll(ReportWriter(SortChoice::ItemNumber).write());
        QCOMPARE(second, expected::workedExampleReport(3));
        QCOMPARE(readAll(folder.file("report.html")), second);
    }
};

QTEST_MAIN(TestReportWriter)
#include "tst_reportwriter.moc"
