#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkAccessManager;

namespace tv {

// One request to the update server, for the update check and the updater alike. What arrives
// may replace the program the user runs next, so: certificate errors are never ignored, a
// redirect may only lead to https (or from http to http on this machine, where the tests run),
// no more body bytes than the caller allows are taken, and a transfer that shows no sign of
// life for idleTimeoutMs() fails. The system's proxy settings apply.
class UpdateTransfer : public QObject
{
    Q_OBJECT
public:
    enum class Failure {
        None,
        Network,  // could not connect, TLS refused, connection lost, ...
        Refused,  // redirected to an address that is not safe
        TimedOut, // nothing moved for idleTimeoutMs()
        TooLarge, // more body than allowed
    };

    static constexpr int kDefaultIdleTimeoutMs = 30000;
    static constexpr qint64 kDefaultByteLimit = 512LL * 1024 * 1024;
    static constexpr int kMaxRedirects = 5;
    static constexpr qint64 kMaxHeaderBytes = 64 * 1024;
    static constexpr qint64 kReadBufferBytes = 256 * 1024;

    // The idle limit: TALLYVANE_UPDATE_TIMEOUT_MS when set to a positive number, else 30 s.
    static int idleTimeoutMs();
    // Whether a redirect from `origin` (the first address of the request) to `target` is followed.
    static bool redirectAllowed(const QUrl &origin, const QUrl &target);

    explicit UpdateTransfer(QObject *parent = nullptr);
    ~UpdateTransfer() override;

    void get(const QUrl &url, qint64 byteLimit = kDefaultByteLimit);
    void head(const QUrl &url);
    // Stops at once; no further signal.
    void cancel();
    bool busy() const { return m_active; }

    // The answer: status 0 until the headers are in.
    int status() const { return m_status; }
    QString reasonPhrase() const { return m_reason; }
    QByteArray header(const QByteArray &name) const;
    // The body that has arrived, taken away; received() counts what was taken.
    QByteArray read();
    qint64 received() const { return m_received; }
    qint64 byteLimit() const { return m_limit; }

    Failure failure() const { return m_failure; }
    QNetworkReply::NetworkError networkError() const { return m_networkError; }
    QString errorString() const { return m_errorString; }

signals:
    void connecting();
    void connected();
    void requestSent();
    void headersReceived();
    void readyRead();
    // Once per request unless cancelled; failure() tells how it ended.
    void finished();

private:
    void send(const QUrl &url, bool head, qint64 byteLimit);
    void onRedirected(const QUrl &target);
    void onHeaders();
    void onReadyRead();
    void onFinished();
    void fail(Failure failure, const QString &why);
    void alive();
    void dropReply();

    QNetworkAccessManager *m_nam;
    QPointer<QNetworkReply> m_reply;
    QTimer m_idle;
    QUrl m_origin;
    qint64 m_limit = kDefaultByteLimit;
    qint64 m_received = 0;
    int m_status = 0;
    int m_redirects = 0;
    QString m_reason;
    bool m_active = false;
    bool m_connecting = false;
    bool m_connected = false;
    Failure m_failure = Failure::None;
    QNetworkReply::NetworkError m_networkError = QNetworkReply::NoError;
    QString m_errorString;
};

} // namespace tv
