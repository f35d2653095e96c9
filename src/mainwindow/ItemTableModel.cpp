#include "ItemTableModel.h"

#include "ItemBinding.h"

#include <array>

namespace tv {

namespace {
constexpr std::array<Column, ItemTableModel::kGridColumns> kGrid{
    Column::ItemDesc,   Column::ItemNum, Column::ItemCnt, Column::ItemCst,
    Column::TotItemCst, Column::Vendor,  Column::InvDate};
constexpr std::array<const char *, ItemTableModel::kGridColumns> kHeaders{
    "Item Name",       "Item Number", "Amount In Stock", "Unit Cost",
    "Total Unit Cost", "Vendor Name", "Invoice Date"};
} // namespace

ItemTableModel::ItemTableModel(ItemRecordSet &records, QObject *parent)
    : QAbstractTableModel(parent), m_records(records)
{
    connect(&records, &ItemRecordSet::aboutToReset, this, [this] { beginResetModel(); });
    connect(&records, &ItemRecordSet::reset, this, [this] { endResetModel(); });
    connect(&records, &ItemRecordSet::rowAboutToBeInserted, this,
            [this](int index) { beginInsertRows(QModelIndex(), index, index); });
    connect(&records, &ItemRecordSet::rowInserted, this, [this] { endInsertRows(); });
    connect(&records, &ItemRecordSet::rowAboutToBeRemoved, this,
            [this](int index) { beginRemoveRows(QModelIndex(), index, index); });
    connect(&records, &ItemRecordSet::rowRemoved, this, [this] { endRemoveRows(); });
    connect(&records, &ItemRecordSet::rowChanged, this, [this](int index) {
        emit dataChanged(this->index(index, 0), this->index(index, kGridColumns - 1), {Qt::DisplayRole});
    });
}

Column ItemTableModel::gridColumn(int section)
{
    return kGrid.at(static_cast<size_t>(section));
}

int ItemTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_records.rows().size());
}

int ItemTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kGridColumns;
}

QVariant ItemTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kGridColumns) return QVariant();
    const Column column = kGrid[static_cast<size_t>(index.column())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return ItemBinding::displayText(m_records.row(index.row()), column);
    case Qt::TextAlignmentRole:
        if (column == Column::ItemCnt || column == Column::ItemCst || column == Column::TotItemCst)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant ItemTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return QVariant();
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < kGridColumns
                   ? QString::fromLatin1(kHeaders[static_cast<size_t>(section)])
                   : QVariant();
    return section + 1;
}

} // namespace tv
