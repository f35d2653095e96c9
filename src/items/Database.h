#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

struct sqlite3;

namespace tv {

// The table every stored Tallyvane file has; other tools and older files rely on it as it stands.
extern const char *const kCreateItemsSql;

// Columns of Items in table order.
const QStringList &itemColumnNames();

// Opens an existing Tallyvane database under a connection of the given name. Never creates a
// missing file. Throws AppError with a clear description when the file is missing, not a
// database, not of this shape, read-only (unless readOnly is asked for) or locked.
QSqlDatabase openDatabase(const QString &path, const QString &connectionName, bool readOnly = false);

// Throws AppError unless the open database passes SQLite's integrity check and holds the
// Items table with all its columns.
void verifyDatabase(QSqlDatabase &db, const QString &path, bool integrityCheck = false);

// Creates a new, empty Tallyvane database; fails if the file already exists.
void createEmptyDatabase(const QString &path);

// AppError for a failed statement, with the engine's text as the description.
[[noreturn]] void throwSqlError(const QSqlQuery &query);
[[noreturn]] void throwSqlError(const QSqlDatabase &db);

// The engine's own handle under a connection, for reading large tables without a value object
// per cell; nullptr when the driver is not SQLite.
sqlite3 *engineHandle(const QSqlDatabase &db);

// A short-lived, read-only connection for one operation (pick lists, report): opened when
// made, closed and released when it goes out of scope.
class QueryConnection
{
public:
    explicit QueryConnection(const QString &path);
    ~QueryConnection();
    QueryConnection(const QueryConnection &) = delete;
    QueryConnection &operator=(const QueryConnection &) = delete;

    // A forward-only query already executed; throws AppError on failure.
    QSqlQuery query(const QString &sql);
    QSqlDatabase database() const;

private:
    QString m_name;
};

} // namespace tv
