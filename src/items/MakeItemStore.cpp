#include "ItemStoreConfig.h"
#include "PgItemStore.h"

#include <QDir>

namespace tv {

// Apart from the address rules, so that reading an address does not need the file store.
std::unique_ptr<ItemStore> makeItemStore(const QString &programFolder)
{
    const QString url = databaseUrl(programFolder);
    if (url.isEmpty()) return makeFileStore(QDir(programFolder).filePath(QStringLiteral("InventoryDb.mdb")));
    const QString source = qEnvironmentVariableIsSet("TALLYVANE_DATABASE")
                               ? QStringLiteral("the TALLYVANE_DATABASE variable")
                               : QStringLiteral("Tallyvane.ini");
    return std::make_unique<PgItemStore>(parseServerUrl(url, source));
}

} // namespace tv
