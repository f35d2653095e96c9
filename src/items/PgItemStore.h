#pragma once

#include "ItemStore.h"
#include "ItemStoreConfig.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace tv {

// The Items table on a PostgreSQL server, shared by several workstations (data/postgresql/items.sql
// makes it). Each row has a version: a save of a row another workstation changed since it was
// read is refused with ItemConflict. Every change on the server, whoever makes it, comes back as
// changedElsewhere. A lost connection fails the command with a clear text and is made again on
// the next command.
class PgItemStore : public ItemStore
{
    Q_OBJECT
public:
    explicit PgItemStore(const ServerAddress &address, QObject *parent = nullptr);
    ~PgItemStore() override;

    QString location() const override { return m_address.url(); }
    void open() override;
    void close() override;
    bool isOpen() const override { return m_open; }

    std::vector<ItemRow> readAll() override;
    std::optional<ItemRow> read(qint64 key) override;
    void insert(ItemRow &row) override;
    void update(ItemRow &row, unsigned changedColumns) override;
    void remove(const ItemRow &row) override;
    void insertAll(std::vector<ItemRow> &rows) override;
    QStringList distinctValues(Column column) override;
    void readOrdered(Column orderBy, const std::function<void(const ItemRow &)> &each) override;
    std::optional<Money> totalValue() override;
    bool isFile() const override { return false; }

    // The channel the table's trigger sends each changed row's id on.
    static QString notificationChannel() { return QStringLiteral("items_changed"); }

private:
    QSqlDatabase database() const;
    void connectToServer(); // throws the unreachable text
    void verifyTable();
    QSqlDatabase ready(); // the connection, made again when it was lost; throws when closed
    QSqlQuery exec(const QString &sql, const QVariantList &values = {}, bool forwardOnly = true);
    [[noreturn]] void fail(const QSqlError &error);
    [[noreturn]] void throwUnreachable(const QSqlError &error);
    void onNotification(const QString &name, const QVariant &payload);

    ServerAddress m_address;
    QString m_connection;
    bool m_open = false;      // opened by the user and not closed
    bool m_connected = false; // the connection is up as far as is known
    bool m_listening = false; // the driver's notification signal is wired
    bool m_inTransaction = false;
};

} // namespace tv
