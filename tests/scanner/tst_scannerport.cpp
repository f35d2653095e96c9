#include "PtyPair.h"

#include "scanner/ScannerPort.h"

#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>
#include <termios.h>
#include <unistd.h>

using namespace tv;
using tv::test::PtyPair;

class tst_ScannerPort : public QObject
{
    Q_OBJECT
private slots:
    void opensWithLineSettingsAndWritesNothing();
    void openFailures_data();
    void openFailures();
    void busyPort();
    void notPermitted();
    void farEndClosing();
    void probeLeavesPortClosed();
};

void tst_ScannerPort::opensWithLineSettingsAndWritesNothing()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    ScannerPort port({pty.slavePath()});
    QVERIFY(!port.open());
    QVERIFY(port.isOpen());

    termios tio{};
    QCOMPARE(::tcgetattr(pty.slaveFd(), &tio), 0);
    QCOMPARE(::cfgetispeed(&tio), speed_t(B9600));
    QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(tio.c_cflag & PARENB, tcflag_t(0));
    QCOMPARE(tio.c_cflag & CSTOPB, tcflag_t(0));

    QSignalSpy spy(&port, &ScannerPort::codeScanned);
    QVERIFY(pty.send("ABC\r\n"));
    QTRY_COMPARE(spy.size(), 1);
    QTest::qWait(50);
    QCOMPARE(pty.pendingFromProgram(), QByteArray());
    port.close();
    QVERIFY(!port.isOpen());
}

void tst_ScannerPort::openFailures_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("inMessage");

    QTest::newRow("device gone") << QStringList{"/nonexistent/ttyACM9"} << 1
                                 << int(PortFailure::Kind::Missing)
                                 << "COM1 (/nonexistent/ttyACM9) was not found";
    QTest::newRow("no device for the number")
        << QStringList{"/nonexistent/ttyACM9"} << 3 << int(PortFailure::Kind::NoDevice)
        << "no serial port for COM3";
    QTest::newRow("not a serial device") << QStringList{"/dev/null"} << 1 << int(PortFailure::Kind::Other)
                                         << "COM1 (/dev/null) could not be opened";
}

void tst_ScannerPort::openFailures()
{
    QFETCH(QStringList, paths);
    QFETCH(int, number);
    QFETCH(int, kind);
    QFETCH(QString, inMessage);

    ScannerPort port(paths);
    port.setPortNumber(number);
    const auto failure = port.open();
    QVERIFY(failure);
    QCOMPARE(int(failure->kind), kind);
    QVERIFY2(failure->message.contains(inMessage), qPrintable(failure->message));
    QVERIFY(!port.isOpen());
}

void tst_ScannerPort::busyPort()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    QSerialPort other(pty.slavePath());
    QVERIFY(other.open(QIODevice::ReadOnly));
    ScannerPort port({pty.slavePath()});
    const auto failure = port.open();
    QVERIFY(failure);
    QCOMPARE(failure->kind, PortFailure::Kind::Busy);
    QVERIFY2(failure->message.contains(QLatin1String("in use by another program")),
             qPrintable(failure->message));
    QVERIFY(!port.isOpen());
    other.close();
    QVERIFY(!port.open());
}

void tst_ScannerPort::notPermitted()
{
    if (::geteuid() == 0) QSKIP("root may open any device");
    PtyPair pty;
    QVERIFY(pty.isValid());
    QVERIFY(QFile::setPermissions(pty.slavePath(), QFileDevice::Permissions()));
    ScannerPort port({pty.slavePath()});
    const auto failure = port.open();
    QVERIFY(failure);
    QCOMPARE(failure->kind, PortFailure::Kind::NotPermitted);
    QVERIFY2(failure->message.contains(QLatin1String("dialout")), qPrintable(failure->message));
}

void tst_ScannerPort::farEndClosing()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    ScannerPort port({pty.slavePath()});
    QVERIFY(!port.open());
    QSignalSpy lost(&port, &ScannerPort::connectionLost);
    QSignalSpy codes(&port, &ScannerPort::codeScanned);
    QVERIFY(pty.send("LAST\r\n"));
    QTRY_COMPARE(codes.size(), 1);

    pty.closeMaster();
    QTRY_COMPARE(lost.size(), 1);
    QVERIFY(!port.isOpen());
    QVERIFY(lost.at(0).at(0).toString().contains(pty.slavePath()));
    // No flood: the closed port stays quiet.
    QTest::qWait(200);
    QCOMPARE(lost.size(), 1);
}

void tst_ScannerPort::probeLeavesPortClosed()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    ScannerPort port({pty.slavePath(), QStringLiteral("/nonexistent/ttyUSB5")});
    QVERIFY(!port.probe(1));
    QVERIFY(!port.isOpen());
    const auto missing = port.probe(2);
    QVERIFY(missing);
    QCOMPARE(missing->kind, PortFailure::Kind::Missing);
    QVERIFY(!port.isOpen());
    // An open port is closed first, then tried.
    port.setPortNumber(1);
    QVERIFY(!port.open());
    QVERIFY(!port.probe(1));
    QVERIFY(!port.isOpen());
}

QTEST_GUILESS_MAIN(tst_ScannerPort)
#include "tst_scannerport.moc"
