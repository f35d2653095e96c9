#pragma once

#include "ItemStore.h"
#include "ItemStoreConfig.h"

#include <QThread>
#include <functional>

namespace tv {

class PgSession;

// The Items table on a PostgreSQL server, shared by several workstations (data/postgresql/items.sql
// makes it). Each row has a version: a save of a row another workstation changed since it was
// read is refused with ItemConflict. Every change on the server, whoever makes it, comes back as
// changedElsewhere.
//
// The connection lives on a thread of its own: the window's thread waits for each command in a
// local event loop, so the window keeps answering while the server does not. Every command is
// bounded (connect, statement and lock timeouts on the server, keepalives, and a watchdog that cuts
// a connection on which nothing arrived for a while). Only one command runs at a time; another
// one asked for meanwhile is refused at once. A lost connection fails the command with a clear
// text and is made again on the next command.
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
    void readAllInto(ItemRowTable &table) override;
    std::optional<ItemRow> read(qint64 key) override;
    std::vector<ItemRow> readMany(const std::vector<qint64> &keys) override;
    void insert(ItemRow &row) override;
    void update(ItemRow &row, unsigned changedColumns) override;
    void remove(const ItemRow &row) override;
    void insertAll(std::vector<ItemRow> &rows) override;
    QStringList distinctValues(Column column) override;
    void readOrdered(Column orderBy, const std::function<void(const ItemRow &)> &each) override;
    std::optional<Money> totalValue() override;
    std::vector<HistoryEntry> history(const HistoryQuery &query) override;
    bool keepsHistory() override;
    qint64 undo(const HistoryEntry &entry) override;
    ItemRow addToCount(qint64 key, qint64 delta) override;
    std::optional<StocktakeInfo> stocktake() override;
    StocktakeInfo startStocktake() override;
    std::vector<StocktakeLine> stocktakeLines(qint64 id) override;
    StocktakeLine countStocktake(qint64 id, qint64 itemKey, std::optional<qint64> quantity,
                                 bool add) override;
    void endStocktake(qint64 id, StocktakeEnd how) override;
    bool isFile() const override { return false; }
    bool isBusy() const override { return m_waiting; }
    void reconnect() override;

    // The channel the table's trigger sends each changed row's id on.
    static QString notificationChannel() { return QStringLiteral("items_changed"); }

private:
    // Runs the job on the connection's thread and waits for it with the window's events running.
    void run(const std::function<void(PgSession &)> &job);

    ServerAddress m_address;
    QThread m_thread;
    PgSession *m_session = nullptr;
    bool m_open = false;
    bool m_waiting = false;
};

} // namespace tv
