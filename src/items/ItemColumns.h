#pragma once

#include <array>
#include <cstddef>

namespace tv {

// Columns of Items in table order.
enum class Column { ItemDesc, ItemNum, ItemCnt, ItemCst, TotItemCst, Image, InvNum, Vendor, InvDate };
inline constexpr int kColumnCount = 9;

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
}};

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

static_assert(columnInfo(Column::InvDate).column == Column::InvDate, "the table is in column order");

} // namespace tv
