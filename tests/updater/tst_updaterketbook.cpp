// The real updaterKetbook program (built to trust the test key, or without a release key), run in a
// temporary program folder against a local server.
#include "HttpTestServer.h"
#include "StandInProgram.h"
#include "UpdateSigning.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace tv;

using tv::test::HttpTestServer;
using tv::test::standInProgram;
using Response = HttpTestServer::Response;

Q_DECLARE_METATYPE(Response)

class TestUpdaterKetbook : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void run_data();
    void run();
    void stallKeepsOldProgramAndSecondInstanceEndsAtOnce();
    void unusableAddressStartsOldProgram();

private:
    QString file(const QString &name) const { return m_dir->filePath(name); }
    QByteArray readFile(const QString &name) const
    {
        QFile f(file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void startUpdater(QProcess &p, const QString &url);
    void installUpdater(const char *binary);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<HttpTestServer> m_server;
    QByteArray m_old;
};

void TestUpdaterKetbook::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    installUpdater(UPDATER_BINARY);
    m_old = standInProgram("old", 2000);
    QFile k(file(QStringLiteral("Ketbook")));
    QVERIFY(k.open(QIODevice::WriteOnly));
    k.write(m_old);
    k.close();
    QVERIFY(k.setPermissions(k.permissions() | QFile::ExeOwner));
    m_server = std::make_unique<HttpTestServer>();
}

// The updater works on its own folder: a copy of the built program goes into a fresh one.
void TestUpdaterKetbook::installUpdater(const char *binary)
{
    const QString target = file(QStringLiteral("updaterKetbook"));
    QFile::remove(target);
    QVERIFY(QFile::copy(QString::fromLocal8Bit(binary), target));
}

void TestUpdaterKetbook::cleanup()
{
    m_server.reset();
    m_dir.reset();
}

void TestUpdaterKetbook::startUpdater(QProcess &p, const QString &url)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TALLYVANE_UPDATE_URL"), url);
    env.insert(QStringLiteral("TALLYVANE_UPDATE_TIMEOUT_MS"), QStringLiteral("2000"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(QDir::tempPath());
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(file(QStringLiteral("updaterKetbook")), {});
    QVERIFY(p.waitForStarted());
}

void TestUpdaterKetbook::run_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<bool>("replaced");
    QTest::addColumn<bool>("keyed"); // the updater was built with a release key

    const QByteArray body = standInProgram("new", 300000);
    Response good;
    good.body = body;
    QTest::newRow("good download") << good << true << true << true;

    Response noLength = good;
    noLength.contentLength = -1;
    QTest::newRow("no Content-length") << noLength << true << true << true;

    Response headZero = good;
    headZero.headContentLength = 0;
    QTest::newRow("Content-length 0 on the size request") << headZero << true << true << true;

    Response zero = good;
    zero.contentLength = 0;
    QTest::newRow("Content-length 0 on both") << zero << true << false << true;

    Response smaller = good;
    smaller.headContentLength = 1000;
    QTest::newRow("Content-length smaller than the body") << smaller << true << false << true;

    Response notFound;
    notFound.status = 404;
    notFound.body = "<html><body>404</body></html>";
    QTest::newRow("404") << notFound << true << false << true;

    Response cut = good;
    cut.cutAfter = 150000;
    QTest::newRow("connection cut half-way") << cut << true << false << true;

    Response stalled = good;
    stalled.stallAfter = 150000;
    QTest::newRow("stalls half-way: timed out") << stalled << true << false << true;

    QTest::newRow("no server") << good << false << false << true;
    QTest::newRow("built without a release key: nothing asked") << good << true << false << false;
}

void TestUpdaterKetbook::run()
{
    QFETCH(Response, response);
    QFETCH(bool, serverUp);
    QFETCH(bool, replaced);
    QFETCH(bool, keyed);
    if (!keyed) installUpdater(UPDATER_NOKEY_BINARY);
    m_server->setResponse(QStringLiteral("/Ketbook.exe"), response);
    m_server->setBody(QStringLiteral("/Ketbook.manifest"), tv::test::signUpdate(response.body));
    const QString url = serverUp ? m_server->baseUrl().toString()
                                 : QStringLiteral("http://127.0.0.1:%1").arg(HttpTestServer::unusedPort());
    QProcess p;
    startUpdater(p, url);
    // The test's own event loop serves the requests while the updater runs.
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), QProcess::NotRunning, 20000);
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    const QByteArray expected = replaced ? response.body : m_old;
    QCOMPARE(readFile(QStringLiteral("Ketbook")), expected);
    QVERIFY(QFileInfo(file(QStringLiteral("Ketbook"))).isExecutable());
    QTRY_COMPARE_WITH_TIMEOUT(readFile(QStringLiteral("ran.txt")),
                              replaced ? QByteArray("new\n") : QByteArray("old\n"), 10000);
    // Nothing left behind in the program folder but the version installed.
    QStringList files{QStringLiteral("Ketbook"), QStringLiteral("ran.txt"), QStringLiteral("updaterKetbook")};
    if (replaced) files.insert(1, QStringLiteral("Ketbook.version"));
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             files);
    QStringList requests;
    if (keyed) requests << QStringLiteral("HEAD /Ketbook.exe") << QStringLiteral("GET /Ketbook.exe");
    if (replaced) requests << QStringLiteral("GET /Ketbook.manifest");
    // The network stack may send a request again when a kept connection turns out closed.
    QStringList seenRequests = m_server->requests();
    seenRequests.removeDuplicates();
    if (serverUp) QCOMPARE(seenRequests, requests);
}

void TestUpdaterKetbook::stallKeepsOldProgramAndSecondInstanceEndsAtOnce()
{
    Response slow;
    slow.body = standInProgram("new", 400000);
    slow.chunkBytes = 4000;
    slow.chunkDelayMs = 100; // far longer than this test waits
    m_server->setResponse(QStringLiteral("/Ketbook.exe"), slow);
    QProcess first;
    startUpdater(first, m_server->baseUrl().toString());
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 2, 15000);
    QTest::qWait(500);
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(readFile(QStringLiteral("Ketbook")), m_old); // written beside, not over
    QVERIFY(!QFile::exists(file(QStringLiteral("ran.txt"))));

    QProcess second;
    startUpdater(second, m_server->baseUrl().toString());
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(m_server->requests().size(), 2); // the second one asked nothing
    QVERIFY(!QFile::exists(file(QStringLiteral("ran.txt"))));
    QCOMPARE(first.state(), QProcess::Running);

    first.kill();
    QVERIFY(first.waitForFinished(5000));
    QCOMPARE(readFile(QStringLiteral("Ketbook")), m_old);
}

void TestUpdaterKetbook::unusableAddressStartsOldProgram()
{
    // A failure before any connection, right at the start, still ends the updater.
    QProcess p;
    startUpdater(p, QStringLiteral("ftp://127.0.0.1:1"));
    QTRY_COMPARE_WITH_TIMEOUT(p.state(), QProcess::NotRunning, 15000);
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(readFile(QStringLiteral("Ketbook")), m_old);
    QTRY_COMPARE_WITH_TIMEOUT(readFile(QStringLiteral("ran.txt")), QByteArray("old\n"), 10000);
}

QTEST_MAIN(TestUpdaterKetbook)
#include "tst_updaterketbook.moc"
