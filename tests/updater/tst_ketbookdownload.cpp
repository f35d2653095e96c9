#include "Controls.h"
#include "StandInProgram.h"
#include "UpdateSigning.h"
#include "updater/DrawnProgressBar.h"
#include "updater/KetbookDownload.h"
#include "updater/ReleaseManifest.h"
#include "updater/UpdaterWindow.h"

#include "HttpTestServer.h"
#include "ScriptedPrompts.h"
#include "TestTls.h"
#include "common/EndProgram.h"
#include "common/ProgramFolder.h"
#include "common/Version.h"
#include "updatecheck/ReleaseKey.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace tv;

using tv::test::HttpTestServer;
using tv::test::newerVersion;
using tv::test::signManifestLines;
using tv::test::signUpdate;
using tv::test::standInProgram;
using Response = HttpTestServer::Response;
using Result = KetbookDownload::Result;
using Failure = KetbookDownload::Failure;

Q_DECLARE_METATYPE(Response)

namespace {
const QStringList kHeadLines = {QStringLiteral("Sending connection request..."),
                                QStringLiteral("Connected"),
                                QStringLiteral("Sending request..."),
                                QStringLiteral("Request sent"),
                                QStringLiteral("Downloading Update..."),
                                QStringLiteral("Establishing file size & location...")};
const QStringList kGetLines = {QStringLiteral("Sending connection request..."), QStringLiteral("Connected"),
                               QStringLiteral("Sending request..."), QStringLiteral("Request sent")};
// What an update older than the installed version is refused with.
QString notNewerText(const QString &offered, const QString &installed)
{
    return QStringLiteral("The update server offered version %1, which is not newer than the installed "
                          "version %2; nothing was installed.")
        .arg(offered, installed);
}

// What the program alone was signed with before its version was signed too.
QByteArray bareSignature(const QByteArray &program)
{
    const QByteArray signedLines = signManifestLines(program);
    return QByteArray::fromBase64(signedLines.mid(signedLines.lastIndexOf("signature ") + 10).trimmed());
}

// The idle limit for this test: long for a transfer on this machine, short for a test that waits.
constexpr int kIdleMs = 2000;
} // namespace

class TestKetbookDownload : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void percentFor_data();
    void percentFor();
    void sizeFromHeader_data();
    void sizeFromHeader();
    void sizeText();
    void transfer_data();
    void transfer();
    void chunkedAndRedirected_data();
    void chunkedAndRedirected();
    void hostile_data();
    void hostile();
    void connectionRefused();
    void cancelDuringStall();
    void formGoodDownloadStartsNewProgram();
    void formUnknownSizeStillInstalls();
    void formCancelMidDownload_data();
    void formCancelMidDownload();
    void formMissingKetbook();

private:
    QString file(const QString &name) const { return m_dir->filePath(name); }
    QByteArray readFile(const QString &name) const;
    QStringList partFiles() const;
    // The program and, for a 2xx answer, its manifest beside it.
    void serve(const Response &r);

    QTemporaryDir m_tlsDir;
    std::optional<tv::test::TestTls> m_trusted;
    std::optional<tv::test::TestTls> m_untrusted;
    QString m_otherKey;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<HttpTestServer> m_server;
    std::unique_ptr<tv::test::ScriptedPrompts> m_prompts;
    QByteArray m_old;
    int m_ends = 0;
};

