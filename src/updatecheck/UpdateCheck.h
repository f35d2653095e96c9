#pragma once

#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

class QTcpSocket;

namespace tv {

// Failure numbers of the transfer, described in the error table.
namespace UpdateErr {
enum : int {
    UrlMalformed = 35752,
    CannotConnect = 35754,
    RequestFailed = 35756,
    TimedOut = 35761,
};
}

class UpdateTransfer;

// The network side of the update check: a connection probe to the update server (or to the
// proxy that leads there) and the fetch of a small text resource from it. Both run without blocking the
// caller; each ends with exactly one signal unless cancelled. Starting one cancels whatever was running.
class UpdateCheck : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultProbeTimeoutMs = 5000;
    static constexpr int kDefaultFetchTimeoutMs = 15000;
    // A version file is a few bytes; a reply bigger than this is something else.
    static constexpr qint64 kMaxBodyBytes = 64 * 1024;

    explicit UpdateCheck(QObject *parent = nullptr);
    ~UpdateCheck() override;

    void setProbeTimeout(int ms) { m_probeTimeoutMs = ms; }
    void setFetchTimeout(int ms) { m_fetchTimeoutMs = ms; }
    int probeTimeout() const { return m_probeTimeoutMs; }
    int fetchTimeout() const { return m_fetchTimeoutMs; }

    // The server's base URL checked for use: http or https with a host. Throws AppError
    // (UrlMalformed) otherwise.
    static QUrl serverUrl(const QString &base);
    // A resource below the server's base URL: ("http://h/app/", "/versionKetbook.txt") gives
    // "http://h/app/versionKetbook.txt". Throws AppError as serverUrl().
    static QUrl resourceUrl(const QString &base, const QString &path);
    // The port the probe connects to: the URL's own, else 80 for http and 443 for https.
    static quint16 portOf(const QUrl &url);
    // Where the probe connects for a server: the proxy the system names for it, else the
    // server itself.
    static QPair<QString, quint16> probeTarget(const QUrl &server);

    void probe(const QUrl &server);
    void fetch(const QUrl &resource);
    void cancel();
    bool busy() const;

signals:
    void probeFinished(bool connected);
    void fetchFinished(const QString &body);
    void fetchFailed(int number, const QString &description);

private:
    void finishProbe(bool connected);
    void finishFetch();
    void failFetch(int number, const QString &description);
    void onTimeout();

    UpdateTransfer *m_transfer;
    QPointer<QTcpSocket> m_socket;
    QTimer m_timer;
    int m_probeTimeoutMs = kDefaultProbeTimeoutMs;
    int m_fetchTimeoutMs = kDefaultFetchTimeoutMs;
};

} // namespace tv
