#include "KetbookDownload.h"

#include "common/ProgramFolder.h"
#include "common/Version.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace {
const QString kProgram = QStringLiteral("Ketbook");

bool fsyncPath(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}
} // namespace

KetbookDownload::KetbookDownload(QObject *parent) : QObject(parent) {}

KetbookDownload::~KetbookDownload()
{
    dropReply();
}

void KetbookDownload::dropReply()
{
    if (!m_reply) return;
    m_reply->disconnect(this);
    // A reply that already failed (an error page) must not be aborted again.
    if (m_reply->isRunning() && m_reply->error() == QNetworkReply::NoError) m_reply->abort();
    m_reply->deleteLater();
    m_reply = nullptr;
}

QString KetbookDownload::targetPath() const
{
    return QDir(m_folder).filePath(kProgram);
}

int KetbookDownload::percentFor(qint64 received, qint32 size)
{
    const double p = double(received) / double(size) * 100.0;
    return int(std::nearbyint(std::clamp(p, 0.0, 100.0)));
}

qint32 KetbookDownload::sizeFromHeader(const QByteArray &text)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) return -1;
    const double rounded = std::nearbyint(v);
    if (rounded > std::numeric_limits<qint32>::max() || rounded < 1) return -1;
    return qint32(rounded);
}

void KetbookDownload::start()
{
    m_folder = tv::programFolder();
    QString base = tv::updateServerUrl();
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    m_url = QUrl(base + QStringLiteral("/Ketbook.exe"));
    m_firstResponse = false;
    m_size = -1;
    m_result = Result::Running;
    m_sizeRequest = true;
    lookUpHost();
}

// Our own look-up shows the first two states; an address needs none.
void KetbookDownload::lookUpHost()
{
    const QString host = m_url.host();
    if (host.isEmpty() || !QHostAddress(host).isNull()) {
        m_sizeRequest ? sendSizeRequest() : sendDownloadRequest();
        return;
    }
    note(QStringLiteral("Trying to resolve host..."));
    QHostInfo::lookupHost(host, this, [this](const QHostInfo &info) {
        if (m_result != Result::Running) return;
        if (info.error() == QHostInfo::NoError && !info.addresses().isEmpty())
            note(QStringLiteral("Host is resolved"));
        // A failed look-up is left to the request, which reports it as a transfer error.
        m_sizeRequest ? sendSizeRequest() : sendDownloadRequest();
    });
}

void KetbookDownload::sendSizeRequest()
{
    QNetworkRequest request(m_url);
    watch(m_nam.head(request));
}

void KetbookDownload::sendDownloadRequest()
{
    m_received = 0;
    m_percent = 0;
    m_writeFailed = false;
    m_part =
        std::make_unique<QTemporaryFile>(QDir(m_folder).filePath(kProgram + QStringLiteral(".XXXXXX.part")));
    if (!m_part->open()) {
        m_part.reset();
        fail();
        return;
    }
    QNetworkRequest request(m_url);
    // The body is taken as it comes; a compressed answer would not be the program's bytes.
    request.setRawHeader("Accept-Encoding", "identity");
    watch(m_nam.get(request));
}

void KetbookDownload::watch(QNetworkReply *reply)
{
    m_reply = reply;
    m_connecting = false;
    connect(reply, &QNetworkReply::socketStartedConnecting, this, [this] {
        m_connecting = true;
        note(QStringLiteral("Sending connection request..."));
    });
    connect(reply, &QNetworkReply::requestSent, this, [this] {
        // The request went out, so the connection it went over was up.
        if (m_connecting) {
            m_connecting = false;
            note(QStringLiteral("Connected"));
        }
        note(QStringLiteral("Sending request..."));
        note(QStringLiteral("Request sent"));
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, &KetbookDownload::onMetaData);
    connect(reply, &QNetworkReply::readyRead, this, &KetbookDownload::onReadyRead);
    connect(reply, &QNetworkReply::finished, this, &KetbookDownload::onFinished);
}

void KetbookDownload::onMetaData()
{
    if (!m_firstResponse) {
        note(QStringLiteral("Downloading Update..."));
        m_firstResponse = true;
    }
}

void KetbookDownload::onReadyRead()
{
    if (m_sizeRequest || !m_reply) return;
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status > 299) {
        // An error page is not the program: it is dropped, and its end fails the transfer.
        if (m_reply->error() != QNetworkReply::NoError) {
            m_reply->readAll();
            return;
        }
        dropReply();
        fail();
        return;
    }
    readChunks();
}

void KetbookDownload::readChunks()
{
    char buffer[kChunk];
    while (m_reply && m_part) {
        const qint64 n = m_reply->read(buffer, kChunk);
        if (n <= 0) break;
        m_received += n;
        m_percent = percentFor(m_received, m_size);
        emit progress(m_percent);
        if (!m_writeFailed && m_part->write(buffer, n) != n) m_writeFailed = true;
    }
}

void KetbookDownload::onFinished()
{
    QNetworkReply *reply = m_reply;
    if (!reply) return;
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError && !(m_sizeRequest && status != 0)) {
        reply->disconnect(this);
        m_reply = nullptr;
        fail();
        return;
    }
    if (!m_firstResponse) {
        note(QStringLiteral("Response received"));
        m_firstResponse = true;
    }
    if (m_sizeRequest) {
        // A failed answer (say a 404) carries no size of the program.
        const bool good = status >= 200 && status <= 299;
        m_size = good ? sizeFromHeader(reply->rawHeader("Content-length")) : -1;
        m_reply = nullptr;
        m_sizeRequest = false;
        note(QStringLiteral("Establishing file size & location..."));
        emit sizeKnown(m_size);
        if (m_result == Result::Running) lookUpHost();
        return;
    }
    if (status < 200 || status > 299) {
        m_reply = nullptr;
        fail();
        return;
    }
    readChunks();
    const QByteArray announced = reply->rawHeader("Content-Length");
    m_reply = nullptr;
    bool whole = m_received > 0 && !m_writeFailed;
    if (m_size > 0 && m_received != m_size) whole = false;
    if (!announced.isEmpty() && announced.trimmed().toLongLong() != m_received) whole = false;
    if (!whole) {
        fail();
        return;
    }
    install();
}

void KetbookDownload::install()
{
    const QString target = targetPath();
    bool ok = m_part->flush() && ::fsync(m_part->handle()) == 0;
    QFile::Permissions perms = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                               QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    if (QFile::exists(target))
        perms = QFile::permissions(target) | QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    ok = ok && m_part->setPermissions(perms);
    const QString partPath = m_part->fileName();
    m_part->close();
    // One rename: Ketbook is either the old program or the whole new one, never a mixture.
    ok = ok &&
         std::rename(QFile::encodeName(partPath).constData(), QFile::encodeName(target).constData()) == 0;
    if (!ok) {
        fail();
        return;
    }
    m_part->setAutoRemove(false);
    m_part.reset();
    fsyncPath(m_folder, O_RDONLY | O_DIRECTORY);
    m_result = Result::Installed;
    emit finished(m_result);
}

void KetbookDownload::fail()
{
    m_part.reset(); // removes the partial file
    m_result = Result::Failed;
    note(QStringLiteral("Error downloading file"));
    emit finished(m_result);
}

void KetbookDownload::cancel()
{
    if (m_result != Result::Running) return;
    m_result = Result::Cancelled;
    dropReply();
    m_part.reset();
}
