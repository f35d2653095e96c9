#include "updatecheck/UpdateCheck.h"

#include "updatecheck/UpdateTransfer.h"

#include "common/AppError.h"

#include <QNetworkProxy>
#include <QTcpSocket>

namespace tv {

UpdateCheck::UpdateCheck(QObject *parent) : QObject(parent), m_transfer(new UpdateTransfer(this))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &UpdateCheck::onTimeout);
    connect(m_transfer, &UpdateTransfer::finished, this, &UpdateCheck::finishFetch);
}

UpdateCheck::~UpdateCheck()
{
    cancel();
}

QUrl UpdateCheck::serverUrl(const QString &base)
{
    const QUrl url(base.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty())
        throw AppError(
            UpdateErr::UrlMalformed,
            QStringLiteral("The update server address \"%1\" is not an http or https address").arg(base));
    return url;
}

QUrl UpdateCheck::resourceUrl(const QString &base, const QString &path)
{
    QUrl url = serverUrl(base);
    QString dir = url.path();
    while (dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    url.setPath(dir + path);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

quint16 UpdateCheck::portOf(const QUrl &url)
{
    return quint16(url.port(url.scheme() == QLatin1String("https") ? 443 : 80));
}

QPair<QString, quint16> UpdateCheck::probeTarget(const QUrl &server)
{
    for (const QNetworkProxy &proxy : QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(server))) {
        if (proxy.type() != QNetworkProxy::NoProxy && proxy.type() != QNetworkProxy::DefaultProxy &&
            !proxy.hostName().isEmpty())
            return {proxy.hostName(), proxy.port()};
    }
    return {server.host(), portOf(server)};
}

bool UpdateCheck::busy() const
{
    return m_socket || m_transfer->busy();
}

void UpdateCheck::cancel()
{
    m_timer.stop();
    if (QTcpSocket *s = m_socket) {
        m_socket = nullptr;
        s->disconnect(this);
        s->abort();
        s->deleteLater();
    }
    m_transfer->cancel();
}

void UpdateCheck::probe(const QUrl &server)
{
    cancel();
    auto *s = new QTcpSocket(this);
    s->setProxy(QNetworkProxy::NoProxy); // the proxy itself is what is probed when there is one
    m_socket = s;
    connect(s, &QTcpSocket::connected, this, [this] { finishProbe(true); });
    connect(s, &QTcpSocket::errorOccurred, this, [this] { finishProbe(false); });
    m_timer.start(m_probeTimeoutMs);
    const auto [host, port] = probeTarget(server);
    s->connectToHost(host, port);
}

void UpdateCheck::finishProbe(bool connected)
{
    // Stop first: the receiver may start the fetch right away.
    cancel();
    emit probeFinished(connected);
}

void UpdateCheck::fetch(const QUrl &resource)
{
    cancel();
    m_transfer->get(resource, kMaxBodyBytes);
    m_timer.start(m_fetchTimeoutMs);
}

void UpdateCheck::onTimeout()
{
    if (m_socket)
        finishProbe(false);
    else if (m_transfer->busy())
        failFetch(UpdateErr::TimedOut, errorDescription(UpdateErr::TimedOut));
}

void UpdateCheck::failFetch(int number, const QString &description)
{
    cancel();
    emit fetchFailed(number, description);
}

void UpdateCheck::finishFetch()
{
    m_timer.stop();
    switch (m_transfer->failure()) {
    case UpdateTransfer::Failure::None:
        break;
    case UpdateTransfer::Failure::TimedOut:
        emit fetchFailed(UpdateErr::TimedOut, errorDescription(UpdateErr::TimedOut));
        return;
    case UpdateTransfer::Failure::TooLarge:
        emit fetchFailed(UpdateErr::RequestFailed,
                         QStringLiteral("The update server sent far more than a version number"));
        return;
    case UpdateTransfer::Failure::Refused:
        emit fetchFailed(UpdateErr::RequestFailed, m_transfer->errorString());
        return;
    case UpdateTransfer::Failure::Network:
        switch (m_transfer->networkError()) {
        case QNetworkReply::ConnectionRefusedError:
        case QNetworkReply::HostNotFoundError:
        case QNetworkReply::TimeoutError:
        case QNetworkReply::TemporaryNetworkFailureError:
        case QNetworkReply::NetworkSessionFailedError:
        case QNetworkReply::UnknownNetworkError:
        case QNetworkReply::ProxyConnectionRefusedError:
        case QNetworkReply::ProxyNotFoundError:
            emit fetchFailed(UpdateErr::CannotConnect, errorDescription(UpdateErr::CannotConnect));
            return;
        case QNetworkReply::RemoteHostClosedError:
            emit fetchFailed(
                UpdateErr::RequestFailed,
                QStringLiteral("The update server closed the connection before its answer was complete"));
            return;
        default:
            emit fetchFailed(UpdateErr::RequestFailed, m_transfer->errorString());
            return;
        }
    }
    const int code = m_transfer->status();
    if (code == 0) {
        emit fetchFailed(UpdateErr::RequestFailed, QStringLiteral("The update server sent no HTTP answer"));
        return;
    }
    if (code < 200 || code > 299) {
        emit fetchFailed(UpdateErr::RequestFailed, QStringLiteral("The update server answered %1 %2")
                                                       .arg(code)
                                                       .arg(m_transfer->reasonPhrase())
                                                       .trimmed());
        return;
    }
    emit fetchFinished(QString::fromUtf8(m_transfer->read()));
}

} // namespace tv
