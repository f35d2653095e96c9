#include "common/DateText.h"

#include <QtTest>

using namespace tv;

class TestDateText : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("date");
        QTest::newRow("M/d/yyyy") << "3/7/2024" << QDate(2024, 3, 7);
        QTest::newRow("leading zeros") << "03/07/2024" << QDate(2024, 3, 7);
        QTest::newRow("iso") << "2024-12-31" << QDate(2024, 12, 31);
        QTest::newRow("iso one-digit month and day") << "2024-3-7" << QDate(2024, 3, 7);
        QTest::newRow("iso with a time") << "2024-03-07T10:00" << QDate();
        QTest::newRow("iso three-digit month") << "2024-003-07" << QDate();
        QTest::newRow("leap day") << "2/29/2024" << QDate(2024, 2, 29);
        QTest::newRow("no leap day") << "2/29/2023" << QDate();
        QTest::newRow("month 13") << "13/1/2024" << QDate();
        QTest::newRow("two-digit year") << "3/7/24" << QDate();
        QTest::newRow("words") << "yesterday" << QDate();
        QTest::newRow("empty") << "" << QDate();
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QDate, date);
        const auto parsed = parseUserDate(text);
        QCOMPARE(parsed.has_value(), date.isValid());
        if (date.isValid()) QCOMPARE(*parsed, date);
    }

    void display()
    {
        QCOMPARE(toDisplayDate(QDate(2024, 3, 7)), QStringLiteral("3/7/2024"));
        QCOMPARE(toDisplayDate(QDate(1999, 12, 31)), QStringLiteral("12/31/1999"));
        QCOMPARE(storedDateToDisplay(QStringLiteral("2024-03-07")), QStringLiteral("3/7/2024"));
        QCOMPARE(storedDateToDisplay(QStringLiteral("not a date")), QStringLiteral("not a date"));
        QCOMPARE(storedDateToDisplay(QStringLiteral("2024-3-7")), QStringLiteral("2024-3-7"));
    }
};

QTEST_MAIN(TestDateText)
#include "tst_datetext.moc"
