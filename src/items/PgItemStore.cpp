#include "PgItemStore.h"

#include "common/AppError.h"

#include <QAtomicInteger>
#include <QEventLoop>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <libpq-fe.h>
#include <sys/socket.h>

namespace tv {

namespace {

constexpr int kFirstColumn = 2;   // after id and version
constexpr int kInsertChunk = 500; // rows per insert statement: far below the server's 65535 parameters
// Bounds on every command. The server ends a statement that runs, or waits for another
// workstation's lock, too long; a peer that is gone is noticed by keepalives and by data left
// unacknowledged; and a connection on which nothing arrives (a path that swallows everything) is
// cut by the watchdog. TALLYVANE_SERVER_TIMEOUT_MS shortens them for tests.
int statementTimeoutMs()
{
    static const int ms = [] {
        bool ok = false;
        const int v = qEnvironmentVariableIntValue("TALLYVANE_SERVER_TIMEOUT_MS", &ok);
        return ok && v > 0 ? v : 15000;
    }();
    return ms;
}
int lockTimeoutMs()
{
    return std::min(3000, statementTimeoutMs() / 2); // below the statement timeout, which would win
}
int noAnswerLimitMs()
{
    return statementTimeoutMs() + std::min(5000, statementTimeoutMs());
}
constexpr int kShowWaitingMs = 300; // a shorter wait is not worth a word on screen

qint64 nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Whether the column is in a table that has (`added`) or lacks the columns added when first needed.
bool isStored(Column c, bool added)
{
    return added || !columnInfo(c).addedLater;
}

// Every column in table order; one the table lacks reads as NULL.
QString selectColumns(bool added)
{
    QStringList names{QStringLiteral("id"), QStringLiteral("version")};
    for (int c = 0; c < kColumnCount; ++c)
        names << (isStored(Column(c), added) ? columnName(Column(c)) : QStringLiteral("NULL::bigint"));
    return names.join(QStringLiteral(", "));
}

// The columns the table has.
QString insertColumns(bool added)
{
    QStringList names;
    for (int c = 0; c < kColumnCount; ++c)
        if (isStored(Column(c), added)) names << columnName(static_cast<Column>(c));
    return names.join(QStringLiteral(", "));
}

int storedCount(bool added)
{
    return added ? kColumnCount : kBaseColumnCount;
}

QString upgradeText()
{
    return QStringLiteral("The inventory server keeps no reorder levels yet. Its owner adds them by "
                          "running the script data/postgresql/reorder.sql once.");
}

bool isMoney(Column c)
{
    return c == Column::ItemCst || c == Column::TotItemCst;
}

bool isNumber(Column c)
{
    return isMoney(c) || columnInfo(c).type == ColumnType::Count;
}

QVariant bindValue(const ItemRow &r, Column c)
{
    const QVariant v = r.value(c);
    if (isNumber(c)) {
        if (!v.isValid()) return QVariant(QMetaType::fromType<qlonglong>());
        return QVariant(static_cast<qlonglong>(isMoney(c) ? v.value<Money>().raw() : v.toLongLong()));
    }
    return v.isValid() ? v : QVariant(QMetaType::fromType<QString>());
}

QString text(const QSqlQuery &q, int i)
{
    if (q.isNull(i)) return QString();
    QString s = q.value(i).toString();
    if (s.isNull()) s = QStringLiteral(""); // an empty text is not NULL
    return s;
}

std::optional<qint64> number(const QSqlQuery &q, int i)
{
    if (q.isNull(i)) return std::nullopt;
    return q.value(i).toLongLong();
}

std::optional<Money> money(const QSqlQuery &q, int i)
{
    if (q.isNull(i)) return std::nullopt;
    return Money::fromRaw(q.value(i).toLongLong());
}

// The item's values in table order from the query's column `first` on.
void readValues(const QSqlQuery &q, int first, ItemRow &r)
{
    const auto at = [first](Column c) { return first + static_cast<int>(c); };
    r.itemDesc = text(q, at(Column::ItemDesc));
    r.itemNum = text(q, at(Column::ItemNum));
    r.itemCnt = number(q, at(Column::ItemCnt));
    r.itemCst = money(q, at(Column::ItemCst));
    r.totItemCst = money(q, at(Column::TotItemCst));
    r.image = text(q, at(Column::Image));
    r.invNum = text(q, at(Column::InvNum));
    r.vendor = text(q, at(Column::Vendor));
    r.invDate = text(q, at(Column::InvDate));
    r.reorderLevel = number(q, at(Column::ReorderLevel));
    r.reorderQty = number(q, at(Column::ReorderQty));
}

// A row of a query selecting selectColumns(m_added).
ItemRow rowOf(const QSqlQuery &q)
{
    ItemRow r;
    r.rowid = q.value(0).toLongLong();
    r.version = q.value(1).toLongLong();
    readValues(q, kFirstColumn, r);
    return r;
}

// "OldItemDesc, OldItemNum, ..." for the history's columns; one it lacks is left out, or read as
// NULL when `nullWhenMissing`.
QString prefixedColumns(const QString &prefix, bool added, bool nullWhenMissing = false)
{
    QStringList names;
    for (int c = 0; c < kColumnCount; ++c) {
        if (isStored(Column(c), added))
            names << prefix + columnName(static_cast<Column>(c));
        else if (nullWhenMissing)
            names << QStringLiteral("NULL::bigint");
    }
    return names.join(QStringLiteral(", "));
}

const QString kEntryColumns = QStringLiteral(
    "EntryId, to_char(ChangedAt at time zone 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), ChangedBy, "
    "Workstation, Change, Action, ItemKey, Undoes");
constexpr int kOldAt = 8; // where the old values start in a select of kEntryColumns, old, new

HistoryEntry entryOf(const QSqlQuery &q)
{
    HistoryEntry e;
    e.id = q.value(0).toLongLong();
    e.at = QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs);
    e.by = q.value(2).toString();
    e.workstation = q.value(3).toString();
    e.kind = q.value(4).toString();
    const QString action = q.value(5).toString();
    e.action = action == QLatin1String("insert")   ? RowAction::Insert
               : action == QLatin1String("delete") ? RowAction::Delete
                                                   : RowAction::Update;
    e.itemKey = q.value(6).toLongLong();
    if (!q.isNull(7)) e.undoes = q.value(7).toLongLong();
    if (e.action != RowAction::Insert) readValues(q, kOldAt, e.before.emplace());
    if (e.action != RowAction::Delete) readValues(q, kOldAt + kColumnCount, e.after.emplace());
    return e;
}

// The sort key the database file uses for the column: its text columns compare without regard to
// ASCII letter case (lower() folds only ASCII under "C"), InvDate and Image byte by byte; NULL first.
QString orderKey(Column c)
{
    const QString name = columnName(c);
    if (isNumber(c)) return name;
    if (c == Column::InvDate || c == Column::Image) return name + QStringLiteral(" collate \"C\"");
    return QStringLiteral("lower(%1 collate \"C\")").arg(name);
}

} // namespace

