#include "UpdateCheck.h"

#include "common/AppError.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpSocket>

namespace tv {

UpdateCheck::UpdateCheck(QObject *parent) : QObject(parent), m_nam(new QNetworkAccessManager(this))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &UpdateCheck::onTimeout);
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

bool UpdateCheck::busy() const
{
    return m_socket || m_reply;
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
    if (QNetworkReply *r = takeReply()) r->abort();
}

void UpdateCheck::probe(const QUrl &server)
{
    cancel();
    auto *s = new QTcpSocket(this);
    m_socket = s;
    connect(s, &QTcpSocket::connected, this, [this] { finishProbe(true); });
    connect(s, &QTcpSocket::errorOccurred, this, [this] { finishProbe(false); });
    m_timer.start(m_probeTimeoutMs);
    s->connectToHost(server.host(), portOf(server));
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
    QNetworkRequest request(resource);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setRawHeader("Cache-Control", "no-cache");
    QNetworkReply *r = m_nam->get(request);
    m_reply = r;
    connect(r, &QNetworkReply::finished, this, &UpdateCheck::finishFetch);
    connect(r, &QNetworkReply::readyRead, this, [this, r] {
        if (r->bytesAvailable() > kMaxBodyBytes)
            failFetch(UpdateErr::RequestFailed,
                      QStringLiteral("The update server sent far more than a version number"));
    });
    m_timer.start(m_fetchTimeoutMs);
}

QNetworkReply *UpdateCheck::takeReply()
{
    QNetworkReply *r = m_reply;
    m_reply = nullptr;
    if (r) {
        r->disconnect(this);
        r->deleteLater();
    }
    return r;
}

void UpdateCheck::onTimeout()
{
    if (m_socket)
        finishProbe(false);
    else if (m_reply)
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
    QNetworkReply *r = takeReply();
    if (!r) return;
    const QVariant status = r->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        const int code = status.toInt();
        if (code < 200 || code > 299) {
            const QString reason = r->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
            emit fetchFailed(
                UpdateErr::RequestFailed,
                QStringLiteral("The update server answered %1 %2").arg(code).arg(reason).trimmed());
            return;
        }
    }
    switch (r->error()) {
    case QNetworkReply::NoError:
        break;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        emit fetchFailed(UpdateErr::CannotConnect, errorDescription(UpdateErr::CannotConnect));
        return;
    case QNetworkReply::RemoteHostClosedError:
        emit fetchFailed(
            UpdateErr::RequestFailed,
            QStringLiteral("The update server closed the connection before its answer was complete"));
        return;
    default:
        emit fetchFailed(UpdateErr::RequestFailed, r->errorString());
        return;
    }
    if (!status.isValid()) {
        emit fetchFailed(UpdateErr::RequestFailed, QStringLiteral("The update server sent no HTTP answer"));
        return;
    }
    emit fetchFinished(QString::fromUtf8(r->readAll()));
}

} // namespace tv