QByteArray TestKetbookDownload::readFile(const QString &name) const
{
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList TestKetbookDownload::partFiles() const
{
    return QDir(m_dir->path()).entryList({QStringLiteral("*.part")}, QDir::Files | QDir::Hidden);
}

void TestKetbookDownload::serve(const Response &r)
{
    m_server->setResponse(QStringLiteral("/Ketbook.exe"), r);
    if (r.status >= 200 && r.status <= 299 && !r.body.isEmpty())
        m_server->setBody(QStringLiteral("/Ketbook.manifest"), signUpdate(r.body));
}

void TestKetbookDownload::initTestCase()
{
    qputenv("TALLYVANE_UPDATE_TIMEOUT_MS", QByteArray::number(kIdleMs));
    QVERIFY(m_tlsDir.isValid());
    m_trusted = tv::test::TestTls::make(m_tlsDir.path(), QStringLiteral("trusted"));
    m_untrusted = tv::test::TestTls::make(m_tlsDir.path(), QStringLiteral("untrusted"));
    QVERIFY(m_trusted && m_untrusted);
    m_trusted->trust();
    m_otherKey = m_tlsDir.filePath(QStringLiteral("other-key.pem"));
    QVERIFY(tv::test::makeSigningKey(m_otherKey));
}

void TestKetbookDownload::init()
{
    tv::setReleaseKey(tv::updatePublicKeyPem());
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    tv::setProgramFolder(m_dir->path());
    m_old = standInProgram("old", 3000);
    QFile k(file(QStringLiteral("Ketbook")));
    QVERIFY(k.open(QIODevice::WriteOnly));
    k.write(m_old);
    k.close();
    QVERIFY(k.setPermissions(k.permissions() | QFile::ExeOwner));
    m_server = std::make_unique<HttpTestServer>();
    qputenv("TALLYVANE_UPDATE_URL", m_server->baseUrl().toString().toUtf8());
    m_prompts = std::make_unique<tv::test::ScriptedPrompts>();
    m_ends = 0;
    tv::setEndProgramHandler([this] { ++m_ends; });
}

void TestKetbookDownload::cleanup()
{
    tv::setEndProgramHandler({});
    tv::setProgramFolder(QString());
    m_prompts.reset();
    m_server.reset();
    m_dir.reset();
}

void TestKetbookDownload::percentFor_data()
{
    QTest::addColumn<qint64>("received");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("percent");
    QTest::newRow("nothing yet") << qint64(0) << 100 << 0;
    QTest::newRow("half") << qint64(512) << 1024 << 50;
    QTest::newRow("0.5 rounds to even 0") << qint64(1) << 200 << 0;
    QTest::newRow("1.5 rounds to even 2") << qint64(3) << 200 << 2;
    QTest::newRow("2.5 rounds to even 2") << qint64(5) << 200 << 2;
    QTest::newRow("whole") << qint64(1024) << 1024 << 100;
    QTest::newRow("more than announced is held at 100") << qint64(5000) << 100 << 100;
    QTest::newRow("unknown size stays at 0") << qint64(5000) << -1 << 0;
    QTest::newRow("past 2 GiB") << qint64(3000000000LL) << 2147483647 << 100;
}

void TestKetbookDownload::percentFor()
{
    QFETCH(qint64, received);
    QFETCH(int, size);
    QFETCH(int, percent);
    QCOMPARE(KetbookDownload::percentFor(received, size), percent);
}

void TestKetbookDownload::sizeFromHeader_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("size");
    QTest::newRow("plain") << QByteArray("1234") << 1234;
    QTest::newRow("blanks") << QByteArray(" 42 ") << 42;
    QTest::newRow("12.5 to even") << QByteArray("12.5") << 12;
    QTest::newRow("13.5 to even") << QByteArray("13.5") << 14;
    QTest::newRow("0.6 rounds up to 1") << QByteArray("0.6") << 1;
    QTest::newRow("zero is unknown") << QByteArray("0") << -1;
    QTest::newRow("negative is unknown") << QByteArray("-5") << -1;
    QTest::newRow("absent") << QByteArray() << -1;
    QTest::newRow("not a number") << QByteArray("abc") << -1;
    QTest::newRow("too big for 32 bits") << QByteArray("99999999999") << -1;
    QTest::newRow("largest") << QByteArray("2147483647") << 2147483647;
}

void TestKetbookDownload::sizeFromHeader()
{
    QFETCH(QByteArray, text);
    QFETCH(int, size);
    QCOMPARE(KetbookDownload::sizeFromHeader(text), size);
}

void TestKetbookDownload::sizeText()
{
    QCOMPARE(UpdaterWindow::sizeText(-1), QStringLiteral("-1 KBs"));
    QCOMPARE(UpdaterWindow::sizeText(1), QStringLiteral("1 KBs"));
    QCOMPARE(UpdaterWindow::sizeText(1024), QStringLiteral("1 KBs"));
    QCOMPARE(UpdaterWindow::sizeText(1025), QStringLiteral("2 KBs"));
    QCOMPARE(UpdaterWindow::sizeText(2147483647), QStringLiteral("2097152 KBs"));
}

