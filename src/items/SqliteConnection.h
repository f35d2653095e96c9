#pragma once

#include "common/AppError.h"

#include <QString>
#include <optional>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tv {

// The one way the program reaches a database file: a connection of its own, opened when made
// and closed when it goes out of scope. Never creates a missing file. Every failure is an
// AppError with a clear description: missing, not a database, not of this shape, read-only,
// locked.
class SqliteConnection
{
public:
    enum class Access {
        ReadOnly,  // reads; the file may be read-only
        ReadWrite, // reads and writes; fails at once when another program holds the file
        Unchecked, // read-write without any check or wait, for taking the engine's locks by hand
    };

    SqliteConnection(const QString &path, Access access);
    ~SqliteConnection();
    SqliteConnection(const SqliteConnection &) = delete;
    SqliteConnection &operator=(const SqliteConnection &) = delete;

    sqlite3 *handle() const { return m_db; }
    const QString &path() const { return m_path; }

    // Runs statements that return nothing; throws AppError with the engine's words.
    void exec(const char *sql);
    // The same, but false instead of an error when another connection holds the lock it needs.
    bool tryExec(const char *sql);

    // Throws AppError unless the file holds the Items table with all its columns (and, when
    // asked, passes the engine's integrity check).
    void verify(bool integrityCheck = false);

    // Whether the table has the column (without regard to case).
    bool hasColumn(const char *table, const char *column);
    // Whether Items has the columns added when first needed (ReorderLevel, ReorderQty).
    bool hasAddedColumns();

    // The engine's last words on this connection.
    QString errorText() const;
    [[noreturn]] void fail() const;
    // "file already in use"
    AppError inUse() const;

private:
    QString m_path;
    sqlite3 *m_db = nullptr;
};

// A prepared statement, finalized when it goes out of scope.
class SqliteStatement
{
public:
    SqliteStatement(SqliteConnection &connection, std::string_view sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement &) = delete;
    SqliteStatement &operator=(const SqliteStatement &) = delete;

    sqlite3_stmt *get() const { return m_stmt; }
    // True for a row, false when done; throws AppError with the engine's words.
    bool step();
    void reset();

    // Binding from 1; a null QString or an empty optional binds NULL.
    void bind(int index, const QString &text);
    void bind(int index, std::optional<qint64> number);

private:
    SqliteConnection &m_connection;
    sqlite3_stmt *m_stmt = nullptr;
};

} // namespace tv
