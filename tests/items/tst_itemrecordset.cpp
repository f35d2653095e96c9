#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "common/AppError.h"
#include "items/Database.h"
#include "items/ItemRecordSet.h"
#include "items/ItemStore.h"

#include <QFile>
#include <QProcess>
#include <QtTest>
#include <limits>

using namespace tv;
using tv::test::makeRow;
using tv::test::TestFolder;

class TestItemRecordSet : public QObject
{
    Q_OBJECT
private slots:
    void emptyTableIsBothBofAndEof()
    {
        TestFolder folder;
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        QCOMPARE(rs.recordCount(), 0);
        QVERIFY(rs.bof());
        QVERIFY(rs.eof());
        QVERIFY(!rs.hasCurrent());
    }

    void nextPastLastLeavesNoCurrentRow()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1"), makeRow("B", "2")});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        rs.moveLast();
        rs.moveNext();
        QVERIFY(rs.eof());
        QVERIFY(!rs.hasCurrent());
        QCOMPARE(rs.recordCount(), 2);
        rs.movePrevious();
        QCOMPARE(rs.value(Column::ItemDesc).toString(), QStringLiteral("B"));
        rs.moveFirst();
        rs.movePrevious();
        QVERIFY(rs.bof());
        QVERIFY(!rs.eof());
    }

    // SQLite allows a rowid of 0: such a row is as stored as any other, never added again.
    void rowidZeroIsAStoredRow()
    {
        TestFolder folder;
        QCOMPARE(tv::test::execSql(folder.databasePath(),
                                   {QStringLiteral("insert into Items (rowid, ItemDesc, ItemNum) values "
                                                   "(0, 'Zero', '0'), (1, 'One', '1')")}),
                 QString());
        {
            ItemRecordSet rs(folder.databasePath());
            rs.open();
            rs.moveNext();
            rs.moveNext();
            rs.moveFirst();
            rs.setValue(Column::ItemDesc, QStringLiteral("Renamed"));
            rs.moveNext();
            rs.save();
        }
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        QCOMPARE(rs.recordCount(), 2);
        QCOMPARE(rs.row(0).itemDesc, QStringLiteral("Renamed"));
        QCOMPARE(rs.row(0).rowid, std::optional<qint64>(0));
    }

    void duplicateItemNumbersAreBothKept()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "X1"), makeRow("B", "X1")});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        QCOMPARE(rs.recordCount(), 2);
        rs.moveLast();
        rs.setValue(Column::ItemDesc, QStringLiteral("B2"));
        rs.update();
        ItemRecordSet again(folder.databasePath());
        again.open();
        QCOMPARE(again.row(0).itemDesc, QStringLiteral("A"));
        QCOMPARE(again.row(1).itemDesc, QStringLiteral("B2"));
    }

    void addNewCountsAtOnceAndIsWrittenByUpdateOrMove()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1")});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        rs.addNew();
        QCOMPARE(rs.recordCount(), 2);
        rs.setValue(Column::ItemNum, QStringLiteral("NEW"));
        rs.setValue(Column::ItemCst, QVariant::fromValue(*Money::parse(QStringLiteral("12.5"))));
        rs.moveFirst(); // writes the pending row
        ItemRecordSet again(folder.databasePath());
        again.open();
        QCOMPARE(again.recordCount(), 2);
        QCOMPARE(again.row(1).itemNum, QStringLiteral("NEW"));
        QCOMPARE(again.row(1).itemCst->raw(), 125000);
    }

    void deleteLeavesNoCurrentRow()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1"), makeRow("B", "2"), makeRow("C", "3")});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        rs.moveNext();
        rs.deleteCurrent();
        QCOMPARE(rs.recordCount(), 2);
        QVERIFY(!rs.hasCurrent());
        QVERIFY_THROWS_EXCEPTION(AppError, rs.value(Column::ItemDesc));
        rs.moveNext();
        QCOMPARE(rs.value(Column::ItemDesc).toString(), QStringLiteral("C"));
        ItemRecordSet again(folder.databasePath());
        again.open();
        QCOMPARE(again.recordCount(), 2);
    }

    void pendingEditsHookRunsFirstAndCanStopAnOperation_data()
    {
        QTest::addColumn<QString>("operation");
        for (const char *op :
             {"moveNext", "movePrevious", "moveFirst", "moveLast", "moveTo", "addNew", "update", "save"})
            QTest::newRow(op) << op;
    }
    void pendingEditsHookRunsFirstAndCanStopAnOperation()
    {
        QFETCH(QString, operation);
        TestFolder folder;
        folder.addRows({makeRow("A", "1"), makeRow("B", "2"), makeRow("C", "3")});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        rs.moveNext();
        auto run = [&] {
            if (operation == "moveNext")
                rs.moveNext();
            else if (operation == "movePrevious")
                rs.movePrevious();
            else if (operation == "moveFirst")
                rs.moveFirst();
            else if (operation == "moveLast")
                rs.moveLast();
            else if (operation == "moveTo")
                rs.moveTo(2);
            else if (operation == "addNew")
                rs.addNew();
            else if (operation == "update")
                rs.update();
            else
                rs.save();
        };
        rs.setPendingEditsHook([] { throw AppError(Err::TypeMismatch); });
        QVERIFY_THROWS_EXCEPTION(AppError, run());
        QCOMPARE(rs.position(), 1);
        QCOMPARE(rs.recordCount(), 3);
        // A hook that takes text in: the edit is in the file after the operation.
        rs.setPendingEditsHook([&] { rs.setValue(Column::ItemDesc, QStringLiteral("typed")); });
        run();
        rs.setPendingEditsHook({});
        if (operation == "addNew" || operation.startsWith("move")) QVERIFY(rs.position() != 1);
        ItemRecordSet again(folder.databasePath());
        again.open();
        QCOMPARE(again.row(1).itemDesc, QStringLiteral("typed"));
    }

    void rowSignalsAnnounceChangesBeforeTheyHappen()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1"), makeRow("B", "2")});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        QList<int> seen;
        connect(&rs, &ItemRecordSet::rowAboutToBeInserted, this,
                [&](int i) { seen << i << int(rs.rows().size()); });
        connect(&rs, &ItemRecordSet::rowAboutToBeRemoved, this,
                [&](int i) { seen << -i << int(rs.rows().size()); });
        rs.addNew();
        rs.moveFirst();
        rs.deleteCurrent();
        QCOMPARE(seen, (QList<int>{2, 2, 0, 3}));
    }

    // Another program or workstation changed the file and the store says which row.
    void changeElsewhereIsTakenIn_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<qint64>("key");
        QTest::addColumn<int>("position");
        QTest::addColumn<bool>("typed"); // a value taken into the current row, not saved
        QTest::addColumn<QStringList>("numbers");
        QTest::addColumn<int>("positionAfter");
        QTest::addColumn<bool>("deletedCurrent");
        const QStringList all{"1", "2", "3"};
        QTest::newRow("another row changed") << "update Items set ItemNum = '2x' where rowid = 2" << 2LL << 0
                                             << false << QStringList{"1", "2x", "3"} << 0 << false;
        QTest::newRow("current row changed") << "update Items set ItemNum = '1x' where rowid = 1" << 1LL << 0
                                             << false << QStringList{"1x", "2", "3"} << 0 << false;
        QTest::newRow("current row changed while typed into")
            << "update Items set ItemNum = '1x' where rowid = 1" << 1LL << 0 << true << all << 0 << false;
        QTest::newRow("row added") << "insert into Items (ItemNum) values ('4')" << 4LL << 0 << false
                                   << QStringList{"1", "2", "3", "4"} << 0 << false;
        QTest::newRow("row before the current one deleted") << "delete from Items where rowid = 1" << 1LL << 1
                                                            << false << QStringList{"2", "3"} << 0 << false;
        QTest::newRow("current row deleted")
            << "delete from Items where rowid = 2" << 2LL << 1 << true << QStringList{"1", "3"} << 1 << true;
        QTest::newRow("current last row deleted")
            << "delete from Items where rowid = 3" << 3LL << 2 << false << QStringList{"1", "2"} << 1 << true;
        QTest::newRow("row already gone") << QString() << 99LL << 0 << false << all << 0 << false;
    }
    void changeElsewhereIsTakenIn()
    {
        QFETCH(QString, sql);
        QFETCH(qint64, key);
        QFETCH(int, position);
        QFETCH(bool, typed);
        QFETCH(QStringList, numbers);
        QFETCH(int, positionAfter);
        QFETCH(bool, deletedCurrent);
        TestFolder folder;
        folder.addRows({makeRow("A", "1"), makeRow("B", "2"), makeRow("C", "3")});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        rs.moveTo(position);
        if (typed) rs.setValue(Column::ItemDesc, QStringLiteral("typed"));
        if (!sql.isEmpty()) QCOMPARE(tv::test::execSql(folder.databasePath(), {sql}), QString());
        int deletedSignals = 0;
        connect(&rs, &ItemRecordSet::currentDeletedElsewhere, this, [&] { ++deletedSignals; });
        QSignalSpy taken(&rs, &ItemRecordSet::changesTaken);
        emit rs.store().changedElsewhere(key);
        QVERIFY(taken.wait(2000)); // changes are gathered for a moment, then read back together

        QStringList shown;
        for (const ItemRow &r : rs.rows())
            shown << r.itemNum;
        QCOMPARE(shown, numbers);
        QCOMPARE(rs.position(), positionAfter);
        QVERIFY(rs.hasCurrent());
        QCOMPARE(deletedSignals, deletedCurrent ? 1 : 0);
        QCOMPARE(rs.isDirty(), typed && !deletedCurrent);
        if (rs.isDirty()) QCOMPARE(rs.value(Column::ItemDesc).toString(), QStringLiteral("typed"));
    }

    // Two copies of the program on one file, the other one a real process: a save or delete of
    // a row the other changed, deleted or gave to a new item under the same key since it was read
    // here is refused and the stored values are shown; its new rows show here by themselves;
    // after it restored the backup, saving here says so.
    void anotherProgramOnTheSameFile_data()
    {
        QTest::addColumn<QStringList>("there");  // the other program's commands, in order
        QTest::addColumn<QString>("here");       // "save" a typed count, "delete", or "wait"
        QTest::addColumn<QString>("refusal");    // the message of the refused save or delete
        QTest::addColumn<QStringList>("stored"); // ItemNum:ItemCnt of each row in the file afterwards
        QTest::addColumn<QStringList>("shown");  // the same of the rows shown here
        QTest::addColumn<QString>("current");    // ItemNum:ItemCnt of the current row shown here
        const QString changed = ItemConflict::changedText();
        QTest::newRow("deleted there, saved here")
            << QStringList{"delete B2"} << "save" << ItemConflict::deletedText() << QStringList{"A1:3"}
            << QStringList{"A1:3"} << "A1:3";
        QTest::newRow("saved there, saved here")
            << QStringList{"count B2 9"} << "save" << changed << QStringList{"A1:3", "B2:9"}
            << QStringList{"A1:3", "B2:9"} << "B2:9";
        QTest::newRow("key given to a new item there, saved here")
            << QStringList{"delete B2", "add C3 Gamma 1"} << "save" << changed << QStringList{"A1:3", "C3:1"}
            << QStringList{"A1:3", "C3:1"} << "C3:1";
        QTest::newRow("key given to a new item there, deleted here")
            << QStringList{"delete B2", "add C3 Gamma 1"} << "delete"
            << ItemConflict::changedBeforeDeleteText() << QStringList{"A1:3", "C3:1"}
            << QStringList{"A1:3", "C3:1"} << "C3:1";
        QTest::newRow("added there, shown here while typing")
            << QStringList{"add C3 Gamma 1"} << "wait" << QString() << QStringList{"A1:3", "B2:5", "C3:1"}
            << QStringList{"A1:3", "B2:7", "C3:1"} << "B2:7";
        QTest::newRow("restored there, saved here")
            << QStringList{"backup", "restore"} << "save" << restoredElsewhereText()
            << QStringList{"A1:3", "B2:5"} << QStringList{"A1:3", "B2:7"} << "B2:7";
    }
    void anotherProgramOnTheSameFile()
    {
        QFETCH(QStringList, there);
        QFETCH(QString, here);
        QFETCH(QString, refusal);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, shown);
        QFETCH(QString, current);
        TestFolder folder;
        folder.addRows({makeRow("Alpha", "A1", 3), makeRow("Beta", "B2", 5)});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        rs.moveLast();
        const qint64 key = *rs.row(1).rowid;
        if (here != QLatin1String("delete")) rs.setValue(Column::ItemCnt, qlonglong(7));

        QProcess other;
        other.start(QStringLiteral(ITEM_WRITER), {QStringLiteral("edit"), folder.databasePath()});
        QVERIFY(other.waitForStarted());
        for (const QString &command : there) {
            other.write(command.toUtf8() + '\n');
            while (!other.canReadLine())
                QVERIFY2(other.waitForReadyRead(10000), "the other program gave no answer");
            const QByteArray answer = other.readLine().trimmed();
            QVERIFY2(answer.startsWith("ok"), answer.constData());
        }
        other.closeWriteChannel();
        QVERIFY(other.waitForFinished());
        if (there.contains(QLatin1String("add C3 Gamma 1")) && there.size() == 2)
            QCOMPARE(tv::test::querySql(folder.databasePath(),
                                        QStringLiteral("select rowid from Items where ItemNum = 'C3'")),
                     QStringList{QString::number(key)}); // the key was used again

        if (here == QLatin1String("wait")) {
            QTRY_COMPARE_WITH_TIMEOUT(rs.recordCount(), shown.size(), 2000);
        } else {
            try {
                if (here == QLatin1String("save"))
                    rs.save();
                else
                    rs.deleteCurrent();
                QFAIL("a stale save or delete went through");
            } catch (const AppError &e) {
                QCOMPARE(e.description(), refusal);
            }
        }
        const auto numbersAndCounts = [](const ItemRowTable &rows) {
            QStringList out;
            for (const ItemRow &r : rows)
                out << r.itemNum + QLatin1Char(':') + QString::number(r.itemCnt.value_or(-1));
            return out;
        };
        ItemRecordSet again(folder.databasePath());
        again.open();
        QCOMPARE(numbersAndCounts(again.rows()), stored);
        QCOMPARE(numbersAndCounts(rs.rows()), shown);
        QVERIFY(rs.hasCurrent());
        QCOMPARE(rs.value(Column::ItemNum).toString() + QLatin1Char(':') +
                     QString::number(rs.value(Column::ItemCnt).toLongLong()),
                 current);
        // What was typed and not refused is still there to be saved.
        QCOMPARE(rs.isDirty(), current.endsWith(QLatin1String(":7")));
    }

    void lastRowDeletedLeavesAnEmptySet()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1")});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        rs.deleteCurrent();
        QCOMPARE(rs.recordCount(), 0);
        QVERIFY(rs.bof());
        QVERIFY(rs.eof());
        rs.save(); // nothing pending; must not fail
        ItemRecordSet again(folder.databasePath());
        again.open();
        QCOMPARE(again.recordCount(), 0);
    }

    void valueByNameIgnoresCase()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1", 3, "12.345")});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        QCOMPARE(rs.value(u"itemcst").value<Money>().raw(), 123450);
        QCOMPARE(rs.value(u"ItemCnt").toLongLong(), 3);
    }

    void closedSetFailsEveryOperation()
    {
        TestFolder folder;
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        rs.close();
        try {
            rs.recordCount();
            QFAIL("a closed record set answered");
        } catch (const AppError &e) {
            QCOMPARE(e.number(), 3704);
        }
        rs.open();
        QCOMPARE(rs.recordCount(), 0);
    }

    void openNeverCreatesOrAcceptsForeignFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("create");
        QTest::addColumn<QString>("fragment");
        QTest::newRow("missing") << QByteArray() << false << "Could not find file";
        QTest::newRow("not a database")
            << QByteArray("Standard Jet DB\0\0\0 junk", 24) << true << "Unrecognized database format";
        QTest::newRow("empty file has no Items") << QByteArray() << true << "no Items table";
    }
    void openNeverCreatesOrAcceptsForeignFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, create);
        QFETCH(QString, fragment);
        TestFolder folder(false);
        if (create) {
            QFile f(folder.databasePath());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        ItemRecordSet rs(folder.databasePath());
        try {
            rs.open();
            QFAIL("opened");
        } catch (const AppError &e) {
            QVERIFY2(e.description().contains(fragment), qPrintable(e.description()));
        }
        QVERIFY(!rs.isOpen());
        QCOMPARE(QFile::exists(folder.databasePath()), create);
    }

    // Rows are kept packed in memory: each value comes back as stored, when read and when a row is
    // written anew, whatever its size, and a text many rows share stays each row's own.
    void valuesComeBackExactly_data()
    {
        QTest::addColumn<std::vector<ItemRow>>("rows");
        ItemRow empty = makeRow(QStringLiteral(""), QString(), 0, QStringLiteral("0"), QStringLiteral(""));
        empty.itemCnt.reset();
        empty.itemCst.reset();
        empty.totItemCst.reset();
        empty.image = QStringLiteral("");
        QTest::newRow("empty and NULL") << std::vector<ItemRow>{empty};
        ItemRow longText =
            makeRow(QString(70000, QChar(0x00E9)) + QStringLiteral("\u20AC\U0001F600"), QStringLiteral("L-1"),
                    3, QStringLiteral("1.25"), QString(300, QLatin1Char('v')));
        QTest::newRow("very long, not ASCII") << std::vector<ItemRow>{longText};
        ItemRow extremes = makeRow(QStringLiteral("Edge"), QStringLiteral("E-1"));
        extremes.itemCnt = std::numeric_limits<qint64>::min();
        extremes.itemCst = Money::fromRaw(std::numeric_limits<qint64>::max());
        extremes.totItemCst = Money::fromRaw(std::numeric_limits<qint64>::min() + 8); // whole cents
        extremes.reorderLevel = 0;
        extremes.reorderQty = std::numeric_limits<qint64>::max();
        QTest::newRow("numbers at their ends") << std::vector<ItemRow>{extremes};
        std::vector<ItemRow> shared;
        for (int i = 0; i < 3; ++i)
            shared.push_back(makeRow(QStringLiteral("Wing Nut M6"), QStringLiteral("WN-%1").arg(i), i,
                                     QStringLiteral("0.10"), QStringLiteral("Vendor 7 Hardware"),
                                     QStringLiteral("2024-02-29"), QStringLiteral("INV-10042")));
        QTest::newRow("texts shared by rows") << shared;
    }

    void valuesComeBackExactly()
    {
        QFETCH(std::vector<ItemRow>, rows);
        TestFolder folder;
        {
            auto store = makeFileStore(folder.databasePath());
            store->open();
            store->insertAll(rows);
        }
        const auto sameRows = [](const ItemRecordSet &rs, const std::vector<ItemRow> &want) {
            QCOMPARE(rs.recordCount(), int(want.size()));
            for (int i = 0; i < rs.recordCount(); ++i)
                for (const ColumnInfo &c : kColumns)
                    QVERIFY2(ItemRow::sameValue(rs.row(i), want[size_t(i)], c.column),
                             qPrintable(QStringLiteral("row %1, %2").arg(i).arg(columnName(c.column))));
        };
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        sameRows(rs, rows);
        // The first row written anew; the others keep what they share with it.
        rs.moveFirst();
        rs.setValue(Column::Vendor, QStringLiteral("Changed"));
        rows[0].vendor = QStringLiteral("Changed");
        rs.save();
        sameRows(rs, rows);
        ItemRecordSet again(folder.databasePath());
        again.open();
        sameRows(again, rows);
    }

    // Past the limit of its block the table refuses to grow, says why, and keeps what it held.
    void tooMuchTextIsRefusedAndNothingChanges_data()
    {
        QTest::addColumn<bool>("append");
        QTest::newRow("a new row") << true;
        QTest::newRow("a row written anew") << false;
    }

    void tooMuchTextIsRefusedAndNothingChanges()
    {
        QFETCH(bool, append);
        ItemRowTable table(4096);
        table.append(makeRow(QStringLiteral("Hinge"), QStringLiteral("HG-1"), 4));
        const ItemRow big = makeRow(QString(5000, QLatin1Char('x')), QStringLiteral("BIG"));
        try {
            append ? table.append(big) : table.set(0, big);
            QFAIL("grew past its limit");
        } catch (const AppError &e) {
            QCOMPARE(e.number(), int(Err::OutOfMemory));
            QCOMPARE(e.description(), ItemRowTable::tooLargeText());
        }
        QCOMPARE(table.size(), size_t(1));
        QCOMPARE(table.row(0).itemDesc, QStringLiteral("Hinge"));
        QCOMPARE(table.count(0, Column::ItemCnt), std::optional<qint64>(4));
        table.append(makeRow(QStringLiteral("Latch"), QStringLiteral("LT-1"))); // room left is still used
        QCOMPARE(table.text(1, Column::ItemNum), QStringLiteral("LT-1"));
    }

    // What rows written anew leave behind is given back: edits without end stay within the limit.
    void rowsWrittenAnewStayWithinTheLimit()
    {
        ItemRowTable table(64 * 1024);
        for (int i = 0; i < 3; ++i)
            table.append(makeRow(QStringLiteral("Item %1").arg(i), QStringLiteral("N-%1").arg(i), i));
        for (int edit = 0; edit < 200; ++edit) {
            table.set(1, makeRow(QString(1000, QLatin1Char('a' + edit % 26)), QStringLiteral("N-1"), edit));
            if (edit % 2 == 0) continue;
            table.erase(2);
            table.append(makeRow(QStringLiteral("Item 2"), QStringLiteral("N-2"), 2));
        }
        QVERIFY(table.bytesUsed() < 64 * 1024);
        QCOMPARE(table.size(), size_t(3));
        QCOMPARE(table.row(0).itemDesc, QStringLiteral("Item 0"));
        QCOMPARE(table.row(1).itemDesc, QString(1000, QLatin1Char('a' + 199 % 26)));
        QCOMPARE(table.count(1, Column::ItemCnt), std::optional<qint64>(199));
        QCOMPARE(table.text(2, Column::ItemNum), QStringLiteral("N-2"));
    }
};

QTEST_MAIN(TestItemRecordSet)
#include "tst_itemrecordset.moc"
