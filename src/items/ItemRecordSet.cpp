#include "ItemRecordSet.h"

#include "ItemHistory.h"
#include "ItemStore.h"
#include "Stocktake.h"
#include "common/AppError.h"

#include <QTimer>
#include <algorithm>
#include <malloc.h>
#include <unordered_map>
#include <unordered_set>

namespace tv {

namespace {
constexpr int kGatherMs = 50;                // a burst's notifications come within this
constexpr size_t kReadBatch = 1000;          // keys read back by one query
constexpr size_t kWholeReadThreshold = 2000; // more: every row is read again instead
} // namespace

namespace {
QVariant textValue(const QString &s)
{
    return s.isNull() ? QVariant() : QVariant(s);
}

QString toText(const QVariant &v)
{
    if (!v.isValid() || v.isNull()) return QString();
    if (v.metaType().id() != QMetaType::QString) throw AppError(Err::TypeMismatch);
    QString s = v.toString();
    if (s.isNull()) s = QStringLiteral(""); // an empty text is not NULL
    return s;
}

std::optional<Money> toMoney(const QVariant &v)
{
    if (!v.isValid() || v.isNull()) return std::nullopt;
    if (v.metaType() != QMetaType::fromType<Money>()) throw AppError(Err::TypeMismatch);
    return v.value<Money>();
}

std::optional<qint64> toCount(const QVariant &v)
{
    if (!v.isValid() || v.isNull()) return std::nullopt;
    switch (v.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
        return v.toLongLong();
    default:
        throw AppError(Err::TypeMismatch);
    }
}

unsigned columnBit(Column column)
{
    return 1u << static_cast<unsigned>(column);
}

// Marks the record set as waiting for its store: the rows must not move under the command.
class BusyScope
{
public:
    explicit BusyScope(bool &busy) : m_busy(busy) { m_busy = true; }
    ~BusyScope() { m_busy = false; }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    bool &m_busy;
};
} // namespace

QString waitingForServerText()
{
    return QStringLiteral("Ketbook is still waiting for the inventory server to answer the last "
                          "command. Try again in a moment.");
}

QString columnName(Column column)
{
    return QString::fromLatin1(columnInfo(column).name);
}

std::optional<Column> columnFromName(QStringView name)
{
    for (const ColumnInfo &c : kColumns)
        if (name.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0) return c.column;
    return std::nullopt;
}

QString *ItemRow::textOf(Column column)
{
    switch (column) {
    case Column::ItemDesc:
        return &itemDesc;
    case Column::ItemNum:
        return &itemNum;
    case Column::Image:
        return &image;
    case Column::InvNum:
        return &invNum;
    case Column::Vendor:
        return &vendor;
    case Column::InvDate:
        return &invDate;
    default:
        return nullptr;
    }
}

std::optional<qint64> *ItemRow::countOf(Column column)
{
    switch (column) {
    case Column::ItemCnt:
        return &itemCnt;
    case Column::ReorderLevel:
        return &reorderLevel;
    case Column::ReorderQty:
        return &reorderQty;
    default:
        return nullptr;
    }
}

std::optional<Money> *ItemRow::moneyOf(Column column)
{
    return column == Column::ItemCst ? &itemCst : column == Column::TotItemCst ? &totItemCst : nullptr;
}

QVariant ItemRow::value(Column column) const
{
    switch (columnInfo(column).type) {
    case ColumnType::Count: {
        const std::optional<qint64> &n = *countOf(column);
        return n ? QVariant(static_cast<qlonglong>(*n)) : QVariant();
    }
    case ColumnType::Money: {
        const std::optional<Money> &m = *moneyOf(column);
        return m ? QVariant::fromValue(*m) : QVariant();
    }
    case ColumnType::Text:
    case ColumnType::Date:
        break;
    }
    return textValue(*textOf(column));
}

bool ItemRow::sameValue(const ItemRow &a, const ItemRow &b, Column column)
{
    switch (columnInfo(column).type) {
    case ColumnType::Count:
        return *a.countOf(column) == *b.countOf(column);
    case ColumnType::Money:
        return *a.moneyOf(column) == *b.moneyOf(column);
    case ColumnType::Text:
    case ColumnType::Date:
        break;
    }
    const QString &x = *a.textOf(column), &y = *b.textOf(column);
    return x.isNull() == y.isNull() && x == y;
}

void ItemRow::setValue(Column column, const QVariant &v)
{
    if (isKept(column)) {
        // Validate before the kept value is let go.
        ItemRow checked;
        checked.setValue(column, v);
        auto rest = std::make_shared<KeptValues>(*kept);
        rest->shown[static_cast<size_t>(column)] = QString();
        const bool any =
            std::any_of(rest->shown.begin(), rest->shown.end(), [](const QString &t) { return !t.isNull(); });
        kept = any ? std::move(rest) : nullptr;
    }
    switch (columnInfo(column).type) {
    case ColumnType::Count:
        *countOf(column) = toCount(v);
        break;
    case ColumnType::Money:
        *moneyOf(column) = toMoney(v);
        break;
    case ColumnType::Text:
    case ColumnType::Date:
        *textOf(column) = toText(v);
        break;
    }
}

ItemRecordSet::ItemRecordSet(const QString &path, QObject *parent)
    : ItemRecordSet(makeFileStore(path), parent)
{
}

ItemRecordSet::ItemRecordSet(std::unique_ptr<ItemStore> store, QObject *parent)
    : QObject(parent), m_store(std::move(store)), m_path(m_store->location())
{
    connect(m_store.get(), &ItemStore::changedElsewhere, this, [this](qint64 key) { gatherChange(key); });
    // Changes heard of during a command are taken once it ended, outside of its wait.
    connect(m_store.get(), &ItemStore::idle, this, [this] {
        if (!m_laterChanges.empty()) m_gather.start();
    });
    m_gather.setSingleShot(true);
    m_gather.setInterval(kGatherMs);
    connect(&m_gather, &QTimer::timeout, this, &ItemRecordSet::takeGathered);
}

ItemRecordSet::~ItemRecordSet() = default;

void ItemRecordSet::open()
{
    if (m_open) return;
    requireIdle();
    ItemRowTable rows;
    {
        BusyScope busy(m_busy);
        m_store->open();
        try {
            rows = readAll();
        } catch (...) {
            m_store->close();
            throw;
        }
    }
    emit aboutToReset();
    m_rows = std::move(rows);
    m_open = true;
    m_changed = 0;
    m_afterDelete = false;
    m_pos = m_rows.empty() ? -1 : 0;
    emit reset();
    emit currentChanged();
}

void ItemRecordSet::close()
{
    if (!m_open) return;
    requireIdle();
    emit aboutToReset();
    m_rows.clear();
    m_open = false;
    m_changed = 0;
    m_pos = -1;
    m_store->close();
    emit reset();
    emit currentChanged();
}

ItemRowTable ItemRecordSet::readAll()
{
    ItemRowTable rows;
    m_store->readAllInto(rows);
    rows.endBulk();
    // What reading took for a moment (the engine's pages, the texts' look-up) goes back to the system.
    malloc_trim(0);
    return rows;
}

void ItemRecordSet::requireOpen() const
{
    if (!m_open) throw AppError(Err::ObjectClosed);
}

void ItemRecordSet::requireIdle() const
{
    if (m_busy) throw AppError(Err::DatabaseError, waitingForServerText());
}

void ItemRecordSet::requireCurrent() const
{
    requireOpen();
    if (!hasCurrent()) throw AppError(Err::NoCurrentRecord);
}

int ItemRecordSet::recordCount() const
{
    requireOpen();
    return static_cast<int>(m_rows.size());
}

bool ItemRecordSet::bof() const
{
    requireOpen();
    return m_rows.empty() || m_pos < 0;
}

bool ItemRecordSet::eof() const
{
    requireOpen();
    return m_rows.empty() || m_pos >= static_cast<int>(m_rows.size());
}

bool ItemRecordSet::hasCurrent() const
{
    return m_open && !m_afterDelete && m_pos >= 0 && m_pos < static_cast<int>(m_rows.size());
}

void ItemRecordSet::setPosition(int pos, bool deletedHole)
{
    m_pos = pos;
    m_afterDelete = deletedHole;
    emit currentChanged();
}

void ItemRecordSet::takePendingEdits()
{
    if (m_pendingEditsHook && hasCurrent()) m_pendingEditsHook();
}

void ItemRecordSet::writePending()
{
    if (hasCurrent() && (m_changed != 0 || !m_rows.rowid(static_cast<size_t>(m_pos)))) update();
}

void ItemRecordSet::moveFirst()
{
    requireOpen();
    requireIdle();
    takePendingEdits();
    writePending();
    setPosition(m_rows.empty() ? -1 : 0);
}

void ItemRecordSet::moveLast()
{
    requireOpen();
    requireIdle();
    takePendingEdits();
    writePending();
    setPosition(m_rows.empty() ? -1 : static_cast<int>(m_rows.size()) - 1);
}

void ItemRecordSet::moveNext()
{
    requireOpen();
    requireIdle();
    if (eof()) throw AppError(Err::NoCurrentRecord);
    takePendingEdits();
    writePending();
    // After a delete the row that followed the deleted one already sits at m_pos.
    setPosition(m_afterDelete ? m_pos : m_pos + 1);
}

void ItemRecordSet::movePrevious()
{
    requireOpen();
    requireIdle();
    if (bof()) throw AppError(Err::NoCurrentRecord);
    takePendingEdits();
    writePending();
    setPosition(m_pos - 1);
}

void ItemRecordSet::moveTo(int index)
{
    requireOpen();
    if (index < 0 || index >= static_cast<int>(m_rows.size())) throw AppError(Err::NoCurrentRecord);
    if (index == m_pos && !m_afterDelete) return;
    requireIdle();
    takePendingEdits();
    writePending();
    setPosition(index);
}

void ItemRecordSet::addNew()
{
    requireOpen();
    requireIdle();
    takePendingEdits();
    writePending();
    const int index = static_cast<int>(m_rows.size());
    emit rowAboutToBeInserted(index);
    m_rows.append(ItemRow{});
    emit rowInserted(index);
    m_changed = 0;
    setPosition(index);
}

void ItemRecordSet::update()
{
    requireCurrent();
    requireIdle();
    takePendingEdits();
    const int index = m_pos;
    const ItemRow sent = row(index);
    if (sent.rowid && m_changed == 0) return;
    const ItemRow written = writeRow(sent);
    // Values given while the store was asked stay to be written by the next save.
    ItemRow now = row(index);
    unsigned later = 0;
    for (int c = 0; c < kColumnCount; ++c) {
        const auto column = static_cast<Column>(c);
        if (ItemRow::sameValue(sent, now, column) && sent.isKept(column) == now.isKept(column)) continue;
        later |= columnBit(column);
    }
    if (later == 0) {
        now = written;
    } else {
        now.rowid = written.rowid;
        now.version = written.version;
    }
    m_rows.set(static_cast<size_t>(index), now);
    m_changed = later;
    emit rowChanged(index);
}

ItemRow ItemRecordSet::writeRow(ItemRow r)
{
    try {
        // The rows neither move nor go while the store is asked: every other command waits.
        BusyScope busy(m_busy);
        if (r.rowid)
            m_store->update(r, m_changed);
        else
            m_store->insert(r);
    } catch (const ItemConflict &e) {
        // Another workstation's values win; what was typed is not written over them.
        m_changed = 0;
        if (e.current()) {
            m_rows.set(static_cast<size_t>(m_pos), *e.current());
            emit rowChanged(m_pos);
        } else {
            dropRow(m_pos, true);
        }
        throw;
    }
    return r;
}

void ItemRecordSet::deleteCurrent()
{
    requireCurrent();
    requireIdle();
    try {
        BusyScope busy(m_busy);
        m_store->remove(row(m_pos));
    } catch (const ItemConflict &e) {
        // Another program's values are shown, not deleted unseen.
        m_changed = 0;
        if (e.current()) {
            m_rows.set(static_cast<size_t>(m_pos), *e.current());
            emit rowChanged(m_pos);
        } else {
            dropRow(m_pos, true);
        }
        throw;
    }
    const int index = m_pos;
    emit rowAboutToBeRemoved(index);
    m_rows.erase(static_cast<size_t>(index));
    m_changed = 0;
    emit rowRemoved(index);
    setPosition(m_rows.empty() ? -1 : index, !m_rows.empty());
}

int ItemRecordSet::indexOf(qint64 key) const
{
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows.rowid(i) == key) return static_cast<int>(i);
    return -1;
}