// The connection and every statement on it; lives on the store's thread and is only used there,
// except abort() and the activity stamp, which the window's thread reads for the watchdog.
class PgSession : public QObject
{
public:
    PgSession(const ServerAddress &address, PgItemStore *store) : m_address(address), m_store(store)
    {
        static QAtomicInteger<quint64> counter;
        m_connection = QStringLiteral("tallyvane-server-%1").arg(counter.fetchAndAddRelaxed(1));
    }

    void open();
    void close();
    void shutDown(); // closes and forgets the connection, before the thread ends
    void reconnect();

    std::vector<ItemRow> readAll();
    void readAllInto(ItemRowTable &table);
    // Every row in key order; `reserve` hears how many there are first.
    template <typename Reserve, typename Each> void readEveryRow(const Reserve &reserve, const Each &each)
    {
        {
            QSqlQuery count = exec(QStringLiteral("select count(*) from Items"));
            if (count.next()) reserve(static_cast<size_t>(count.value(0).toLongLong()));
        }
        QSqlQuery q = exec(QStringLiteral("select %1 from Items order by id").arg(selectColumns(m_added)));
        for (size_t n = 1; q.next(); ++n) {
            each(rowOf(q));
            if (n % 1024 == 0) stamp();
        }
        if (q.lastError().isValid()) fail(q.lastError());
    }
    std::optional<ItemRow> read(qint64 key);
    std::vector<ItemRow> readMany(const std::vector<qint64> &keys);
    void insert(ItemRow &row);
    void update(ItemRow &row, unsigned changedColumns);
    void remove(const ItemRow &row);
    void insertAll(std::vector<ItemRow> &rows);
    void insertChunks(std::vector<ItemRow> &rows);
    QStringList distinctValues(Column column);
    std::vector<ItemRow> readOrdered(Column orderBy);
    std::optional<Money> totalValue();
    std::vector<HistoryEntry> history(const HistoryQuery &query);
    bool keepsHistory();
    qint64 undo(const HistoryEntry &entry);
    ItemRow addToCount(qint64 key, qint64 delta);
    std::optional<StocktakeInfo> stocktake();
    StocktakeInfo startStocktake();
    std::vector<StocktakeLine> stocktakeLines(qint64 id);
    StocktakeLine countStocktake(qint64 id, qint64 itemKey, std::optional<qint64> quantity, bool add);
    void endStocktake(qint64 id, StocktakeEnd how);

    // What the next writes are recorded as; empty for the server's own words.
    void setChange(const QString &kind, std::optional<qint64> undoes)
    {
        m_kind = kind;
        m_undoes = undoes;
    }

    // Watchdog, from the window's thread: cuts the connection when a statement has had nothing
    // from the server for too long. The blocked call then fails at once.
    void checkAnswer()
    {
        const qint64 since = m_activeSince.load();
        if (since == 0 || nowMs() - since < noAnswerLimitMs()) return;
        const int socket = m_socket.load();
        if (socket < 0) return;
        m_timedOut = true;
        ::shutdown(socket, SHUT_RDWR);
    }
    void abort()
    {
        const int socket = m_socket.load();
        if (socket >= 0) ::shutdown(socket, SHUT_RDWR);
    }
    void idle() { m_activeSince = 0; }

private:
    QSqlDatabase database() const { return QSqlDatabase::database(m_connection, false); }
    void connectToServer(); // throws the unreachable text
    void verifyTable();
    // Refuses values for columns the server's table does not have yet.
    void requireStored(const ItemRow &row, unsigned columns) const
    {
        if (m_added) return;
        for (int c = kBaseColumnCount; c < kColumnCount; ++c)
            if ((columns & (1u << c)) && row.value(Column(c)).isValid())
                throw AppError(Err::DatabaseError, upgradeText());
    }
    QSqlDatabase ready(); // the connection, made again when it went down; throws while lost
    QSqlQuery exec(const QString &sql, const QVariantList &values = {}, bool forwardOnly = true);
    void stamp() { m_activeSince = nowMs(); } // something is asked of, or came from, the server
    [[noreturn]] void fail(const QSqlError &error);
    [[noreturn]] void throwUnreachable(const QSqlError &error);
    void setConnected(bool connected);
    void onNotification(const QString &name, const QVariant &payload);
    // Runs the writes with the change's kind told to the history's triggers: in a transaction of
    // their own when there is a kind to tell or when asked, rolled back unless all of it is done.
    void recorded(bool transaction, const std::function<void()> &writes);

