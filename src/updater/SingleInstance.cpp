#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>

namespace tv {

std::unique_ptr<QLockFile> claimUpdaterInstance(const QString &programFolder)
{
    // One lock per installation, outside the program folder so that nothing is left in it.
    const QByteArray key =
        QCryptographicHash::hash(QDir::cleanPath(QDir(programFolder).absolutePath()).toUtf8(),
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    auto lock = std::make_unique<QLockFile>(QDir::temp().filePath(
        QStringLiteral("updaterKetbook-") + QString::fromLatin1(key) + QStringLiteral(".lock")));
    lock->setStaleLockTime(0); // a lock is stale only when its process is gone
    if (!lock->tryLock(0)) return nullptr;
    return lock;
}

} // namespace tv
