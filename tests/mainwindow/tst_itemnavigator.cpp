#include "ScriptedPrompts.h"
#include "TestFolder.h"
#include "items/ItemRecordSet.h"
#include "mainwindow/ItemNavigator.h"

#include <QtTest>

using namespace tv;
using tv::test::makeRow;
using tv::test::ScriptedPrompts;
using tv::test::TestFolder;

class TestItemNavigator : public QObject
{
    Q_OBJECT
private:
    static void press(ItemNavigator &nav, const QString &button)
    {
        if (button == QLatin1String("First"))
            nav.moveFirst();
        else if (button == QLatin1String("Last"))
            nav.moveLast();
        else if (button == QLatin1String("Next"))
            nav.moveNext();
        else if (button == QLatin1String("Previous"))
            nav.movePrevious();
        else
            QFAIL("no such button");
    }

private slots:
    void edgeMessages_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("icon");
        const QString empty = QStringLiteral("RecordSet is Empty");
        for (const char *b : {"First", "Last", "Next", "Previous"})
            QTest::addRow("empty %s", b) << 0 << b << empty << "No Records" << int(MsgIcon::Stop);
        QTest::newRow("one First") << 1 << "First"
                                   << "This is the First Record in the Database."
                                   << "Single Record" << int(MsgIcon::Information);
        QTest::newRow("one Last") << 1 << "Last"
                                  << "This is Also the First Record in the Database."
                                  << "Single Record" << int(MsgIcon::Information);
        QTest::newRow("one Next") << 1 << "Next"
                                  << "There is Only One Record in the Database."
                                  << "Single Record" << int(MsgIcon::Information);
        QTest::newRow("one Previous") << 1 << "Previous"
                                      << "There is Only One Record in the Database."
                                      << "Single Record" << int(MsgIcon::Information);
    }
    void edgeMessages()
    {
        QFETCH(int, rows);
        QFETCH(QString, button);
        QFETCH(QString, text);
        QFETCH(QString, title);
        QFETCH(int, icon);
        TestFolder folder;
        if (rows == 1) folder.addRows({makeRow(QStringLiteral("Only"), QStringLiteral("1"))});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        int views = 0;
        ItemNavigator nav(rs, [&] { ++views; });
        ScriptedPrompts prompts;
        const int before = rs.position();
        press(nav, button);
        QCOMPARE(prompts.shown().size(), 1);
        QCOMPARE(prompts.last().text, text);
        QCOMPARE(prompts.last().title, title);
        QCOMPARE(int(prompts.last().icon), icon);
        QCOMPARE(prompts.last().buttons, MsgButtons::Ok);
        QCOMPARE(rs.position(), before);
        QCOMPARE(views, 0);
        QCOMPARE(rs.hasCurrent(), rows == 1);
    }

    void walkingStopsOneStepBeyondEachEnd_data()
    {
        QTest::addColumn<QStringList>("presses");
        QTest::addColumn<QList<int>>("positions"); // after each press; -1 before-first, 3 after-last
        QTest::addColumn<int>("views");
        QTest::newRow("next past the end")
            << QStringList{"Last", "Next", "Next", "Previous"} << QList<int>{2, 3, 3, 2} << 3;
        QTest::newRow("previous past the start")
            << QStringList{"First", "Previous", "Previous", "Next"} << QList<int>{0, -1, -1, 0} << 3;
        QTest::newRow("first and last land on rows")
            << QStringList{"Next", "Last", "First", "Next", "Next"} << QList<int>{1, 2, 0, 1, 2} << 5;
    }
    void walkingStopsOneStepBeyondEachEnd()
    {
        QFETCH(QStringList, presses);
        QFETCH(QList<int>, positions);
        QFETCH(int, views);
        TestFolder folder;
        folder.addRows({makeRow("A", "1"), makeRow("B", "2"), makeRow("C", "3")});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        int viewed = 0;
        ItemNavigator nav(rs, [&] { ++viewed; });
        ScriptedPrompts prompts;
        for (int i = 0; i < presses.size(); ++i) {
            press(nav, presses[i]);
            QCOMPARE(rs.position(), positions[i]);
        }
        QVERIFY2(prompts.shown().isEmpty(), qPrintable(prompts.texts().join('\n')));
        QCOMPARE(viewed, views);
        QCOMPARE(rs.recordCount(), 3);
    }

    void gridClick()
    {
        TestFolder folder;
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        int viewed = 0;
        ItemNavigator nav(rs, [&] { ++viewed; });
        ScriptedPrompts prompts;
        nav.gridRowClicked();
        QCOMPARE(prompts.texts(), QStringList{"RecordSet is Empty"});
        QCOMPARE(prompts.last().title, QStringLiteral("No Records"));
        QCOMPARE(viewed, 0);
        rs.addNew();
        nav.gridRowClicked();
        QCOMPARE(viewed, 1);
        QCOMPARE(prompts.shown().size(), 1);
    }

    void failuresNameTheButton()
    {
        TestFolder folder;
        folder.addRows({makeRow("A", "1"), makeRow("B", "2")});
        ItemRecordSet rs(folder.databasePath());
        rs.open();
        ItemNavigator nav(rs, [] {});
        rs.close();
        ScriptedPrompts prompts;
        nav.moveNext();
        QCOMPARE(
            prompts.last().text,
            QStringLiteral("Error 3704 (Operation is not allowed when the object is closed.). In procedure "
                           "cmdNext_Click of Form frmMain"));
        QCOMPARE(prompts.last().title, QStringLiteral("Tallyvane"));
        QCOMPARE(prompts.last().icon, MsgIcon::None);
    }
};

QTEST_MAIN(TestItemNavigator)
#include "tst_itemnavigator.moc"
