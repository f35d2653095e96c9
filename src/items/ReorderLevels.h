#pragma once

#include "ItemRecordSet.h"
#include "common/Money.h"

#include <QString>
#include <optional>
#include <vector>

namespace tv {

// Whether the item is at or below its reorder level (an empty count counts as none in stock).
// An item without a level never needs reordering.
bool needsReorder(const ItemRow &row);
// How many to order: the item's order quantity, or else enough to reach twice its level.
qint64 orderQuantity(const ItemRow &row);
// The items at or below their level.
int countNeedingReorder(const ItemRowTable &rows);
// "1 item needs reordering", "N items need reordering", or nothing for none.
QString reorderStatusText(int count);

// One item of the reorder list.
struct ReorderLine
{
    QString itemDesc, itemNum;
    std::optional<qint64> itemCnt;
    qint64 level = 0;
    qint64 quantity = 0;
    std::optional<Money> unitCost;
    std::optional<Money> lineCost; // empty without a unit cost, or beyond the range of money
};

// The items of one vendor; an empty vendor holds the items without one.
struct ReorderGroup
{
    QString vendor;
    std::vector<ReorderLine> lines;
    std::optional<Money> subtotal; // empty when a sum is beyond the range of money
};

// What to order from whom: vendors by name without regard to case (their items by name and
// number), the items without a vendor last.
struct ReorderList
{
    std::vector<ReorderGroup> groups;
    std::optional<Money> total;
    int itemCount() const;
};

ReorderList buildReorderList(const std::vector<ItemRow> &rows);
ReorderList buildReorderList(const ItemRowTable &rows);

} // namespace tv
