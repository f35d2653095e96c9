#pragma once

#include "CsvText.h"
#include "items/ItemRecordSet.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <vector>

namespace tv {

class ItemStore;

// The header of an exported file: the column names of Items in table order.
QByteArray itemsCsvHeader();

// Every row as CSV (header first): money as plain decimals, dates as YYYY-MM-DD, nothing for a
// missing value.
QByteArray itemsToCsv(const std::vector<ItemRow> &rows);

// Writes the rows to a temporary file beside path and renames it over path only when whole.
// Throws AppError when the file cannot be written; path is then left as it was.
void exportItemsCsv(const std::vector<ItemRow> &rows, const QString &path);

// A cell that cannot be stored; row as a spreadsheet numbers it (the header is row 1).
struct CsvProblem
{
    int row = 0;
    QString column;
    QString text;
    QString why;
};

// What an import would store, and why it cannot when it cannot.
struct ImportPlan
{
    std::vector<ItemRow> rows; // as they will be stored
    std::vector<int> sourceRows;
    std::vector<CsvProblem> problems;
    QStringList ignoredColumns; // header cells that name no column
    int existingNumbers = 0;    // rows whose item number the table already holds
    bool canImport() const { return problems.empty() && !rows.empty(); }
};

// The header names the columns by their names or by the grid's captions, in any order and case.
std::optional<Column> columnFromHeader(QStringView header);

// Reads a file's bytes into rows ready to store; existing is the table as it is now. Throws
// CsvRefused for a file that is not CSV or names no item number column.
ImportPlan planImport(QByteArrayView bytes, const std::vector<ItemRow> &existing);

// The texts of the preview: a stored value shown as the grid shows it, and the summary line.
QString previewText(const ItemRow &row, Column column);
QString importSummary(const ImportPlan &plan, const QString &fileName);

// Appends the rows to Items in one transaction: all of them or, on any failure, none. Throws
// AppError.
void storeItems(ItemStore &store, const std::vector<ItemRow> &rows);

} // namespace tv