    ServerAddress m_address;
    PgItemStore *m_store; // outlives this thread; only for queued signals to the window's thread
    QString m_connection;
    bool m_open = false;      // opened by the user and not closed
    bool m_connected = false; // the connection is up as far as is known
    bool m_listening = false; // the driver's notification signal is wired
    bool m_inTransaction = false;
    bool m_added = false; // Items has the columns added later (and the history with them)
    QString m_kind;
    std::optional<qint64> m_undoes;
    std::atomic<qint64> m_activeSince{0};
    std::atomic<int> m_socket{-1};
    std::atomic<bool> m_timedOut{false};
};

void PgSession::setConnected(bool connected)
{
    const bool was = m_connected;
    m_connected = connected;
    if (!connected) m_socket = -1;
    if (was == connected || !m_open) return;
    QMetaObject::invokeMethod(
        m_store, [store = m_store, connected] { emit store->connectionChanged(connected); },
        Qt::QueuedConnection);
}

void PgSession::throwUnreachable(const QSqlError &error)
{
    // The client library's first line says what happened; the rest are hints for administrators.
    QString why;
    if (m_timedOut.exchange(false)) {
        why = QStringLiteral("it did not answer for %1 seconds").arg((noAnswerLimitMs() + 999) / 1000);
    } else {
        for (const QString &text : {error.databaseText(), error.driverText()}) {
            for (const QString &line : text.split(QLatin1Char('\n'))) {
                why = line.simplified();
                if (why.endsWith(QLatin1String("()"))) why.chop(2);
                if (!why.isEmpty()) break;
            }
            if (!why.isEmpty()) break;
        }
    }
    if (why.isEmpty()) why = errorDescription(Err::DatabaseError);
    QString message = QStringLiteral("The inventory server at %1:%2 cannot be reached: %3")
                          .arg(m_address.host)
                          .arg(m_address.port)
                          .arg(why);
    if (why.contains(QLatin1String("password")))
        message += QStringLiteral(" Keep the password in ~/.pgpass or the PGPASSWORD variable.");
    throw AppError(Err::DatabaseError, message);
}

void PgSession::connectToServer()
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        throw AppError(
            Err::DatabaseError,
            QStringLiteral("Ketbook cannot use the inventory server at %1:%2: the PostgreSQL driver of "
                           "Qt (package libqt6sql6-psql) is not installed.")
                .arg(m_address.host)
                .arg(m_address.port));
    QSqlDatabase db = QSqlDatabase::contains(m_connection)
                          ? database()
                          : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connection);
    db.setHostName(m_address.host);
    db.setPort(m_address.port);
    db.setUserName(m_address.user);
    db.setDatabaseName(m_address.database);
    // No password here: the client library reads ~/.pgpass and PGPASSWORD. Keepalives find a
    // silent peer within seconds, and data it never acknowledges fails the command after five.
    db.setConnectOptions(QStringLiteral("connect_timeout=3;application_name=Ketbook;keepalives=1;"
                                        "keepalives_idle=3;keepalives_interval=1;keepalives_count=3;"
                                        "tcp_user_timeout=5000"));
    if (!db.open()) throwUnreachable(db.lastError());
    if (const QVariant handle = db.driver()->handle(); handle.isValid())
        m_socket = PQsocket(*static_cast<PGconn *const *>(handle.data()));
    if (!m_listening) {
        connect(db.driver(), &QSqlDriver::notification, this,
                [this](const QString &name, QSqlDriver::NotificationSource, const QVariant &payload) {
                    onNotification(name, payload);
                });
        m_listening = true;
    }
    // A statement that runs, or waits for another workstation's lock, too long is ended by the server.
    {
        QSqlQuery limits(db);
        stamp();
        if (!limits.exec(QStringLiteral("set statement_timeout = %1; set lock_timeout = %2")
                             .arg(statementTimeoutMs())
                             .arg(lockTimeoutMs())))
            fail(limits.lastError());
    }
    // The history's triggers record this computer's name with every change made here.
    {
        QSqlQuery name(db);
        stamp();
        if (!name.prepare(QStringLiteral("select set_config('tallyvane.workstation', ?, false)")))
            fail(name.lastError());
        name.addBindValue(workstationName());
        if (!name.exec()) fail(name.lastError());
    }
    // Without it other workstations' changes would go unseen: its failure fails the command.
    if (!db.driver()->subscribeToNotification(PgItemStore::notificationChannel()))
        fail(db.driver()->lastError());
    setConnected(true);
}

void PgSession::verifyTable()
{
    const QString where =
        QStringLiteral("%1:%2/%3").arg(m_address.host).arg(m_address.port).arg(m_address.database);
    QSqlQuery q(database());
    q.setForwardOnly(true);
    stamp();
    if (!q.exec(QStringLiteral("select * from Items where false"))) {
        if (q.lastError().nativeErrorCode() != QLatin1String("42P01")) fail(q.lastError()); // undefined_table
        throw AppError(
            Err::DatabaseError,
            QStringLiteral("The database %1 on the inventory server has no Items table. Create it with "
                           "the script data/postgresql/items.sql from the program's sources.")
                .arg(where));
    }
    const QSqlRecord found = q.record();
    QStringList needed{QStringLiteral("id"), QStringLiteral("version")};
    for (int c = 0; c < kBaseColumnCount; ++c)
        needed << columnName(static_cast<Column>(c)).toLower();
    // A table made before the reorder levels works on without them (reorder.sql adds them).
    m_added = found.contains(QStringLiteral("reorderlevel")) && found.contains(QStringLiteral("reorderqty"));
    for (const QString &column : needed)
        if (!found.contains(column))
            throw AppError(
                Err::DatabaseError,
                QStringLiteral("The Items table of the database %1 on the inventory server has no column "
                               "%2. Create the table with the script data/postgresql/items.sql.")
                    .arg(where, column));
}

void PgSession::open()
{
    close();
    try {
        connectToServer();
        verifyTable();
    } catch (const AppError &) {
        m_socket = -1;
        database().close();
        m_connected = false;
        throw;
    }
    m_open = true;
}

void PgSession::close()
{
    m_open = false;
    m_connected = false;
    m_socket = -1;
    if (QSqlDatabase::contains(m_connection)) database().close();
}