void ItemRecordSet::dropRow(int index, bool current, bool elsewhere)
{
    emit rowAboutToBeRemoved(index);
    m_rows.erase(static_cast<size_t>(index));
    emit rowRemoved(index);
    if (current) {
        m_changed = 0;
        const int count = static_cast<int>(m_rows.size());
        setPosition(count == 0 ? -1 : std::min(index, count - 1));
        if (elsewhere) emit currentDeletedElsewhere();
    } else if (index < m_pos) {
        --m_pos; // the same row stays current
    }
}

void ItemRecordSet::gatherChange(qint64 key)
{
    if (m_laterKeys.insert(key).second) m_laterChanges.push_back(key);
    if (!m_gather.isActive()) m_gather.start();
}

void ItemRecordSet::takeGathered()
{
    if (!m_open) {
        m_laterChanges.clear();
        m_laterKeys.clear();
        return;
    }
    if (m_busy || m_store->isBusy()) return; // the store's idle starts the gathering again
    std::vector<qint64> keys;
    keys.swap(m_laterChanges);
    m_laterKeys.clear();
    try {
        if (keys.size() > kWholeReadThreshold) {
            readEveryRowAgain();
        } else {
            for (size_t at = 0; at < keys.size() && m_open; at += kReadBatch)
                takeBatch(std::vector<qint64>(
                    keys.begin() + static_cast<std::ptrdiff_t>(at),
                    keys.begin() + static_cast<std::ptrdiff_t>(std::min(keys.size(), at + kReadBatch))));
        }
    } catch (const AppError &) {
        return; // the next command the user gives reports the lost connection
    }
    emit changesTaken();
}

