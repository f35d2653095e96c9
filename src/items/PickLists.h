#pragma once

#include <QString>
#include <QStringList>

namespace tv {

enum class PickList { Date, InvNum, Vendor };

// The exact query a pick list runs ("select Vendor from Items", ...).
QString pickListQuery(PickList list);

// Every value the column holds anywhere in the table, in the order the database returns them,
// each once (without regard to letter case). Empty (NULL) values are skipped; dates show as
// M/d/yyyy. Reads through a short-lived connection of its own; throws AppError on failure.
QStringList pickListValues(PickList list, const QString &databasePath);

} // namespace tv