void TestKetbookDownload::transfer_data()
{
    QTest::addColumn<Response>("response");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("lastPercent"); // -1: depends on where the cut falls
    QTest::addColumn<int>("received");    // -1: likewise

    const QByteArray body = standInProgram("new", 5000);
    Response good;
    good.body = body;
    QTest::newRow("good") << good << int(Result::Installed) << 5000 << 100 << 5000;

    Response exact = good;
    exact.body = standInProgram("new", 1024);
    QTest::newRow("exactly 1024 bytes") << exact << int(Result::Installed) << 1024 << 100 << 1024;

    Response noLength = good;
    noLength.contentLength = -1;
    QTest::newRow("no Content-length: installed when complete")
        << noLength << int(Result::Installed) << -1 << 0 << 5000;

    Response headZero = good;
    headZero.headContentLength = 0;
    QTest::newRow("size request says 0: unknown") << headZero << int(Result::Installed) << -1 << 0 << 5000;

    Response zero = good;
    zero.contentLength = 0;
    QTest::newRow("Content-length 0 everywhere: empty, not whole")
        << zero << int(Result::Failed) << -1 << 0 << 0;

    Response smaller = good;
    smaller.headContentLength = 100;
    QTest::newRow("announced smaller than the body: refused before a byte")
        << smaller << int(Result::Failed) << 100 << 0 << 0;

    Response larger = good;
    larger.headContentLength = 9000;
    QTest::newRow("announced larger than the body") << larger << int(Result::Failed) << 9000 << 56 << 5000;

    Response notFound;
    notFound.status = 404;
    notFound.body = "<html>not here</html>";
    QTest::newRow("404") << notFound << int(Result::Failed) << -1 << 0 << 0;

    Response serverError = good;
    serverError.status = 500;
    QTest::newRow("500 with a program-sized body") << serverError << int(Result::Failed) << -1 << 0 << 0;

    Response cut = good;
    cut.cutAfter = 2500;
    QTest::newRow("cut half-way") << cut << int(Result::Failed) << 5000 << -1 << -1;

    Response slowCut = good;
    slowCut.chunkBytes = 700;
    slowCut.chunkDelayMs = 5;
    slowCut.cutAfter = 2800;
    QTest::newRow("cut half-way while trickling") << slowCut << int(Result::Failed) << 5000 << -1 << -1;
}

void TestKetbookDownload::transfer()
{
    QFETCH(Response, response);
    QFETCH(int, result);
    QFETCH(int, size);
    QFETCH(int, lastPercent);
    QFETCH(int, received);
    serve(response);
    KetbookDownload d;
    QSignalSpy finished(&d, &KetbookDownload::finished);
    QSignalSpy lines(&d, &KetbookDownload::statusLine);
    QSignalSpy sizes(&d, &KetbookDownload::sizeKnown);
    QSignalSpy progress(&d, &KetbookDownload::progress);
    d.start();
    QVERIFY(finished.wait(10000));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(int(d.result()), result);
    QCOMPARE(sizes.count(), 1);
    QCOMPARE(sizes.at(0).at(0).toInt(), size);
    QCOMPARE(d.size(), size);

    QStringList seen;
    for (const auto &l : lines)
        seen << l.at(0).toString();
    // The signature's request adds no lines of its own.
    if (result == int(Result::Installed))
        QCOMPARE(seen, kHeadLines + kGetLines);
    else
        QCOMPARE(seen, kHeadLines + kGetLines + QStringList{QStringLiteral("Error downloading file")});

    int last = 0, previous = 0;
    for (const auto &p : progress) {
        last = p.at(0).toInt();
        QVERIFY(last >= previous);
        previous = last;
    }
    if (lastPercent >= 0) QCOMPARE(last, lastPercent);
    if (received >= 0) QCOMPARE(d.received(), qint64(received));
    if (d.received() > 0) QVERIFY(!progress.isEmpty());

    const QFileInfo k(file(QStringLiteral("Ketbook")));
    if (result == int(Result::Installed)) {
        QCOMPARE(readFile(QStringLiteral("Ketbook")), response.body);
        QVERIFY(k.isExecutable());
    } else {
        QCOMPARE(readFile(QStringLiteral("Ketbook")), m_old);
    }
    QVERIFY(partFiles().isEmpty());
    QStringList requests{QStringLiteral("HEAD /Ketbook.exe"), QStringLiteral("GET /Ketbook.exe")};
    if (result == int(Result::Installed)) requests << QStringLiteral("GET /Ketbook.manifest");
    // The network stack may send a request again when a kept connection turns out closed.
    QStringList seenRequests = m_server->requests();
    seenRequests.removeDuplicates();
    QCOMPARE(seenRequests, requests);
}

