#pragma once

#include "ItemHistory.h"

#include <QString>
#include <optional>
#include <vector>

struct sqlite3_context;
struct sqlite3_stmt;
struct sqlite3_value;

namespace tv {

class SqliteConnection;

// The item's values in table order from the statement's column `first` on, as the file's store
// reads them (values it cannot show are kept and marked).
void readStoredValues(sqlite3_stmt *stmt, int first, ItemRow &row);

// The history of a database file: the table ItemHistory, made with the first change, and
// triggers of this connection alone that record each change of Items in the same statement.
// Other programs see an extra table and nothing else: Items keeps its shape and no trigger is
// stored in the file.
class SqliteHistory
{
public:
    // The kind of the writes at hand; read when a trigger fires.
    SqliteHistory(const QString &kind, const std::optional<qint64> &undoes);

    // Lets the connection's triggers ask who changes what.
    void attach(SqliteConnection &connection);
    // Within a write transaction: the table and this connection's triggers, when not made yet.
    // `added`: Items has the columns added when first needed, and so must the history then.
    void prepare(SqliteConnection &connection, bool added);
    // After a rollback: the table may be gone again.
    void forget() { m_prepared = false; }

    bool exists(SqliteConnection &connection) const;
    std::vector<HistoryEntry> read(SqliteConnection &connection, const HistoryQuery &query) const;
    // Within a prepared write transaction; returns the key of the row it wrote.
    qint64 undo(SqliteConnection &connection, const HistoryEntry &entry, bool added) const;

private:
    static void changeFunction(sqlite3_context *context, int argc, sqlite3_value **argv);

    const QString &m_kind;
    const std::optional<qint64> &m_undoes;
    QByteArray m_user, m_workstation;
    bool m_prepared = false;
    bool m_added = false; // the triggers record the columns added when first needed
};

} // namespace tv
