#include "HistoryList.h"

#include "common/Prompts.h"
#include "items/ItemStore.h"

namespace tv {

namespace {

QString itemText(const HistoryEntry &entry)
{
    const ItemRow &item = entry.item();
    const QString name = item.isKept(Column::ItemDesc) ? item.keptText(Column::ItemDesc) : item.itemDesc;
    const QString number = item.isKept(Column::ItemNum) ? item.keptText(Column::ItemNum) : item.itemNum;
    if (name.isEmpty()) return number;
    return number.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, number);
}

} // namespace

HistoryList::HistoryList(ItemStore &store, QObject *parent) : QAbstractTableModel(parent), m_store(store) {}

void HistoryList::setItem(std::optional<qint64> key)
{
    m_key = key;
}

void HistoryList::setAllItems(bool all)
{
    m_all = all;
}

void HistoryList::setFilter(const QString &text)
{
    m_filter = text.trimmed();
}

std::vector<HistoryEntry> HistoryList::readAllItems(std::optional<qint64> olderThan) const
{
    HistoryQuery query;
    query.filter = m_filter;
    query.olderThan = olderThan;
    query.limit = kScreen;
    return m_store.history(query);
}

void HistoryList::reload()
{
    std::vector<HistoryEntry> entries;
    bool more = false;
    m_keeps = m_store.keepsHistory();
    if (m_keeps && m_all) {
        entries = readAllItems(std::nullopt);
        more = static_cast<int>(entries.size()) == kScreen;
    } else if (m_keeps && m_key) {
        for (HistoryEntry &e : itemHistory(m_store, *m_key))
            if (matches(e)) entries.push_back(std::move(e));
    }
    beginResetModel();
    m_entries = std::move(entries);
    m_more = more;
    endResetModel();
}

bool HistoryList::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_more;
}

void HistoryList::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid() || !m_more || m_entries.empty()) return;
    std::vector<HistoryEntry> page;
    try {
        page = readAllItems(m_entries.back().id);
    } catch (const AppError &) {
        return; // the store is busy or away; scrolling down asks again
    }
    m_more = static_cast<int>(page.size()) == kScreen;
    if (page.empty()) return;
    const int first = static_cast<int>(m_entries.size());
    beginInsertRows({}, first, first + static_cast<int>(page.size()) - 1);
    for (HistoryEntry &e : page)
        m_entries.push_back(std::move(e));
    endInsertRows();
}

bool HistoryList::matches(const HistoryEntry &entry) const
{
    if (m_filter.isEmpty()) return true;
    for (int section = 0; section < SectionCount; ++section)
        if (cellText(entry, section).contains(m_filter, Qt::CaseInsensitive)) return true;
    return entry.kind.contains(m_filter, Qt::CaseInsensitive);
}

int HistoryList::rowOf(qint64 entryId) const
{
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i].id == entryId) return static_cast<int>(i);
    return -1;
}

QString HistoryList::emptyText() const
{
    if (!m_entries.empty()) return QString();
    if (!m_keeps)
        return QStringLiteral("This inventory server keeps no history yet. Its owner adds it with the script "
                              "data/postgresql/history.sql.");
    if (!m_filter.isEmpty()) return QStringLiteral("No recorded change matches \"%1\".").arg(m_filter);
    if (m_all) return QStringLiteral("No change has been recorded yet.");
    if (!m_key) return QStringLiteral("No item is shown in the main window.");
    return QStringLiteral("No change of this item has been recorded yet.");
}

int HistoryList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

int HistoryList::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : SectionCount;
}

QString HistoryList::cellText(const HistoryEntry &entry, int section) const
{
    switch (section) {
    case When:
        return localTimeText(entry.at);
    case Who:
        return entry.by;
    case Workstation:
        return entry.workstation;
    case Item:
        return itemText(entry);
    case Change:
        return describeChange(entry);
    default:
        return {};
    }
}

QString HistoryList::lineText(int row) const
{
    const HistoryEntry &e = entry(row);
    QString text = QStringLiteral("%1, %2 on %3").arg(cellText(e, When), e.by, e.workstation);
    if (m_all) text += QStringLiteral(", ") + itemText(e);
    return text + QStringLiteral(": ") + describeChange(e);
}

QVariant HistoryList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::DisplayRole) return cellText(entry(index.row()), index.column());
    if (role == Qt::AccessibleTextRole) return lineText(index.row());
    if (role == Qt::ToolTipRole && index.column() == Change) return describeChange(entry(index.row()));
    return {};
}

QVariant HistoryList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char *const captions[SectionCount] = {"When", "Who", "Workstation", "Item", "Change"};
    return section >= 0 && section < SectionCount ? QString::fromLatin1(captions[section]) : QVariant();
}

bool undoEntry(ItemRecordSet &records, const HistoryEntry &entry, Prompts &prompts)
{
    if (const std::optional<HistoryEntry> later = laterChange(records.store(), entry)) {
        const QString question =
            QStringLiteral("%1 changed this item again after this change, on %2 at the workstation %3 "
                           "(%4).\n\nUndo this change anyway?")
                .arg(later->by, localTimeText(later->at), later->workstation, describeChange(*later));
        if (prompts.message(question, MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Item History")) !=
            MsgAnswer::Yes)
            return false;
    }
    records.undoChange(entry);
    return true;
}

} // namespace tv
