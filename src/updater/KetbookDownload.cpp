#include "KetbookDownload.h"

#include "ReleaseManifest.h"

#include "common/DurableFile.h"
#include "common/ProgramFolder.h"
#include "common/Version.h"
#include "updatecheck/ReleaseKey.h"
#include "updatecheck/VersionText.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QHostInfo>
#include <QTemporaryFile>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace tv {

namespace {
const QString kProgram = QStringLiteral("Ketbook");
// The version the updater installed last: it outlives the updater's own, older version number.
const QString kVersionRecord = QStringLiteral("Ketbook.version");

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
    // The manifest is a step of its own, without lines of its own: the list tells of the program.
    connect(&m_inet, &UpdateTransfer::connecting, this, [this] {
        if (m_step != Step::Manifest) note(QStringLiteral("Sending connection request..."));
    });
    connect(&m_inet, &UpdateTransfer::connected, this, [this] {
        if (m_step != Step::Manifest) note(QStringLiteral("Connected"));
    });
    connect(&m_inet, &UpdateTransfer::requestSent, this, [this] {
        if (m_step == Step::Manifest) return;
        note(QStringLiteral("Sending request..."));
        note(QStringLiteral("Request sent"));
    });
    connect(&m_inet, &UpdateTransfer::headersReceived, this, &KetbookDownload::onHeaders);
    connect(&m_inet, &UpdateTransfer::readyRead, this, &KetbookDownload::onBody);
    connect(&m_inet, &UpdateTransfer::finished, this, &KetbookDownload::onComplete);
}

KetbookDownload::~KetbookDownload()
{
    m_inet.cancel();
}

QString KetbookDownload::targetPath() const
{
    return QDir(m_folder).filePath(kProgram);
}

QString KetbookDownload::unverifiedText()
{
    return QStringLiteral("The downloaded update could not be verified; nothing was installed.");
}

QString KetbookDownload::installedVersion() const
{
    QString installed = versionText();
    QFile record(QDir(m_folder.isEmpty() ? programFolder() : m_folder).filePath(kVersionRecord));
    if (record.open(QIODevice::ReadOnly)) {
        const QString recorded = QString::fromLatin1(record.read(256)).trimmed();
        if (isNewerVersion(recorded, installed).value_or(false)) installed = recorded;
    }
    return installed;
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
    m_manifestUrl = QUrl(base + QStringLiteral("/Ketbook.manifest"));
    m_key = releaseKey();
    m_firstResponse = false;
    m_size = -1;
    m_result = Result::Running;
    m_failure = Failure::None;
    m_rejection.clear();
    m_step = Step::Size;
    if (m_key.isEmpty()) {
        // Nothing could be verified, so nothing is asked for.
        m_rejection = noReleaseKeyText();
        m_result = Result::NoKey;
        note(m_rejection);
        emit finished(m_result);
        return;
    }
    lookUpHost();
}

// Our own look-up shows the first two states; an address needs none.
void KetbookDownload::lookUpHost()
{
    const QString host = m_url.host();
    if (host.isEmpty() || !QHostAddress(host).isNull()) {
        sendRequest();
        return;
    }
    note(QStringLiteral("Trying to resolve host..."));
    QHostInfo::lookupHost(host, this, [this](const QHostInfo &info) {
        if (m_result != Result::Running) return;
        if (info.error() == QHostInfo::NoError && !info.addresses().isEmpty())
            note(QStringLiteral("Host is resolved"));
        // A failed look-up is left to the request, which reports it as a transfer error.
        sendRequest();
    });
}

void KetbookDownload::sendRequest()
{
    if (m_step == Step::Size) {
        m_inet.head(m_url);
        return;
    }
    m_received = 0;
    m_percent = 0;
    m_shownPercent = -1;
    m_writeFailed = false;
    // An unnamed file beside Ketbook, so that the rename at the end stays on one file system.
    m_part =
        std::make_unique<QTemporaryFile>(QDir(m_folder).filePath(kProgram + QStringLiteral(".XXXXXX.part")));
    if (!m_part->open()) {
        m_part.reset();
        fail(Failure::None);
        return;
    }
    // Never more than announced: an endless answer must not fill the disk Ketbook saves to.
    m_inet.get(m_url, m_size > 0 ? m_size : m_byteLimit);
}

void KetbookDownload::onHeaders()
{
    if (m_step == Step::Manifest) return;
    if (!m_firstResponse) {
        note(QStringLiteral("Downloading Update..."));
        m_firstResponse = true;
    }
    // An error page is not the program: the whole transfer is an error.
    if (m_step == Step::Program && !goodStatus(m_inet.status())) {
        m_inet.cancel();
        fail(Failure::None);
    }
}

void KetbookDownload::onBody()
{
    if (m_step == Step::Program && m_part) store(m_inet.read());
}

