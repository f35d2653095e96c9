#include "HttpTestServer.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
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

HttpTestServer::HttpTestServer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    if (!m_server->listen(QHostAddress::LocalHost, 0)) qFatal("HttpTestServer: cannot listen on 127.0.0.1");
    connect(m_server, &QTcpServer::newConnection, this, &HttpTestServer::onConnection);
}

HttpTestServer::~HttpTestServer() = default;

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
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()));
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
    qint64 length = r.contentLength.value_or(r.body.size());
    if (method == "HEAD" && r.headContentLength) length = *r.headContentLength;
    if (length >= 0) head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    for (const auto &h : r.headers)
        head += h.first + ": " + h.second + "\r\n";
    head += "Connection: close\r\n\r\n";
    socket->write(head);
    if (method == "HEAD") {
        socket->disconnectFromHost();
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

} // namespace tv::test