void PgSession::shutDown()
{
    close();
    if (QSqlDatabase::contains(m_connection)) QSqlDatabase::removeDatabase(m_connection);
}

void PgSession::reconnect()
{
    ready();
}

QSqlDatabase PgSession::ready()
{
    if (!m_open) throw AppError(Err::ObjectClosed);
    // The driver may have seen the server go away while waiting for notifications.
    if (m_connected && !database().isOpen()) setConnected(false);
    if (!m_connected) {
        database().close();
        connectToServer();
    }
    return database();
}

void PgSession::fail(const QSqlError &error)
{
    // A statement can fail for itself or because the server went away; asking again tells which.
    QSqlDatabase db = database();
    if (db.isOpen() && !m_timedOut) {
        if (m_inTransaction) db.rollback(); // an aborted transaction refuses even the probe
        QSqlQuery probe(db);
        stamp();
        if (probe.exec(QStringLiteral("select 1"))) {
            m_inTransaction = false;
            const QString code = error.nativeErrorCode();
            if (code == QLatin1String("55P03")) // lock_not_available
                throw AppError(Err::DatabaseError,
                               QStringLiteral("Another workstation is changing this item right now, so "
                                              "your change was not saved yet. It is kept here; save "
                                              "again in a moment."));
            if (code == QLatin1String("57014")) // query_canceled: the statement timeout
                throw AppError(Err::DatabaseError,
                               QStringLiteral("The inventory server took more than %1 seconds over "
                                              "this command and stopped it. Try again later.")
                                   .arg((statementTimeoutMs() + 999) / 1000));
            QString why = error.databaseText().trimmed();
            if (why.isEmpty()) why = error.driverText().trimmed();
            throw AppError(Err::DatabaseError, why.isEmpty() ? errorDescription(Err::DatabaseError) : why);
        }
    }
    m_inTransaction = false;
    m_socket = -1; // before the socket goes: the watchdog must never cut a number used again
    db.close();
    setConnected(false);
    throwUnreachable(error);
}

QSqlQuery PgSession::exec(const QString &sql, const QVariantList &values, bool forwardOnly)
{
    QSqlQuery q(ready());
    q.setForwardOnly(forwardOnly);
    stamp();
    if (values.isEmpty()) {
        if (!q.exec(sql)) fail(q.lastError());
        return q;
    }
    if (!q.prepare(sql)) fail(q.lastError());
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec()) fail(q.lastError());
    return q;
}

void PgSession::onNotification(const QString &name, const QVariant &payload)
{
    if (name != PgItemStore::notificationChannel()) return;
    bool ok = false;
    const qint64 key = payload.toString().toLongLong(&ok);
    if (!ok) return;
    QMetaObject::invokeMethod(
        m_store, [store = m_store, key] { emit store->changedElsewhere(key); }, Qt::QueuedConnection);
}

std::vector<ItemRow> PgSession::readAll()
{
    std::vector<ItemRow> rows;
    readEveryRow([&rows](size_t count) { rows.reserve(count); },
                 [&rows](ItemRow row) { rows.push_back(std::move(row)); });
    return rows;
}

void PgSession::readAllInto(ItemRowTable &table)
{
    readEveryRow([&table](size_t count) { table.reserve(count); },
                 [&table](const ItemRow &row) { table.append(row); });
}

std::optional<ItemRow> PgSession::read(qint64 key)
{
    QSqlQuery q = exec(QStringLiteral("select %1 from Items where id = ?").arg(selectColumns(m_added)),
                       {QVariant(static_cast<qlonglong>(key))});
    if (q.next()) return rowOf(q);
    if (q.lastError().isValid()) fail(q.lastError());
    return std::nullopt;
}

std::vector<ItemRow> PgSession::readMany(const std::vector<qint64> &keys)
{
    // One statement for the whole batch: a burst elsewhere costs a few round trips, not one a row.
    QStringList list;
    list.reserve(static_cast<qsizetype>(keys.size()));
    for (const qint64 key : keys)
        list << QString::number(key);
    QSqlQuery q =
        exec(QStringLiteral("select %1 from Items where id = any(?::bigint[])").arg(selectColumns(m_added)),
             {QLatin1Char('{') + list.join(QLatin1Char(',')) + QLatin1Char('}')});
    std::vector<ItemRow> rows;
    while (q.next())
        rows.push_back(rowOf(q));
    if (q.lastError().isValid()) fail(q.lastError());
    return rows;
}

void PgSession::insert(ItemRow &row)
{
    requireStored(row, ~0u);
    QVariantList values;
    QStringList marks;
    for (int c = 0; c < kColumnCount; ++c) {
        if (!isStored(Column(c), m_added)) continue;
        values << bindValue(row, static_cast<Column>(c));
        marks << QStringLiteral("?");
    }
    recorded(false, [&] {
        QSqlQuery q = exec(QStringLiteral("insert into Items (%1) values (%2) returning id, version")
                               .arg(insertColumns(m_added), marks.join(QStringLiteral(", "))),
                           values);
        if (!q.next()) fail(q.lastError());
        row.rowid = q.value(0).toLongLong();
        row.version = q.value(1).toLongLong();
    });
}

void PgSession::update(ItemRow &row, unsigned changedColumns)
{
    if (!row.rowid) throw AppError(Err::NoCurrentRecord);
    requireStored(row, changedColumns);
    QStringList sets;
    QVariantList values;
    for (int c = 0; c < kColumnCount; ++c) {
        if (!(changedColumns & (1u << c)) || !isStored(Column(c), m_added)) continue;
        sets << columnName(static_cast<Column>(c)) + QStringLiteral(" = ?");
        values << bindValue(row, static_cast<Column>(c));
    }
    if (sets.isEmpty()) return;
    QString sql = QStringLiteral("update Items set %1 where id = ?").arg(sets.join(QStringLiteral(", ")));
    values << QVariant(static_cast<qlonglong>(*row.rowid));
    if (row.version) {
        sql += QStringLiteral(" and version = ?");
        values << QVariant(static_cast<qlonglong>(*row.version));
    }
    bool written = false;
    recorded(false, [&] {
        QSqlQuery q = exec(sql + QStringLiteral(" returning version"), values);
        if (q.next()) {
            row.version = q.value(0).toLongLong();
            written = true;
        } else if (q.lastError().isValid()) {
            fail(q.lastError());
        }
    });
    if (written) return;
    std::optional<ItemRow> now = read(*row.rowid);
    throw ItemConflict(now ? ItemConflict::changedText() : ItemConflict::deletedText(), std::move(now));
}

