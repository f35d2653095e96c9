#include "ItemHistory.h"

#include "ItemStore.h"
#include "common/DateText.h"

#include <QLocale>
#include <QStringList>
#include <QSysInfo>
#include <pwd.h>
#include <unistd.h>

namespace tv {

const ItemRow &HistoryEntry::item() const
{
    static const ItemRow none;
    if (after) return *after;
    return before ? *before : none;
}

ChangeScope::ChangeScope(ItemStore &store, const QString &kind, std::optional<qint64> undoes) : m_store(store)
{
    m_store.setChangeKind(kind, undoes);
}

ChangeScope::~ChangeScope()
{
    m_store.setChangeKind(QString(), std::nullopt);
}

QString loginName()
{
    // The account's own name: $USER can be anything the shell was given.
    std::vector<char> buffer(16384);
    passwd pw{};
    passwd *found = nullptr;
    if (getpwuid_r(geteuid(), &pw, buffer.data(), buffer.size(), &found) == 0 && found)
        return QString::fromLocal8Bit(found->pw_name);
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QStringLiteral("uid %1").arg(geteuid()) : user;
}

QString workstationName()
{
    const QString host = QSysInfo::machineHostName();
    return host.isEmpty() ? QStringLiteral("this computer") : host;
}

namespace {

// The field's name as the main window labels it.
QString fieldName(Column column)
{
    switch (column) {
    case Column::ItemDesc:
        return QStringLiteral("Item Name");
    case Column::ItemNum:
        return QStringLiteral("Item Number");
    case Column::ItemCnt:
        return QStringLiteral("Unit Count");
    case Column::ItemCst:
        return QStringLiteral("Unit Cost");
    case Column::TotItemCst:
        return QStringLiteral("Total Unit Value");
    case Column::Image:
        return QStringLiteral("Picture");
    case Column::InvNum:
        return QStringLiteral("Invoice Number");
    case Column::Vendor:
        return QStringLiteral("Vendor");
    case Column::InvDate:
        return QStringLiteral("Date");
    case Column::ReorderLevel:
        return QStringLiteral("Reorder At");
    case Column::ReorderQty:
        return QStringLiteral("Order Qty");
    }
    return {};
}

QString shownValue(const ItemRow &row, Column column)
{
    if (row.isKept(column)) return row.keptText(column);
    const QVariant v = row.value(column);
    if (!v.isValid()) return QStringLiteral("(empty)");
    switch (columnInfo(column).type) {
    case ColumnType::Count:
        return QString::number(v.toLongLong());
    case ColumnType::Money:
        return v.value<Money>().toDollars();
    case ColumnType::Date:
        return storedDateToDisplay(v.toString());
    case ColumnType::Text:
        break;
    }
    const QString text = v.toString();
    return text.isEmpty() ? QStringLiteral("(empty)") : QStringLiteral("\"%1\"").arg(text);
}

QString changedFields(const ItemRow &before, const ItemRow &after)
{
    QStringList parts;
    for (const ColumnInfo &c : kColumns) {
        if (before.keptText(c.column) == after.keptText(c.column) &&
            ItemRow::sameValue(before, after, c.column))
            continue;
        parts << QStringLiteral("%1 %2 \u2192 %3")
                     .arg(fieldName(c.column), shownValue(before, c.column), shownValue(after, c.column));
    }
    return parts.isEmpty() ? QStringLiteral("saved unchanged") : parts.join(QStringLiteral("; "));
}

} // namespace

QString describeChange(const HistoryEntry &entry)
{
    if (entry.kind == ChangeKind::undo) {
        switch (entry.action) {
        case RowAction::Insert:
            return QStringLiteral("brought back (undo of a delete)");
        case RowAction::Delete:
            return QStringLiteral("deleted (undo of an add)");
        case RowAction::Update:
            break;
        }
        return changedFields(entry.before.value_or(ItemRow{}), entry.after.value_or(ItemRow{})) +
               QStringLiteral(" (undo)");
    }
    switch (entry.action) {
    case RowAction::Insert:
        if (entry.kind == ChangeKind::imported) return QStringLiteral("imported");
        if (entry.kind == ChangeKind::scanned) return QStringLiteral("added by a scan");
        return QStringLiteral("added");
    case RowAction::Delete:
        return QStringLiteral("deleted");
    case RowAction::Update:
        break;
    }
    const QString fields = changedFields(entry.before.value_or(ItemRow{}), entry.after.value_or(ItemRow{}));
    if (entry.kind == ChangeKind::countAdded) return fields + QStringLiteral(" (added by a scan)");
    if (entry.kind == ChangeKind::countTaken) return fields + QStringLiteral(" (taken by a scan)");
    if (entry.kind == ChangeKind::stocktake) return fields + QStringLiteral(" (stocktake)");
    return fields;
}

QString localTimeText(const QDateTime &utc)
{
    return QLocale::system().toString(utc.toLocalTime(), QLocale::ShortFormat);
}

std::vector<HistoryEntry> itemHistory(ItemStore &store, qint64 key, int limit)
{
    std::vector<HistoryEntry> out;
    HistoryQuery query;
    query.itemKey = key;
    // Each step back goes through one undone delete; a chain cannot be longer than the entries.
    for (int hops = 0; hops < 1000 && static_cast<int>(out.size()) < limit; ++hops) {
        query.limit = limit - static_cast<int>(out.size());
        const std::vector<HistoryEntry> page = store.history(query);
        std::optional<HistoryEntry> birth;
        for (const HistoryEntry &e : page) {
            out.push_back(e);
            if (e.action == RowAction::Insert) {
                birth = e;
                break; // older entries of this key belonged to another item
            }
        }
        if (!birth || birth->kind != ChangeKind::undo || !birth->undoes) break;
        // Brought back from a delete: the item's earlier life is under its earlier key.
        HistoryQuery undone;
        undone.olderThan = *birth->undoes + 1;
        undone.newerThan = *birth->undoes - 1;
        const std::vector<HistoryEntry> deleted = store.history(undone);
        if (deleted.empty()) break;
        query.itemKey = deleted.front().itemKey;
        query.olderThan = deleted.front().id + 1;
    }
    return out;
}

std::optional<HistoryEntry> laterChange(ItemStore &store, const HistoryEntry &entry)
{
    HistoryQuery query;
    if (entry.action == RowAction::Delete) {
        query.undoes = entry.id; // a delete is only followed by bringing the item back
        query.limit = 1;
        const auto found = store.history(query);
        return found.empty() ? std::nullopt : std::optional<HistoryEntry>(found.front());
    }
    query.itemKey = entry.itemKey;
    query.newerThan = entry.id;
    query.oldestFirst = true;
    query.limit = 1000;
    std::optional<HistoryEntry> latest;
    for (;;) {
        const auto page = store.history(query);
        for (const HistoryEntry &e : page) {
            if (e.action == RowAction::Insert) return latest; // the key went to another item
            latest = e;
            if (e.action == RowAction::Delete) return latest;
        }
        if (static_cast<int>(page.size()) < query.limit) return latest;
        query.newerThan = page.back().id;
    }
}

} // namespace tv
