#include "PickLists.h"

#include "Database.h"
#include "common/DateText.h"
#include "modSingle.h"

#include <QSqlQuery>

namespace tv {

QString pickListQuery(PickList list)
{
    switch (list) {
    case PickList::Date:
        return QStringLiteral("select InvDate from Items");
    case PickList::InvNum:
        return QStringLiteral("select InvNum from Items");
    case PickList::Vendor:
        return QStringLiteral("select Vendor from Items");
    }
    return QString();
}

QStringList pickListValues(PickList list, const QString &databasePath)
{
    QStringList values;
    {
        QueryConnection connection(databasePath);
        QSqlQuery q = connection.query(pickListQuery(list));
        while (q.next()) {
            const QVariant v = q.value(0);
            // An item saved without a value must not break the list for every other item.
            if (v.isNull()) continue;
            const QString text = v.toString();
            if (text.isEmpty()) continue;
            values << (list == PickList::Date ? storedDateToDisplay(text) : text);
        }
    }
    Singlelize(values);
    return values;
}

} // namespace tv
