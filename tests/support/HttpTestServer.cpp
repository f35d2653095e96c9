#include "HttpTestServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace tv::test {

namespace {
QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}
} // namespace

// Hands out TLS sockets, their handshake started, once a certificate is set.
class HttpTestServer::Listener : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;
    QSslCertificate certificate;
    QSslKey key;

protected:
    void incomingConnection(qintptr handle) override
    {
        if (certificate.isNull()) {
            QTcpServer::incomingConnection(handle);
            return;
        }
        auto *socket = new QSslSocket(this);
        if (!socket->setSocketDescriptor(handle)) {
            delete socket;
            return;
        }
        socket->setLocalCertificate(certificate);
        socket->setPrivateKey(key);
        socket->setPeerVerifyMode(QSslSocket::VerifyNone);
        addPendingConnection(socket);
        socket->startServerEncryption();
    }
};

HttpTestServer::HttpTestServer(QObject *parent) : QObject(parent), m_server(new Listener(this))
{
    if (!m_server->listen(QHostAddress::LocalHost, 0)) qFatal("HttpTestServer: cannot listen on 127.0.0.1");
    connect(m_server, &QTcpServer::newConnection, this, &HttpTestServer::onConnection);
}

HttpTestServer::~HttpTestServer() = default;

void HttpTestServer::useTls(const QSslCertificate &certificate, const QSslKey &key)
{
    m_server->certificate = certificate;
    m_server->key = key;
}

void HttpTestServer::setResponse(const QString &path, const Response &response)
{
    m_responses.insert(path, response);
}

void HttpTestServer::setBody(const QString &path, const QByteArray &body, int status)
{
    Response r;
    r.status = status;
    r.body = body;
    setResponse(path, r);
}

QUrl HttpTestServer::baseUrl() const
{
    const bool tls = !m_server->certificate.isNull();
    return QUrl(QStringLiteral("%1://127.0.0.1:%2").arg(tls ? "https" : "http").arg(port()));
}

quint16 HttpTestServer::port() const
{
    return m_server->serverPort();
}

quint16 HttpTestServer::unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

void HttpTestServer::onConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        m_buffers.insert(socket, QByteArray());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void HttpTestServer::onReadyRead(QTcpSocket *socket)
{
    auto it = m_buffers.find(socket);
    if (it == m_buffers.end()) return;
    it->append(socket->readAll());
    const qsizetype end = it->indexOf("\r\n\r\n");
    if (end < 0) return;
    const QByteArray head = it->left(end);
    m_buffers.remove(socket); // one request per connection
    const QList<QByteArray> requestLine = head.left(head.indexOf("\r\n")).split(' ');
    const QByteArray method = requestLine.value(0);
    QString path = QString::fromLatin1(requestLine.value(1));
    const QString line = QString::fromLatin1(method) + QLatin1Char(' ') + path;
    m_requests << line;
    emit requestReceived(line);
    if (path.startsWith(QLatin1String("http://")) || path.startsWith(QLatin1String("https://")))
        path = QUrl(path).path();
    answer(socket, method, path.section(QLatin1Char('?'), 0, 0));
}

void HttpTestServer::answer(QTcpSocket *socket, const QByteArray &method, const QString &path)
{
    Response r;
    if (m_responses.contains(path)) {
        r = m_responses.value(path);
    } else {
        r.status = 404;
        r.body = "<html><body><h1>404 Not Found</h1></body></html>";
        r.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html")));
    }
    if (r.stall) return;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' + reasonPhrase(r.status) + "\r\n";
    if (r.endlessHeader) {
        socket->write(head + "X-Padding: ");
        sendEndless(socket, QByteArray(64 * 1024, 'a'));
        return;
    }
    qint64 length = r.contentLength.value_or(r.endless ? -1 : r.body.size());
    if (method == "HEAD" && r.headContentLength) length = *r.headContentLength;
    if (length >= 0) head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    for (const auto &h : r.headers)
        head += h.first + ": " + h.second + "\r\n";
    if (r.endless && method != "HEAD") head += "Transfer-Encoding: chunked\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);
    if (method == "HEAD") {
        socket->disconnectFromHost();
        return;
    }
    if (r.endless) {
        sendEndless(socket, QByteArray::number(r.body.size(), 16) + "\r\n" + r.body + "\r\n");
        return;
    }
    if (r.stallAfter >= 0) {
        socket->write(r.body.left(r.stallAfter));
        return;
    }
    if (r.chunkBytes > 0) {
        sendChunked(socket, r.body, r.chunkBytes, r.chunkDelayMs, r.cutAfter);
        return;
    }
    if (r.cutAfter >= 0) {
        socket->write(r.body.left(r.cutAfter));
        socket->flush();
        socket->abort();
        return;
    }
    socket->write(r.body);
    socket->disconnectFromHost();
}

void HttpTestServer::sendChunked(QTcpSocket *socket, QByteArray body, int chunk, int delayMs, qint64 cutAfter)
{
    auto *timer = new QTimer(socket);
    auto sent = std::make_shared<qint64>(0);
    QPointer<QTcpSocket> guard(socket);
    connect(timer, &QTimer::timeout, socket, [=] {
        if (!guard) return;
        const qint64 limit = cutAfter >= 0 ? std::min<qint64>(cutAfter, body.size()) : body.size();
        const qint64 n = std::min<qint64>(chunk, limit - *sent);
        if (n > 0) {
            guard->write(body.constData() + *sent, n);
            *sent += n;
        }
        if (*sent >= limit) {
            timer->stop();
            if (cutAfter >= 0) {
                guard->flush();
                guard->abort();
            } else {
                guard->disconnectFromHost();
            }
        }
    });
    timer->start(delayMs);
}

void HttpTestServer::sendEndless(QTcpSocket *socket, const QByteArray &piece)
{
    auto sent = std::make_shared<qint64>(0);
    QPointer<QTcpSocket> guard(socket);
    const qint64 ahead = std::max<qint64>(4 * piece.size(), 256 * 1024);
    auto topUp = [=] {
        while (guard && guard->bytesToWrite() < ahead && *sent < (1LL << 30)) {
            guard->write(piece);
            *sent += piece.size();
        }
        if (guard && *sent >= (1LL << 30)) guard->disconnectFromHost();
    };
    // On a timer: a TLS socket stalls when written to from its own bytesWritten().
    auto *timer = new QTimer(socket);
    connect(timer, &QTimer::timeout, socket, topUp);
    timer->start(5);
    topUp();
}

} // namespace tv::test
