#include "ProgramFolder.h"

#include <QCoreApplication>
#include <QDir>

namespace tv {

namespace {
QString &overrideFolder()
{
    static QString folder;
    return folder;
}
} // namespace

QString programFolder()
{
    if (!overrideFolder().isEmpty()) return overrideFolder();
    return QCoreApplication::applicationDirPath();
}

void setProgramFolder(const QString &folder)
{
    overrideFolder() = folder.isEmpty() ? QString() : QDir::cleanPath(QDir(folder).absolutePath());
}

QString programPath(const QString &name)
{
    return programFolder() + QLatin1Char('/') + name;
}

} // namespace tv
