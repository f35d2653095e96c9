#include "Stocktake.h"

namespace tv {

namespace {
QString itemName(const ItemRow &row)
{
    if (row.itemDesc.trimmed().isEmpty()) return QStringLiteral("item number %1").arg(row.itemNum);
    return QStringLiteral("“%1” (item number %2)").arg(row.itemDesc, row.itemNum);
}
} // namespace

QString countRefusal(const ItemRow &row, qint64 delta)
{
    if (row.isKept(Column::ItemCnt))
        return QStringLiteral("The Unit Count of %1 is not a whole number, so it cannot be counted. Nothing "
                              "was changed; correct the count in the main window first.")
            .arg(itemName(row));
    if (row.isKept(Column::ItemCst))
        return QStringLiteral("The Unit Cost of %1 is not an amount, so its total value cannot follow the "
                              "count. Nothing was changed; correct the cost in the main window first.")
            .arg(itemName(row));
    const qint64 now = row.itemCnt.value_or(0);
    qint64 after = 0;
    if (__builtin_add_overflow(now, delta, &after) || (row.itemCst && !row.itemCst->times(after)))
        return QStringLiteral("The total value of %1 would be too large to keep. Nothing was changed.")
            .arg(itemName(row));
    if (after < 0) {
        const QString have =
            now == 0
                ? QStringLiteral("There are none of %1 in stock").arg(itemName(row))
                : QStringLiteral("There are only %1 of %2 in stock").arg(QString::number(now), itemName(row));
        return QStringLiteral("%1, so %2 cannot be taken from its count. Nothing was changed.")
            .arg(have, QString::number(-delta));
    }
    return {};
}

} // namespace tv
