#pragma once

#include <QAbstractTableModel>

namespace tv {

class ItemRecordSet;

// A table of one line per row of the item record set, following its rows as they are added,
// removed, changed or all read again. The subclass says what the columns hold.
class RecordSetTableModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    explicit RecordSetTableModel(ItemRecordSet &records, QObject *parent = nullptr);

protected:
    // False while the table shows no rows at all: the record set's changes are then no news.
    virtual bool showsRows() const { return true; }

    ItemRecordSet &m_records;
};

} // namespace tv