void ItemRecordSet::takeBatch(const std::vector<qint64> &keys)
{
    std::vector<ItemRow> found;
    {
        BusyScope busy(m_busy);
        found = m_store->readMany(keys);
    }
    if (!m_open) return;
    std::unordered_map<qint64, int> indexes;
    indexes.reserve(m_rows.size());
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (const std::optional<qint64> key = m_rows.rowid(i)) indexes.emplace(*key, static_cast<int>(i));
    std::unordered_set<qint64> present;
    for (ItemRow &now : found) {
        present.insert(*now.rowid);
        const auto it = indexes.find(*now.rowid);
        if (it == indexes.end()) {
            const int at = static_cast<int>(m_rows.size());
            emit rowAboutToBeInserted(at);
            m_rows.append(now);
            emit rowInserted(at);
            continue;
        }
        // Values taken into the current row and not saved yet stay; a save then meets the conflict.
        if (it->second == m_pos && hasCurrent() && isDirty()) continue;
        m_rows.set(static_cast<size_t>(it->second), now);
        // The bound fields show the new values and keep text the user typed but has not left yet.
        emit rowChanged(it->second);
    }
    // Rows gone, from the last: each removal leaves the indexes before it as they were.
    std::vector<int> gone;
    for (const qint64 key : keys)
        if (!present.count(key))
            if (const auto it = indexes.find(key); it != indexes.end()) gone.push_back(it->second);
    std::sort(gone.begin(), gone.end(), std::greater<>());
    for (const int index : gone)
        dropRow(index, index == m_pos && hasCurrent());
}

