#pragma once

#include "ItemHistory.h"
#include "ItemRecordSet.h"
#include "Stocktake.h"
#include "common/AppError.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace tv {

// A row as the engine holds it, for readers that pass its values on unchanged (the report): each
// column NULL, a whole number or UTF-8 text, good until the next row. A row holding a value kept
// as stored (see KeptValues) comes as an ItemRow instead, in `row`.
struct StoredCells
{
    const ItemRow *row = nullptr;                      // when set, the other members mean nothing
    unsigned nulls = 0;                                // one bit (1 << Column) per NULL
    std::array<std::string_view, kColumnCount> text{}; // Text and Date columns
    std::array<qint64, kColumnCount> number{};         // Count columns, and Money as raw amounts

    bool isNull(Column c) const { return (nulls >> static_cast<unsigned>(c)) & 1u; }
};

// Where the Items table lives: the database file in the program folder, or a server shared by
// several workstations. The record set reads every row once and writes each change through here;
// reports, pick lists and CSV read through here too. Every failure is an AppError.
class ItemStore : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~ItemStore() override = default;

    // What the title bar, the about box and messages name: the file's path, or the server's URL
    // without a password.
    virtual QString location() const = 0;

    // Connects; throws AppError with a clear text when the table cannot be reached or is not of
    // this shape. The store never creates the table.
    virtual void open() = 0;
    virtual void close() = 0; // lets go of the connection
    virtual bool isOpen() const = 0;

    // Every row in the table's own order, each with its key (and version where the engine keeps one).
    virtual std::vector<ItemRow> readAll() = 0;
    // The same rows appended to the table, without making each row first where the engine allows.
    virtual void readAllInto(ItemRowTable &table)
    {
        std::vector<ItemRow> rows = readAll();
        table.reserve(rows.size());
        for (ItemRow &row : rows) {
            table.append(row);
            row = ItemRow(); // lets go of its strings as it goes
        }
    }
    // One row as it is stored now; nullopt when it is gone.
    virtual std::optional<ItemRow> read(qint64 key) = 0;
    // The rows of these keys that are still stored, in any order.
    virtual std::vector<ItemRow> readMany(const std::vector<qint64> &keys)
    {
        std::vector<ItemRow> rows;
        for (const qint64 key : keys)
            if (std::optional<ItemRow> row = read(key)) rows.push_back(std::move(*row));
        return rows;
    }

    // Writes a new row and sets its key (and version).
    virtual void insert(ItemRow &row) = 0;
    // Writes the columns whose bits (1 << Column) are set, leaving the others as stored. Throws
    // ItemConflict when the row has a version and another workstation or program changed or
    // deleted the row since it was read; nothing is written then.
    virtual void update(ItemRow &row, unsigned changedColumns) = 0;
    // Deletes the row by its key; a row already gone is no error. The file's store throws
    // ItemConflict when the row holds other values than those read, and deletes nothing.
    virtual void remove(const ItemRow &row) = 0;
    // Writes new rows in one transaction: all of them or none.
    virtual void insertAll(std::vector<ItemRow> &rows) = 0;

    // Each distinct non-empty stored text of a column, in order of first appearance.
    virtual QStringList distinctValues(Column column) = 0;
    // Every row ordered by one column as the report sorts: NULL first; texts without regard to
    // ASCII letter case and other characters by their bytes, InvDate and Image by their bytes;
    // equal values in the table's own order. Both engines give the same order for the same rows.
    virtual void readOrdered(Column orderBy, const std::function<void(const ItemRow &)> &each) = 0;
    // The same rows in the same order, without making strings of their values where the engine
    // can hand them over as they are.
    virtual void readOrderedCells(Column orderBy, const std::function<void(const StoredCells &)> &each)
    {
        readOrdered(orderBy, [&each](const ItemRow &row) {
            StoredCells cells;
            cells.row = &row;
            each(cells);
        });
    }
    // The sum of TotItemCst; AppError Overflow when it is beyond range; nullopt for no values.
    virtual std::optional<Money> totalValue() = 0;

    // The recorded changes the query asks for; none while the store keeps no history (a file
    // before its first change, a server without the history table).
    virtual std::vector<HistoryEntry> history(const HistoryQuery &query) = 0;
    // Whether changes are recorded here; false for a server whose owner has not added the history.
    virtual bool keepsHistory() = 0;
    // Reverses the entry's change alone, recorded as an undo: a save's fields get their old
    // values, a deleted item comes back as a new row, an added one is deleted. Returns the key of
    // the row it wrote. Throws AppError when there is nothing left to undo (the row is gone).
    virtual qint64 undo(const HistoryEntry &entry) = 0;
    // What the next writes are recorded as (ChangeScope sets it); an empty kind gives back the
    // store's own words (added, changed, deleted).
    void setChangeKind(const QString &kind, std::optional<qint64> undoes)
    {
        m_changeKind = kind;
        m_undoes = undoes;
    }

    // Adds `delta` (negative: takes) to the stored count of the row in one statement, relative to
    // what is stored, so that two workstations counting the same item at once both count; the total
    // value follows (count × cost). Recorded as the change kind in force. Returns the row as stored
    // now. Throws CountRefused (below zero, a count or cost that is no number, a total too large)
    // and ItemConflict when the row is gone; nothing is written then.
    virtual ItemRow addToCount(qint64 key, qint64 delta) = 0;

    // The stocktake in progress, if any.
    virtual std::optional<StocktakeInfo> stocktake() = 0;
    // The stocktake in progress, or a new one holding every item's count as it is now.
    virtual StocktakeInfo startStocktake() = 0;
    virtual std::vector<StocktakeLine> stocktakeLines(qint64 id) = 0;
    // add: `quantity` more of the item were counted; else its count is `quantity` (empty: not
    // counted). Returns the item's line as stored now.
    virtual StocktakeLine countStocktake(qint64 id, qint64 itemKey, std::optional<qint64> quantity,
                                         bool add) = 0;
    // Sets the counts as asked in one transaction, each recorded as the change kind in force, and
    // forgets the stocktake. Throws AppError when another workstation ended it first.
    virtual void endStocktake(qint64 id, StocktakeEnd how) = 0;

    // Whether the file-level Backup and Restore apply (only to a database file).
    virtual bool isFile() const = 0;

    // Whether a command is still waiting for its answer (the window's events run meanwhile).
    virtual bool isBusy() const { return false; }
    // Asks a lost connection again; throws the unreachable text while it is still away.
    virtual void reconnect() {}

