#include "ReleaseKey.h"

namespace tv {

namespace {
QByteArray &key()
{
    static QByteArray pem;
    return pem;
}
} // namespace

void setReleaseKey(const QByteArray &pem)
{
    key() = pem.trimmed();
}

QByteArray releaseKey()
{
    return key();
}

} // namespace tv
