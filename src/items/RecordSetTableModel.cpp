#include "RecordSetTableModel.h"

#include "ItemRecordSet.h"

namespace tv {

RecordSetTableModel::RecordSetTableModel(ItemRecordSet &records, QObject *parent)
    : QAbstractTableModel(parent), m_records(records)
{
    connect(&records, &ItemRecordSet::aboutToReset, this, [this] { beginResetModel(); });
    connect(&records, &ItemRecordSet::reset, this, [this] { endResetModel(); });
    connect(&records, &ItemRecordSet::rowAboutToBeInserted, this, [this](int index) {
        if (showsRows()) beginInsertRows(QModelIndex(), index, index);
    });
    connect(&records, &ItemRecordSet::rowInserted, this, [this] {
        if (showsRows()) endInsertRows();
    });
    connect(&records, &ItemRecordSet::rowAboutToBeRemoved, this, [this](int index) {
        if (showsRows()) beginRemoveRows(QModelIndex(), index, index);
    });
    connect(&records, &ItemRecordSet::rowRemoved, this, [this] {
        if (showsRows()) endRemoveRows();
    });
    connect(&records, &ItemRecordSet::rowChanged, this, [this](int index) {
        if (showsRows()) emit dataChanged(this->index(index, 0), this->index(index, columnCount() - 1));
    });
}

} // namespace tv
