#pragma once

#include "ItemColumns.h"

#include <QString>
#include <QStringList>

namespace tv {

class ItemStore;

enum class PickList { Date, InvNum, Vendor };

// The column a pick list offers the values of.
Column pickListColumn(PickList list);

// Every value the column holds anywhere in the table, in the order the store returns them,
// each once (without regard to letter case). Empty (NULL) values are skipped; dates show as
// M/d/yyyy. Throws AppError on failure.
QStringList pickListValues(PickList list, ItemStore &store);
// The same from the database file at a path, through a short-lived connection of its own.
QStringList pickListValues(PickList list, const QString &databasePath);

} // namespace tv