void TestKetbookDownload::chunkedAndRedirected_data()
{
    QTest::addColumn<bool>("chunked");
    QTest::addColumn<bool>("redirected");
    QTest::newRow("chunked body") << true << false;
    QTest::newRow("redirected") << false << true;
    QTest::newRow("redirected to a chunked body") << true << true;
}

void TestKetbookDownload::chunkedAndRedirected()
{
    QFETCH(bool, chunked);
    QFETCH(bool, redirected);
    const QByteArray program = standInProgram("new", 5000);
    Response r;
    r.body = program;
    if (chunked) {
        QByteArray encoded;
        for (qsizetype at = 0; at < program.size(); at += 700) {
            const QByteArray piece = program.mid(at, 700);
            encoded += QByteArray::number(piece.size(), 16) + ";x=y\r\n" + piece + "\r\n";
        }
        encoded += "0\r\nX-Trailer: 1\r\n\r\n";
        r.body = encoded;
        r.contentLength = -1;
        r.headers.append(qMakePair(QByteArray("Transfer-Encoding"), QByteArray("chunked")));
    }
    m_server->setBody(QStringLiteral("/Ketbook.manifest"), signUpdate(program));
    if (redirected) {
        Response moved;
        moved.status = 302;
        moved.headers.append(qMakePair(QByteArray("Location"), QByteArray("/files/Ketbook.exe")));
        m_server->setResponse(QStringLiteral("/Ketbook.exe"), moved);
        m_server->setResponse(QStringLiteral("/files/Ketbook.exe"), r);
    } else {
        m_server->setResponse(QStringLiteral("/Ketbook.exe"), r);
    }
    KetbookDownload d;
    QSignalSpy finished(&d, &KetbookDownload::finished);
    d.start();
    QVERIFY(finished.wait(10000));
    QCOMPARE(d.result(), Result::Installed);
    QCOMPARE(d.size(), chunked ? -1 : 5000);
    QCOMPARE(readFile(QStringLiteral("Ketbook")), program);
    QCOMPARE(m_server->requests().size(), redirected ? 5 : 3);
}

