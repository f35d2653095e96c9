#include "FileError.h"

#include <cerrno>
#include <cstring>

namespace tv {

namespace {
constexpr int kDeviceIoError = 57;

int numberFor(int err)
{
    switch (err) {
    case ENOENT:
        return Err::FileNotFound;
    case ENOTDIR:
        return Err::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return Err::PermissionDenied;
    case EEXIST:
        return Err::FileAlreadyExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return Err::DiskFull;
    case EIO:
        return kDeviceIoError;
    default:
        return Err::PathFileAccess;
    }
}
} // namespace

AppError fileError(int err, const QString &what)
{
    return AppError(numberFor(err),
                    QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(err))));
}

} // namespace tv
