#include "SqliteConnection.h"

#include "ItemColumns.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <sqlite3.h>
#include <string>

namespace tv {

namespace {
constexpr int kBusyWaitMs = 2000;

AppError dbError(const QString &text)
{
    return AppError(Err::DatabaseError, text.isEmpty() ? errorDescription(Err::DatabaseError) : text);
}

void checkFile(const QString &path, bool writable)
{
    const QFileInfo info(path);
    if (!info.exists()) throw dbError(QStringLiteral("Could not find file '%1'.").arg(path));
    if (!info.isFile() || !info.isReadable())
        throw dbError(
            QStringLiteral("Tallyvane cannot read the database '%1'. Check that it is a file and that you "
                           "may read it.")
                .arg(path));
    if (writable && (!info.isWritable() || !QFileInfo(info.absolutePath()).isWritable()))
        throw dbError(QStringLiteral("The database '%1' is read-only: it cannot be changed. Make the file "
                                     "and its folder writable and start Tallyvane again.")
                          .arg(path));
}
} // namespace

SqliteConnection::SqliteConnection(const QString &path, Access access) : m_path(path)
{
    if (access != Access::Unchecked) checkFile(path, access == Access::ReadWrite);
    // Without SQLITE_OPEN_CREATE a missing file stays missing; without SQLITE_OPEN_URI a name is
    // only a name.
    const int flags =
        (access == Access::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(QFile::encodeName(QFileInfo(path).absoluteFilePath()).constData(), &m_db,
                                   flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString why = m_db ? errorText() : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw dbError(access == Access::Unchecked ? QStringLiteral("Could not lock '%1': %2").arg(path, why)
                                                  : QStringLiteral("Could not open '%1': %2").arg(path, why));
    }
    if (access == Access::Unchecked) return;
    sqlite3_busy_timeout(m_db, kBusyWaitMs);
    try {
        verify();
        if (access == Access::ReadWrite) {
            exec("PRAGMA journal_mode=DELETE");
            exec("PRAGMA synchronous=FULL");
            // A write lock that cannot be had now means another program holds the file.
            if (!tryExec("BEGIN IMMEDIATE")) throw inUse();
            exec("ROLLBACK");
        }
    } catch (...) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw;
    }
}

SqliteConnection::~SqliteConnection()
{
    // An open transaction is rolled back; statements still open are finalized by their owners.
    sqlite3_close_v2(m_db);
}

QString SqliteConnection::errorText() const
{
    return QString::fromUtf8(sqlite3_errmsg(m_db)).trimmed();
}

void SqliteConnection::fail() const
{
    throw dbError(errorText());
}

AppError SqliteConnection::inUse() const
{
    return dbError(QStringLiteral("Could not use '%1'; file already in use.").arg(m_path));
}

void SqliteConnection::exec(const char *sql)
{
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail();
}

bool SqliteConnection::tryExec(const char *sql)
{
    const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (rc == SQLITE_OK) return true;
    if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED) return false;
    fail();
}

void SqliteConnection::verify(bool integrityCheck)
{
    const AppError unrecognized = dbError(QStringLiteral("Unrecognized database format '%1'.").arg(m_path));
    sqlite3_stmt *raw = nullptr;
    auto finish = [&] {
        sqlite3_finalize(raw);
        raw = nullptr;
    };
    if (integrityCheck) {
        const bool ok = sqlite3_prepare_v2(m_db, "PRAGMA integrity_check", -1, &raw, nullptr) == SQLITE_OK &&
                        sqlite3_step(raw) == SQLITE_ROW &&
                        qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(raw, 0)), "ok") == 0;
        finish();
        if (!ok) throw unrecognized;
    }
    QStringList found;
    int rc = sqlite3_prepare_v2(m_db, "PRAGMA table_info(Items)", -1, &raw, nullptr);
    if (rc == SQLITE_OK) {
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW)
            found << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(raw, 1)));
        if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
    finish();
    if (rc != SQLITE_OK) {
        if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED) throw inUse();
        throw unrecognized;
    }
    for (const ColumnInfo &column : kColumns) {
        if (column.addedLater) continue;
        const QString name = QString::fromLatin1(column.name);
        if (!found.contains(name, Qt::CaseInsensitive))
            throw dbError(
                found.isEmpty()
                    ? QStringLiteral("Unrecognized database format '%1': it has no Items table.").arg(m_path)
                    : QStringLiteral("The Items table of '%1' has no column %2.").arg(m_path, name));
    }
}

bool SqliteConnection::hasColumn(const char *table, const char *column)
{
    SqliteStatement s(*this, std::string("SELECT 1 FROM pragma_table_info('") + table +
                                 "') WHERE name = ?1 COLLATE NOCASE");
    s.bind(1, QString::fromLatin1(column));
    return s.step();
}

bool SqliteConnection::hasAddedColumns()
{
    for (const ColumnInfo &column : kColumns)
        if (column.addedLater && !hasColumn("Items", column.name)) return false;
    return true;
}

SqliteStatement::SqliteStatement(SqliteConnection &connection, std::string_view sql)
    : m_connection(connection)
{
    if (sqlite3_prepare_v2(connection.handle(), sql.data(), static_cast<int>(sql.size()), &m_stmt, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        connection.fail();
    }
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_stmt);
}

bool SqliteStatement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    m_connection.fail();
}

void SqliteStatement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

void SqliteStatement::bind(int index, const QString &text)
{
    int rc;
    if (text.isNull()) {
        rc = sqlite3_bind_null(m_stmt, index);
    } else {
        const QByteArray utf8 = text.toUtf8();
        rc = sqlite3_bind_text64(m_stmt, index, utf8.constData(), static_cast<sqlite3_uint64>(utf8.size()),
                                 SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    if (rc != SQLITE_OK) m_connection.fail();
}

void SqliteStatement::bind(int index, std::optional<qint64> number)
{
    if ((number ? sqlite3_bind_int64(m_stmt, index, *number) : sqlite3_bind_null(m_stmt, index)) != SQLITE_OK)
        m_connection.fail();
}

} // namespace tv