void PgSession::remove(const ItemRow &row)
{
    if (!row.rowid) return;
    recorded(false, [&] {
        exec(QStringLiteral("delete from Items where id = ?"),
             {QVariant(static_cast<qlonglong>(*row.rowid))});
    });
}

void PgSession::insertAll(std::vector<ItemRow> &rows)
{
    if (rows.empty()) return;
    try {
        recorded(true, [&] { insertChunks(rows); });
    } catch (...) {
        for (ItemRow &r : rows) {
            r.rowid.reset();
            r.version.reset();
        }
        throw;
    }
}

void PgSession::insertChunks(std::vector<ItemRow> &rows)
{
    // Keys are taken first so that each row learns its own, whatever order the server inserts in.
    std::vector<qint64> keys;
    keys.reserve(rows.size());
    QHash<qint64, qint64> versions;
    {
        QSqlQuery q = exec(QStringLiteral("select nextval(pg_get_serial_sequence('items', 'id')) "
                                          "from generate_series(1, %1)")
                               .arg(rows.size()));
        while (q.next())
            keys.push_back(q.value(0).toLongLong());
        if (keys.size() != rows.size()) fail(q.lastError());
    }
    for (const ItemRow &r : rows)
        requireStored(r, ~0u);
    const QString head = QStringLiteral("insert into Items (id, %1) values ").arg(insertColumns(m_added));
    const QString one =
        QLatin1Char('(') +
        QStringList(storedCount(m_added) + 1, QStringLiteral("?")).join(QStringLiteral(", ")) +
        QLatin1Char(')');
    for (size_t start = 0; start < rows.size(); start += kInsertChunk) {
        const size_t end = std::min(rows.size(), start + kInsertChunk);
        QStringList tuples;
        QVariantList values;
        for (size_t i = start; i < end; ++i) {
            tuples << one;
            values << QVariant(static_cast<qlonglong>(keys[i]));
            for (int c = 0; c < kColumnCount; ++c)
                if (isStored(Column(c), m_added)) values << bindValue(rows[i], static_cast<Column>(c));
        }
        QSqlQuery q =
            exec(head + tuples.join(QStringLiteral(", ")) + QStringLiteral(" returning id, version"), values);
        while (q.next())
            versions.insert(q.value(0).toLongLong(), q.value(1).toLongLong());
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i].rowid = keys[i];
        rows[i].version = versions.value(keys[i]);
    }
}

QStringList PgSession::distinctValues(Column column)
{
    QSqlQuery q = exec(QStringLiteral("select v from (select %1::text as v, id from Items) s where v <> '' "
                                      "group by v order by min(id)")
                           .arg(columnName(column)));
    QStringList values;
    while (q.next())
        values << q.value(0).toString();
    if (q.lastError().isValid()) fail(q.lastError());
    return values;
}

std::vector<ItemRow> PgSession::readOrdered(Column orderBy)
{
    QSqlQuery q = exec(QStringLiteral("select %1 from Items order by %2 nulls first, id")
                           .arg(selectColumns(m_added), orderKey(orderBy)));
    std::vector<ItemRow> rows;
    while (q.next()) {
        rows.push_back(rowOf(q));
        if (rows.size() % 1024 == 0) stamp();
    }
    if (q.lastError().isValid()) fail(q.lastError());
    return rows;
}

std::optional<Money> PgSession::totalValue()
{
    // The server adds bigints as numeric, which never overflows; the program's money may.
    QSqlQuery q = exec(QStringLiteral("select sum(TotItemCst)::text from Items"));
    if (!q.next()) fail(q.lastError());
    if (q.isNull(0)) return std::nullopt;
    bool ok = false;
    const qint64 raw = q.value(0).toString().toLongLong(&ok);
    if (!ok)
        throw AppError(Err::Overflow,
                       QStringLiteral("The total value of the inventory is too large to show."));
    return Money::fromRaw(raw);
}

void PgSession::recorded(bool transaction, const std::function<void()> &writes)
{
    if (!transaction && m_kind.isEmpty()) return writes();
    QSqlDatabase db = ready();
    stamp();
    if (!db.transaction()) fail(db.lastError());
    m_inTransaction = true;
    try {
        if (!m_kind.isEmpty())
            exec(QStringLiteral("select set_config('tallyvane.change', ?, true), "
                                "set_config('tallyvane.undoes', ?, true)"),
                 {m_kind, m_undoes ? QString::number(*m_undoes) : QStringLiteral("")});
        writes();
        stamp();
        if (!db.commit()) fail(db.lastError());
        m_inTransaction = false;
    } catch (...) {
        if (m_inTransaction) db.rollback();
        m_inTransaction = false;
        throw;
    }
}

bool PgSession::keepsHistory()
{
    QSqlQuery q = exec(QStringLiteral("select to_regclass('itemhistory') is not null"));
    return q.next() && q.value(0).toBool();
}

