#pragma once

#include "ItemRecordSet.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace tv {

class ItemStore;

// What a change was, as each history entry keeps it. The words are stored as they are.
namespace ChangeKind {
inline const QString added = QStringLiteral("added");
inline const QString changed = QStringLiteral("changed");
inline const QString deleted = QStringLiteral("deleted");
inline const QString imported = QStringLiteral("imported");
inline const QString scanned = QStringLiteral("scanned");
inline const QString undo = QStringLiteral("undo");
inline const QString countAdded = QStringLiteral("count added"); // by a scan
inline const QString countTaken = QStringLiteral("count taken"); // by a scan
inline const QString stocktake = QStringLiteral("stocktake");
} // namespace ChangeKind

// What happened to the row: the entry's shape, whatever its kind.
enum class RowAction { Insert, Update, Delete };

// One recorded change of one item, with the item's whole values before and after, so that it can
// be rebuilt even where its row key changed.
struct HistoryEntry
{
    qint64 id = 0;
    QDateTime at; // UTC
    QString by;   // the login name, or the server's database user
    QString workstation;
    QString kind; // a ChangeKind word
    RowAction action = RowAction::Update;
    qint64 itemKey = 0;
    std::optional<qint64> undoes; // the entry an undo reversed
    std::optional<ItemRow> before, after;

    // The values naming the item: after the change, or before it when it was deleted.
    const ItemRow &item() const;
};

// Which entries to read, newest first unless asked otherwise.
struct HistoryQuery
{
    std::optional<qint64> itemKey;   // only this row key's entries
    std::optional<qint64> undoes;    // only undos of this entry
    std::optional<qint64> olderThan; // entry ids below this
    std::optional<qint64> newerThan; // entry ids above this
    QString filter; // the item's name or number, who, workstation or kind contain it (any case)
    int limit = 200;
    bool oldestFirst = false;
};

// The kind the store's next writes are recorded as, instead of added, changed or deleted; the
// store's own words come back when the scope ends.
class ChangeScope
{
public:
    ChangeScope(ItemStore &store, const QString &kind, std::optional<qint64> undoes = std::nullopt);
    ~ChangeScope();
    ChangeScope(const ChangeScope &) = delete;
    ChangeScope &operator=(const ChangeScope &) = delete;

private:
    ItemStore &m_store;
};

// Who and where, as the file's entries record them.
QString loginName();
QString workstationName();

// The entry's change in words: "added", "deleted", "Unit Count 5 → 7", ...
QString describeChange(const HistoryEntry &entry);
// When, in the local time of this computer.
QString localTimeText(const QDateTime &utc);

// The entries of the item whose row key is `key`, newest first, following it back through an
// undone delete to the entries of the row it was before; an older item that had the same key is
// left out.
std::vector<HistoryEntry> itemHistory(ItemStore &store, qint64 key, int limit = 1000);

// The newest change of the same item made after the entry (an undo of a delete counts); nullopt
// when there was none, and the entry can be undone without asking.
std::optional<HistoryEntry> laterChange(ItemStore &store, const HistoryEntry &entry);

} // namespace tv
