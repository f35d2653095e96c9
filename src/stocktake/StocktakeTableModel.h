#pragma once

#include "items/RecordSetTableModel.h"

namespace tv {

class StocktakeCount;

// Every item with its expected count, the count taken and the difference; the count is typed
// into its cell. Follows the items and the counts as they change.
class StocktakeTableModel : public RecordSetTableModel
{
    Q_OBJECT
public:
    enum Section { Name, Number, Expected, Counted, Difference, SectionCount };

    explicit StocktakeTableModel(StocktakeCount &count, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // A typed count: a whole number from 0, or nothing for not counted. Throws AppError when the
    // store refuses it; a text that is no count is refused with false.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

protected:
    bool showsRows() const override;

private:
    QString text(int row, int section) const;

    StocktakeCount &m_count;
};

} // namespace tv
