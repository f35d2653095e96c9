#include "Database.h"

#include "common/AppError.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>

namespace tv {

const char *const kCreateItemsSql = "CREATE TABLE Items (\n"
                                    "  ItemDesc   TEXT COLLATE NOCASE,\n"
                                    "  ItemNum    TEXT COLLATE NOCASE,\n"
                                    "  ItemCnt    INTEGER,\n"
                                    "  ItemCst    INTEGER,\n"
                                    "  TotItemCst INTEGER,\n"
                                    "  Image      TEXT,\n"
                                    "  InvNum     TEXT COLLATE NOCASE,\n"
                                    "  Vendor     TEXT COLLATE NOCASE,\n"
                                    "  InvDate    TEXT\n"
                                    ")";

const QStringList &itemColumnNames()
{
    static const QStringList names{
        QStringLiteral("ItemDesc"), QStringLiteral("ItemNum"),    QStringLiteral("ItemCnt"),
        QStringLiteral("ItemCst"),  QStringLiteral("TotItemCst"), QStringLiteral("Image"),
        QStringLiteral("InvNum"),   QStringLiteral("Vendor"),     QStringLiteral("InvDate")};
    return names;
}

namespace {
// The engine's own words; the driver's ("Unable to fetch row") only when the engine gave none.
[[noreturn]] void throwEngineError(const QSqlError &error)
{
    QString text = error.databaseText().trimmed();
    if (text.isEmpty()) text = error.driverText().trimmed();
    throw AppError(Err::DatabaseError, text.isEmpty() ? errorDescription(Err::DatabaseError) : text);
}
} // namespace

void throwSqlError(const QSqlQuery &query)
{
    throwEngineError(query.lastError());
}

void throwSqlError(const QSqlDatabase &db)
{
    throwEngineError(db.lastError());
}

namespace {

void execOrThrow(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery q(db);
    if (!q.exec(sql)) throwSqlError(q);
}

// Lets go of the connection, which the caller no longer holds, and throws.
[[noreturn]] void failOpen(const QString &connectionName, const AppError &error)
{
    QSqlDatabase::database(connectionName, false).close();
    QSqlDatabase::removeDatabase(connectionName);
    throw error;
}

} // namespace

QSqlDatabase openDatabase(const QString &path, const QString &connectionName, bool readOnly)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw AppError(Err::DatabaseError, QStringLiteral("Could not find file '%1'.").arg(path));
    if (!info.isFile() || !info.isReadable())
        throw AppError(
            Err::DatabaseError,
            QStringLiteral("Tallyvane cannot read the database '%1'. Check that it is a file and that you "
                           "may read it.")
                .arg(path));
    if (!readOnly && (!info.isWritable() || !QFileInfo(info.absolutePath()).isWritable()))
        throw AppError(Err::DatabaseError,
                       QStringLiteral("The database '%1' is read-only: it cannot be changed. Make the file "
                                      "and its folder writable and start Tallyvane again.")
                           .arg(path));

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    // A URI with an explicit mode keeps the driver from creating a missing file.
    QString uri = QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded);
    uri += readOnly ? QStringLiteral("?mode=ro") : QStringLiteral("?mode=rw");
    db.setDatabaseName(uri);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000") +
                         (readOnly ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
    if (!db.open()) {
        const AppError error(Err::DatabaseError,
                             QStringLiteral("Could not open '%1': %2").arg(path, db.lastError().databaseText()));
        db = QSqlDatabase();
        failOpen(connectionName, error);
    }
    try {
        verifyDatabase(db, path);
        if (!readOnly) {
            execOrThrow(db, QStringLiteral("PRAGMA journal_mode=DELETE"));
            execOrThrow(db, QStringLiteral("PRAGMA synchronous=FULL"));
            // A write lock that cannot be had now means another program holds the file.
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("BEGIN IMMEDIATE")))
                throw AppError(Err::DatabaseError,
                               QStringLiteral("Could not use '%1'; file already in use.").arg(path));
            q.exec(QStringLiteral("ROLLBACK"));
        }
    } catch (const AppError &e) {
        db = QSqlDatabase();
        failOpen(connectionName, e);
    }
    return db;
}

void verifyDatabase(QSqlDatabase &db, const QString &path, bool integrityCheck)
{
    const AppError unrecognized(Err::DatabaseError,
                                QStringLiteral("Unrecognized database format '%1'.").arg(path));
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (integrityCheck) {
        if (!q.exec(QStringLiteral("PRAGMA integrity_check")) || !q.next() ||
            q.value(0).toString() != QLatin1String("ok"))
            throw unrecognized;
        q.finish();
    }
    if (!q.exec(QStringLiteral("PRAGMA table_info(Items)"))) {
        if (q.lastError().text().contains(QLatin1String("locked")))
            throw AppError(Err::DatabaseError,
                           QStringLiteral("Could not use '%1'; file already in use.").arg(path));
        throw unrecognized;
    }
    QStringList found;
    while (q.next())
        found << q.value(1).toString();
    q.finish();
    for (const QString &column : itemColumnNames()) {
        if (!found.contains(column, Qt::CaseInsensitive))
            throw AppError(
                Err::DatabaseError,
                found.isEmpty()
                    ? QStringLiteral("Unrecognized database format '%1': it has no Items table.").arg(path)
                    : QStringLiteral("The Items table of '%1' has no column %2.").arg(path, column));
    }
}

void createEmptyDatabase(const QString &path)
{
    if (QFileInfo::exists(path)) throw AppError(Err::FileAlreadyExists);
    const QString name = QStringLiteral("tallyvane-create-%1").arg(reinterpret_cast<quintptr>(&path));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        bool ok = db.open();
        if (ok) {
            QSqlQuery q(db);
            ok = q.exec(QStringLiteral("PRAGMA journal_mode=DELETE")) &&
                 q.exec(QString::fromLatin1(kCreateItemsSql));
        }
        const QString error = ok ? QString() : db.lastError().text();
        db.close();
        if (!ok) {
            QFile::remove(path);
            QSqlDatabase::removeDatabase(name);
            throw AppError(Err::DatabaseError, error);
        }
    }
    QSqlDatabase::removeDatabase(name);
}

sqlite3 *engineHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) return nullptr;
    return *static_cast<sqlite3 *const *>(handle.data());
}

QSqlDatabase QueryConnection::database() const
{
    return QSqlDatabase::database(m_name, false);
}

QueryConnection::QueryConnection(const QString &path)
{
    static QAtomicInteger<quint64> counter;
    m_name = QStringLiteral("tallyvane-query-%1").arg(counter.fetchAndAddRelaxed(1));
    openDatabase(path, m_name, true);
}

QueryConnection::~QueryConnection()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
}

QSqlQuery QueryConnection::query(const QString &sql)
{
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.setForwardOnly(true);
    if (!q.exec(sql)) throwSqlError(q);
    return q;
}

} // namespace tv
