#include "HttpTransfer.h"

#include "common/Version.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <algorithm>

namespace {
constexpr qint64 kMaxHead = 64 * 1024;
constexpr int kMaxRedirects = 5;
} // namespace

HttpTransfer::HttpTransfer(QObject *parent) : QObject(parent) {}

HttpTransfer::~HttpTransfer()
{
    dropSocket();
}

QByteArray HttpTransfer::header(const QByteArray &name) const
{
    for (const auto &h : m_headers)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0) return h.second;
    return QByteArray();
}

void HttpTransfer::start(const QUrl &url, const QByteArray &method)
{
    dropSocket();
    m_url = url;
    m_method = method;
    m_redirects = 0;
    m_busy = true;
    connectNow();
}

void HttpTransfer::cancel()
{
    dropSocket();
    m_busy = false;
}

void HttpTransfer::dropSocket()
{
    if (!m_socket) return;
    m_socket->disconnect(this);
    m_socket->abort();
    m_socket->deleteLater();
    m_socket = nullptr;
}

void HttpTransfer::connectNow()
{
    m_done = false;
    m_receiving = false;
    m_headDone = false;
    m_status = 0;
    m_headers.clear();
    m_framing = Framing::None;
    m_headBytes = 0;
    m_error.clear();
    const bool tls = m_url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    if (!tls && m_url.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) != 0) {
        fail(QStringLiteral("Unsupported address: %1").arg(m_url.toString()));
        return;
    }
    QTcpSocket *socket = tls ? new QSslSocket(this) : new QTcpSocket(this);
    m_socket = socket;
    // Bounded reads keep the socket's buffer one reused size instead of fresh memory each time.
    socket->setReadBufferSize(kBlock);
    connect(socket, &QAbstractSocket::stateChanged, this, [this](QAbstractSocket::SocketState s) {
        if (s == QAbstractSocket::ConnectingState)
            emit stateChanged(Connecting);
        else if (s == QAbstractSocket::ClosingState)
            emit stateChanged(Disconnecting);
    });
    connect(socket, &QTcpSocket::bytesWritten, this, &HttpTransfer::onBytesWritten);
    connect(socket, &QTcpSocket::readyRead, this, &HttpTransfer::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &HttpTransfer::onDisconnected);
    connect(socket, &QTcpSocket::errorOccurred, this, &HttpTransfer::onSocketError);
    const quint16 port = quint16(m_url.port(tls ? 443 : 80));
    if (tls) {
        auto *ssl = static_cast<QSslSocket *>(socket);
        connect(ssl, &QSslSocket::encrypted, this, &HttpTransfer::onConnected);
        ssl->connectToHostEncrypted(m_url.host(), port);
    } else {
        connect(socket, &QTcpSocket::connected, this, &HttpTransfer::onConnected);
        socket->connectToHost(m_url.host(), port);
    }
}

void HttpTransfer::onConnected()
{
    emit stateChanged(Connected);
    QByteArray path = m_url.path(QUrl::FullyEncoded).toLatin1();
    if (path.isEmpty()) path = "/";
    if (m_url.hasQuery()) path += '?' + m_url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = m_url.host(QUrl::FullyEncoded).toLatin1();
    if (m_url.port() != -1) host += ':' + QByteArray::number(m_url.port());
    const QByteArray request = m_method + ' ' + path + " HTTP/1.1\r\nHost: " + host +
                               "\r\nUser-Agent: updaterKetbook/" + tv::versionText().toLatin1() +
                               "\r\nAccept-Encoding: identity\r\nConnection: close\r\n\r\n";
    emit stateChanged(Requesting);
    m_unwritten = request.size();
    m_socket->write(request);
}

void HttpTransfer::onBytesWritten(qint64 n)
{
    if (m_unwritten <= 0) return;
    m_unwritten -= n;
    if (m_unwritten <= 0) emit stateChanged(RequestSent);
}

