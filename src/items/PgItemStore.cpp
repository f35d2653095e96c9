#include "PgItemStore.h"

#include "common/AppError.h"

#include <QAtomicInteger>
#include <QHash>
#include <QSqlDriver>
#include <QSqlRecord>
#include <QStringList>

namespace tv {

namespace {

constexpr int kFirstColumn = 2;   // after id and version
constexpr int kInsertChunk = 500; // rows per insert statement: far below the server's 65535 parameters

QString selectColumns()
{
    QStringList names{QStringLiteral("id"), QStringLiteral("version")};
    for (int c = 0; c < kColumnCount; ++c)
        names << columnName(static_cast<Column>(c));
    return names.join(QStringLiteral(", "));
}

QString insertColumns()
{
    QStringList names;
    for (int c = 0; c < kColumnCount; ++c)
        names << columnName(static_cast<Column>(c));
    return names.join(QStringLiteral(", "));
}

bool isMoney(Column c)
{
    return c == Column::ItemCst || c == Column::TotItemCst;
}

bool isNumber(Column c)
{
    return isMoney(c) || c == Column::ItemCnt;
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

// A row of a query selecting selectColumns().
ItemRow rowOf(const QSqlQuery &q)
{
    ItemRow r;
    r.rowid = q.value(0).toLongLong();
    r.version = q.value(1).toLongLong();
    const auto at = [](Column c) { return kFirstColumn + static_cast<int>(c); };
    r.itemDesc = text(q, at(Column::ItemDesc));
    r.itemNum = text(q, at(Column::ItemNum));
    r.itemCnt = number(q, at(Column::ItemCnt));
    r.itemCst = money(q, at(Column::ItemCst));
    r.totItemCst = money(q, at(Column::TotItemCst));
    r.image = text(q, at(Column::Image));
    r.invNum = text(q, at(Column::InvNum));
    r.vendor = text(q, at(Column::Vendor));
    r.invDate = text(q, at(Column::InvDate));
    return r;
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

PgItemStore::PgItemStore(const ServerAddress &address, QObject *parent)
    : ItemStore(parent), m_address(address)
{
    static QAtomicInteger<quint64> counter;
    m_connection = QStringLiteral("tallyvane-server-%1").arg(counter.fetchAndAddRelaxed(1));
}

PgItemStore::~PgItemStore()
{
    close();
    if (QSqlDatabase::contains(m_connection)) QSqlDatabase::removeDatabase(m_connection);
}

QSqlDatabase PgItemStore::database() const
{
    return QSqlDatabase::database(m_connection, false);
}

void PgItemStore::throwUnreachable(const QSqlError &error)
{
    // The client library's first line says what happened; the rest are hints for administrators.
    QString why;
    for (const QString &text : {error.databaseText(), error.driverText()}) {
        for (const QString &line : text.split(QLatin1Char('\n'))) {
            why = line.simplified();
            if (why.endsWith(QLatin1String("()"))) why.chop(2);
            if (!why.isEmpty()) break;
        }
        if (!why.isEmpty()) break;
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

void PgItemStore::connectToServer()
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
    // No password here: the client library reads ~/.pgpass and PGPASSWORD. Keepalives find a cut
    // network within seconds instead of hanging a command.
    db.setConnectOptions(QStringLiteral("connect_timeout=5;application_name=Ketbook;keepalives_idle=10;"
                                        "keepalives_interval=2;keepalives_count=3"));
    if (!db.open()) throwUnreachable(db.lastError());
    if (!m_listening) {
        connect(db.driver(), &QSqlDriver::notification, this,
                [this](const QString &name, QSqlDriver::NotificationSource, const QVariant &payload) {
                    onNotification(name, payload);
                });
        m_listening = true;
    }
    // Without it other workstations' changes would go unseen: its failure fails the command.
    if (!db.driver()->subscribeToNotification(notificationChannel())) fail(db.driver()->lastError());
    m_connected = true;
}

void PgItemStore::verifyTable()
{
    const QString where =
        QStringLiteral("%1:%2/%3").arg(m_address.host).arg(m_address.port).arg(m_address.database);
    QSqlQuery q(database());
    q.setForwardOnly(true);
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
    for (int c = 0; c < kColumnCount; ++c)
        needed << columnName(static_cast<Column>(c)).toLower();
    for (const QString &column : needed)
        if (!found.contains(column))
            throw AppError(
                Err::DatabaseError,
                QStringLiteral("The Items table of the database %1 on the inventory server has no column "
                               "%2. Create the table with the script data/postgresql/items.sql.")
                    .arg(where, column));
}

void PgItemStore::open()
{
    close();
    try {
        connectToServer();
        verifyTable();
    } catch (const AppError &) {
        database().close();
        m_connected = false;
        throw;
    }
    m_open = true;
}

void PgItemStore::close()
{
    m_open = false;
    m_connected = false;
    if (QSqlDatabase::contains(m_connection)) database().close();
}

QSqlDatabase PgItemStore::ready()
{
    if (!m_open) throw AppError(Err::ObjectClosed);
    // The driver may have seen the server go away while waiting for notifications.
    if (m_connected && !database().isOpen()) {
        m_connected = false;
        emit connectionChanged(false);
    }
    if (!m_connected) {
        database().close();
        connectToServer();
        emit connectionChanged(true);
    }
    return database();
}

void PgItemStore::fail(const QSqlError &error)
{
    // A statement can fail for itself or because the server went away; asking again tells which.
    QSqlDatabase db = database();
    if (db.isOpen()) {
        if (m_inTransaction) db.rollback(); // an aborted transaction refuses even the probe
        QSqlQuery probe(db);
        if (probe.exec(QStringLiteral("select 1"))) {
            QString why = error.databaseText().trimmed();
            if (why.isEmpty()) why = error.driverText().trimmed();
            m_inTransaction = false;
            throw AppError(Err::DatabaseError, why.isEmpty() ? errorDescription(Err::DatabaseError) : why);
        }
    }
    m_inTransaction = false;
    const bool wasConnected = m_connected;
    m_connected = false;
    db.close();
    if (wasConnected && m_open) emit connectionChanged(false);
    throwUnreachable(error);
}

QSqlQuery PgItemStore::exec(const QString &sql, const QVariantList &values, bool forwardOnly)
{
    QSqlQuery q(ready());
    q.setForwardOnly(forwardOnly);
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

void PgItemStore::onNotification(const QString &name, const QVariant &payload)
{
    if (name != notificationChannel()) return;
    bool ok = false;
    const qint64 key = payload.toString().toLongLong(&ok);
    if (ok) emit changedElsewhere(key);
}

std::vector<ItemRow> PgItemStore::readAll()
{
    std::vector<ItemRow> rows;
    {
        QSqlQuery count = exec(QStringLiteral("select count(*) from Items"));
        if (count.next()) rows.reserve(static_cast<size_t>(count.value(0).toLongLong()));
    }
    QSqlQuery q = exec(QStringLiteral("select %1 from Items order by id").arg(selectColumns()));
    while (q.next())
        rows.push_back(rowOf(q));
    if (q.lastError().isValid()) fail(q.lastError());
    return rows;
}

std::optional<ItemRow> PgItemStore::read(qint64 key)
{
    QSqlQuery q = exec(QStringLiteral("select %1 from Items where id = ?").arg(selectColumns()),
                       {QVariant(static_cast<qlonglong>(key))});
    if (q.next()) return rowOf(q);
    if (q.lastError().isValid()) fail(q.lastError());
    return std::nullopt;
}

void PgItemStore::insert(ItemRow &row)
{
    QVariantList values;
    for (int c = 0; c < kColumnCount; ++c)
        values << bindValue(row, static_cast<Column>(c));
    QSqlQuery q =
        exec(QStringLiteral("insert into Items (%1) values (?, ?, ?, ?, ?, ?, ?, ?, ?) returning id, version")
                 .arg(insertColumns()),
             values);
    if (!q.next()) fail(q.lastError());
    row.rowid = q.value(0).toLongLong();
    row.version = q.value(1).toLongLong();
}

void PgItemStore::update(ItemRow &row, unsigned changedColumns)
{
    if (!row.rowid) throw AppError(Err::NoCurrentRecord);
    QStringList sets;
    QVariantList values;
    for (int c = 0; c < kColumnCount; ++c) {
        if (!(changedColumns & (1u << c))) continue;
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
    QSqlQuery q = exec(sql + QStringLiteral(" returning version"), values);
    if (q.next()) {
        row.version = q.value(0).toLongLong();
        return;
    }
    if (q.lastError().isValid()) fail(q.lastError());
    std::optional<ItemRow> now = read(*row.rowid);
    throw ItemConflict(
        now ? QStringLiteral("Another workstation changed this item after it was shown here, so "
                             "your change was not saved. The item is shown as it is stored now; "
                             "make your change again if it is still needed.")
            : QStringLiteral("Another workstation deleted this item after it was shown here, so "
                             "your change was not saved."),
        std::move(now));
}

void PgItemStore::remove(const ItemRow &row)
{
    if (!row.rowid) return;
    exec(QStringLiteral("delete from Items where id = ?"), {QVariant(static_cast<qlonglong>(*row.rowid))});
}

void PgItemStore::insertAll(std::vector<ItemRow> &rows)
{
    if (rows.empty()) return;
    QSqlDatabase db = ready();
    if (!db.transaction()) fail(db.lastError());
    m_inTransaction = true;
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
    const QString head = QStringLiteral("insert into Items (id, %1) values ").arg(insertColumns());
    const QString one = QStringLiteral("(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    for (size_t start = 0; start < rows.size(); start += kInsertChunk) {
        const size_t end = std::min(rows.size(), start + kInsertChunk);
        QStringList tuples;
        QVariantList values;
        for (size_t i = start; i < end; ++i) {
            tuples << one;
            values << QVariant(static_cast<qlonglong>(keys[i]));
            for (int c = 0; c < kColumnCount; ++c)
                values << bindValue(rows[i], static_cast<Column>(c));
        }
        QSqlQuery q =
            exec(head + tuples.join(QStringLiteral(", ")) + QStringLiteral(" returning id, version"), values);
        while (q.next())
            versions.insert(q.value(0).toLongLong(), q.value(1).toLongLong());
    }
    if (!db.commit()) fail(db.lastError());
    m_inTransaction = false;
    for (size_t i = 0; i < rows.size(); ++i) {
        rows[i].rowid = keys[i];
        rows[i].version = versions.value(keys[i]);
    }
}

QStringList PgItemStore::distinctValues(Column column)
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

void PgItemStore::readOrdered(Column orderBy, const std::function<void(const ItemRow &)> &each)
{
    // The whole result is fetched first: the caller may read rows between ours (a report showing
    // progress runs notifications), and a row-by-row result would be lost to any other statement.
    QSqlQuery q = exec(QStringLiteral("select %1 from Items order by %2 nulls first, id")
                           .arg(selectColumns(), orderKey(orderBy)),
                       {}, false);
    while (q.next())
        each(rowOf(q));
    if (q.lastError().isValid()) fail(q.lastError());
}

std::optional<Money> PgItemStore::totalValue()
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

} // namespace tv
