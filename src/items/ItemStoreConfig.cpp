#include "ItemStoreConfig.h"

#include "PgItemStore.h"
#include "common/AppError.h"

#include <QDir>
#include <QSettings>
#include <QUrl>

namespace tv {

namespace {
const char *const kEnvironment = "TALLYVANE_DATABASE";
}

QString ServerAddress::url() const
{
    QUrl u;
    u.setScheme(QStringLiteral("postgresql"));
    u.setUserName(user);
    u.setHost(host);
    u.setPort(port);
    u.setPath(QLatin1Char('/') + database);
    return u.toString();
}

QString databaseDescription(const ItemStore &store)
{
    return store.isFile() ? QStringLiteral("the file ") + QDir::toNativeSeparators(store.location())
                          : QStringLiteral("the server ") + store.location();
}

QString databaseUrl(const QString &programFolder)
{
    if (qEnvironmentVariableIsSet(kEnvironment)) return qEnvironmentVariable(kEnvironment).trimmed();
    const QSettings ini(QDir(programFolder).filePath(QStringLiteral("Tallyvane.ini")), QSettings::IniFormat);
    return ini.value(QStringLiteral("Database/Server")).toString().trimmed();
}

ServerAddress parseServerUrl(const QString &url, const QString &source)
{
    const auto malformed = [&](const QString &why) {
        return AppError(Err::DatabaseError,
                        QStringLiteral("The database address '%1' in %2 cannot be used: %3. Write it as "
                                       "postgresql://USER@HOST:PORT/DBNAME.")
                            .arg(url, source, why));
    };
    const QUrl u(url, QUrl::StrictMode);
    if (!u.isValid()) throw malformed(QStringLiteral("it is not a valid address"));
    if (u.scheme() != QLatin1String("postgresql") && u.scheme() != QLatin1String("postgres"))
        throw malformed(QStringLiteral("it does not start with postgresql://"));
    if (!u.password().isEmpty())
        throw AppError(Err::DatabaseError,
                       QStringLiteral("The database address in %1 holds a password. Remove it from there and "
                                      "keep it in ~/.pgpass or the PGPASSWORD variable instead.")
                           .arg(source));
    if (u.host().isEmpty()) throw malformed(QStringLiteral("it names no server"));
    QString database = u.path();
    if (database.startsWith(QLatin1Char('/'))) database.remove(0, 1);
    if (database.isEmpty() || database.contains(QLatin1Char('/')))
        throw malformed(QStringLiteral("it names no database after the server"));
    if (u.hasQuery() || u.hasFragment())
        throw malformed(QStringLiteral("it has options this program does not read"));
    ServerAddress a;
    a.user = u.userName();
    a.host = u.host();
    a.port = u.port(5432);
    a.database = database;
    return a;
}

std::unique_ptr<ItemStore> makeItemStore(const QString &programFolder)
{
    const QString url = databaseUrl(programFolder);
    if (url.isEmpty()) return makeFileStore(QDir(programFolder).filePath(QStringLiteral("InventoryDb.mdb")));
    const QString source = qEnvironmentVariableIsSet(kEnvironment)
                               ? QStringLiteral("the TALLYVANE_DATABASE variable")
                               : QStringLiteral("Tallyvane.ini");
    return std::make_unique<PgItemStore>(parseServerUrl(url, source));
}

} // namespace tv