void KetbookDownload::store(const QByteArray &data)
{
    if (data.isEmpty()) return;
    const char *p = data.constData();
    qint64 left = data.size();
    // Straight to the file in the pieces the network hands over.
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
    m_received += data.size();
    m_percent = percentFor(m_received, m_size);
    if (m_percent != m_shownPercent) {
        m_shownPercent = m_percent;
        emit progress(m_percent);
    }
}

void KetbookDownload::onComplete()
{
    if (m_result != Result::Running) return;
    switch (m_step) {
    case Step::Size:
        sizeDone();
        break;
    case Step::Program:
        programDone();
        break;
    case Step::Manifest:
        manifestDone();
        break;
    }
}

void KetbookDownload::sizeDone()
{
    // A failed answer (say a 404) carries no size of the program.
    const bool answered = m_inet.failure() == Failure::None && goodStatus(m_inet.status());
    m_size = answered ? sizeFromHeader(m_inet.header("Content-Length")) : -1;
    m_step = Step::Program;
    note(QStringLiteral("Establishing file size & location..."));
    emit sizeKnown(m_size);
    if (m_result == Result::Running) lookUpHost();
}

void KetbookDownload::programDone()
{
    if (m_inet.failure() != Failure::None) {
        fail(m_inet.failure());
        return;
    }
    if (m_part) store(m_inet.read());
    // Whole: something came, it was all written, and it is as long as announced.
    bool whole = goodStatus(m_inet.status()) && m_received > 0 && !m_writeFailed;
    if (m_size > 0 && m_received != m_size) whole = false;
    const QByteArray announced = m_inet.header("Content-Length");
    if (!announced.isEmpty() && announced.trimmed().toLongLong() != m_received) whole = false;
    if (!whole || !m_part) {
        fail(Failure::None);
        return;
    }
    emit programDownloaded();
    if (m_result != Result::Running) return;
    if (::fsync(m_part->handle()) != 0) {
        fail(Failure::None);
        return;
    }
    m_step = Step::Manifest;
    m_inet.get(m_manifestUrl, ReleaseManifest::kMaxBytes);
}

void KetbookDownload::manifestDone()
{
    // Whatever keeps the manifest from being checked leaves the old program in place.
    if (m_inet.failure() != Failure::None || !goodStatus(m_inet.status())) {
        reject(unverifiedText());
        return;
    }
    const auto manifest = ReleaseManifest::read(m_inet.read(), m_key);
    if (!manifest) {
        reject(unverifiedText());
        return;
    }
    const QString installed = installedVersion();
    if (!isNewerVersion(manifest->version, installed).value_or(false)) {
        reject(QStringLiteral("The update server offered version %1, which is not newer than the installed "
                              "version %2; nothing was installed.")
                   .arg(manifest->version, installed));
        return;
    }
    uchar *bytes = m_part->map(0, m_received);
    const QByteArray digest =
        bytes ? QCryptographicHash::hash(QByteArrayView(bytes, m_received), QCryptographicHash::Sha256)
              : QByteArray();
    if (bytes) m_part->unmap(bytes);
    if (digest != manifest->sha256) {
        reject(unverifiedText());
        return;
    }
    install(manifest->version);
}

void KetbookDownload::install(const QString &version)
{
    const QString target = targetPath();
    QFile::Permissions perms = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                               QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    if (QFile::exists(target))
        perms = QFile::permissions(target) | QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    bool ok = m_part->setPermissions(perms);
    const QString partPath = m_part->fileName(); // gives the unnamed file its name
    // One rename: Ketbook is either the old program or the whole new one, never a mixture.
    ok = ok &&
         std::rename(QFile::encodeName(partPath).constData(), QFile::encodeName(target).constData()) == 0;
    if (!ok) {
        fail(Failure::None);
        return;
    }
    m_part->setAutoRemove(false);
    m_part.reset();
    fsyncPath(m_folder, O_RDONLY | O_DIRECTORY);
    // This updater stays as it is while Ketbook moves on: it keeps what it installed, so that a
    // later update cannot take Ketbook back. The program is in place either way.
    try {
        DurableFile record(QDir(m_folder).filePath(kVersionRecord), QStringLiteral("The installed version"));
        record.writeAll(version.toLatin1() + '\n');
        record.commit();
    } catch (const AppError &) {
        note(QStringLiteral("The installed version could not be recorded"));
    }
    m_result = Result::Installed;
    emit finished(m_result);
}

void KetbookDownload::fail(Failure failure)
{
    if (m_result != Result::Running) return;
    m_inet.cancel();
    m_part.reset(); // removes the partial file
    m_failure = failure;
    m_result = Result::Failed;
    note(QStringLiteral("Error downloading file"));
    emit finished(m_result);
}

void KetbookDownload::reject(const QString &why)
{
    if (m_result != Result::Running) return;
    m_inet.cancel();
    m_part.reset();
    m_failure = m_inet.failure();
    m_result = Result::Rejected;
    m_rejection = why;
    note(why);
    emit finished(m_result);
}

void KetbookDownload::cancel()
{
    if (m_result != Result::Running) return;
    m_result = Result::Cancelled;
    m_inet.cancel();
    m_part.reset();
}

} // namespace tv
