#include "updatecheck/UpdateTransfer.h"

#include "common/Version.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QSslSocket>

namespace tv {

namespace {
bool isLoopback(const QUrl &url)
{
    const QHostAddress address(url.host());
    return !address.isNull() && address.isLoopback();
}

bool isScheme(const QUrl &url, const char *scheme)
{
    return url.scheme().compare(QLatin1String(scheme), Qt::CaseInsensitive) == 0;
}

bool isRedirectStatus(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}
} // namespace

int UpdateTransfer::idleTimeoutMs()
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("TALLYVANE_UPDATE_TIMEOUT_MS", &ok);
    return ok && ms > 0 ? ms : kDefaultIdleTimeoutMs;
}

bool UpdateTransfer::redirectAllowed(const QUrl &origin, const QUrl &target)
{
    if (!target.isValid() || target.host().isEmpty()) return false;
    if (isScheme(target, "https")) return true;
    // Plain http stays possible only where nobody is on the path: a server on this machine.
    return isScheme(target, "http") && isScheme(origin, "http") && isLoopback(origin) && isLoopback(target);
}

UpdateTransfer::UpdateTransfer(QObject *parent) : QObject(parent), m_nam(new QNetworkAccessManager(this))
{
    m_idle.setSingleShot(true);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        fail(Failure::TimedOut, QStringLiteral("Nothing arrived from the update server for %1 seconds")
                                    .arg(m_idle.interval() / 1000.0));
    });
}

UpdateTransfer::~UpdateTransfer()
{
    cancel();
}

QByteArray UpdateTransfer::header(const QByteArray &name) const
{
    return m_reply ? m_reply->rawHeader(name) : QByteArray();
}

void UpdateTransfer::get(const QUrl &url, qint64 byteLimit)
{
    send(url, false, byteLimit);
}

void UpdateTransfer::head(const QUrl &url)
{
    send(url, true, 0);
}

void UpdateTransfer::send(const QUrl &url, bool head, qint64 byteLimit)
{
    cancel();
    m_origin = url;
    m_limit = byteLimit;
    m_received = 0;
    m_status = 0;
    m_redirects = 0;
    m_reason.clear();
    m_connecting = m_connected = false;
    m_failure = Failure::None;
    m_networkError = QNetworkReply::NoError;
    m_errorString.clear();

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setRawHeader("Cache-Control", "no-cache");
    // The bytes as published: their length and signature are checked as they are.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tallyvane/") + versionText());
#if QT_CONFIG(ssl)
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    request.setSslConfiguration(tls);
#endif

    QNetworkReply *r = head ? m_nam->head(request) : m_nam->get(request);
    // Unbounded, the reply gathers megabytes before it tells of them and spends more time
    // moving them about than the network takes; a quarter megabyte keeps pace with curl.
    r->setReadBufferSize(kReadBufferBytes);
    m_reply = r;
    m_active = true;
    connect(r, &QNetworkReply::socketStartedConnecting, this, [this] {
        alive();
        m_connecting = true;
        m_connected = false;
        emit connecting();
    });
#if QT_CONFIG(ssl)
    connect(r, &QNetworkReply::encrypted, this, [this] {
        alive();
        m_connected = true;
        emit connected();
    });
#endif
    connect(r, &QNetworkReply::requestSent, this, [this, r] {
        alive();
        // Plain http tells of no connection of its own; the request going out shows it was made.
        if (m_connecting && !m_connected) {
            m_connected = true;
            emit connected();
            if (m_reply != r || !m_active) return;
        }
        emit requestSent();
    });
    connect(r, &QNetworkReply::redirected, this, &UpdateTransfer::onRedirected);
    connect(r, &QNetworkReply::metaDataChanged, this, &UpdateTransfer::onHeaders);
    connect(r, &QNetworkReply::readyRead, this, &UpdateTransfer::onReadyRead);
    connect(r, &QNetworkReply::downloadProgress, this, &UpdateTransfer::alive);
    connect(r, &QNetworkReply::finished, this, &UpdateTransfer::onFinished);
    m_idle.start(idleTimeoutMs());
}

void UpdateTransfer::alive()
{
    if (m_active) m_idle.start();
}

