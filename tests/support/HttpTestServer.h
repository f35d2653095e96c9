#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QStringList>
#include <QUrl>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace tv::test {

// A scriptable HTTP/1.1 server on 127.0.0.1 (a free port), run by the test's own event loop.
// Every answer closes the connection. Paths without a response get a 404.
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
        qint64 cutAfter = -1; // drop the connection after this many body bytes
        bool stall = false;   // read the request and never answer
        int chunkBytes = 0;   // > 0: send the body in chunks of this size ...
        int chunkDelayMs = 0; // ... one every this many milliseconds
    };

    explicit HttpTestServer(QObject *parent = nullptr);
    ~HttpTestServer() override;

    void setResponse(const QString &path, const Response &response);
    void setBody(const QString &path, const QByteArray &body, int status = 200);

    QUrl baseUrl() const; // http://127.0.0.1:<port>
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

    QTcpServer *m_server;
    QHash<QString, Response> m_responses;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QStringList m_requests;
};

} // namespace tv::test
