#pragma once

#include "ItemColumns.h"
#include "ItemRowTable.h"
#include "common/Money.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

namespace tv {

class ItemStore;
struct HistoryEntry;
enum class StocktakeEnd;

QString columnName(Column column);
std::optional<Column> columnFromName(QStringView name); // without regard to case

// Stored values the program cannot show as they are: a blob, text that is not UTF-8, a number
// column holding text or a fraction. They are shown marked and stay in the file as they are
// until the user replaces them.
struct KeptValues
{
    std::array<QString, kColumnCount> shown; // the marked text; null for columns read normally
};

// One row of Items. A null QString or an empty optional is a NULL in the file.
struct ItemRow
{
    std::optional<qint64>
        rowid; // the store's private row key (0 is a valid one); empty until the row is stored
    // The server's count of changes to the row, or a digest of the values stored in a file: a
    // save or delete is refused when the stored row no longer has it.
    std::optional<qint64> version;
    QString itemDesc, itemNum, image, invNum, vendor;
    QString invDate; // ISO yyyy-mm-dd
    std::optional<qint64> itemCnt;
    std::optional<Money> itemCst, totItemCst;
    std::optional<qint64> reorderLevel, reorderQty; // see Column::ReorderLevel
    std::shared_ptr<const KeptValues> kept;         // null for a row read whole

    bool isKept(Column column) const { return kept && !kept->shown[static_cast<size_t>(column)].isNull(); }
    QString keptText(Column column) const
    {
        return kept ? kept->shown[static_cast<size_t>(column)] : QString();
    }
    // The member holding a text or date column, a count or a money column; nullptr for any other.
    std::optional<qint64> *countOf(Column column);
    const std::optional<qint64> *countOf(Column column) const
    {
        return const_cast<ItemRow *>(this)->countOf(column);
    }
    QString *textOf(Column column);
    const QString *textOf(Column column) const { return const_cast<ItemRow *>(this)->textOf(column); }
    std::optional<Money> *moneyOf(Column column);
    const std::optional<Money> *moneyOf(Column column) const
    {
        return const_cast<ItemRow *>(this)->moneyOf(column);
    }
    // Whether the column holds the same value in both rows.
    static bool sameValue(const ItemRow &a, const ItemRow &b, Column column);

    // Text columns and InvDate as QString, ItemCnt as qlonglong, money as Money; NULL as an
    // invalid QVariant.
    QVariant value(Column column) const;
    // Takes the same types; an invalid QVariant stores NULL. Throws AppError 13 (Type mismatch)
    // for a value of the wrong kind. A kept value of the column is replaced.
    void setValue(Column column, const QVariant &value);
};

// The one record set over the whole Items table, owned by the main window. Reads every row
// once when it opens and keeps them in table order; moves and counts work on that copy, and
// add, update and delete write through to the store. A row another program or workstation
// changed is read again when the store says so.
//
// Position: -1 is before-first (BOF), recordCount() is after-last (EOF). After a delete there is
// no current row until the next move.
class ItemRecordSet : public QObject
{
    Q_OBJECT
public:
    // Over the database file at path.
    explicit ItemRecordSet(const QString &path, QObject *parent = nullptr);
    explicit ItemRecordSet(std::unique_ptr<ItemStore> store, QObject *parent = nullptr);
    ~ItemRecordSet() override;

    const QString &path() const { return m_path; } // where the store is
    ItemStore &store() const { return *m_store; }

    void open();  // throws AppError
    void close(); // lets go of the file; every other operation then fails with error 3704
    bool isOpen() const { return m_open; }

    int recordCount() const;
    bool bof() const;
    bool eof() const;
    int position() const { return m_pos; }
    bool hasCurrent() const;

    // Each move first writes a pending new or edited current row, as update() does.
    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    void moveTo(int index); // the grid's click

