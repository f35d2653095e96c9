#include "scanner/ScannerLine.h"
#include "scanner/SerialPorts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace tv;

class tst_ScannerLine : public QObject
{
    Q_OBJECT
private slots:
    void codes_data();
    void codes();
    void lastInputIsTheMostRecentRead();
    void endlessLineStaysBounded_data();
    void endlessLineStaysBounded();

    void portOrder_data();
    void portOrder();
    void uartPresence();
    void listedPorts_data();
    void listedPorts();
};

void tst_ScannerLine::codes_data()
{
    QTest::addColumn<QList<QByteArray>>("reads");
    QTest::addColumn<QStringList>("codes");
    QTest::addColumn<QString>("left");

    QTest::newRow("one read") << QList<QByteArray>{"ABC123\r\n"} << QStringList{"ABC123"} << "";
    QTest::newRow("a character per read")
        << QList<QByteArray>{"A", "B", "C", "1", "2", "3", "\r", "\n"} << QStringList{"ABC123"} << "";
    QTest::newRow("split between CR and LF")
        << QList<QByteArray>{"ABC", "123\r", "\n"} << QStringList{"ABC123"} << "";
    QTest::newRow("lone CR is dropped from the code")
        << QList<QByteArray>{"AB\r", "CD\r\n"} << QStringList{"ABCD"} << "";
    QTest::newRow("nothing until CR LF") << QList<QByteArray>{"AB\r"} << QStringList{} << "AB\r";
    QTest::newRow("LF CR is no end") << QList<QByteArray>{"AB\n\r"} << QStringList{} << "AB\n\r";
    QTest::newRow("two codes in one read")
        << QList<QByteArray>{"A1\r\nB2\r\n"} << QStringList{"A1", "B2"} << "";
    QTest::newRow("partial code fronts the next")
        << QList<QByteArray>{"A1\r\nB", "2\r\n"} << QStringList{"A1", "B2"} << "";
    QTest::newRow("code and a partial one") << QList<QByteArray>{"A1\r\nB"} << QStringList{"A1"} << "B";
    QTest::newRow("empty code") << QList<QByteArray>{"\r\n"} << QStringList{""} << "";
    QTest::newRow("CR CR LF") << QList<QByteArray>{"X\r\r\n"} << QStringList{"X"} << "";
    QTest::newRow("NUL and control bytes dropped") << QList<QByteArray>{QByteArray("\0A\x01"
                                                                                   "B\tC\x7f\x85"
                                                                                   "1\x1b\r\n",
                                                                                   12)}
                                                   << QStringList{"ABC1"} << "";
    QTest::newRow("only control bytes")
        << QList<QByteArray>{QByteArray("\0\0\r\n", 4)} << QStringList{""} << "";
    QTest::newRow("byte above 127") << QList<QByteArray>{"\xe9t\xe9\r\n"}
                                    << QStringList{QStringLiteral("\u00e9t\u00e9")} << "";
}

void tst_ScannerLine::codes()
{
    QFETCH(QList<QByteArray>, reads);
    QFETCH(QStringList, codes);
    QFETCH(QString, left);

    ScannerLine line;
    QStringList got;
    for (const QByteArray &read : reads)
        got += line.feed(read);
    QCOMPARE(got, codes);
    QCOMPARE(line.buffer(), left);
}

void tst_ScannerLine::lastInputIsTheMostRecentRead()
{
    ScannerLine line;
    line.feed("AB");
    line.feed("C\r\n");
    QCOMPARE(line.lastInput(), QStringLiteral("C\r\n"));
    QVERIFY(line.buffer().isEmpty());
}

void tst_ScannerLine::endlessLineStaysBounded_data()
{
    QTest::addColumn<int>("readSize");
    QTest::newRow("port-sized reads") << 4096;
    QTest::newRow("one huge read") << 1024 * 1024;
}