void TestKetbookDownload::hostile_data()
{
    QTest::addColumn<Response>("program");  // at /Ketbook.exe of an https server
    QTest::addColumn<Response>("manifest"); // at /Ketbook.manifest
    QTest::addColumn<bool>("trusted");      // the server's certificate comes from the trusted test CA
    QTest::addColumn<qint64>("byteLimit");  // 0: the default
    QTest::addColumn<bool>("keyed");        // the updater has a release key
    QTest::addColumn<QString>("recorded");  // Ketbook.version before the update; empty: none
    QTest::addColumn<QString>("offered");   // refused as not newer; empty: refused as not verified
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("failure");

    const QByteArray good = standInProgram("new", 5000);
    Response program;
    program.body = good;
    Response manifest;
    manifest.body = signUpdate(good);
    QVERIFY(manifest.body.startsWith("version " + newerVersion().toLatin1() + "\nsha256 "));

    QTest::newRow("good manifest over TLS") << program << manifest << true << qint64(0) << true << QString()
                                            << QString() << int(Result::Installed) << int(Failure::None);

    // Older signed releases, offered as new by a server that was broken into.
    Response older = manifest;
    older.body = signUpdate(good, QStringLiteral("0.9.0"));
    QTest::newRow("an older version, signed")
        << program << older << true << qint64(0) << true << QString() << QStringLiteral("0.9.0")
        << int(Result::Rejected) << int(Failure::None);
    Response same = manifest;
    same.body = signUpdate(good, tv::versionText());
    QTest::newRow("the installed version again, signed")
        << program << same << true << qint64(0) << true << QString() << tv::versionText()
        << int(Result::Rejected) << int(Failure::None);
    QTest::newRow("older than the version the updater installed last")
        << program << manifest << true << qint64(0) << true << QStringLiteral("%1.5").arg(newerVersion())
        << newerVersion() << int(Result::Rejected) << int(Failure::None);
    Response raised = older;
    raised.body.replace("version 0.9.0\n", "version " + newerVersion().toLatin1() + "\n");
    QTest::newRow("the version raised after signing")
        << program << raised << true << qint64(0) << true << QString() << QString() << int(Result::Rejected)
        << int(Failure::None);
    Response overlong = manifest;
    overlong.body =
        signManifestLines("version 9." + QByteArray(63, '0') + "\nsha256 " +
                          QCryptographicHash::hash(good, QCryptographicHash::Sha256).toHex() + "\n");
    QTest::newRow("a signed version of 65 characters")
        << program << overlong << true << qint64(0) << true << QString() << QString() << int(Result::Rejected)
        << int(Failure::None);
    Response otherProgram = manifest;
    otherProgram.body = signUpdate(standInProgram("other", 5000));
    QTest::newRow("the manifest of another program")
        << program << otherProgram << true << qint64(0) << true << QString() << QString()
        << int(Result::Rejected) << int(Failure::None);

    Response flipped = program;
    flipped.body[100] = char(flipped.body[100] ^ 0x01);
    QTest::newRow("a flipped byte") << flipped << manifest << true << qint64(0) << true << QString()
                                    << QString() << int(Result::Rejected) << int(Failure::None);

    Response html;
    html.body = "<html><body><h1>Our shop has moved</h1></body></html>";
    html.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html")));
    QTest::newRow("an HTML page with status 200")
        << html << manifest << true << qint64(0) << true << QString() << QString() << int(Result::Rejected)
        << int(Failure::None);

    Response otherKey = manifest;
    otherKey.body = signUpdate(good, newerVersion(), m_otherKey);
    QVERIFY(!otherKey.body.isEmpty() && otherKey.body != manifest.body);
    QTest::newRow("signed by another key") << program << otherKey << true << qint64(0) << true << QString()
                                           << QString() << int(Result::Rejected) << int(Failure::None);

    Response notPublished;
    notPublished.status = 404;
    notPublished.body = "<html>Not Found</html>";
    QTest::newRow("no manifest: 404") << program << notPublished << true << qint64(0) << true << QString()
                                      << QString() << int(Result::Rejected) << int(Failure::None);

    Response empty;
    QTest::newRow("empty manifest") << program << empty << true << qint64(0) << true << QString() << QString()
                                    << int(Result::Rejected) << int(Failure::None);

    Response half = manifest;
    half.body = manifest.body.left(manifest.body.size() - 40);
    QTest::newRow("half a signature") << program << half << true << qint64(0) << true << QString()
                                      << QString() << int(Result::Rejected) << int(Failure::None);

    Response oversized = manifest;
    oversized.body = manifest.body + QByteArray(ReleaseManifest::kMaxBytes, 'x');
    QTest::newRow("a manifest far too long") << program << oversized << true << qint64(0) << true << QString()
                                             << QString() << int(Result::Rejected) << int(Failure::TooLarge);

    QTest::newRow("built without a release key")
        << program << manifest << true << qint64(0) << false << QString() << QString() << int(Result::NoKey)
        << int(Failure::None);

    Response stall;
    stall.stall = true;
    QTest::newRow("stall before the answer") << stall << manifest << true << qint64(0) << true << QString()
                                             << QString() << int(Result::Failed) << int(Failure::TimedOut);

    Response stallMid = program;
    stallMid.stallAfter = 2500;
    QTest::newRow("stall mid-body") << stallMid << manifest << true << qint64(0) << true << QString()
                                    << QString() << int(Result::Failed) << int(Failure::TimedOut);

    Response endlessHeader = program;
    endlessHeader.endlessHeader = true;
    QTest::newRow("a header line without end")
        << endlessHeader << manifest << true << qint64(0) << true << QString() << QString()
        << int(Result::Failed) << int(Failure::TimedOut);

    Response endless = program;
    endless.body = standInProgram("new", 1000);
    endless.endless = true;
    endless.headContentLength = 5000;
    QTest::newRow("endless body, 5000 bytes announced")
        << endless << manifest << true << qint64(0) << true << QString() << QString() << int(Result::Failed)
        << int(Failure::TooLarge);

    Response endlessUnannounced = endless;
    endlessUnannounced.headContentLength = -1;
    QTest::newRow("endless body, nothing announced")
        << endlessUnannounced << manifest << true << qint64(256 * 1024) << true << QString() << QString()
        << int(Result::Failed) << int(Failure::TooLarge);

    Response toPlain;
    toPlain.status = 302;
    toPlain.headers.append(qMakePair(QByteArray("Location"), QByteArray("{plain}/Ketbook.exe")));
    QTest::newRow("https redirected to http") << toPlain << manifest << true << qint64(0) << true << QString()
                                              << QString() << int(Result::Failed) << int(Failure::Refused);

    QTest::newRow("certificate from an unknown CA")
        << program << manifest << false << qint64(0) << true << QString() << QString() << int(Result::Failed)
        << int(Failure::Network);
}