signals:
    // Another program or workstation inserted, changed or deleted the row with this key.
    void changedElsewhere(qint64 key);
    // The connection was lost (after a failure) or is back.
    void connectionChanged(bool connected);
    // A command has been waiting for its answer for a noticeable time (true), or it ended (false).
    void waiting(bool waiting);
    // A command ended: work put off while it ran can go on.
    void idle();

protected:
    QString m_changeKind; // empty: the store's own words
    std::optional<qint64> m_undoes;
};

// A save refused because another workstation changed or deleted the row first. `current` holds
// the row as it is stored now; empty when it was deleted.
class ItemConflict : public AppError
{
public:
    ItemConflict(const QString &message, std::optional<ItemRow> current)
        : AppError(Err::DatabaseError, message), m_current(std::move(current))
    {
    }
    const std::optional<ItemRow> &current() const { return m_current; }

    // The texts of a refused save and delete, the same for every engine.
    static QString changedText()
    {
        return QStringLiteral("Another workstation changed this item after it was shown here, so your "
                              "change was not saved. The item is shown as it is stored now; make your "
                              "change again if it is still needed.");
    }
    static QString deletedText()
    {
        return QStringLiteral("Another workstation deleted this item after it was shown here, so your "
                              "change was not saved.");
    }
    static QString changedBeforeDeleteText()
    {
        return QStringLiteral("Another workstation changed this item after it was shown here, so it was "
                              "not deleted. The item is shown as it is stored now; delete it again if it "
                              "is no longer needed.");
    }

private:
    std::optional<ItemRow> m_current;
};

// What saving into a database file says once another copy of the program restored the backup
// over it: the file this program has open is no longer the one at its path.
inline QString restoredElsewhereText()
{
    return QStringLiteral("The database was restored by another Tallyvane; restart to go on.");
}

// What a command asked for while the store still waits for the server's answer to another one gets.
QString waitingForServerText();

// The store of the database file at `path`. While open it looks every second whether another
// program changed the file and says which rows (changedElsewhere).
std::unique_ptr<ItemStore> makeFileStore(const QString &path);

} // namespace tv
