#include "SqliteHistory.h"

#include "ItemColumns.h"
#include "SqliteConnection.h"

#include <sqlite3.h>
#include <string>

namespace tv {

namespace {

// What tallyvane_change(n) answers.
enum Asked { AskUser, AskWorkstation, AskKind, AskUndoes };

// "OldItemDesc, OldItemNum, ..." or "new.ItemDesc, new.ItemNum, ..."; the columns added when first
// needed only when `added`, else (for `nullWhenMissing`) a NULL in their place.
std::string columns(const char *prefix, bool added = true, bool nullWhenMissing = false)
{
    std::string out;
    for (const ColumnInfo &c : kColumns) {
        if (c.addedLater && !added && !nullWhenMissing) continue;
        if (!out.empty()) out += ", ";
        if (c.addedLater && !added) {
            out += "NULL";
            continue;
        }
        out += prefix;
        out += c.name;
    }
    return out;
}

const char *const kEntryColumns =
    "EntryId, ChangedAt, ChangedBy, Workstation, Change, Action, ItemKey, Undoes";
constexpr int kOldAt = 8; // where the old values start in a select of kEntryColumns, old, new
constexpr int kNewAt = kOldAt + kColumnCount;

std::string createTableSql(bool added)
{
    // Values without a declared type are kept exactly as Items held them: texts stay texts, a
    // number's text is not turned into a number.
    std::string sql = "CREATE TABLE IF NOT EXISTS ItemHistory (\n"
                      "  EntryId INTEGER PRIMARY KEY,\n"
                      "  ChangedAt TEXT NOT NULL,\n"
                      "  ChangedBy TEXT NOT NULL,\n"
                      "  Workstation TEXT NOT NULL,\n"
                      "  Change TEXT NOT NULL,\n"
                      "  Action TEXT NOT NULL,\n"
                      "  ItemKey INTEGER NOT NULL,\n"
                      "  Undoes INTEGER";
    for (const char *prefix : {"Old", "New"})
        for (const ColumnInfo &c : kColumns)
            if (added || !c.addedLater) sql += std::string(",\n  ") + prefix + c.name;
    return sql + "\n)";
}

// One trigger of this connection: the entry is written by the same statement as the change.
std::string triggerSql(const char *event, const char *action, const char *defaultKind, bool added)
{
    const bool hasOld = std::string_view(event) != "INSERT";
    const bool hasNew = std::string_view(event) != "DELETE";
    std::string sql = std::string("CREATE TEMP TRIGGER IF NOT EXISTS tallyvane_history_") + action +
                      " AFTER " + event + " ON main.Items";
    if (hasOld && hasNew) {
        // A save that wrote the same values changes nothing worth a line. Letter case counts.
        sql += " WHEN ";
        bool first = true;
        for (const ColumnInfo &c : kColumns) {
            if (c.addedLater && !added) continue;
            sql += first ? "" : " OR ";
            sql += std::string("old.") + c.name + " IS NOT new." + c.name + " COLLATE BINARY";
            first = false;
        }
    }
    sql +=
        " BEGIN INSERT INTO ItemHistory (ChangedAt, ChangedBy, Workstation, Change, Action, ItemKey, Undoes";
    if (hasOld) sql += ", " + columns("Old", added);
    if (hasNew) sql += ", " + columns("New", added);
    sql += std::string(") VALUES (strftime('%Y-%m-%dT%H:%M:%fZ', 'now'), tallyvane_change(0), "
                       "tallyvane_change(1), coalesce(tallyvane_change(2), '") +
           defaultKind + "'), '" + action + "', " + (hasNew ? "new" : "old") + ".rowid, tallyvane_change(3)";
    if (hasOld) sql += ", " + columns("old.", added);
    if (hasNew) sql += ", " + columns("new.", added);
    return sql + "); END";
}

RowAction actionOf(std::string_view text)
{
    if (text == "insert") return RowAction::Insert;
    if (text == "delete") return RowAction::Delete;
    return RowAction::Update;
}

QString textAt(sqlite3_stmt *s, int at)
{
    const auto *utf8 = reinterpret_cast<const char *>(sqlite3_column_text(s, at));
    return QString::fromUtf8(utf8 ? utf8 : "", sqlite3_column_bytes(s, at));
}

HistoryEntry entryAt(sqlite3_stmt *s)
{
    HistoryEntry e;
    e.id = sqlite3_column_int64(s, 0);
    e.at = QDateTime::fromString(textAt(s, 1), Qt::ISODateWithMs);
    e.by = textAt(s, 2);
    e.workstation = textAt(s, 3);
    e.kind = textAt(s, 4);
    e.action = actionOf(textAt(s, 5).toStdString());
    e.itemKey = sqlite3_column_int64(s, 6);
    if (sqlite3_column_type(s, 7) != SQLITE_NULL) e.undoes = sqlite3_column_int64(s, 7);
    if (e.action != RowAction::Insert) {
        e.before.emplace();
        readStoredValues(s, kOldAt, *e.before);
    }
    if (e.action != RowAction::Delete) {
        e.after.emplace();
        readStoredValues(s, kNewAt, *e.after);
    }
    return e;
}

bool rowExists(SqliteConnection &c, qint64 key)
{
    SqliteStatement s(c, "SELECT 1 FROM Items WHERE rowid = ?");
    s.bind(1, key);
    return s.step();
}

} // namespace

SqliteHistory::SqliteHistory(const QString &kind, const std::optional<qint64> &undoes)
    : m_kind(kind), m_undoes(undoes), m_user(loginName().toUtf8()), m_workstation(workstationName().toUtf8())
{
}

void SqliteHistory::changeFunction(sqlite3_context *context, int, sqlite3_value **argv)
{
    const auto *self = static_cast<const SqliteHistory *>(sqlite3_user_data(context));
    const auto text = [context](const QByteArray &bytes) {
        sqlite3_result_text(context, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
    };
    switch (sqlite3_value_int(argv[0])) {
    case AskUser:
        return text(self->m_user);
    case AskWorkstation:
        return text(self->m_workstation);
    case AskKind:
        if (self->m_kind.isEmpty()) return sqlite3_result_null(context);
        return text(self->m_kind.toUtf8());
    case AskUndoes:
        if (!self->m_undoes) return sqlite3_result_null(context);
        return sqlite3_result_int64(context, *self->m_undoes);
    default:
        return sqlite3_result_null(context);
    }
}

void SqliteHistory::attach(SqliteConnection &connection)
{
    m_prepared = false;
    if (sqlite3_create_function_v2(connection.handle(), "tallyvane_change", 1, SQLITE_UTF8, this,
                                   &SqliteHistory::changeFunction, nullptr, nullptr, nullptr) != SQLITE_OK)
        connection.fail();
}

void SqliteHistory::prepare(SqliteConnection &connection, bool added)
{
    if (m_prepared && m_added == added) return;
    connection.exec(createTableSql(added).c_str());
    // A history made before the item had these columns gets them too (its older entries hold NULL).
    if (added)
        for (const char *prefix : {"Old", "New"})
            for (const ColumnInfo &c : kColumns)
                if (c.addedLater &&
                    !connection.hasColumn("ItemHistory", (prefix + std::string(c.name)).c_str()))
                    connection.exec(
                        (std::string("ALTER TABLE ItemHistory ADD COLUMN ") + prefix + c.name).c_str());
    connection.exec("CREATE INDEX IF NOT EXISTS ItemHistoryByItem ON ItemHistory (ItemKey, EntryId)");
    connection.exec("CREATE INDEX IF NOT EXISTS ItemHistoryByUndo ON ItemHistory (Undoes) "
                    "WHERE Undoes IS NOT NULL");
    for (const char *action : {"insert", "update", "delete"})
        connection.exec((std::string("DROP TRIGGER IF EXISTS temp.tallyvane_history_") + action).c_str());
    connection.exec(triggerSql("INSERT", "insert", "added", added).c_str());
    connection.exec(triggerSql("UPDATE", "update", "changed", added).c_str());
    connection.exec(triggerSql("DELETE", "delete", "deleted", added).c_str());
    m_prepared = true;
    m_added = added;
}

bool SqliteHistory::exists(SqliteConnection &connection) const
{
    SqliteStatement s(connection,
                      "SELECT 1 FROM main.sqlite_master WHERE type = 'table' AND name = 'ItemHistory'");
    return s.step();
}

std::vector<HistoryEntry> SqliteHistory::read(SqliteConnection &connection, const HistoryQuery &query) const
{
    std::vector<HistoryEntry> out;
    if (query.limit <= 0 || !exists(connection)) return out;
    // Entries of a history made before the columns added later read NULL for them.
    const bool added = connection.hasColumn("ItemHistory", "NewReorderLevel") &&
                       connection.hasColumn("ItemHistory", "NewReorderQty");
    std::string sql = std::string("SELECT ") + kEntryColumns + ", " + columns("Old", added, true) + ", " +
                      columns("New", added, true) + " FROM ItemHistory WHERE 1";
    if (query.itemKey) sql += " AND ItemKey = ?1";
    if (query.undoes) sql += " AND Undoes = ?2";
    if (query.olderThan) sql += " AND EntryId < ?3";
    if (query.newerThan) sql += " AND EntryId > ?4";
    if (!query.filter.isEmpty())
        sql += " AND (coalesce(NewItemDesc, OldItemDesc) LIKE ?5 ESCAPE '\\' OR coalesce(NewItemNum, "
               "OldItemNum) LIKE ?5 ESCAPE '\\' OR ChangedBy LIKE ?5 ESCAPE '\\' OR Workstation LIKE ?5 "
               "ESCAPE '\\' OR Change LIKE ?5 ESCAPE '\\')";
    sql += query.oldestFirst ? " ORDER BY EntryId LIMIT ?6" : " ORDER BY EntryId DESC LIMIT ?6";
    SqliteStatement s(connection, sql);
    if (query.itemKey) s.bind(1, query.itemKey);
    if (query.undoes) s.bind(2, query.undoes);
    if (query.olderThan) s.bind(3, query.olderThan);
    if (query.newerThan) s.bind(4, query.newerThan);
    if (!query.filter.isEmpty()) {
        QString pattern = query.filter;
        pattern.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('%'), QStringLiteral("\\%"))
            .replace(QLatin1Char('_'), QStringLiteral("\\_"));
        s.bind(5, QLatin1Char('%') + pattern + QLatin1Char('%'));
    }
    s.bind(6, std::optional<qint64>(query.limit));
    while (s.step())
        out.push_back(entryAt(s.get()));
    return out;
}

qint64 SqliteHistory::undo(SqliteConnection &c, const HistoryEntry &entry, bool added) const
{
    const std::string from = " FROM ItemHistory WHERE EntryId = ?1";
    switch (entry.action) {
    case RowAction::Insert: {
        if (!rowExists(c, entry.itemKey))
            throw AppError(Err::DatabaseError,
                           QStringLiteral("The item this change added is no longer there, so there is "
                                          "nothing to undo."));
        SqliteStatement s(c, "DELETE FROM Items WHERE rowid = ?");
        s.bind(1, entry.itemKey);
        s.step();
        return entry.itemKey;
    }
    case RowAction::Delete: {
        // Every value back exactly as it was stored, as a new row.
        SqliteStatement s(c, "INSERT INTO Items (" + columns("", added) + ") SELECT " +
                                 columns("Old", added) + from);
        s.bind(1, entry.id);
        s.step();
        return sqlite3_last_insert_rowid(c.handle());
    }
    case RowAction::Update:
        break;
    }
    if (!rowExists(c, entry.itemKey))
        throw AppError(Err::DatabaseError,
                       QStringLiteral("The item of this change was deleted since. Undo its deletion first."));
    std::string sets;
    for (const ColumnInfo &col : kColumns) {
        if (col.addedLater && !added) continue;
        if (!sets.empty()) sets += ", ";
        // Only the fields this save changed get their old values; the others stay as they are.
        sets += std::string(col.name) + " = (SELECT CASE WHEN Old" + col.name + " IS NOT New" + col.name +
                " THEN Old" + col.name + " ELSE Items." + col.name + " END" + from + ")";
    }
    SqliteStatement s(c, "UPDATE Items SET " + sets + " WHERE rowid = ?2");
    s.bind(1, entry.id);
    s.bind(2, entry.itemKey);
    s.step();
    return entry.itemKey;
}

} // namespace tv
