#include "PickLists.h"

#include "ItemStore.h"
#include "common/DateText.h"
#include "items/UniqueText.h"

namespace tv {

Column pickListColumn(PickList list)
{
    switch (list) {
    case PickList::Date:
        return Column::InvDate;
    case PickList::InvNum:
        return Column::InvNum;
    case PickList::Vendor:
        break;
    }
    return Column::Vendor;
}

QStringList pickListValues(PickList list, ItemStore &store)
{
    const Column column = pickListColumn(list);
    QStringList values = store.distinctValues(column);
    if (columnInfo(column).type == ColumnType::Date)
        for (QString &v : values)
            v = storedDateToDisplay(v);
    removeCaseInsensitiveDuplicates(values);
    return values;
}

QStringList pickListValues(PickList list, const QString &databasePath)
{
    return pickListValues(list, *makeFileStore(databasePath));
}

} // namespace tv