void TestKetbookDownload::hostile()
{
    QFETCH(Response, program);
    QFETCH(Response, manifest);
    QFETCH(bool, trusted);
    QFETCH(qint64, byteLimit);
    QFETCH(bool, keyed);
    QFETCH(QString, recorded);
    QFETCH(QString, offered);
    QFETCH(int, result);
    QFETCH(int, failure);

    if (!keyed) tv::setReleaseKey(QByteArray());
    const QString record = file(QStringLiteral("Ketbook.version"));
    if (!recorded.isEmpty()) {
        QFile f(record);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(recorded.toLatin1() + "\n");
    }
    HttpTestServer server;
    const tv::test::TestTls &tls = trusted ? *m_trusted : *m_untrusted;
    server.useTls(tls.certificate, tls.key);
    for (auto &h : program.headers)
        h.second.replace("{plain}", m_server->baseUrl().toEncoded());
    server.setResponse(QStringLiteral("/Ketbook.exe"), program);
    server.setResponse(QStringLiteral("/Ketbook.manifest"), manifest);
    // The program's own signature, as published before its version was signed with it.
    server.setBody(QStringLiteral("/Ketbook.sig"), bareSignature(program.body));
    qputenv("TALLYVANE_UPDATE_URL", server.baseUrl().toEncoded());
    // The plain server has the genuine program: nothing may be fetched from it over http.
    const QByteArray genuine = standInProgram("new", 5000);
    Response genuineProgram;
    genuineProgram.body = genuine;
    serve(genuineProgram);

    UpdaterWindow form;
    if (byteLimit > 0) form.download().setByteLimit(byteLimit);
    form.load();
    QTRY_COMPARE_WITH_TIMEOUT(m_ends, 1, 30000);
    QCOMPARE(int(form.download().result()), result);
    QCOMPARE(int(form.download().failure()), failure);

    const bool installed = result == int(Result::Installed);
    QCOMPARE(readFile(QStringLiteral("Ketbook")), installed ? genuine : m_old);
    QTRY_COMPARE(readFile(QStringLiteral("ran.txt")), installed ? QByteArray("new\n") : QByteArray("old\n"));
    QVERIFY(partFiles().isEmpty());
    QVERIFY(m_server->requests().isEmpty());
    // What was installed is remembered; nothing else is.
    QCOMPARE(readFile(QStringLiteral("Ketbook.version")),
             installed ? newerVersion().toLatin1() + "\n"
                       : recorded.toLatin1() + (recorded.isEmpty() ? "" : "\n"));

    const QString lastLine = control<QListWidget>(form, "lstStat")
                                 ->item(control<QListWidget>(form, "lstStat")->count() - 1)
                                 ->text();
    const QString installedVersion = recorded.isEmpty() ? tv::versionText() : recorded;
    const QString message =
        offered.isEmpty() ? KetbookDownload::unverifiedText() : notNewerText(offered, installedVersion);
    if (result == int(Result::Rejected)) {
        QCOMPARE(lastLine, message);
        QCOMPARE(m_prompts->shown().size(), 1);
        QCOMPARE(m_prompts->last().text, message);
        QCOMPARE(m_prompts->last().icon, tv::MsgIcon::Stop);
        QCOMPARE(m_prompts->last().title, QStringLiteral("Tallyvane Online Updater"));
    } else if (result == int(Result::NoKey)) {
        QCOMPARE(lastLine, QStringLiteral("This copy was built without a release key; updates are off."));
        QVERIFY(server.requests().isEmpty());
        QVERIFY(m_prompts->shown().isEmpty());
    } else {
        QCOMPARE(lastLine,
                 installed ? QStringLiteral("Request sent") : QStringLiteral("Error downloading file"));
        QVERIFY(m_prompts->shown().isEmpty());
    }
}

