#pragma once

#include "HttpTransfer.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <memory>
#include <vector>

class QTemporaryFile;

// The updater's transfer: asks the update server for the size of the new main program, then
// downloads it beside the old one and, only when it arrived whole, puts it in the old one's place.
// Runs on the event loop; nothing here blocks.
class KetbookDownload : public QObject
{
    Q_OBJECT
public:
    enum class Result { Running, Installed, Failed, Cancelled };

    explicit KetbookDownload(QObject *parent = nullptr);
    ~KetbookDownload() override;

    // The size request and then the download; the server and folder are read now.
    void start();
    // Stops the running request; a partial download is thrown away, the old program stays.
    void cancel();

    Result result() const { return m_result; }
    qint32 size() const { return m_size; }
    qint64 received() const { return m_received; }
    int percent() const { return m_percent; }
    QUrl downloadUrl() const { return m_url; }
    QString targetPath() const;

    // received ÷ size × 100 in double precision, held to 0..100, a half to the even neighbour.
    static int percentFor(qint64 received, qint32 size);
    // The numeric text of a "Content-length" header as a byte count; -1 when it is not a number,
    // does not fit or is below 1.
    static qint32 sizeFromHeader(const QByteArray &text);

signals:
    // One line for each transfer state that really happened.
    void statusLine(const QString &line);
    // The size request is over (-1 when unknown); the download starts next.
    void sizeKnown(qint32 size);
    void progress(int percent);
    // The transfer is over: the new program is in place, or the old one was left as it was.
    void finished(KetbookDownload::Result result);

private:
    void lookUpHost();
    void sendSizeRequest();
    void sendDownloadRequest();
    void onState(int state);
    void onHeaders();
    void onBody(const char *data, qint64 size);
    void onComplete();
    void fail();
    bool flushStaging();
    void install();
    void note(const QString &line) { emit statusLine(line); }

    HttpTransfer m_inet;
    std::unique_ptr<QTemporaryFile> m_part;
    std::vector<char> m_staging;
    qint64 m_staged = 0;
    static constexpr qsizetype kStagingBytes = 256 * 1024;
    QUrl m_url;
    QString m_folder;
    bool m_sizeRequest = false;
    bool m_firstResponse = false;
    bool m_writeFailed = false;
    qint32 m_size = -1;
    qint64 m_received = 0;
    int m_percent = 0;
    Result m_result = Result::Running;
};