std::vector<HistoryEntry> PgSession::history(const HistoryQuery &query)
{
    std::vector<HistoryEntry> out;
    if (query.limit <= 0 || !keepsHistory()) return out;
    QString sql = QStringLiteral("select %1, %2, %3 from ItemHistory where true")
                      .arg(kEntryColumns, prefixedColumns(QStringLiteral("Old"), m_added, true),
                           prefixedColumns(QStringLiteral("New"), m_added, true));
    QVariantList values;
    const auto where = [&](const char *condition, std::optional<qint64> value) {
        if (!value) return;
        sql += QLatin1String(condition);
        values << QVariant(static_cast<qlonglong>(*value));
    };
    where(" and ItemKey = ?", query.itemKey);
    where(" and Undoes = ?", query.undoes);
    where(" and EntryId < ?", query.olderThan);
    where(" and EntryId > ?", query.newerThan);
    if (!query.filter.isEmpty()) {
        QString pattern = query.filter;
        pattern.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
            .replace(QLatin1Char('%'), QStringLiteral("\\%"))
            .replace(QLatin1Char('_'), QStringLiteral("\\_"));
        sql += QStringLiteral(" and (coalesce(NewItemDesc, OldItemDesc) ilike ? or coalesce(NewItemNum, "
                              "OldItemNum) ilike ? or ChangedBy ilike ? or Workstation ilike ? or Change "
                              "ilike ?)");
        for (int i = 0; i < 5; ++i)
            values << QLatin1Char('%') + pattern + QLatin1Char('%');
    }
    sql += query.oldestFirst ? QStringLiteral(" order by EntryId limit ?")
                             : QStringLiteral(" order by EntryId desc limit ?");
    values << query.limit;
    QSqlQuery q = exec(sql, values);
    while (q.next())
        out.push_back(entryOf(q));
    if (q.lastError().isValid()) fail(q.lastError());
    return out;
}

ItemRow PgSession::addToCount(qint64 key, qint64 delta)
{
    const QVariant by(static_cast<qlonglong>(delta));
    std::optional<ItemRow> written;
    recorded(false, [&] {
        // Relative to what is stored, in one statement: two workstations counting at once both count.
        QSqlQuery q = exec(QStringLiteral("update Items set ItemCnt = coalesce(ItemCnt, 0) + ?, TotItemCst = "
                                          "(coalesce(ItemCnt, 0) + ?) * ItemCst where id = ? and "
                                          "coalesce(ItemCnt, 0) + ? >= 0 returning %1")
                               .arg(selectColumns(m_added)),
                           {by, by, QVariant(static_cast<qlonglong>(key)), by});
        if (q.next())
            written = rowOf(q);
        else if (q.lastError().isValid())
            fail(q.lastError());
    });
    if (written) return std::move(*written);
    std::optional<ItemRow> now = read(key);
    if (!now) throw ItemConflict(ItemConflict::deletedText(), std::nullopt);
    QString why = countRefusal(*now, delta);
    if (why.isEmpty()) why = ItemConflict::changedText();
    throw CountRefused(why, std::move(now));
}

namespace {
StocktakeLine lineOf(const QSqlQuery &q)
{
    const auto number = [&q](int i) {
        return q.isNull(i) ? std::nullopt : std::optional<qint64>(q.value(i).toLongLong());
    };
    return {q.value(0).toLongLong(), number(1), number(2), number(3), q.value(4).toString()};
}
} // namespace

std::optional<StocktakeInfo> PgSession::stocktake()
{
    QSqlQuery has = exec(QStringLiteral("select to_regclass('stocktakeitem') is not null"));
    if (!has.next() || !has.value(0).toBool()) return std::nullopt;
    QSqlQuery q =
        exec(QStringLiteral("select Id, to_char(StartedAt at time zone 'UTC', "
                            "'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'), StartedBy, Workstation, Revision "
                            "from Stocktake order by Id limit 1"));
    if (!q.next()) {
        if (q.lastError().isValid()) fail(q.lastError());
        return std::nullopt;
    }
    return StocktakeInfo{q.value(0).toLongLong(),
                         QDateTime::fromString(q.value(1).toString(), Qt::ISODateWithMs),
                         q.value(2).toString(), q.value(3).toString(), q.value(4).toLongLong()};
}

StocktakeInfo PgSession::startStocktake()
{
    QSqlQuery has = exec(QStringLiteral("select to_regclass('stocktakeitem') is not null"));
    if (!has.next() || !has.value(0).toBool())
        throw AppError(Err::DatabaseError,
                       QStringLiteral("This server keeps no stocktakes yet. Its owner adds them by running "
                                      "data/postgresql/stocktake.sql once."));
    recorded(true, [&] {
        // A second Start Count at another workstation joins the first.
        QSqlQuery q = exec(QStringLiteral("insert into Stocktake (Workstation) values (?) on conflict do "
                                          "nothing returning Id"),
                           {workstationName()});
        if (!q.next()) return;
        exec(QStringLiteral(
                 "insert into StocktakeItem (Stocktake, ItemKey, AtStart) select ?::bigint, id, ItemCnt "
                 "from Items"),
             {q.value(0)});
    });
    if (auto info = stocktake()) return *info;
    throw AppError(Err::DatabaseError, stocktakeEndedText());
}

std::vector<StocktakeLine> PgSession::stocktakeLines(qint64 id)
{
    std::vector<StocktakeLine> out;
    QSqlQuery q = exec(QStringLiteral("select ItemKey, AtStart, Counted, CountedAgainst, CountedBy from "
                                      "StocktakeItem where Stocktake = ? order by ItemKey"),
                       {QVariant(static_cast<qlonglong>(id))});
    while (q.next())
        out.push_back(lineOf(q));
    if (q.lastError().isValid()) fail(q.lastError());
    return out;
}