void TestKetbookDownload::connectionRefused()
{
    qputenv("TALLYVANE_UPDATE_URL",
            QByteArray("http://127.0.0.1:") + QByteArray::number(HttpTestServer::unusedPort()));
    KetbookDownload d;
    QSignalSpy finished(&d, &KetbookDownload::finished);
    QSignalSpy lines(&d, &KetbookDownload::statusLine);
    d.start();
    QVERIFY(finished.wait(10000));
    QCOMPARE(d.result(), Result::Failed);
    QStringList seen;
    for (const auto &l : lines)
        seen << l.at(0).toString();
    // Connecting was tried; it never connected and nothing was sent.
    QCOMPARE(seen.first(), QStringLiteral("Sending connection request..."));
    QCOMPARE(seen.last(), QStringLiteral("Error downloading file"));
    QVERIFY(!seen.contains(QStringLiteral("Connected")));
    QVERIFY(!seen.contains(QStringLiteral("Request sent")));
    QCOMPARE(readFile(QStringLiteral("Ketbook")), m_old);
}

void TestKetbookDownload::cancelDuringStall()
{
    Response stall;
    stall.stall = true;
    serve(stall);
    KetbookDownload d;
    QSignalSpy finished(&d, &KetbookDownload::finished);
    QSignalSpy lines(&d, &KetbookDownload::statusLine);
    d.start();
    QTRY_VERIFY(lines.count() >= 4); // the size request went out and hangs
    QVERIFY(!finished.wait(300));
    d.cancel();
    QCOMPARE(d.result(), Result::Cancelled);
    QTest::qWait(100);
    QCOMPARE(finished.count(), 0);
    QCOMPARE(lines.last().at(0).toString(), QStringLiteral("Request sent"));
    QCOMPARE(readFile(QStringLiteral("Ketbook")), m_old);
    QVERIFY(partFiles().isEmpty());
}

void TestKetbookDownload::formGoodDownloadStartsNewProgram()
{
    Response good;
    good.body = standInProgram("new", 5000);
    serve(good);
    UpdaterWindow form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Tallyvane Online Updater"));
    form.load();
    QTRY_COMPARE_WITH_TIMEOUT(m_ends, 1, 10000);
    QCOMPARE(form.download().result(), Result::Installed);
    QCOMPARE(control<QLabel>(form, "lblSize")->text(), QStringLiteral("5 KBs"));
    QCOMPARE(control<DrawnProgressBar>(form, "Bar1")->value(), 100);
    QCOMPARE(control<DrawnProgressBar>(form, "Bar1")->text(), QStringLiteral("100%"));
    QCOMPARE(control<QListWidget>(form, "lstStat")->count(), kHeadLines.size() + kGetLines.size());
    QCOMPARE(control<QListWidget>(form, "lstStat")->currentRow(),
             control<QListWidget>(form, "lstStat")->count() - 1);
    QCOMPARE(readFile(QStringLiteral("Ketbook")), good.body);
    QTRY_COMPARE(readFile(QStringLiteral("ran.txt")), QByteArray("new\n"));
    QVERIFY(m_prompts->shown().isEmpty());
    // Ended once: a later close runs nothing more.
    form.close();
    QCOMPARE(m_ends, 1);
}

