#pragma once

#include "updatecheck/UpdateTransfer.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <memory>

class QTemporaryFile;

namespace tv {

// The updater's transfer: asks the update server for the size of the new main program, downloads
// it beside the old one, fetches the signed manifest of the release and, only when the program
// arrived whole, the manifest is signed by the release key, names a version newer than the
// installed one and the program's digest, puts it in the old one's place. Runs on the event loop;
// nothing here blocks.
class KetbookDownload : public QObject
{
    Q_OBJECT
public:
    enum class Result {
        Running,
        Installed,
        Failed,   // the transfer failed: "Error downloading file"
        Rejected, // arrived, but not verified or not newer: rejectionText() says which
        Cancelled,
        NoKey, // built without a release key: nothing asked, nothing installed
    };
    using Failure = tv::UpdateTransfer::Failure;

    explicit KetbookDownload(QObject *parent = nullptr);
    ~KetbookDownload() override;

    // The size request, the download and the manifest; the server, folder and key are read now.
    void start();
    // Stops the running request; a partial download is thrown away, the old program stays.
    void cancel();

    // The most a download may bring when the size request announced none.
    void setByteLimit(qint64 bytes) { m_byteLimit = bytes; }

    Result result() const { return m_result; }
    // How the transfer that ended the download failed (None for a refused manifest).
    Failure failure() const { return m_failure; }
    qint32 size() const { return m_size; }
    qint64 received() const { return m_received; }
    int percent() const { return m_percent; }
    QUrl downloadUrl() const { return m_url; }
    QString targetPath() const;

    // The status line and message of an update that could not be verified.
    static QString unverifiedText();
    // Why the last update was rejected (Rejected, NoKey).
    QString rejectionText() const { return m_rejection; }
    // The version of the installed Ketbook as far as this updater knows: its own, or the newer one
    // it installed last (recorded in Ketbook.version beside the program).
    QString installedVersion() const;
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
    // Only when the percentage changes.
    void progress(int percent);
    // The whole program is in the file beside Ketbook; the manifest is fetched next.
    void programDownloaded();
    // The transfer is over: the new program is in place, or the old one was left as it was.
    void finished(KetbookDownload::Result result);

private:
    enum class Step { Size, Program, Manifest };

    void lookUpHost();
    void sendRequest();
    void onHeaders();
    void onBody();
    void onComplete();
    void sizeDone();
    void programDone();
    void manifestDone();
    void store(const QByteArray &data);
    void fail(Failure failure);
    void reject(const QString &why);
    void install(const QString &version);
    void note(const QString &line) { emit statusLine(line); }

    tv::UpdateTransfer m_inet;
    std::unique_ptr<QTemporaryFile> m_part;
    QUrl m_url;
    QUrl m_manifestUrl;
    QByteArray m_key;
    QString m_rejection;
    QString m_folder;
    Step m_step = Step::Size;
    bool m_firstResponse = false;
    bool m_writeFailed = false;
    qint64 m_byteLimit = tv::UpdateTransfer::kDefaultByteLimit;
    qint32 m_size = -1;
    qint64 m_received = 0;
    int m_percent = 0;
    int m_shownPercent = -1;
    Result m_result = Result::Running;
    Failure m_failure = Failure::None;
};

} // namespace tv