StocktakeLine PgSession::countStocktake(qint64 id, qint64 itemKey, std::optional<qint64> quantity, bool add)
{
    const QVariant stocktake(static_cast<qlonglong>(id));
    const QVariant key(static_cast<qlonglong>(itemKey));
    const QVariant counted =
        quantity ? QVariant(static_cast<qlonglong>(*quantity)) : QVariant(QMetaType::fromType<qlonglong>());
    std::optional<StocktakeLine> line;
    recorded(true, [&] {
        QSqlQuery q =
            exec(QStringLiteral(
                     "insert into StocktakeItem (Stocktake, ItemKey, Counted, CountedAgainst, CountedBy) "
                     "select ?::bigint, ?::bigint, ?::bigint, (select ItemCnt from Items where id = ?), "
                     "session_user "
                     "where exists (select 1 from Stocktake where Id = ?) on conflict (Stocktake, ItemKey) "
                     "do update set "
                     "Counted = %1, CountedAgainst = excluded.CountedAgainst, CountedBy = excluded.CountedBy "
                     "returning ItemKey, AtStart, Counted, CountedAgainst, CountedBy")
                     .arg(add ? QStringLiteral("coalesce(StocktakeItem.Counted, 0) + excluded.Counted")
                              : QStringLiteral("excluded.Counted")),
                 {stocktake, key, counted, key, stocktake});
        if (!q.next()) throw AppError(Err::DatabaseError, stocktakeEndedText());
        line = lineOf(q);
        exec(QStringLiteral("update Stocktake set Revision = Revision + 1 where Id = ?"), {stocktake});
    });
    return *line;
}

void PgSession::endStocktake(qint64 id, StocktakeEnd how)
{
    const QVariant stocktake(static_cast<qlonglong>(id));
    recorded(true, [&] {
        // Held until the end: another workstation finishing at the same moment waits, then finds it gone.
        QSqlQuery held = exec(QStringLiteral("select 1 from Stocktake where Id = ? for update"), {stocktake});
        if (!held.next()) throw AppError(Err::DatabaseError, stocktakeEndedText());
        if (how != StocktakeEnd::Discard) {
            // A count taken while the shop was open is moved on by the sales and receipts saved since.
            QString sql = QStringLiteral("update Items set ItemCnt = n.Cnt, TotItemCst = n.Cnt * "
                                         "Items.ItemCst from (select s.ItemKey, "
                                         "case when i.ItemCnt is not null and s.CountedAgainst is not null "
                                         "then greatest(0, i.ItemCnt + "
                                         "s.Counted - s.CountedAgainst) else s.Counted end as Cnt from "
                                         "StocktakeItem s join Items i on "
                                         "i.id = s.ItemKey where s.Stocktake = ? and s.Counted is not null");
            QVariantList values{stocktake};
            if (how == StocktakeEnd::SetCountedAndZeroRest) {
                sql +=
                    QStringLiteral(" union all select id, 0 from Items where id not in (select ItemKey from "
                                   "StocktakeItem where Stocktake = ? and Counted is not null)");
                values << stocktake;
            }
            sql += QStringLiteral(") n where Items.id = n.ItemKey and Items.ItemCnt is distinct from n.Cnt");
            exec(sql, values);
        }
        exec(QStringLiteral("delete from Stocktake where Id = ?"), {stocktake});
    });
}

qint64 PgSession::undo(const HistoryEntry &entry)
{
    const QVariant id(static_cast<qlonglong>(entry.id));
    const QVariant key(static_cast<qlonglong>(entry.itemKey));
    std::optional<qint64> written;
    recorded(true, [&] {
        QSqlQuery q;
        switch (entry.action) {
        case RowAction::Insert:
            q = exec(QStringLiteral("delete from Items where id = ? returning id"), {key});
            break;
        case RowAction::Delete:
            // Every value back as it was, as a new row.
            q = exec(QStringLiteral("insert into Items (%1) select %2 from ItemHistory where EntryId = ? "
                                    "returning id")
                         .arg(insertColumns(m_added), prefixedColumns(QStringLiteral("Old"), m_added)),
                     {id});
            break;
        case RowAction::Update: {
            // Only the fields this save changed get their old values.
            QStringList sets;
            for (int c = 0; c < kColumnCount; ++c) {
                if (!isStored(Column(c), m_added)) continue;
                const QString name = columnName(static_cast<Column>(c));
                sets << QStringLiteral("%1 = case when h.Old%1 is distinct from h.New%1 then h.Old%1 else "
                                       "i.%1 end")
                            .arg(name);
            }
            q = exec(
                QStringLiteral("update Items i set %1 from ItemHistory h where h.EntryId = ? and i.id = ? "
                               "returning i.id")
                    .arg(sets.join(QStringLiteral(", "))),
                {id, key});
            break;
        }
        }
        if (q.next())
            written = q.value(0).toLongLong();
        else if (q.lastError().isValid())
            fail(q.lastError());
    });
    if (written) return *written;
    throw AppError(
        Err::DatabaseError,
        entry.action == RowAction::Insert
            ? QStringLiteral("The item this change added is no longer there, so there is nothing to undo.")
            : QStringLiteral("The item of this change was deleted since. Undo its deletion first."));
}

PgItemStore::PgItemStore(const ServerAddress &address, QObject *parent)
    : ItemStore(parent), m_address(address), m_session(new PgSession(address, this))
{
    m_thread.setObjectName(QStringLiteral("inventory server"));
    m_session->moveToThread(&m_thread);
    m_thread.start();
}