    void addNew();
    void update();
    void deleteCurrent();
    // Save with no destination: whatever is pending on the current row is written. Only the
    // columns that were given a different value are written back to a stored row. A save the
    // store refuses as a conflict (ItemConflict) shows the row as it is stored now, or treats it
    // as deleted, and the error goes on to the caller.
    void save();

    // Reverses one recorded change (the store's undo) after writing what is pending, and shows its
    // outcome at once: the row's values, a row gone, or an item brought back, which becomes current.
    void undoChange(const HistoryEntry &entry);

    // Makes the row at `index` current (writing what is pending) and adds `delta` to its stored
    // count through the store, relative to what is stored; the row shows what is stored then. A
    // refusal (CountRefused, ItemConflict) shows the stored row and goes on to the caller.
    void addToCount(int index, qint64 delta);
    // Ends a stocktake through the store after writing what is pending; the counts it set are shown.
    void endStocktake(qint64 id, StocktakeEnd how);

    // Whether the current row has values not yet in the file.
    bool isDirty() const { return m_changed != 0; }
    // Whether a command is waiting for the store (a server's answer). Events run meanwhile: values
    // may be set, but every other command is refused until it ended.
    bool isBusy() const { return m_busy; }
    QVariant value(Column column) const;
    QVariant value(QStringView columnName) const;
    void setValue(Column column, const QVariant &value);

    // Rows are kept compactly and made on request: a row is a copy, not a view of the set.
    ItemRow row(int index) const { return m_rows.row(static_cast<size_t>(index)); }
    const ItemRowTable &rows() const { return m_rows; }

    // Runs before every move, addNew, update and save, so that text still pending in bound
    // widgets reaches the current row first; a hook that throws stops the operation unchanged.
    void setPendingEditsHook(std::function<void()> hook) { m_pendingEditsHook = std::move(hook); }

signals:
    void currentChanged(); // another row became current, or none
    void aboutToReset();   // before open/close replace every row
    // After open/close, or after every row was read again; sameCurrent: the same item stayed
    // current, and values typed into it are kept.
    void reset(bool sameCurrent = false);
    // Changes made elsewhere have been taken in (rows changed, added or gone).
    void changesTaken();
    void rowAboutToBeInserted(int index);
    void rowInserted(int index); // a new row was appended by addNew()
    void rowAboutToBeRemoved(int index);
    void rowRemoved(int index); // a row was deleted
    void rowChanged(int index); // a row's values changed
    // The current row was deleted elsewhere; the next row (if any) is current now.
    void currentDeletedElsewhere();

private:
    void requireOpen() const;
    void requireCurrent() const;
    void requireIdle() const;
    // Changes heard of come in bursts (an import elsewhere sends one per row): they are gathered
    // for a moment and read back together, a batch at a time, or past a threshold by reading
    // every row again.
    void gatherChange(qint64 key);
    void takeGathered();
    void takeBatch(const std::vector<qint64> &keys);
    void readEveryRowAgain();
    void writePending();
    void takePendingEdits();
    void setPosition(int pos, bool deletedHole = false);
    // Writes the current row's pending values; returns the row as the store left it.
    ItemRow writeRow(ItemRow row);
    // Reads every row into a new table, fast from a file.
    ItemRowTable readAll();
    int indexOf(qint64 key) const;
    void takeChange(qint64 key);
    void dropRow(int index, bool current, bool elsewhere = true);

    std::unique_ptr<ItemStore> m_store;
    QString m_path;
    ItemRowTable m_rows;
    int m_pos = -1;
    bool m_open = false;
    unsigned m_changed = 0; // one bit per Column of the current row
    bool m_afterDelete = false;
    bool m_busy = false;
    std::vector<qint64> m_laterChanges;     // heard of, not read back yet
    std::unordered_set<qint64> m_laterKeys; // the same keys, to take each once
    QTimer m_gather;
    std::function<void()> m_pendingEditsHook;
};

} // namespace tv
