#include "ReorderLevels.h"

#include <QHash>
#include <algorithm>

namespace tv {

bool needsReorder(const ItemRow &row)
{
    return row.reorderLevel && row.itemCnt.value_or(0) <= *row.reorderLevel;
}

qint64 orderQuantity(const ItemRow &row)
{
    if (row.reorderQty) return *row.reorderQty;
    if (!row.reorderLevel) return 0;
    // Saturated: a level near the end of the range must not wrap round.
    qint64 twice = 0, wanted = 0;
    if (__builtin_mul_overflow(*row.reorderLevel, qint64(2), &twice)) return *row.reorderLevel;
    if (__builtin_sub_overflow(twice, row.itemCnt.value_or(0), &wanted)) return twice;
    return std::max<qint64>(0, wanted);
}

namespace {
// needsReorder() without making the row: most rows have no level, which the table tells at once.
bool needsReorder(const ItemRowTable &rows, size_t i)
{
    const std::optional<qint64> level = rows.count(i, Column::ReorderLevel);
    return level && rows.count(i, Column::ItemCnt).value_or(0) <= *level;
}
} // namespace

int countNeedingReorder(const ItemRowTable &rows)
{
    int n = 0;
    for (size_t i = 0; i < rows.size(); ++i)
        n += needsReorder(rows, i) ? 1 : 0;
    return n;
}

ReorderList buildReorderList(const ItemRowTable &rows)
{
    std::vector<ItemRow> marked;
    for (size_t i = 0; i < rows.size(); ++i)
        if (needsReorder(rows, i)) marked.push_back(rows.row(i));
    return buildReorderList(marked);
}

QString reorderStatusText(int count)
{
    if (count <= 0) return QString();
    if (count == 1) return QStringLiteral("1 item needs reordering");
    return QStringLiteral("%1 items need reordering").arg(count);
}

int ReorderList::itemCount() const
{
    int n = 0;
    for (const ReorderGroup &g : groups)
        n += static_cast<int>(g.lines.size());
    return n;
}

namespace {

std::optional<Money> plus(const std::optional<Money> &sum, const std::optional<Money> &amount)
{
    std::int64_t raw = 0;
    if (!sum || !amount || __builtin_add_overflow(sum->raw(), amount->raw(), &raw)) return std::nullopt;
    return Money::fromRaw(raw);
}

ReorderLine lineOf(const ItemRow &row)
{
    ReorderLine line;
    line.itemDesc = row.itemDesc;
    line.itemNum = row.itemNum;
    line.itemCnt = row.itemCnt;
    line.level = *row.reorderLevel;
    line.quantity = orderQuantity(row);
    line.unitCost = row.itemCst;
    line.lineCost = row.itemCst ? row.itemCst->times(line.quantity) : std::nullopt;
    return line;
}

} // namespace

ReorderList buildReorderList(const std::vector<ItemRow> &rows)
{
    ReorderList list;
    QHash<QString, size_t> groupOf; // the vendor folded to lower case -> its group
    for (const ItemRow &row : rows) {
        if (!needsReorder(row)) continue;
        const QString vendor = row.vendor.trimmed();
        const QString key = vendor.toLower();
        auto it = groupOf.find(key);
        if (it == groupOf.end()) {
            it = groupOf.insert(key, list.groups.size());
            list.groups.push_back({vendor, {}, Money()});
        }
        list.groups[*it].lines.push_back(lineOf(row));
    }
    std::sort(list.groups.begin(), list.groups.end(), [](const ReorderGroup &a, const ReorderGroup &b) {
        if (a.vendor.isEmpty() != b.vendor.isEmpty()) return b.vendor.isEmpty();
        return a.vendor.compare(b.vendor, Qt::CaseInsensitive) < 0;
    });
    list.total = Money();
    for (ReorderGroup &g : list.groups) {
        std::stable_sort(g.lines.begin(), g.lines.end(), [](const ReorderLine &a, const ReorderLine &b) {
            const int byName = a.itemDesc.compare(b.itemDesc, Qt::CaseInsensitive);
            return byName != 0 ? byName < 0 : a.itemNum.compare(b.itemNum, Qt::CaseInsensitive) < 0;
        });
        // A line without a unit cost adds nothing; a sum beyond the range of money is none.
        for (const ReorderLine &line : g.lines)
            if (line.unitCost) g.subtotal = plus(g.subtotal, line.lineCost);
        list.total = plus(list.total, g.subtotal);
    }
    return list;
}

} // namespace tv
