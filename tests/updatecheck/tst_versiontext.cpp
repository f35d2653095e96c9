#include "updatecheck/VersionText.h"

#include <QTest>

using namespace tv;

class tst_VersionText : public QObject
{
    Q_OBJECT
private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("numbers"); // joined by '|'; "-" for no version

        QTest::newRow("plain") << "1.2.0"
                               << "1|2|0";
        QTest::newRow("line end") << "1.2.0\n"
                                  << "1|2|0";
        QTest::newRow("crlf and blanks") << "  1.3.0 \r\n"
                                         << "1|3|0";
        QTest::newRow("byte-order mark") << QStringLiteral("\uFEFF1.2.1") << "1|2|1";
        QTest::newRow("leading zeros") << "01.002.0"
                                       << "1|2|0";
        QTest::newRow("one number") << "7"
                                    << "7";
        QTest::newRow("four numbers") << "1.2.0.0"
                                      << "1|2|0|0";
        QTest::newRow("huge number") << "1.99999999999999999999999.0"
                                     << "1|99999999999999999999999|0";
        QTest::newRow("64 characters")
            << "1." + QString(62, QLatin1Char('9')) << "1|" + QString(62, QLatin1Char('9'));
        QTest::newRow("65 characters") << "1." + QString(63, QLatin1Char('9')) << "-";
        QTest::newRow("60,000 digits") << QString(60000, QLatin1Char('9')) << "-";
        QTest::newRow("empty") << ""
                               << "-";
        QTest::newRow("blanks only") << " \n"
                                     << "-";
        QTest::newRow("html") << "<html><body>Not Found</body></html>"
                              << "-";
        QTest::newRow("suffix") << "1.2.0-beta"
                                << "-";
        QTest::newRow("empty part") << "1..2"
                                    << "-";
        QTest::newRow("trailing dot") << "1.2."
                                      << "-";
        QTest::newRow("leading dot") << ".1.2"
                                     << "-";
        QTest::newRow("inner blank") << "1. 2.0"
                                     << "-";
        QTest::newRow("two lines") << "1.2.0\n1.3.0"
                                   << "-";
        QTest::newRow("sign") << "+1.2.0"
                              << "-";
        QTest::newRow("arabic-indic digits") << QStringLiteral("1.\u0662.0") << "-";
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(QString, numbers);
        const auto parsed = parseVersionText(text);
        if (numbers == QLatin1String("-")) {
            QVERIFY(!parsed);
            QVERIFY(!cleanVersionText(text));
        } else {
            QVERIFY(parsed);
            QCOMPARE(parsed->join(QLatin1Char('|')), numbers);
            QCOMPARE(*cleanVersionText(text), text.remove(QChar(0xFEFF)).trimmed());
        }
    }

    void compare_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<int>("expected");

        QTest::newRow("same") << "1.2.0"
                              << "1.2.0" << 0;
        QTest::newRow("same with line end") << "1.2.0\n"
                                            << "1.2.0" << 0;
        QTest::newRow("minor newer") << "1.3.0"
                                     << "1.2.0" << 1;
        QTest::newRow("two-digit minor") << "1.10.0"
                                         << "1.2.0" << 1;
        QTest::newRow("two-digit revision") << "1.2.10"
                                            << "1.2.9" << 1;
        QTest::newRow("revision newer") << "1.2.10"
                                        << "1.2.0" << 1;
        QTest::newRow("older") << "1.1.9"
                               << "1.2.0" << -1;
        QTest::newRow("major wins") << "2.0.0"
                                    << "1.99.99" << 1;
        QTest::newRow("missing numbers are zero") << "1.2"
                                                  << "1.2.0" << 0;
        QTest::newRow("extra number") << "1.2.0.1"
                                      << "1.2.0" << 1;
        QTest::newRow("leading zeros") << "1.02.0"
                                       << "1.2.0" << 0;
        QTest::newRow("longer number") << "1.100000000000000000000"
                                       << "1.99999999999999999999" << 1;
    }
    void compare()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(int, expected);
        const auto pa = parseVersionText(a);
        const auto pb = parseVersionText(b);
        QVERIFY(pa && pb);
        QCOMPARE(compareVersions(*pa, *pb), expected);
        QCOMPARE(compareVersions(*pb, *pa), -expected);
        QCOMPARE(*isNewerVersion(a, b), expected > 0);
    }

    void newerNeedsTwoVersions()
    {
        QVERIFY(!isNewerVersion(u"", u"1.2.0"));
        QVERIFY(!isNewerVersion(u"1.3.0", u"1.x"));
    }
};

QTEST_GUILESS_MAIN(tst_VersionText)
#include "tst_versiontext.moc"
