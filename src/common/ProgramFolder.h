#pragma once

#include <QString>

namespace tv {

// The folder of the running executable, where the database, tips, report, backup and both
// programs live. Tests point it at a temporary folder with setProgramFolder().
QString programFolder();
void setProgramFolder(const QString &folder); // empty: back to the executable's folder

// programFolder() + "/" + name
QString programPath(const QString &name);

// The item database in the program folder.
inline QString databasePath()
{
    return programPath(QStringLiteral("InventoryDb.mdb"));
}

} // namespace tv
