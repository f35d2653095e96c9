#include "KetbookDownload.h"

#include "common/ProgramFolder.h"
#include "common/Version.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QTemporaryFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
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

bool goodStatus(int status)
{
    return status >= 200 && status <= 299;
}
} // namespace

KetbookDownload::KetbookDownload(QObject *parent) : QObject(parent)
{
    connect(&m_inet, &HttpTransfer::stateChanged, this, &KetbookDownload::onState);
    connect(&m_inet, &HttpTransfer::headersReceived, this, &KetbookDownload::onHeaders);
    connect(&m_inet, &HttpTransfer::bodyData, this, &KetbookDownload::onBody);
}

KetbookDownload::~KetbookDownload()
{
    m_inet.cancel();
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
    m_inet.start(m_url, "HEAD");
}

void KetbookDownload::sendDownloadRequest()
{
    m_received = 0;
    m_percent = 0;
    m_writeFailed = false;
    m_staging.resize(kStagingBytes); // one buffer, reused: fresh memory costs page faults
    m_staged = 0;
    // An unnamed file beside Ketbook, so that the rename at the end stays on one file system.
    m_part =
        std::make_unique<QTemporaryFile>(QDir(m_folder).filePath(kProgram + QStringLiteral(".XXXXXX.part")));
    if (!m_part->open()) {
        m_part.reset();
        fail();
        return;
    }
    m_inet.start(m_url, "GET");
}

void KetbookDownload::onState(int state)
{
    switch (state) {
    case HttpTransfer::Connecting:
        note(QStringLiteral("Sending connection request..."));
        break;
    case HttpTransfer::Connected:
        note(QStringLiteral("Connected"));
        break;
    case HttpTransfer::Requesting:
        note(QStringLiteral("Sending request..."));
        break;
    case HttpTransfer::RequestSent:
        note(QStringLiteral("Request sent"));
        break;
    case HttpTransfer::ReceivingResponse:
        if (!m_firstResponse) {
            note(QStringLiteral("Downloading Update..."));
            m_firstResponse = true;
        }
        break;
    case HttpTransfer::ResponseReceived:
        if (!m_firstResponse) {
            note(QStringLiteral("Response received"));
            m_firstResponse = true;
        }
        break;
    case HttpTransfer::Disconnecting:
        note(QStringLiteral("Disconnecting..."));
        break;
    case HttpTransfer::Disconnected:
        note(QStringLiteral("Disconnected"));
        break;
    case HttpTransfer::Error:
        fail();
        break;
    case HttpTransfer::ResponseCompleted:
        onComplete();
        break;
    default:
        break;
    }
}

void KetbookDownload::onHeaders()
{
    // An error page is not the program: the whole transfer is an error.
    if (!m_sizeRequest && !goodStatus(m_inet.status())) {
        m_inet.cancel();
        fail();
    }
}

void KetbookDownload::onBody(const char *data, qint64 size)
{
    if (m_sizeRequest || !m_part) return;
    m_received += size;
    m_percent = percentFor(m_received, m_size);
    emit progress(m_percent);
    // Chunks are gathered and written in large pieces: a system call per kilobyte costs more
    // than the transfer itself.
    if (m_staged + size > qint64(m_staging.size())) flushStaging();
    std::memcpy(m_staging.data() + m_staged, data, size_t(size));
    m_staged += size;
}

bool KetbookDownload::flushStaging()
{
    const char *p = m_staging.data();
    qint64 left = m_staged;
    while (!m_writeFailed && left > 0) {
        const ssize_t n = ::write(m_part->handle(), p, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            m_writeFailed = true;
        } else {
            p += n;
            left -= n;
        }
    }
    m_staged = 0;
    return !m_writeFailed;
}

void KetbookDownload::onComplete()
{
    if (m_result != Result::Running) return;
    if (m_sizeRequest) {
        // A failed answer (say a 404) carries no size of the program.
        m_size = goodStatus(m_inet.status()) ? sizeFromHeader(m_inet.header("Content-length")) : -1;
        m_sizeRequest = false;
        note(QStringLiteral("Establishing file size & location..."));
        emit sizeKnown(m_size);
        if (m_result == Result::Running) lookUpHost();
        return;
    }
    // Whole: something came, it was all written, and it is as long as announced.
    bool whole = goodStatus(m_inet.status()) && m_received > 0 && !m_writeFailed;
    if (m_size > 0 && m_received != m_size) whole = false;
    const QByteArray announced = m_inet.header("Content-Length");
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
    bool ok = flushStaging() && ::fsync(m_part->handle()) == 0;
    QFile::Permissions perms = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                               QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    if (QFile::exists(target))
        perms = QFile::permissions(target) | QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    ok = ok && m_part->setPermissions(perms);
    const QString partPath = m_part->fileName(); // gives the unnamed file its name
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
    if (m_result != Result::Running) return;
    m_part.reset(); // removes the partial file
    m_result = Result::Failed;
    note(QStringLiteral("Error downloading file"));
    emit finished(m_result);
}

void KetbookDownload::cancel()
{
    if (m_result != Result::Running) return;
    m_result = Result::Cancelled;
    m_inet.cancel();
    m_part.reset();
}