PgItemStore::~PgItemStore()
{
    // A command still blocked on a silent server fails at once once its socket is cut.
    m_session->abort();
    QMetaObject::invokeMethod(
        m_session, [session = m_session] { session->shutDown(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_session;
}

void PgItemStore::run(const std::function<void(PgSession &)> &job)
{
    if (m_waiting) throw AppError(Err::DatabaseError, waitingForServerText());
    struct Outcome
    {
        bool done = false;
        std::exception_ptr error;
        QEventLoop *loop = nullptr;
    };
    auto outcome = std::make_shared<Outcome>();
    QEventLoop loop;
    outcome->loop = &loop;
    m_waiting = true;
    // The job is only referred to until it ended, and this waits until then.
    QMetaObject::invokeMethod(
        m_session,
        [this, session = m_session, &job, outcome, kind = m_changeKind, undoes = m_undoes] {
            try {
                session->setChange(kind, undoes);
                job(*session);
            } catch (...) {
                outcome->error = std::current_exception();
            }
            session->idle();
            QMetaObject::invokeMethod(
                this,
                [outcome] {
                    outcome->done = true;
                    if (outcome->loop) outcome->loop->quit();
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    QTimer watchdog;
    watchdog.setInterval(500);
    connect(&watchdog, &QTimer::timeout, this, [session = m_session] { session->checkAnswer(); });
    watchdog.start();
    bool saidWaiting = false;
    QTimer showWaiting;
    showWaiting.setSingleShot(true);
    connect(&showWaiting, &QTimer::timeout, this, [this, &saidWaiting] {
        saidWaiting = true;
        emit waiting(true);
    });
    showWaiting.start(kShowWaitingMs);
    while (!outcome->done)
        loop.exec();
    outcome->loop = nullptr;
    m_waiting = false;
    if (saidWaiting) emit waiting(false);
    emit idle();
    if (outcome->error) std::rethrow_exception(outcome->error);
}

void PgItemStore::open()
{
    m_open = false;
    run([](PgSession &s) { s.open(); });
    m_open = true;
}

void PgItemStore::close()
{
    m_open = false;
    if (m_waiting) {
        // Closing from within a wait (the program ends): the command fails once its socket is cut.
        m_session->abort();
        QMetaObject::invokeMethod(
            m_session, [session = m_session] { session->close(); }, Qt::QueuedConnection);
        return;
    }
    run([](PgSession &s) { s.close(); });
}

void PgItemStore::reconnect()
{
    run([](PgSession &s) { s.reconnect(); });
}

std::vector<ItemRow> PgItemStore::readAll()
{
    std::vector<ItemRow> rows;
    run([&rows](PgSession &s) { rows = s.readAll(); });
    return rows;
}

void PgItemStore::readAllInto(ItemRowTable &table)
{
    run([&table](PgSession &s) { s.readAllInto(table); });
}

std::optional<ItemRow> PgItemStore::read(qint64 key)
{
    std::optional<ItemRow> row;
    run([&row, key](PgSession &s) { row = s.read(key); });
    return row;
}

std::vector<ItemRow> PgItemStore::readMany(const std::vector<qint64> &keys)
{
    std::vector<ItemRow> rows;
    run([&rows, &keys](PgSession &s) { rows = s.readMany(keys); });
    return rows;
}

void PgItemStore::insert(ItemRow &row)
{
    // The job works on a copy: the caller's row may take typing while the server is asked.
    ItemRow written = row;
    run([&written](PgSession &s) { s.insert(written); });
    row.rowid = written.rowid;
    row.version = written.version;
}

void PgItemStore::update(ItemRow &row, unsigned changedColumns)
{
    ItemRow written = row;
    run([&written, changedColumns](PgSession &s) { s.update(written, changedColumns); });
    row.version = written.version;
}

void PgItemStore::remove(const ItemRow &row)
{
    run([row](PgSession &s) { s.remove(row); });
}

void PgItemStore::insertAll(std::vector<ItemRow> &rows)
{
    run([&rows](PgSession &s) { s.insertAll(rows); });
}

QStringList PgItemStore::distinctValues(Column column)
{
    QStringList values;
    run([&values, column](PgSession &s) { values = s.distinctValues(column); });
    return values;
}

void PgItemStore::readOrdered(Column orderBy, const std::function<void(const ItemRow &)> &each)
{
    // The whole result is fetched first: the caller may read rows between ours (a report showing
    // progress runs events), and another command may come meanwhile.
    std::vector<ItemRow> rows;
    run([&rows, orderBy](PgSession &s) { rows = s.readOrdered(orderBy); });
    for (const ItemRow &r : rows)
        each(r);
}

std::vector<HistoryEntry> PgItemStore::history(const HistoryQuery &query)
{
    std::vector<HistoryEntry> entries;
    run([&entries, &query](PgSession &s) { entries = s.history(query); });
    return entries;
}

bool PgItemStore::keepsHistory()
{
    bool keeps = false;
    run([&keeps](PgSession &s) { keeps = s.keepsHistory(); });
    return keeps;
}

qint64 PgItemStore::undo(const HistoryEntry &entry)
{
    ChangeScope undoing(*this, ChangeKind::undo, entry.id);
    qint64 key = 0;
    run([&key, &entry](PgSession &s) { key = s.undo(entry); });
    return key;
}

ItemRow PgItemStore::addToCount(qint64 key, qint64 delta)
{
    ItemRow row;
    run([&row, key, delta](PgSession &s) { row = s.addToCount(key, delta); });
    return row;
}

std::optional<StocktakeInfo> PgItemStore::stocktake()
{
    std::optional<StocktakeInfo> info;
    run([&info](PgSession &s) { info = s.stocktake(); });
    return info;
}

StocktakeInfo PgItemStore::startStocktake()
{
    StocktakeInfo info;
    run([&info](PgSession &s) { info = s.startStocktake(); });
    return info;
}

std::vector<StocktakeLine> PgItemStore::stocktakeLines(qint64 id)
{
    std::vector<StocktakeLine> lines;
    run([&lines, id](PgSession &s) { lines = s.stocktakeLines(id); });
    return lines;
}

StocktakeLine PgItemStore::countStocktake(qint64 id, qint64 itemKey, std::optional<qint64> quantity, bool add)
{
    StocktakeLine line;
    run([&](PgSession &s) { line = s.countStocktake(id, itemKey, quantity, add); });
    return line;
}

void PgItemStore::endStocktake(qint64 id, StocktakeEnd how)
{
    run([id, how](PgSession &s) { s.endStocktake(id, how); });
}

std::optional<Money> PgItemStore::totalValue()
{
    std::optional<Money> total;
    run([&total](PgSession &s) { total = s.totalValue(); });
    return total;
}

} // namespace tv