void tst_ScannerLine::endlessLineStaysBounded()
{
    QFETCH(int, readSize);
    ScannerLine line;
    const qsizetype total = 1024 * 1024;
    for (qsizetype sent = 0; sent < total; sent += readSize) {
        QVERIFY(line.feed(QByteArray(readSize, 'x')).isEmpty());
        QVERIFY(line.buffer().size() <= ScannerLine::kMaxBuffer);
    }
    QCOMPARE(line.buffer().size(), ScannerLine::kMaxBuffer);

    // The line still ends at the next CR LF, and what follows starts clean.
    const QStringList codes = line.feed("END\r\nNEXT\r\n");
    QCOMPARE(codes.size(), 2);
    QVERIFY(codes.at(0).endsWith(QLatin1String("xxEND")));
    QVERIFY(codes.at(0).size() <= ScannerLine::kMaxBuffer + 3);
    QCOMPARE(codes.at(1), QStringLiteral("NEXT"));
}

void tst_ScannerLine::portOrder_data()
{
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QStringList>("withUart");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("USB kinds before built-in")
        << QStringList{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyACM0"} << QStringList{"/dev/ttyS0"}
        << QStringList{"/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyS0"};
    QTest::newRow("empty built-in slots left out") << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyS2"}
                                                   << QStringList{"/dev/ttyS1"} << QStringList{"/dev/ttyS1"};
    QTest::newRow("by number, not by text")
        << QStringList{"/dev/ttyUSB10", "/dev/ttyUSB2", "/dev/ttyACM1", "/dev/ttyACM0"} << QStringList{}
        << QStringList{"/dev/ttyACM0", "/dev/ttyACM1", "/dev/ttyUSB2", "/dev/ttyUSB10"};
    QTest::newRow("other serial devices last")
        << QStringList{"/dev/ttyAMA0", "/dev/ttyS4", "/dev/ttyUSB0"} << QStringList{"/dev/ttyS4"}
        << QStringList{"/dev/ttyUSB0", "/dev/ttyS4", "/dev/ttyAMA0"};
    QTest::newRow("duplicates once") << QStringList{"/dev/ttyACM0", "/dev/ttyACM0"} << QStringList{}
                                     << QStringList{"/dev/ttyACM0"};
    QTest::newRow("none") << QStringList{} << QStringList{} << QStringList{};
}

void tst_ScannerLine::portOrder()
{
    QFETCH(QStringList, found);
    QFETCH(QStringList, withUart);
    QFETCH(QStringList, expected);
    QCOMPARE(scannerPortOrder(found, [&](const QString &path) { return withUart.contains(path); }), expected);
}

void tst_ScannerLine::uartPresence()
{
    QTemporaryDir sys;
    QVERIFY(sys.isValid());
    auto writeType = [&](const char *port, const QByteArray &type) {
        QDir(sys.path()).mkpath(QLatin1String(port));
        QFile f(sys.filePath(QLatin1String(port) + QStringLiteral("/type")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(type);
    };
    writeType("ttyS0", "4\n");
    writeType("ttyS1", "0\n");
    writeType("ttyS3", "garbage\n");
    QVERIFY(uartPresent(QStringLiteral("/dev/ttyS0"), sys.path()));
    QVERIFY(!uartPresent(QStringLiteral("/dev/ttyS1"), sys.path()));
    QVERIFY(!uartPresent(QStringLiteral("/dev/ttyS2"), sys.path()));
    QVERIFY(!uartPresent(QStringLiteral("/dev/ttyS3"), sys.path()));
}

void tst_ScannerLine::listedPorts_data()
{
    QTest::addColumn<QByteArray>("env");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("set but empty") << QByteArray("") << QStringList{};
    QTest::newRow("one") << QByteArray("/dev/pts/7") << QStringList{"/dev/pts/7"};
    QTest::newRow("blanks and empty entries")
        << QByteArray(" /dev/a , ,/dev/b,") << QStringList{"/dev/a", "/dev/b"};
    QTest::newRow("only the first four")
        << QByteArray("/a,/b,/c,/d,/e") << QStringList{"/a", "/b", "/c", "/d"};
}

void tst_ScannerLine::listedPorts()
{
    QFETCH(QByteArray, env);
    QFETCH(QStringList, expected);
    const QByteArray old = qgetenv("TALLYVANE_SERIAL_PORTS");
    qputenv("TALLYVANE_SERIAL_PORTS", env);
    const QStringList got = scannerPortPaths();
    qputenv("TALLYVANE_SERIAL_PORTS", old);
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(tst_ScannerLine)
#include "tst_scannerline.moc"
