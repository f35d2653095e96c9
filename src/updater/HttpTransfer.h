#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QUrl>

class QTcpSocket;

// One HTTP/1.1 request over its own connection, run on the caller's thread, reporting each
// transfer state as it happens and handing the body over in chunks of at most 1024 bytes.
// (A download on the window's own thread keeps up with the network; a transfer thread that
// passes every buffer across costs more than half of it.)
class HttpTransfer : public QObject
{
    Q_OBJECT
public:
    // The state numbers the status list knows.
    enum State {
        Connecting = 3,
        Connected = 4,
        Requesting = 5,
        RequestSent = 6,
        ReceivingResponse = 7,
        ResponseReceived = 8,
        Disconnecting = 9,
        Disconnected = 10,
        Error = 11,
        ResponseCompleted = 12,
    };

    static constexpr qint64 kChunk = 1024;
    static constexpr qint64 kBlock = 256 * 1024; // read from the socket at once

    explicit HttpTransfer(QObject *parent = nullptr);
    ~HttpTransfer() override;

    // "HEAD" or "GET"; redirects are followed (five at most).
    void start(const QUrl &url, const QByteArray &method);
    // Stops at once; no more notifications.
    void cancel();
    bool busy() const { return m_busy; }

    int status() const { return m_status; }
    // The named header of the response, empty when absent; names without regard to case.
    QByteArray header(const QByteArray &name) const;
    QString errorString() const { return m_error; }

signals:
    void stateChanged(int state);
    // The status line and headers are in (after any redirects).
    void headersReceived();
    void bodyData(const char *data, qint64 size);

private:
    enum class Framing { None, Length, Chunked, UntilClose };
    enum class ChunkPart { Size, Data, DataEnd, Trailer };

    void connectNow();
    void onConnected();
    void onBytesWritten(qint64 n);
    void onReadyRead();
    void onDisconnected();
    void onSocketError();
    bool parseHead();
    bool readBody();
    qint64 takeBody(qint64 limit);
    void complete();
    void fail(const QString &why);
    void dropSocket();

    QPointer<QTcpSocket> m_socket;
    QUrl m_url;
    QByteArray m_method;
    int m_redirects = 0;
    bool m_busy = false;
    bool m_done = false;
    bool m_receiving = false;
    bool m_headDone = false;
    qint64 m_unwritten = 0;
    int m_status = 0;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    Framing m_framing = Framing::None;
    ChunkPart m_chunkPart = ChunkPart::Size;
    qint64 m_remaining = 0;
    qint64 m_headBytes = 0;
    QString m_error;
    QByteArray m_block;
};
