#include "TestFolder.h"
#include "common/AppError.h"
#include "items/ItemFinder.h"
#include "items/ItemRecordSet.h"
#include "items/PickLists.h"
#include "items/UniqueText.h"

#include <QFile>
#include <QtTest>

using namespace tv;
using tv::test::makeRow;
using tv::test::TestFolder;

class TestPickLists : public QObject
{
    Q_OBJECT
private slots:
    void singlelize_data()
    {
        QTest::addColumn<QStringList>("in");
        QTest::addColumn<QStringList>("out");
        QTest::newRow("vendors") << QStringList{"Acme", "ACME", "Bolt Co", "acme"}
                                 << QStringList{"Acme", "Bolt Co"};
        QTest::newRow("all the same") << QStringList{"x", "x", "x"} << QStringList{"x"};
        QTest::newRow("empty") << QStringList{} << QStringList{};
        QTest::newRow("order kept") << QStringList{"b", "a", "B", "c", "A"} << QStringList{"b", "a", "c"};
        QTest::newRow("non-ASCII case") << QStringList{"Émile", "émile"} << QStringList{"Émile"};
    }
    void singlelize()
    {
        QFETCH(QStringList, in);
        QFETCH(QStringList, out);
        removeCaseInsensitiveDuplicates(in);
        QCOMPARE(in, out);
    }

    void singlelizeHasNoSixteenBitLimit()
    {
        QStringList many;
        for (int i = 0; i < 40000; ++i)
            many << QString::number(i % 35000);
        removeCaseInsensitiveDuplicates(many);
        QCOMPARE(many.size(), 35000);
        QCOMPARE(many.last(), QStringLiteral("34999"));
    }

    void listsReadTheTable()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1", 1, "1", "Acme", "2024-03-07", "INV-1"),
                        makeRow("B", "2", 1, "1", "ACME", "2024-03-07", "inv-1"),
                        makeRow("C", "3", 1, "1", QString(), QString(), QString()),
                        makeRow("D", "4", 1, "1", "Bolt Co", "2023-12-25", "INV-2"),
                        makeRow("E", "5", 1, "1", "acme", "2024-3-7", "INV-3")});
        QCOMPARE(pickListValues(PickList::Vendor, folder.databasePath()), (QStringList{"Acme", "Bolt Co"}));
        QCOMPARE(pickListValues(PickList::InvNum, folder.databasePath()),
                 (QStringList{"INV-1", "INV-2", "INV-3"}));
        QCOMPARE(pickListValues(PickList::Date, folder.databasePath()),
                 (QStringList{"3/7/2024", "12/25/2023", "2024-3-7"}));
    }

    void emptyTableGivesEmptyList()
    {
        TestFolder folder;
        QVERIFY(pickListValues(PickList::Vendor, folder.databasePath()).isEmpty());
    }

    void missingDatabaseFails()
    {
        TestFolder folder(false);
        QVERIFY_THROWS_EXCEPTION(AppError, pickListValues(PickList::Vendor, folder.databasePath()));
        QVERIFY(!QFile::exists(folder.databasePath()));
    }

    void findWalksFromTheGivenRow_data()
    {
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("start");
        QTest::newRow("ab in XAB1") << "ab" << 0 << 0 << 1;
        QTest::newRow("b-1 in B-10") << "b-1" << 0 << 1 << 0;
        QTest::newRow("first match wins") << "1" << 0 << 0 << 3;
        QTest::newRow("from the second row") << "1" << 1 << 1 << 2;
        QTest::newRow("no match") << "zz" << 0 << -1 << -1;
    }
    void findWalksFromTheGivenRow()
    {
        QFETCH(QString, search);
        QFETCH(int, from);
        QFETCH(int, row);
        QFETCH(int, start);
        TestFolder folder;
        folder.addRows({makeRow("A", "XAB1"), makeRow("B", "B-10"), makeRow("C", "c")});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        const auto hit = findItemNumber(rs, search, from);
        QCOMPARE(hit.has_value(), row >= 0);
        if (hit) {
            QCOMPARE(hit->row, row);
            QCOMPARE(hit->selStart, start);
            QCOMPARE(hit->selLength, search.size());
        }
    }

    void findSurvivesTheSetClosingMeanwhile()
    {
        TestFolder folder;
        std::vector<ItemRow> rows;
        for (int i = 0; i < 100; ++i)
            rows.push_back(makeRow("A", QStringLiteral("N%1").arg(i)));
        folder.addRows(rows);
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        int calls = 0;
        const auto hit = findItemNumber(
            rs, QStringLiteral("nothing"), 0,
            [&] {
                ++calls;
                rs.close();
            },
            0);
        QVERIFY(!hit);
        QVERIFY(!rs.isOpen());
        QCOMPARE(calls, 1);
    }

    // Rows that go or are all read again while the walk lets events run: the walk stays within
    // the rows there are and passes over none of them.
    void findFollowsRowsChangedMeanwhile_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("row"); // where "target" is found; -1 none
        QTest::addColumn<int>("count");
        QTest::newRow("the last rows deleted") << "delete last two" << -1 << 2;
        QTest::newRow("a row before the walk's place deleted") << "delete first" << 0 << 3;
        QTest::newRow("read again without a row another program deleted") << "read again" << 0 << 3;
    }
    void findFollowsRowsChangedMeanwhile()
    {
        QFETCH(QString, change);
        QFETCH(int, row);
        QFETCH(int, count);
        TestFolder folder;
        const bool targetLast = change == QLatin1String("delete last two");
        folder.addRows({makeRow("A", "1"), makeRow("B", targetLast ? "2" : "target"), makeRow("C", "3"),
                        makeRow("D", targetLast ? "target" : "4")});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        bool changed = false;
        const auto hit = findItemNumber(
            rs, QStringLiteral("target"), 0,
            [&] {
                if (changed) return;
                changed = true;
                if (change == QLatin1String("delete last two")) {
                    rs.moveLast();
                    rs.deleteCurrent();
                    rs.moveLast();
                    rs.deleteCurrent();
                } else if (change == QLatin1String("delete first")) {
                    rs.moveFirst();
                    rs.deleteCurrent();
                } else {
                    ItemRecordSet other(folder.databasePath());
                    other.open();
                    other.moveFirst();
                    other.deleteCurrent();
                    rs.close();
                    rs.open();
                }
            },
            0);
        QVERIFY(changed);
        QCOMPARE(hit ? hit->row : -1, row);
        if (hit) QCOMPARE(rs.row(hit->row).itemNum, QStringLiteral("target"));
        QCOMPARE(rs.recordCount(), count);
    }
};

QTEST_MAIN(TestPickLists)
#include "tst_picklists.moc"
