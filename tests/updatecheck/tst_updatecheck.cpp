#include "HttpTestServer.h"
#include "TestTls.h"
#include "common/AppError.h"
#include "updatecheck/UpdateCheck.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace tv;
using tv::test::HttpTestServer;

class tst_UpdateCheck : public QObject
{
    Q_OBJECT
private slots:
    void resourceUrl_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("expected");

        QTest::newRow("host only") << "http://updates.example.org"
                                   << "http://updates.example.org/versionKetbook.txt";
        QTest::newRow("trailing slash") << "http://updates.example.org/"
                                        << "http://updates.example.org/versionKetbook.txt";
        QTest::newRow("folder") << "https://example.org/tallyvane"
                                << "https://example.org/tallyvane/versionKetbook.txt";
        QTest::newRow("folder slashes") << "https://example.org/tv//"
                                        << "https://example.org/tv/versionKetbook.txt";
        QTest::newRow("port") << "http://127.0.0.1:8080"
                              << "http://127.0.0.1:8080/versionKetbook.txt";
        QTest::newRow("query dropped") << "http://h.example/a?x=1#f"
                                       << "http://h.example/a/versionKetbook.txt";
        QTest::newRow("blanks around") << "  http://h.example  "
                                       << "http://h.example/versionKetbook.txt";
    }
    void resourceUrl()
    {
        QFETCH(QString, base);
        QFETCH(QString, expected);
        QCOMPARE(UpdateCheck::resourceUrl(base, QStringLiteral("/versionKetbook.txt")).toString(), expected);
    }

    void badServerUrl_data()
    {
        QTest::addColumn<QString>("base");
        QTest::newRow("empty") << "";
        QTest::newRow("no scheme") << "updates.example.org";
        QTest::newRow("ftp") << "ftp://updates.example.org";
        QTest::newRow("file") << "file:///tmp/versionKetbook.txt";
        QTest::newRow("no host") << "http://";
        QTest::newRow("bad port") << "http://h.example:99999";
    }
    void badServerUrl()
    {
        QFETCH(QString, base);
        try {
            UpdateCheck::serverUrl(base);
            QFAIL("accepted");
        } catch (const AppError &e) {
            QCOMPARE(e.number(), int(UpdateErr::UrlMalformed));
            QVERIFY(e.description().contains(base));
        }
    }

    void defaultPorts_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("port");
        QTest::newRow("http") << "http://h.example/x" << 80;
        QTest::newRow("https") << "https://h.example/x" << 443;
        QTest::newRow("own port") << "https://h.example:8443/x" << 8443;
    }
    void defaultPorts()
    {
        QFETCH(QString, url);
        QFETCH(int, port);
        QCOMPARE(int(UpdateCheck::portOf(QUrl(url))), port);
    }

    void probe_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::addColumn<bool>("viaProxy"); // the system names the server as proxy for a silent address
        QTest::newRow("server listening") << true << false;
        QTest::newRow("nothing listening") << false << false;
        QTest::newRow("proxy listening, the server behind it unknown here") << true << true;
    }
    void probe()
    {
        QFETCH(bool, listening);
        QFETCH(bool, viaProxy);
        HttpTestServer server;
        QUrl url = server.baseUrl();
        if (!listening) url.setPort(HttpTestServer::unusedPort());
        if (viaProxy) {
            // The system's proxy settings leave this machine's own addresses alone.
            url = QUrl(QStringLiteral("http://updates.example.invalid/versionKetbook.txt"));
            qputenv("http_proxy", server.baseUrl().toEncoded());
        }
        const auto restore = qScopeGuard([] { qunsetenv("http_proxy"); });
        UpdateCheck check;
        QSignalSpy done(&check, &UpdateCheck::probeFinished);
        check.probe(url);
        QVERIFY(check.busy());
        QVERIFY(done.wait(5000));
        QCOMPARE(done.count(), 1);
        QCOMPARE(done.at(0).at(0).toBool(), listening);
        QVERIFY(!check.busy());
        QVERIFY(server.requests().isEmpty()); // the probe only connects
    }

    void fetch_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<qint64>("contentLength"); // -2: the body's size
        QTest::addColumn<qint64>("cutAfter");
        QTest::addColumn<int>("failure"); // 0: the body arrives
        QTest::addColumn<QString>("description");

        QTest::newRow("ok") << 200 << QByteArray("1.3.0") << qint64(-2) << qint64(-1) << 0 << "";
        QTest::newRow("ok, no length") << 200 << QByteArray("1.3.0\n") << qint64(-1) << qint64(-1) << 0 << "";
        QTest::newRow("no content") << 204 << QByteArray() << qint64(-2) << qint64(-1) << 0 << "";
        QTest::newRow("404") << 404 << QByteArray("<html>Not Found</html>") << qint64(-2) << qint64(-1)
                             << int(UpdateErr::RequestFailed) << "The update server answered 404 Not Found";
        QTest::newRow("500 with a version")
            << 500 << QByteArray("1.3.0") << qint64(-2) << qint64(-1) << int(UpdateErr::RequestFailed)
            << "The update server answered 500 Internal Server Error";
        QTest::newRow("cut short")
            << 200 << QByteArray("1.3.0") << qint64(-2) << qint64(2) << int(UpdateErr::RequestFailed)
            << "The update server closed the connection before its answer was complete";
        QTest::newRow("length beyond body")
            << 200 << QByteArray("1.3.0") << qint64(40) << qint64(-1) << int(UpdateErr::RequestFailed)
            << "The update server closed the connection before its answer was complete";
        QTest::newRow("far too big") << 200 << QByteArray(UpdateCheck::kMaxBodyBytes + 4096, 'x')
                                     << qint64(-2) << qint64(-1) << int(UpdateErr::RequestFailed)
                                     << "The update server sent far more than a version number";
    }
    void fetch()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(qint64, contentLength);
        QFETCH(qint64, cutAfter);
        QFETCH(int, failure);
        QFETCH(QString, description);

        HttpTestServer server;
        HttpTestServer::Response r;
        r.status = status;
        r.body = body;
        if (contentLength != -2) r.contentLength = contentLength;
        r.cutAfter = cutAfter;
        server.setResponse(QStringLiteral("/versionKetbook.txt"), r);

        UpdateCheck check;
        QSignalSpy ok(&check, &UpdateCheck::fetchFinished);
        QSignalSpy failed(&check, &UpdateCheck::fetchFailed);
        check.fetch(
            UpdateCheck::resourceUrl(server.baseUrl().toString(), QStringLiteral("/versionKetbook.txt")));
        QTRY_COMPARE_WITH_TIMEOUT(ok.count() + failed.count(), 1, 10000);
        QTest::qWait(50); // nothing more arrives
        QCOMPARE(ok.count() + failed.count(), 1);
        QCOMPARE(server.requests(), QStringList{QStringLiteral("GET /versionKetbook.txt")});
        if (failure == 0) {
            QCOMPARE(ok.at(0).at(0).toString(), QString::fromUtf8(body));
        } else {
            QCOMPARE(failed.at(0).at(0).toInt(), failure);
            QCOMPARE(failed.at(0).at(1).toString(), description);
        }
        QVERIFY(!check.busy());
    }

    void initTestCase()
    {
        QVERIFY(m_tlsDir.isValid());
        m_trusted = tv::test::TestTls::make(m_tlsDir.path(), QStringLiteral("trusted"));
        m_untrusted = tv::test::TestTls::make(m_tlsDir.path(), QStringLiteral("untrusted"));
        QVERIFY(m_trusted && m_untrusted);
        m_trusted->trust();
    }

    void transport_data()
    {
        QTest::addColumn<QString>("tls");         // "", "trusted" or "untrusted"
        QTest::addColumn<QString>("redirectTo");  // "", "same server", "plain server" or "itself"
        QTest::addColumn<int>("failure");         // 0: "1.4.0" arrives
        QTest::addColumn<QString>("description"); // the start of it

        QTest::newRow("http on this machine, redirected") << ""
                                                          << "same server" << 0 << "";
        QTest::newRow("https, test CA") << "trusted"
                                        << "" << 0 << "";
        QTest::newRow("https, test CA, redirected within https") << "trusted"
                                                                 << "same server" << 0 << "";
        QTest::newRow("https, unknown CA") << "untrusted"
                                           << "" << int(UpdateErr::RequestFailed) << "SSL";
        QTest::newRow("https redirected to http")
            << "trusted"
            << "plain server" << int(UpdateErr::RequestFailed)
            << "The update server sent the request on to http://127.0.0.1:";
        QTest::newRow("redirect loop") << ""
                                       << "itself" << int(UpdateErr::RequestFailed)
                                       << "The update server's redirects never led to the file";
    }
    void transport()
    {
        QFETCH(QString, tls);
        QFETCH(QString, redirectTo);
        QFETCH(int, failure);
        QFETCH(QString, description);

        HttpTestServer plain;
        plain.setBody(QStringLiteral("/current/versionKetbook.txt"), "1.4.0");
        HttpTestServer server;
        if (!tls.isEmpty()) {
            const tv::test::TestTls &t = tls == QLatin1String("trusted") ? *m_trusted : *m_untrusted;
            server.useTls(t.certificate, t.key);
        }
        server.setBody(QStringLiteral("/current/versionKetbook.txt"), "1.4.0");
        if (redirectTo.isEmpty()) {
            server.setBody(QStringLiteral("/versionKetbook.txt"), "1.4.0");
        } else {
            const QUrl target =
                redirectTo == QLatin1String("plain server") ? plain.baseUrl() : server.baseUrl();
            HttpTestServer::Response moved;
            moved.status = 302;
            const QByteArray path =
                redirectTo == QLatin1String("itself") ? "/versionKetbook.txt" : "/current/versionKetbook.txt";
            moved.headers = {{"Location", target.toEncoded() + path}};
            server.setResponse(QStringLiteral("/versionKetbook.txt"), moved);
        }
        UpdateCheck check;
        QSignalSpy ok(&check, &UpdateCheck::fetchFinished);
        QSignalSpy failed(&check, &UpdateCheck::fetchFailed);
        check.fetch(QUrl(server.baseUrl().toString() + QStringLiteral("/versionKetbook.txt")));
        QTRY_COMPARE_WITH_TIMEOUT(ok.count() + failed.count(), 1, 10000);
        if (failure == 0) {
            QCOMPARE(ok.at(0).at(0).toString(), QStringLiteral("1.4.0"));
        } else {
            QCOMPARE(failed.at(0).at(0).toInt(), failure);
            QVERIFY2(failed.at(0).at(1).toString().startsWith(description),
                     qPrintable(failed.at(0).at(1).toString()));
        }
        QVERIFY(plain.requests().isEmpty()); // never fetched over plain http after https
    }

    void httpsSpeaksTls()
    {
        // A plain-text server behind an https address: the client must open with TLS and report
        // the failed handshake.
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        QByteArray received;
        connect(&server, &QTcpServer::newConnection, this, [&] {
            QTcpSocket *s = server.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [&received, s] {
                received += s->readAll();
                s->write("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\n1.3.0");
                s->disconnectFromHost();
            });
        });
        UpdateCheck check;
        QSignalSpy ok(&check, &UpdateCheck::fetchFinished);
        QSignalSpy failed(&check, &UpdateCheck::fetchFailed);
        check.fetch(QUrl(QStringLiteral("https://127.0.0.1:%1/versionKetbook.txt").arg(server.serverPort())));
        QVERIFY(failed.wait(8000));
        QCOMPARE(ok.count(), 0);
        QVERIFY(failed.at(0).at(0).toInt() != int(UpdateErr::TimedOut));
        QVERIFY(!received.isEmpty());
        QCOMPARE(received.at(0), char(0x16)); // a TLS handshake record, not "GET"
    }

    void timeout_data()
    {
        QTest::addColumn<bool>("trickle");
        QTest::newRow("never answers") << false;
        QTest::newRow("answers too slowly") << true; // the limit is for the whole transfer
    }
    void timeout()
    {
        QFETCH(bool, trickle);
        HttpTestServer server;
        HttpTestServer::Response r;
        if (trickle) {
            r.body = QByteArray(200, '1');
            r.chunkBytes = 1;
            r.chunkDelayMs = 40;
        } else {
            r.stall = true;
        }
        server.setResponse(QStringLiteral("/versionKetbook.txt"), r);
        UpdateCheck check;
        QCOMPARE(check.fetchTimeout(), 15000);
        check.setFetchTimeout(400);
        QSignalSpy ok(&check, &UpdateCheck::fetchFinished);
        QSignalSpy failed(&check, &UpdateCheck::fetchFailed);
        QElapsedTimer clock;
        clock.start();
        check.fetch(QUrl(server.baseUrl().toString() + QStringLiteral("/versionKetbook.txt")));
        QVERIFY(failed.wait(5000));
        QVERIFY2(clock.elapsed() >= 360, qPrintable(failed.at(0).at(1).toString()));
        QCOMPARE(failed.at(0).at(0).toInt(), int(UpdateErr::TimedOut));
        QCOMPARE(failed.at(0).at(1).toString(), QStringLiteral("Request timed out"));
        QTest::qWait(100);
        QCOMPARE(ok.count(), 0);
        QCOMPARE(failed.count(), 1);
    }

    void cancelIsSilent()
    {
        HttpTestServer server;
        HttpTestServer::Response r;
        r.stall = true;
        server.setResponse(QStringLiteral("/versionKetbook.txt"), r);
        UpdateCheck check;
        check.setFetchTimeout(200);
        QSignalSpy ok(&check, &UpdateCheck::fetchFinished);
        QSignalSpy failed(&check, &UpdateCheck::fetchFailed);
        check.fetch(QUrl(server.baseUrl().toString() + QStringLiteral("/versionKetbook.txt")));
        QTRY_COMPARE(server.requests().size(), 1);
        check.cancel();
        QVERIFY(!check.busy());
        QTest::qWait(400);
        QCOMPARE(ok.count() + failed.count(), 0);
    }

private:
    QTemporaryDir m_tlsDir;
    std::optional<tv::test::TestTls> m_trusted;
    std::optional<tv::test::TestTls> m_untrusted;
};

QTEST_GUILESS_MAIN(tst_UpdateCheck)
#include "tst_updatecheck.moc"
