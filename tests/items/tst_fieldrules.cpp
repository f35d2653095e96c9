#include "common/AppError.h"
#include "items/FieldRules.h"
#include "mainwindow/ItemBinding.h"

#include <QtTest>

using namespace tv;

class TestFieldRules : public QObject
{
    Q_OBJECT
private slots:
    void costKeys_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("accepted");
        for (char c = '0'; c <= '9'; ++c)
            QTest::addRow("digit %c", c) << int(c) << true;
        QTest::newRow("point") << int('.') << true;
        QTest::newRow("comma") << int(',') << true;
        QTest::newRow("dollar") << int('$') << true;
        QTest::newRow("backspace") << 8 << true;
        QTest::newRow("enter") << 13 << true;
        QTest::newRow("letter") << int('a') << false;
        QTest::newRow("minus") << int('-') << false;
        QTest::newRow("blank") << int(' ') << false;
        QTest::newRow("ctrl+v") << 22 << false;
        QTest::newRow("escape") << 27 << false;
        QTest::newRow("slash, just below the digits") << int('/') << false;
        QTest::newRow("colon, just above the digits") << int(':') << false;
        QTest::newRow("e-acute") << 0xe9 << false;
    }
    void costKeys()
    {
        QFETCH(int, code);
        QFETCH(bool, accepted);
        QCOMPARE(costKeyAccepted(code), accepted);
    }

    void leaveRule_data()
    {
        QTest::addColumn<QString>("storedCost");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("costText");
        QTest::addColumn<QString>("totalText");
        QTest::newRow("12.345 x 3") << "12.345"
                                    << "3"
                                    << "12.34"
                                    << "37.02";
        QTest::newRow("12.355 x 1") << "12.355"
                                    << "1"
                                    << "12.36"
                                    << "12.36";
        QTest::newRow("12.3449 x 2") << "12.3449"
                                     << "2"
                                     << "12.34"
                                     << "24.68";
        QTest::newRow("12.5 x 4") << "12.5"
                                  << "4"
                                  << "12.5"
                                  << "50";
        QTest::newRow("0.125 keeps its cost text, 3 units") << "0.125"
                                                            << "3"
                                                            << "0.12"
                                                            << "0.36";
        QTest::newRow("count 2.5 rounds to 2") << "10"
                                               << "2.5"
                                               << "10"
                                               << "20";
        QTest::newRow("count 3.5 rounds to 4") << "10"
                                               << "3.5"
                                               << "10"
                                               << "40";
        QTest::newRow("count zero") << "10"
                                    << "0"
                                    << "10"
                                    << "0";
    }
    void leaveRule()
    {
        QFETCH(QString, storedCost);
        QFETCH(QString, count);
        QFETCH(QString, costText);
        QFETCH(QString, totalText);
        const QString cost = roundedCostText(*Money::parse(storedCost));
        QCOMPARE(cost, costText);
        QCOMPARE(totalValueText(cost, count), totalText);
    }

    void totalOfUnroundedCost()
    {
        // The total reads the cost field's text as it stands: 0.125 x 3 is 0.375.
        QCOMPARE(totalValueText(QStringLiteral("0.125"), QStringLiteral("3")), QStringLiteral("0.375"));
        QCOMPARE(totalValueText(QStringLiteral("$1,234.50"), QStringLiteral("2")), QStringLiteral("2469"));
    }

    void leaveRuleFailures_data()
    {
        QTest::addColumn<QString>("cost");
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("error");
        QTest::newRow("letters in count") << "12"
                                          << "ten" << int(Err::TypeMismatch);
        QTest::newRow("count beyond 32 bits") << "12"
                                              << "2147483648" << int(Err::Overflow);
        QTest::newRow("cost no amount") << "1.2.3"
                                        << "3" << int(Err::TypeMismatch);
        QTest::newRow("product beyond currency") << "900000000000000"
                                                 << "2000" << int(Err::Overflow);
    }
    void leaveRuleFailures()
    {
        QFETCH(QString, cost);
        QFETCH(QString, count);
        QFETCH(int, error);
        try {
            totalValueText(cost, count);
            QFAIL("no failure");
        } catch (const AppError &e) {
            QCOMPARE(e.number(), error);
        }
    }

    void typedValues_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<QString>("shown");
        QTest::newRow("count") << int(Column::ItemCnt) << "12" << true << "12";
        QTest::newRow("count letters") << int(Column::ItemCnt) << "12a" << false << "";
        QTest::newRow("count empty is NULL") << int(Column::ItemCnt) << "" << true << "";
        QTest::newRow("count below none") << int(Column::ItemCnt) << "-2" << true << "-2";
        QTest::newRow("reorder level") << int(Column::ReorderLevel) << "1,000" << true << "1000";
        QTest::newRow("reorder level below none") << int(Column::ReorderLevel) << "-1" << false << "";
        QTest::newRow("order quantity empty is NULL") << int(Column::ReorderQty) << "" << true << "";
        QTest::newRow("order quantity letters") << int(Column::ReorderQty) << "ten" << false << "";
        QTest::newRow("cost dollars") << int(Column::ItemCst) << "$1,234.5" << true << "$1,234.50";
        QTest::newRow("cost too large") << int(Column::ItemCst) << "999999999999999999" << false << "";
        QTest::newRow("cost misplaced comma") << int(Column::ItemCst) << "1.2,3" << false << "";
        QTest::newRow("date M/d/yyyy") << int(Column::InvDate) << "3/7/2024" << true << "3/7/2024";
        QTest::newRow("date iso") << int(Column::InvDate) << "2024-03-07" << true << "3/7/2024";
        QTest::newRow("date no date") << int(Column::InvDate) << "2/30/2024" << false << "";
        QTest::newRow("text as typed") << int(Column::ItemDesc) << " Bolts <M6> " << true << " Bolts <M6> ";
    }
    void typedValues()
    {
        QFETCH(int, column);
        QFETCH(QString, text);
        QFETCH(bool, fits);
        QFETCH(QString, shown);
        const auto c = static_cast<Column>(column);
        const FieldValue v = parseFieldText(c, text);
        QCOMPARE(v.ok(), fits);
        if (fits) {
            ItemRow row;
            row.setValue(c, v.value);
            QCOMPARE(ItemBinding::displayText(row, c), shown);
        } else
            QVERIFY(v.problem.contains(text));
    }
};

QTEST_MAIN(TestFieldRules)
#include "tst_fieldrules.moc"