void TestKetbookDownload::formUnknownSizeStillInstalls()
{
    Response noLength;
    noLength.body = standInProgram("new", 4000);
    noLength.contentLength = -1;
    serve(noLength);
    UpdaterWindow form;
    form.load();
    QTRY_COMPARE_WITH_TIMEOUT(m_ends, 1, 10000);
    QCOMPARE(control<QLabel>(form, "lblSize")->text(), QStringLiteral("-1 KBs"));
    QCOMPARE(control<DrawnProgressBar>(form, "Bar1")->value(), 0);
    QCOMPARE(control<DrawnProgressBar>(form, "Bar1")->text(), QStringLiteral("0%"));
    QCOMPARE(readFile(QStringLiteral("Ketbook")), noLength.body);
    QTRY_COMPARE(readFile(QStringLiteral("ran.txt")), QByteArray("new\n"));
}

void TestKetbookDownload::formCancelMidDownload_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel button") << QStringLiteral("button");
    QTest::newRow("Escape") << QStringLiteral("escape");
    QTest::newRow("closing the window") << QStringLiteral("close");
}

void TestKetbookDownload::formCancelMidDownload()
{
    QFETCH(QString, how);
    Response slow;
    slow.body = standInProgram("new", 200000);
    slow.chunkBytes = 2000;
    slow.chunkDelayMs = 20;
    serve(slow);
    UpdaterWindow form;
    form.load();
    QTRY_VERIFY_WITH_TIMEOUT(control<DrawnProgressBar>(form, "Bar1")->value() >= 1, 10000);
    // The download goes beside Ketbook, not into it.
    QCOMPARE(readFile(QStringLiteral("Ketbook")), m_old);
    if (how == QLatin1String("button"))
        QTest::mouseClick(control<QPushButton>(form, "cmdCancel"), Qt::LeftButton);
    else if (how == QLatin1String("escape"))
        QTest::keyClick(&form, Qt::Key_Escape);
    else
        form.close();
    QCOMPARE(m_ends, 1);
    QCOMPARE(form.download().result(), Result::Cancelled);
    QVERIFY(control<DrawnProgressBar>(form, "Bar1")->value() < 100);
    QVERIFY(partFiles().isEmpty());
    QCOMPARE(readFile(QStringLiteral("Ketbook")), m_old);
    QTRY_COMPARE(readFile(QStringLiteral("ran.txt")), QByteArray("old\n"));
    QVERIFY(m_prompts->shown().isEmpty());
    QTest::qWait(100); // nothing more arrives after the end
    QCOMPARE(m_ends, 1);
}

void TestKetbookDownload::formMissingKetbook()
{
    QVERIFY(QFile::remove(file(QStringLiteral("Ketbook"))));
    serve(Response{}); // status 200, empty body: the download fails
    UpdaterWindow form;
    form.load();
    QTRY_COMPARE_WITH_TIMEOUT(m_prompts->shown().size(), 1, 10000);
    QCOMPARE(control<QListWidget>(form, "lstStat")
                 ->item(control<QListWidget>(form, "lstStat")->count() - 1)
                 ->text(),
             QStringLiteral("Error downloading file"));
    const auto &shown = m_prompts->last();
    QCOMPARE(shown.text, QStringLiteral("Couldn't find Ketbook.exe"));
    QCOMPARE(shown.title, QStringLiteral("Error"));
    QCOMPARE(shown.icon, tv::MsgIcon::Stop);
    QCOMPARE(shown.buttons, tv::MsgButtons::Ok);
    QCOMPARE(m_ends, 0); // the window stays
    QVERIFY(form.isVisible());

    control<QPushButton>(form, "cmdCancel")->click(); // again the message, again the window stays
    QCOMPARE(m_prompts->shown().size(), 2);
    QCOMPARE(m_ends, 0);

    form.close(); // closing shows it once more and ends
    QCOMPARE(m_prompts->shown().size(), 3);
    QCOMPARE(m_ends, 1);
    QVERIFY(!QFile::exists(file(QStringLiteral("Ketbook"))));
}

QTEST_MAIN(TestKetbookDownload)
#include "tst_ketbookdownload.moc"
