#include "ItemTableModel.h"

#include "ItemBinding.h"
#include "items/ReorderLevels.h"

#include <QApplication>
#include <QColor>
#include <QIcon>
#include <QStyle>

namespace tv {

ItemTableModel::ItemTableModel(ItemRecordSet &records, QObject *parent) : RecordSetTableModel(records, parent)
{
}

Column ItemTableModel::gridColumn(int section)
{
    return tv::kGridColumns.at(static_cast<size_t>(section));
}

int ItemTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_records.rows().size());
}

int ItemTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kGridColumnCount;
}

QVariant ItemTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kGridColumnCount)
        return QVariant();
    const Column column = tv::kGridColumns[static_cast<size_t>(index.column())];
    const ItemRow &row = m_records.row(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return ItemBinding::displayText(row, column);
    case Qt::AccessibleTextRole:
        // The mark is read out with the item's name.
        if (index.column() == 0 && needsReorder(row))
            return ItemBinding::displayText(row, column) + QStringLiteral(", needs reordering");
        return ItemBinding::displayText(row, column);
    case Qt::AccessibleDescriptionRole:
        return needsReorder(row) ? QVariant(QStringLiteral("needs reordering")) : QVariant();
    // Amber with dark text, and a sign before the name: seen without telling red from green.
    case Qt::BackgroundRole:
        return needsReorder(row) ? QVariant(QColor(0xff, 0xd2, 0x6e)) : QVariant();
    case Qt::ForegroundRole:
        return needsReorder(row) ? QVariant(QColor(Qt::black)) : QVariant();
    case Qt::DecorationRole:
        if (index.column() != 0 || !needsReorder(row)) return QVariant();
        // Made once: the style builds the icon anew on every call.
        if (m_mark.isNull()) m_mark = QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        return m_mark;
    case Qt::ToolTipRole:
        return needsReorder(row) ? QVariant(QStringLiteral("At or below its reorder level")) : QVariant();
    case Qt::TextAlignmentRole:
        if (isNumeric(column)) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return QVariant();
    }
}

QVariant ItemTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole) return QVariant();
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < kGridColumnCount
                   ? QString::fromLatin1(
                         columnInfo(tv::kGridColumns[static_cast<size_t>(section)]).gridCaption)
                   : QVariant();
    return section + 1;
}

} // namespace tv