void UpdateTransfer::onRedirected(const QUrl &target)
{
    alive();
    if (!m_reply) return;
    ++m_redirects;
    if (!redirectAllowed(m_origin, target)) {
        fail(Failure::Refused,
             QStringLiteral("The update server sent the request on to %1, which is not a safe address")
                 .arg(target.toString(QUrl::RemoveUserInfo)));
        return;
    }
    emit m_reply->redirectAllowed();
}

void UpdateTransfer::onHeaders()
{
    alive();
    if (!m_reply || !m_active) return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A redirect's own headers are not the answer; the answer of its target follows.
    if (isRedirectStatus(status) && m_reply->hasRawHeader("Location")) return;
    if (m_status != 0) return;
    qint64 headerBytes = 0;
    for (const auto &[name, value] : m_reply->rawHeaderPairs())
        headerBytes += name.size() + value.size() + 4;
    if (headerBytes > kMaxHeaderBytes) {
        fail(Failure::TooLarge,
             QStringLiteral("The update server sent %1 bytes of headers; no answer needs so many")
                 .arg(headerBytes));
        return;
    }
    m_status = status;
    m_reason = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    bool announced = false;
    const qint64 length = m_reply->rawHeader("Content-Length").trimmed().toLongLong(&announced);
    if (m_reply->operation() == QNetworkAccessManager::GetOperation && announced && length > m_limit) {
        fail(Failure::TooLarge,
             QStringLiteral("The update server announced %1 bytes where at most %2 were expected")
                 .arg(length)
                 .arg(m_limit));
        return;
    }
    emit headersReceived();
}

void UpdateTransfer::onReadyRead()
{
    alive();
    if (!m_reply || !m_active) return;
    if (m_received + m_reply->bytesAvailable() > m_limit) {
        fail(Failure::TooLarge,
             QStringLiteral("The update server sent more than the %1 bytes expected").arg(m_limit));
        return;
    }
    emit readyRead();
}

QByteArray UpdateTransfer::read()
{
    if (!m_reply) return QByteArray();
    const qint64 room = m_limit - m_received;
    // readAll() hands over the reply's own buffer without a copy.
    QByteArray data =
        m_reply->bytesAvailable() <= room ? m_reply->readAll() : m_reply->read(std::max<qint64>(0, room));
    m_received += data.size();
    return data;
}

void UpdateTransfer::onFinished()
{
    if (!m_reply || !m_active) return;
    m_idle.stop();
    if (m_received + m_reply->bytesAvailable() > m_limit) {
        fail(Failure::TooLarge,
             QStringLiteral("The update server sent more than the %1 bytes expected").arg(m_limit));
        return;
    }
    if (const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        m_redirects > 0 && (status < 200 || (status >= 300 && status <= 399))) {
        // A loop, or a chain longer than any real server needs: Qt gives up without an answer.
        fail(Failure::Refused, QStringLiteral("The update server's redirects never led to the file"));
        return;
    }
    if (m_status == 0) {
        m_status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        m_reason = m_reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    }
    m_networkError = m_reply->error();
    // An error answer is told by its status; a failure of the transfer itself only when the
    // server did not answer or the answer was cut short.
    const bool answered = m_status >= 200 && m_status <= 599;
    const bool good = m_status >= 200 && m_status <= 299;
    if (m_networkError != QNetworkReply::NoError && (!answered || good)) {
        m_failure = Failure::Network;
        m_errorString = m_reply->errorString();
    }
    m_active = false;
    emit finished(); // the body left over can still be read here
}

void UpdateTransfer::fail(Failure failure, const QString &why)
{
    if (!m_active) return;
    dropReply();
    m_failure = failure;
    m_errorString = why;
    emit finished();
}

void UpdateTransfer::cancel()
{
    dropReply();
}

void UpdateTransfer::dropReply()
{
    m_idle.stop();
    m_active = false;
    if (QNetworkReply *r = m_reply) {
        m_reply = nullptr;
        r->disconnect(this);
        // Deleting a reply stops its request; abort() would also report an error of its own,
        // which clashes with an error status that is on its way.
        r->deleteLater();
    }
}

} // namespace tv
