#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSslCertificate>
#include <QSslKey>
#include <QStringList>
#include <QUrl>
#include <optional>

class QTcpSocket;

namespace tv::test {

// A scriptable HTTP/1.1 server on 127.0.0.1 (a free port), run by the test's own event loop,
// plain or over TLS. Every answer closes the connection. Paths without a response get a 404.
// A request in a proxy's form ("GET http://host/path") is answered for its path.
class HttpTestServer : public QObject
{
    Q_OBJECT
public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers; // added as they stand
        // Content-Length sent: the body's size when unset; a negative value sends none.
        std::optional<qint64> contentLength;
        // Content-Length answered to HEAD: as for GET when unset; a negative value sends none.
        std::optional<qint64> headContentLength;
        qint64 cutAfter = -1;   // drop the connection after this many body bytes
        qint64 stallAfter = -1; // send this many body bytes, then nothing, the connection kept open
        bool stall = false;     // read the request and never answer
        bool endless = false;   // send the body in chunks over and over (up to 1 GiB) until the client leaves
        bool endlessHeader = false; // a header line that never ends (up to 1 GiB)
        int chunkBytes = 0;         // > 0: send the body in chunks of this size ...
        int chunkDelayMs = 0;       // ... one every this many milliseconds
    };

    explicit HttpTestServer(QObject *parent = nullptr);
    ~HttpTestServer() override;

    // From now on connections speak TLS with this certificate and key.
    void useTls(const QSslCertificate &certificate, const QSslKey &key);

    void setResponse(const QString &path, const Response &response);
    void setBody(const QString &path, const QByteArray &body, int status = 200);

    QUrl baseUrl() const; // http://127.0.0.1:<port>, https:// with TLS
    quint16 port() const;
    QStringList requests() const { return m_requests; } // "GET /versionKetbook.txt", "HEAD /Ketbook.exe"

    // A port on 127.0.0.1 with nothing listening (taken from a closed listener).
    static quint16 unusedPort();

signals:
    void requestReceived(const QString &line);

private:
    void onConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const QByteArray &method, const QString &path);
    void sendChunked(QTcpSocket *socket, QByteArray body, int chunk, int delayMs, qint64 cutAfter);
    // `piece` over and over, a little ahead of the client, up to 1 GiB.
    void sendEndless(QTcpSocket *socket, const QByteArray &piece);

    class Listener;
    Listener *m_server;
    QHash<QString, Response> m_responses;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QStringList m_requests;
};

} // namespace tv::test
