#pragma once

#include <array>
#include <cstddef>

namespace tv {

// Columns of Items in table order.
enum class Column {
    ItemDesc,
    ItemNum,
    ItemCnt,
    ItemCst,
    TotItemCst,
    Image,
    InvNum,
    Vendor,
    InvDate,
    ReorderLevel, // the count at or below which the item must be ordered again
    ReorderQty,   // how many to order; empty: enough to reach twice the level
};
inline constexpr int kColumnCount = 11;

// How a column's value is kept: a text, a whole count, money in ten-thousandths, an ISO date text.
enum class ColumnType { Text, Count, Money, Date };

// Everything the program says about one column, in one place: the SQL, the grid, the main
// window's fields, the pick lists, the report and CSV all read it from here.
struct ColumnInfo
{
    Column column;
    const char *name; // as the table and CSV files name it
    ColumnType type;
    const char *gridCaption;   // nullptr when the grid does not show it
    const char *reportCaption; // nullptr when the report does not show it
    const char *element;       // object name of the main window's control bound to it
    int elementIndex;          // index within a control array such as txtfield; -1 for a single control
    // Added to Items only when a value is first kept in it: a table without it reads as NULL, and
    // a file that never gets a value keeps its shape.
    bool addedLater = false;
};

inline constexpr std::array<ColumnInfo, kColumnCount> kColumns{{
    {Column::ItemDesc, "ItemDesc", ColumnType::Text, "Item Name", "Item Name", "txtfield", 3},
    {Column::ItemNum, "ItemNum", ColumnType::Text, "Item Number", "Item Number", "txtfield", 4},
    {Column::ItemCnt, "ItemCnt", ColumnType::Count, "Amount In Stock", "Unit Count", "txtfield", 5},
    {Column::ItemCst, "ItemCst", ColumnType::Money, "Unit Cost", "Unit Cost", "txtfield", 6},
    {Column::TotItemCst, "TotItemCst", ColumnType::Money, "Total Unit Cost", "Total Unit Value", "txtfield",
     8},
    {Column::Image, "Image", ColumnType::Text, nullptr, nullptr, "txtfield", 7},
    {Column::InvNum, "InvNum", ColumnType::Text, nullptr, nullptr, "cboInvNum", -1},
    {Column::Vendor, "Vendor", ColumnType::Text, "Vendor Name", "Vendor", "cboVendor", -1},
    {Column::InvDate, "InvDate", ColumnType::Date, "Invoice Date", "Date", "cboDate", -1},
    {Column::ReorderLevel, "ReorderLevel", ColumnType::Count, "Reorder At", nullptr, "txtfield", 9, true},
    {Column::ReorderQty, "ReorderQty", ColumnType::Count, "Order Qty", nullptr, "txtfield", 10, true},
}};

// The columns every Items table has; those after them are added when first needed.
inline constexpr int kBaseColumnCount = 9;
inline constexpr unsigned kAddedLaterColumns =
    (1u << static_cast<unsigned>(Column::ReorderLevel)) | (1u << static_cast<unsigned>(Column::ReorderQty));

constexpr const ColumnInfo &columnInfo(Column column)
{
    return kColumns[static_cast<std::size_t>(column)];
}

constexpr bool isNumeric(Column column)
{
    return columnInfo(column).type == ColumnType::Count || columnInfo(column).type == ColumnType::Money;
}

// The columns the grid shows, in its order (table order, those with a grid caption).
inline constexpr int kGridColumnCount = [] {
    int n = 0;
    for (const ColumnInfo &c : kColumns)
        n += c.gridCaption != nullptr;
    return n;
}();
inline constexpr std::array<Column, kGridColumnCount> kGridColumns = [] {
    std::array<Column, kGridColumnCount> out{};
    std::size_t i = 0;
    for (const ColumnInfo &c : kColumns)
        if (c.gridCaption) out[i++] = c.column;
    return out;
}();

// The column bound to element `index` of the main window's txtfield array.
constexpr const ColumnInfo *fieldColumnInfo(int index)
{
    for (const ColumnInfo &c : kColumns)
        if (c.elementIndex == index && c.elementIndex >= 0) return &c;
    return nullptr;
}

static_assert(columnInfo(Column::ReorderQty).column == Column::ReorderQty, "the table is in column order");
static_assert(!columnInfo(Column::InvDate).addedLater && columnInfo(Column::ReorderLevel).addedLater,
              "the columns added later come after the base ones");

} // namespace tv