bool HttpTransfer::parseHead()
{
    while (!m_headDone && m_socket && m_socket->canReadLine()) {
        const QByteArray line = m_socket->readLine(kMaxHead);
        m_headBytes += line.size();
        if (m_headBytes > kMaxHead) {
            fail(QStringLiteral("Response header too large"));
            return false;
        }
        const QByteArray text = line.trimmed();
        if (m_status == 0) {
            // "HTTP/1.1 200 OK"
            const QList<QByteArray> parts = text.split(' ');
            bool ok = false;
            m_status = parts.size() >= 2 && parts[0].startsWith("HTTP/") ? parts[1].toInt(&ok) : 0;
            if (!ok || m_status < 100) {
                fail(QStringLiteral("Not an HTTP response"));
                return false;
            }
            continue;
        }
        if (!text.isEmpty()) {
            const qsizetype colon = text.indexOf(':');
            if (colon > 0) m_headers.append({text.left(colon).trimmed(), text.mid(colon + 1).trimmed()});
            continue;
        }
        if (m_status < 200) { // an interim answer: the real one follows
            m_status = 0;
            m_headers.clear();
            continue;
        }
        m_headDone = true;
    }
    if (!m_headDone) return true;

    const QByteArray location = header("Location");
    if (m_status >= 300 && m_status <= 399 && m_status != 304 && !location.isEmpty()) {
        if (++m_redirects > kMaxRedirects) {
            fail(QStringLiteral("Too many redirects"));
            return false;
        }
        const int redirects = m_redirects;
        m_url = m_url.resolved(QUrl::fromEncoded(location));
        dropSocket();
        connectNow();
        m_redirects = redirects;
        return false;
    }
    if (m_method == "HEAD" || m_status == 204 || m_status == 304) {
        m_framing = Framing::None;
    } else if (header("Transfer-Encoding").toLower().contains("chunked")) {
        m_framing = Framing::Chunked;
        m_chunkPart = ChunkPart::Size;
    } else if (!header("Content-Length").isEmpty()) {
        bool ok = false;
        m_remaining = header("Content-Length").toLongLong(&ok);
        if (!ok || m_remaining < 0) {
            fail(QStringLiteral("Bad Content-Length"));
            return false;
        }
        m_framing = Framing::Length;
    } else {
        m_framing = Framing::UntilClose;
    }
    emit headersReceived();
    return m_socket != nullptr; // the receiver may have cancelled
}

// Takes up to `limit` body bytes that have arrived, in one read from the socket, and hands them
// on in chunks of at most kChunk bytes; 0 when none had arrived.
qint64 HttpTransfer::takeBody(qint64 limit)
{
    m_block.resize(std::min<qint64>(limit, kBlock));
    const qint64 n = m_socket->read(m_block.data(), m_block.size());
    for (qint64 at = 0; at < n && m_socket && !m_done; at += kChunk)
        emit bodyData(m_block.constData() + at, std::min(kChunk, n - at));
    return std::max<qint64>(n, 0);
}

bool HttpTransfer::readBody()
{
    while (m_socket && !m_done) {
        switch (m_framing) {
        case Framing::None:
            complete();
            return false;
        case Framing::Length: {
            if (m_remaining == 0) {
                complete();
                return false;
            }
            const qint64 n = takeBody(m_remaining);
            if (n == 0) return true;
            m_remaining -= n;
            break;
        }
        case Framing::UntilClose:
            if (takeBody(kBlock) == 0) return true;
            break;
        case Framing::Chunked:
            if (m_chunkPart == ChunkPart::Data) {
                const qint64 n = takeBody(m_remaining);
                if (n == 0) return true;
                m_remaining -= n;
                if (m_remaining == 0) m_chunkPart = ChunkPart::DataEnd;
                break;
            }
            if (!m_socket->canReadLine()) return true;
            const QByteArray line = m_socket->readLine(kMaxHead).trimmed();
            if (m_chunkPart == ChunkPart::DataEnd) {
                m_chunkPart = ChunkPart::Size;
            } else if (m_chunkPart == ChunkPart::Trailer) {
                if (line.isEmpty()) {
                    complete();
                    return false;
                }
            } else {
                bool ok = false;
                const qsizetype semicolon = line.indexOf(';');
                m_remaining = (semicolon < 0 ? line : line.left(semicolon)).trimmed().toLongLong(&ok, 16);
                if (!ok || m_remaining < 0) {
                    fail(QStringLiteral("Bad chunk"));
                    return false;
                }
                m_chunkPart = m_remaining == 0 ? ChunkPart::Trailer : ChunkPart::Data;
            }
            break;
        }
    }
    return false;
}

void HttpTransfer::onReadyRead()
{
    if (!m_socket || m_done) return;
    if (!m_receiving && m_socket->bytesAvailable() > 0) {
        m_receiving = true;
        emit stateChanged(ReceivingResponse);
        if (!m_socket) return;
    }
    if (!m_headDone && !parseHead()) return;
    if (m_headDone) readBody();
}

void HttpTransfer::onDisconnected()
{
    if (m_done || !m_socket) return;
    onReadyRead(); // what arrived before the end is still to be read
    if (m_done || !m_socket) return;
    emit stateChanged(Disconnected);
    if (m_headDone && m_framing == Framing::UntilClose)
        complete();
    else
        fail(QStringLiteral("Connection closed before the response was complete"));
}

void HttpTransfer::onSocketError()
{
    if (!m_socket || m_done) return;
    // The far end closing is handled as the end of the connection.
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError) return;
    fail(m_socket->errorString());
}

void HttpTransfer::complete()
{
    m_done = true;
    emit stateChanged(ResponseReceived);
    if (m_socket && m_socket->state() != QAbstractSocket::UnconnectedState) {
        // Nothing more to say on this connection.
        m_socket->disconnect(this);
        emit stateChanged(Disconnecting);
        m_socket->abort();
        emit stateChanged(Disconnected);
    }
    dropSocket();
    m_busy = false;
    emit stateChanged(ResponseCompleted);
}

void HttpTransfer::fail(const QString &why)
{
    m_done = true;
    m_error = why;
    dropSocket();
    m_busy = false;
    emit stateChanged(Error);
}