void ItemRecordSet::readEveryRowAgain()
{
    ItemRowTable rows;
    {
        BusyScope busy(m_busy);
        rows = readAll();
    }
    if (!m_open) return;
    const bool had = hasCurrent();
    const std::optional<qint64> key = had ? m_rows.rowid(static_cast<size_t>(m_pos)) : std::nullopt;
    int pos = -1;
    for (size_t i = 0; key && i < rows.size(); ++i)
        if (rows.rowid(i) == key) pos = static_cast<int>(i);
    // Values taken into the current row and not saved yet stay, as for a single row.
    if (pos >= 0 && isDirty()) rows.set(static_cast<size_t>(pos), row(m_pos));
    const bool deleted = had && pos < 0;
    if (pos < 0) pos = rows.empty() ? -1 : std::min(std::max(m_pos, 0), static_cast<int>(rows.size()) - 1);
    emit aboutToReset();
    m_rows = std::move(rows);
    m_pos = pos;
    if (deleted) m_changed = 0;
    m_afterDelete = false;
    emit reset(had && !deleted);
    if (!had || deleted) emit currentChanged();
    if (deleted) emit currentDeletedElsewhere();
}

void ItemRecordSet::takeChange(qint64 key)
{
    if (!m_open) return;
    gatherChange(key);
    m_gather.stop();
    takeGathered();
}

