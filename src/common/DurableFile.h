#pragma once

#include "AppError.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <cerrno>

namespace tv {

// Replaces a whole file in one step: written under a name of its own beside the target, put on
// disk and renamed over the target once whole, so that a failure never leaves half a file and
// the earlier one stays as it was. Failures are AppErrors numbered from errno as fileError()
// numbers them (a full disk 61, a folder that may not be written 70), described as
// "<what>: <the system's reason>". Dropping the device uncommitted removes the new file unseen.
class DurableFile : public QIODevice
{
public:
    // Creates the new file, open for writing. Throws AppError.
    DurableFile(const QString &path, const QString &what);
    ~DurableFile() override;
    DurableFile(const DurableFile &) = delete;
    DurableFile &operator=(const DurableFile &) = delete;

    // The new file's own name, with the target's suffix, for writers that open files by name.
    QString temporaryPath() const;

    // Writes all of `data`. Throws AppError.
    void writeAll(const QByteArray &data);
    // Why the last write fell short (an input/output error when the system gave no reason).
    AppError writeFailure() const { return failure(m_writeErrno != 0 ? m_writeErrno : EIO); }

    // Puts the new file on disk, renames it over the target and puts the folder on disk. Throws
    // AppError.
    void commit();

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    AppError failure(int err) const;

    QString m_path;
    QString m_what;
    QByteArray m_temp;
    int m_fd = -1;
    int m_writeErrno = 0;
    bool m_committed = false;
};

} // namespace tv
