#pragma once

#include "items/ItemRecordSet.h"
#include "items/RecordSetTableModel.h"

#include <QAbstractTableModel>
#include <QIcon>

namespace tv {

// The grid's view of the item record set: one line per row, read-only; an item at or below its
// reorder level is marked. Values are formatted when a line is drawn, so a large table costs
// nothing extra to show.
class ItemTableModel : public RecordSetTableModel
{
    Q_OBJECT
public:
    explicit ItemTableModel(ItemRecordSet &records, QObject *parent = nullptr);

    static constexpr int kGridColumns = kGridColumnCount;
    // The record set column shown in grid column 0..kGridColumns - 1.
    static Column gridColumn(int section);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    mutable QIcon m_mark; // the sign before the name of an item to reorder
};

} // namespace tv
