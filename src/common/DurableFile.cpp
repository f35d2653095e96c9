#include "DurableFile.h"

#include "FileError.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tv {

DurableFile::DurableFile(const QString &path, const QString &what) : m_path(path), m_what(what)
{
    // Hidden beside the target, with its suffix, so that a writer choosing the format by the
    // name (a PDF printer) writes the same kind of file.
    const QFileInfo info(path);
    const QByteArray suffix =
        info.suffix().isEmpty() ? QByteArray() : QFile::encodeName(QLatin1Char('.') + info.suffix());
    m_temp =
        QFile::encodeName(info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX")) +
        suffix;
    m_fd = ::mkostemps(m_temp.data(), static_cast<int>(suffix.size()), O_CLOEXEC);
    if (m_fd < 0) throw failure(errno);
    // mkostemps makes the file private; the new file gets the earlier one's permissions, or
    // those of an ordinary new file.
    struct stat earlier
    {
    };
    mode_t mode = 0;
    if (::stat(QFile::encodeName(path).constData(), &earlier) == 0 && S_ISREG(earlier.st_mode)) {
        mode = earlier.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(m_fd, mode);
    QIODevice::open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

DurableFile::~DurableFile()
{
    if (m_fd >= 0) ::close(m_fd);
    if (!m_committed) ::unlink(m_temp.constData());
}

QString DurableFile::temporaryPath() const
{
    return QFile::decodeName(m_temp);
}

AppError DurableFile::failure(int err) const
{
    return fileError(err, m_what);
}

void DurableFile::writeAll(const QByteArray &data)
{
    if (write(data) != data.size()) throw writeFailure();
}

qint64 DurableFile::writeData(const char *data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_fd, data + done, static_cast<size_t>(size - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            m_writeErrno = errno;
            return -1;
        }
        done += n;
    }
    return done;
}

void DurableFile::commit()
{
    // A writer that failed without a system error of its own (an encoder refusing) still fails.
    if (m_writeErrno != 0) throw writeFailure();
    if (::fsync(m_fd) != 0) throw failure(errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) throw failure(errno);
    if (::rename(m_temp.constData(), QFile::encodeName(m_path).constData()) != 0) throw failure(errno);
    m_committed = true;
    QIODevice::close();
    // The rename is only an entry in the folder until the folder itself is on disk.
    const int dir = ::open(QFile::encodeName(QFileInfo(m_path).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) throw failure(errno);
    const int synced = ::fsync(dir);
    const int err = errno;
    ::close(dir);
    if (synced != 0) throw failure(err);
}

} // namespace tv
