#include "SqliteStocktake.h"

#include "ItemHistory.h"
#include "SqliteConnection.h"

#include <sqlite3.h>

namespace tv {

namespace {

std::optional<qint64> numberAt(sqlite3_stmt *s, int column)
{
    if (sqlite3_column_type(s, column) != SQLITE_INTEGER) return std::nullopt;
    return sqlite3_column_int64(s, column);
}

QString textAt(sqlite3_stmt *s, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(s, column));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(s, column)) : QString();
}

bool hasTables(SqliteConnection &c)
{
    SqliteStatement s(c, "select 1 from sqlite_master where type = 'table' and name = 'StocktakeItem'");
    return s.step();
}

void requireStocktake(SqliteConnection &c, qint64 id)
{
    if (!hasTables(c)) throw AppError(Err::DatabaseError, stocktakeEndedText());
    SqliteStatement s(c, "select 1 from Stocktake where Id = ?");
    s.bind(1, id);
    if (!s.step()) throw AppError(Err::DatabaseError, stocktakeEndedText());
}

StocktakeLine lineAt(sqlite3_stmt *s)
{
    StocktakeLine line;
    line.itemKey = sqlite3_column_int64(s, 0);
    line.atStart = numberAt(s, 1);
    line.counted = numberAt(s, 2);
    line.countedAgainst = numberAt(s, 3);
    line.countedBy = textAt(s, 4);
    return line;
}

} // namespace

namespace SqliteStocktake {

std::optional<StocktakeInfo> current(SqliteConnection &c)
{
    if (!hasTables(c)) return std::nullopt;
    SqliteStatement s(c, "select Id, StartedAt, StartedBy, Workstation, Revision from Stocktake "
                         "order by Id limit 1");
    if (!s.step()) return std::nullopt;
    StocktakeInfo info;
    info.id = sqlite3_column_int64(s.get(), 0);
    info.startedAt = QDateTime::fromString(textAt(s.get(), 1), Qt::ISODateWithMs);
    info.startedBy = textAt(s.get(), 2);
    info.workstation = textAt(s.get(), 3);
    info.revision = sqlite3_column_int64(s.get(), 4);
    return info;
}

StocktakeInfo start(SqliteConnection &c)
{
    if (auto running = current(c)) return *running; // another copy started it first: counted together
    c.exec("CREATE TABLE IF NOT EXISTS Stocktake (Id INTEGER PRIMARY KEY, StartedAt TEXT NOT NULL, "
           "StartedBy TEXT NOT NULL, Workstation TEXT NOT NULL, Revision INTEGER NOT NULL DEFAULT 0)");
    c.exec("CREATE TABLE IF NOT EXISTS StocktakeItem (Stocktake INTEGER NOT NULL, ItemKey INTEGER NOT NULL, "
           "AtStart, Counted INTEGER, CountedAgainst, CountedBy TEXT, PRIMARY KEY (Stocktake, ItemKey))");
    const QDateTime now = QDateTime::currentDateTimeUtc();
    {
        SqliteStatement s(c, "insert into Stocktake (StartedAt, StartedBy, Workstation) values (?, ?, ?)");
        s.bind(1, now.toString(Qt::ISODateWithMs));
        s.bind(2, loginName());
        s.bind(3, workstationName());
        s.step();
    }
    const qint64 id = sqlite3_last_insert_rowid(c.handle());
    {
        SqliteStatement s(c, "insert into StocktakeItem (Stocktake, ItemKey, AtStart) "
                             "select ?, rowid, ItemCnt from Items");
        s.bind(1, id);
        s.step();
    }
    return {id, now, loginName(), workstationName(), 0};
}

std::vector<StocktakeLine> lines(SqliteConnection &c, qint64 id)
{
    std::vector<StocktakeLine> out;
    if (!hasTables(c)) return out;
    SqliteStatement s(c, "select ItemKey, AtStart, Counted, CountedAgainst, CountedBy from StocktakeItem "
                         "where Stocktake = ? order by ItemKey");
    s.bind(1, id);
    while (s.step())
        out.push_back(lineAt(s.get()));
    return out;
}

StocktakeLine count(SqliteConnection &c, qint64 id, qint64 itemKey, std::optional<qint64> quantity, bool add)
{
    requireStocktake(c, id);
    // Relative to what is stored, in one statement: two workstations counting the same shelf
    // both count.
    {
        SqliteStatement s(c, add ? "insert into StocktakeItem (Stocktake, ItemKey, Counted, CountedAgainst, "
                                   "CountedBy) values (?1, ?2, ?3, (select ItemCnt from Items where rowid "
                                   "= ?2), ?4) on conflict (Stocktake, ItemKey) do update set Counted = "
                                   "coalesce(Counted, 0) + excluded.Counted, CountedAgainst = "
                                   "excluded.CountedAgainst, CountedBy = excluded.CountedBy"
                                 : "insert into StocktakeItem (Stocktake, ItemKey, Counted, CountedAgainst, "
                                   "CountedBy) values (?1, ?2, ?3, (select ItemCnt from Items where rowid "
                                   "= ?2), ?4) on conflict (Stocktake, ItemKey) do update set Counted = "
                                   "excluded.Counted, CountedAgainst = excluded.CountedAgainst, CountedBy "
                                   "= excluded.CountedBy");
        s.bind(1, id);
        s.bind(2, itemKey);
        s.bind(3, quantity);
        s.bind(4, loginName());
        s.step();
    }
    {
        SqliteStatement s(c, "update Stocktake set Revision = Revision + 1 where Id = ?");
        s.bind(1, id);
        s.step();
    }
    SqliteStatement s(c, "select ItemKey, AtStart, Counted, CountedAgainst, CountedBy from StocktakeItem "
                         "where Stocktake = ? and ItemKey = ?");
    s.bind(1, id);
    s.bind(2, itemKey);
    if (!s.step()) throw AppError(Err::DatabaseError, stocktakeEndedText());
    return lineAt(s.get());
}

void end(SqliteConnection &c, qint64 id, StocktakeEnd how)
{
    requireStocktake(c, id);
    if (how != StocktakeEnd::Discard) {
        // A count taken while the shop was open is moved on by the sales and receipts saved since:
        // the stored count changes by what the count found missing or extra.
        std::string sql =
            "update Items set ItemCnt = n.Cnt, TotItemCst = case when typeof(Items.ItemCst) in ('integer', "
            "'null') then n.Cnt * Items.ItemCst else Items.TotItemCst end from (select s.ItemKey as ItemKey, "
            "case when typeof(i.ItemCnt) = 'integer' and typeof(s.CountedAgainst) = 'integer' then max(0, "
            "i.ItemCnt + s.Counted - s.CountedAgainst) else s.Counted end as Cnt from StocktakeItem s join "
            "Items i on i.rowid = s.ItemKey where s.Stocktake = ?1 and s.Counted is not null";
        if (how == StocktakeEnd::SetCountedAndZeroRest)
            sql += " union all select rowid, 0 from Items where rowid not in (select ItemKey from "
                   "StocktakeItem where Stocktake = ?1 and Counted is not null)";
        sql += ") n where Items.rowid = n.ItemKey and Items.ItemCnt is not n.Cnt";
        SqliteStatement s(c, sql);
        s.bind(1, id);
        s.step();
    }
    SqliteStatement lines(c, "delete from StocktakeItem where Stocktake = ?");
    lines.bind(1, id);
    lines.step();
    SqliteStatement head(c, "delete from Stocktake where Id = ?");
    head.bind(1, id);
    head.step();
}

} // namespace SqliteStocktake

} // namespace tv