void ItemRecordSet::undoChange(const HistoryEntry &entry)
{
    requireOpen();
    requireIdle();
    takePendingEdits();
    writePending();
    qint64 key = 0;
    {
        BusyScope busy(m_busy);
        key = m_store->undo(entry);
    }
    if (entry.action == RowAction::Insert) {
        // Deleted here, not elsewhere: no word about another workstation.
        if (const int index = indexOf(key); index >= 0) dropRow(index, index == m_pos && hasCurrent(), false);
        return;
    }
    // Read back as any change is: the grid, title and fields follow.
    takeChange(key);
    if (entry.action == RowAction::Delete)
        if (const int index = indexOf(key); index >= 0) setPosition(index);
}

void ItemRecordSet::addToCount(int index, qint64 delta)
{
    moveTo(index);
    takePendingEdits();
    writePending();
    requireCurrent();
    const std::optional<qint64> key = m_rows.rowid(static_cast<size_t>(m_pos));
    if (!key) throw AppError(Err::NoCurrentRecord);
    try {
        ItemRow now;
        {
            BusyScope busy(m_busy);
            now = m_store->addToCount(*key, delta);
        }
        m_rows.set(static_cast<size_t>(m_pos), now);
    } catch (const ItemConflict &) {
        dropRow(m_pos, true);
        throw;
    } catch (const CountRefused &e) {
        if (e.current()) m_rows.set(static_cast<size_t>(m_pos), *e.current());
        emit rowChanged(m_pos);
        throw;
    }
    emit rowChanged(m_pos);
}

void ItemRecordSet::endStocktake(qint64 id, StocktakeEnd how)
{
    requireOpen();
    requireIdle();
    takePendingEdits();
    writePending();
    {
        BusyScope busy(m_busy);
        m_store->endStocktake(id, how);
    }
    if (how == StocktakeEnd::Discard) return;
    // Every counted row may have changed: read back as changes from elsewhere are.
    for (size_t i = 0; i < m_rows.size(); ++i)
        if (const std::optional<qint64> key = m_rows.rowid(i)) gatherChange(*key);
    m_gather.stop();
    takeGathered();
}

void ItemRecordSet::save()
{
    requireOpen();
    takePendingEdits();
    writePending();
}

QVariant ItemRecordSet::value(Column column) const
{
    requireCurrent();
    return row(m_pos).value(column);
}

QVariant ItemRecordSet::value(QStringView name) const
{
    const auto column = columnFromName(name);
    if (!column)
        throw AppError(3265,
                       QStringLiteral("Item cannot be found in the collection corresponding to the requested "
                                      "name or ordinal."));
    return value(*column);
}

void ItemRecordSet::setValue(Column column, const QVariant &v)
{
    requireCurrent();
    const ItemRow before = row(m_pos);
    ItemRow r = before;
    r.setValue(column, v);
    // Taking in the text a field already showed changes nothing.
    if (!before.isKept(column) && ItemRow::sameValue(before, r, column)) return;
    m_rows.set(static_cast<size_t>(m_pos), r);
    m_changed |= columnBit(column);
    emit rowChanged(m_pos);
}

} // namespace tv
