#include "common/Money.h"

#include <QtTest>
#include <limits>

using namespace tv;

class TestMoney : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<qlonglong>("raw");
        QTest::newRow("whole") << "12" << true << 120000LL;
        QTest::newRow("decimals") << "12.345" << true << 123450LL;
        QTest::newRow("leading point") << ".5" << true << 5000LL;
        QTest::newRow("negative") << "-3.25" << true << -32500LL;
        QTest::newRow("blanks around") << "  7.1 " << true << 71000LL;
        QTest::newRow("fifth decimal half to even down") << "0.00005" << true << 0LL;
        QTest::newRow("fifth decimal half to even up") << "0.00015" << true << 2LL;
        QTest::newRow("fifth decimal above half") << "0.000051" << true << 1LL;
        QTest::newRow("largest") << "922337203685477.5807" << true << std::numeric_limits<qint64>::max();
        QTest::newRow("smallest") << "-922337203685477.5808" << true << std::numeric_limits<qint64>::min();
        QTest::newRow("one beyond") << "922337203685477.5808" << false << 0LL;
        QTest::newRow("letters") << "12a" << false << 0LL;
        QTest::newRow("two points") << "1.2.3" << false << 0LL;
        QTest::newRow("empty") << "" << false << 0LL;
        QTest::newRow("sign only") << "-" << false << 0LL;
        QTest::newRow("exponent") << "1e3" << false << 0LL;
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(qlonglong, raw);
        const auto m = Money::parse(text);
        QCOMPARE(m.has_value(), valid);
        if (valid) QCOMPARE(m->raw(), raw);
    }

    void dollars_data()
    {
        QTest::addColumn<qlonglong>("raw");
        QTest::addColumn<Money::Dollars>("style");
        QTest::addColumn<QString>("text");
        QTest::newRow("12.5") << 125000LL << Money::Dollars::LeadingZero << "$12.50";
        QTest::newRow("1234") << 12340000LL << Money::Dollars::LeadingZero << "$1,234.00";
        QTest::newRow("zero") << 0LL << Money::Dollars::LeadingZero << "$0.00";
        QTest::newRow("cents") << 2500LL << Money::Dollars::LeadingZero << "$0.25";
        QTest::newRow("millions") << 12345678900000LL << Money::Dollars::LeadingZero << "$1,234,567,890.00";
        QTest::newRow("half cent to even down") << 1250LL << Money::Dollars::LeadingZero << "$0.12";
        QTest::newRow("half cent to even up") << 1350LL << Money::Dollars::LeadingZero << "$0.14";
        QTest::newRow("negative") << -35000LL << Money::Dollars::LeadingZero << "-$3.50";
        QTest::newRow("report 1234.5") << 12345000LL << Money::Dollars::NoLeadingZero << "$1,234.50";
        QTest::newRow("report 0.25 has no integer digit")
            << 2500LL << Money::Dollars::NoLeadingZero << "$.25";
        QTest::newRow("report 1234.05") << 12340500LL << Money::Dollars::NoLeadingZero << "$1,234.05";
        QTest::newRow("report zero cents") << 120000LL << Money::Dollars::NoLeadingZero << "$12.00";
        QTest::newRow("report zero") << 0LL << Money::Dollars::NoLeadingZero << "$.00";
        QTest::newRow("report negative") << -35000LL << Money::Dollars::NoLeadingZero << "-$3.50";
        QTest::newRow("report negative cents") << -2500LL << Money::Dollars::NoLeadingZero << "-$.25";
        QTest::newRow("report millions")
            << 12345678912345LL << Money::Dollars::NoLeadingZero << "$1,234,567,891.23";
        QTest::newRow("report half cent to even down") << 1250LL << Money::Dollars::NoLeadingZero << "$.12";
        QTest::newRow("report half cent to even up") << 1350LL << Money::Dollars::NoLeadingZero << "$.14";
        QTest::newRow("report above half") << 1251LL << Money::Dollars::NoLeadingZero << "$.13";
        QTest::newRow("report carry into dollars and groups")
            << 9999950LL << Money::Dollars::NoLeadingZero << "$1,000.00";
        QTest::newRow("report negative rounding to zero has no sign")
            << -10LL << Money::Dollars::NoLeadingZero << "$.00";
        QTest::newRow("report largest") << std::numeric_limits<qlonglong>::max()
                                        << Money::Dollars::NoLeadingZero << "$922,337,203,685,477.58";
        QTest::newRow("report smallest") << std::numeric_limits<qlonglong>::min()
                                         << Money::Dollars::NoLeadingZero << "-$922,337,203,685,477.58";
    }
    void dollars()
    {
        QFETCH(qlonglong, raw);
        QFETCH(Money::Dollars, style);
        QFETCH(QString, text);
        QCOMPARE(Money::fromRaw(raw).toDollars(style), text);
        QByteArray appended("x");
        Money::fromRaw(raw).appendDollars(appended, style);
        QCOMPARE(appended, "x" + text.toLatin1());
    }

    void plain_data()
    {
        QTest::addColumn<qlonglong>("raw");
        QTest::addColumn<QString>("text");
        QTest::newRow("37.02") << 370200LL << "37.02";
        QTest::newRow("0.375") << 3750LL << "0.375";
        QTest::newRow("12") << 120000LL << "12";
        QTest::newRow("-1.5") << -15000LL << "-1.5";
        QTest::newRow("0.0001") << 1LL << "0.0001";
    }
    void plain()
    {
        QFETCH(qlonglong, raw);
        QFETCH(QString, text);
        QCOMPARE(Money::fromRaw(raw).toPlain(), text);
    }

    void roundedHalfEven_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("12.345") << "12.345"
                                << "12.34";
        QTest::newRow("12.355") << "12.355"
                                << "12.36";
        QTest::newRow("0.125") << "0.125"
                               << "0.12";
        QTest::newRow("-0.125") << "-0.125"
                                << "-0.12";
        QTest::newRow("-0.135") << "-0.135"
                                << "-0.14";
        QTest::newRow("12.3451") << "12.3451"
                                 << "12.35";
        QTest::newRow("largest") << "922337203685477.5807"
                                 << "922337203685477.58";
    }
    void roundedHalfEven()
    {
        QFETCH(QString, value);
        QFETCH(QString, expected);
        QCOMPARE(Money::parse(value)->rounded(2).toPlain(), expected);
    }

    void roundingAtTheEndsOfTheRangeStaysInside()
    {
        QCOMPARE(Money::fromRaw(std::numeric_limits<qint64>::max()).rounded(0).toPlain(),
                 QStringLiteral("922337203685477"));
        QCOMPARE(Money::fromRaw(std::numeric_limits<qint64>::min()).rounded(0).toPlain(),
                 QStringLiteral("-922337203685477"));
    }

    void timesDetectsOverflow()
    {
        QCOMPARE(Money::parse(QStringLiteral("12.34"))->times(3)->toPlain(), QStringLiteral("37.02"));
        QVERIFY(!Money::fromRaw(std::numeric_limits<qint64>::max() / 2).times(3).has_value());
    }

    void wholeHalfEven_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("3") << "3" << true << 3;
        QTest::newRow("2.5") << "2.5" << true << 2;
        QTest::newRow("3.5") << "3.5" << true << 4;
        QTest::newRow("-2.5") << "-2.5" << true << -2;
        QTest::newRow("int max") << "2147483647" << true << 2147483647;
        QTest::newRow("beyond 32 bits") << "2147483648" << false << 0;
        QTest::newRow("letters") << "ten" << false << 0;
    }
    void wholeHalfEven()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        const auto n = parseWholeHalfEven(text);
        QCOMPARE(n.has_value(), valid);
        if (valid) QCOMPARE(*n, value);
    }
};

QTEST_MAIN(TestMoney)
#include "tst_money.moc"
