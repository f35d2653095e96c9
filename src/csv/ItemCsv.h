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
void exportItemsCsv(const ItemRowTable &rows, const QString &path);

// A cell that cannot be stored; row as a spreadsheet numbers it (the header is row 1).
struct CsvProblem
{
    int row = 0;
    QString column;
    QString text;
    QString why;
};

// The rows an import will store, packed into blocks of bytes: about as large as the file, where
// the rows themselves would take ten times that.
class PackedRows
{
public:
    void append(const ItemRow &row, int sourceRow);
    size_t size() const { return m_at.size(); }
    ItemRow at(size_t i) const;
    int sourceRow(size_t i) const;
    void clear();

private:
    struct Place
    {
        quint32 block, offset;
    };
    std::vector<QByteArray> m_blocks;
    std::vector<Place> m_at;
};

// What an import would store, and why it cannot when it cannot.
struct ImportPlan
{
    static constexpr size_t kListedProblems = 1000;
    static constexpr size_t kPreviewRows = 20;

    PackedRows rows;                  // as they will be stored; let go once a problem shows nothing is
    qint64 rowCount = 0;              // rows without a problem
    std::vector<ItemRow> firstRows;   // the first few rows without a problem, for the preview
    std::vector<int> firstSourceRows; // their rows in the file
    std::vector<CsvProblem> problems; // the first kListedProblems
    qint64 problemCount = 0;
    QStringList ignoredColumns; // header cells that name no column
    int existingNumbers = 0;    // rows whose item number the table already holds
    bool canImport() const { return problemCount == 0 && rowCount > 0; }
};

// The header names the columns by their names or by the grid's captions, in any order and case.
std::optional<Column> columnFromHeader(QStringView header);

// Reads a file a block at a time into rows ready to store; existingNumbers are the item numbers
// the table holds now. Throws CsvRefused for a file that is not CSV or names no item number
// column, CsvCancelled when progress asks it to stop, AppError when the file cannot be read.
ImportPlan planImport(QIODevice &file, const std::vector<QString> &existingNumbers,
                      CsvProgress *progress = nullptr);
// The same for bytes at hand.
ImportPlan planImport(QByteArrayView bytes, const std::vector<ItemRow> &existing);

// The texts of the preview: a stored value shown as the grid shows it, and the summary line.
QString previewText(const ItemRow &row, Column column);
QString importSummary(const ImportPlan &plan, const QString &fileName);

// Appends the rows to Items in one transaction: all of them or, on any failure, none. Throws
// AppError.
void storeItems(ItemStore &store, const PackedRows &rows);

} // namespace tv
