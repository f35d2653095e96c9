#include "ReportWriter.h"

#include "ReportMarkup.h"
#include "ReportText.h"
#include "common/AppError.h"
#include "common/DateText.h"
#include "common/DurableFile.h"
#include "common/Money.h"
#include "common/ProgramFolder.h"
#include "items/ItemStore.h"
#include "items/ItemStoreConfig.h"

#include <QBuffer>
#include <QVariant>
#include <array>

namespace tv {

using namespace markup;

namespace {

constexpr const char *kSelect =
    "select ItemDesc, Vendor, InvDate, ItemNum, ItemCnt, ItemCst, TotItemCst from Items Order by ";

// The sort key moves to the first column; the other text columns keep their order.
std::array<Column, 4> textColumns(SortChoice choice)
{
    using enum Column;
    switch (choice) {
    case SortChoice::Vendor:
        return {Vendor, ItemDesc, InvDate, ItemNum};
    case SortChoice::InvoiceDate:
        return {InvDate, ItemDesc, Vendor, ItemNum};
    case SortChoice::ItemNumber:
        return {ItemNum, ItemDesc, Vendor, InvDate};
    case SortChoice::ItemName:
        break;
    }
    return {ItemDesc, Vendor, InvDate, ItemNum};
}

void appendHeaderCell(QByteArray &out, Column c)
{
    out += kHeaderOpen;
    out += ' ';
    out += columnInfo(c).reportCaption;
    out += ' ';
    out += kHeaderClose;
}

void appendDate(QByteArray &out, const QDate &date)
{
    out += QByteArray::number(date.month());
    out += '/';
    out += QByteArray::number(date.day());
    out += '/';
    out += QByteArray::number(date.year());
}

// "yyyy-mm-dd" as M/d/yyyy; any other text as it stands.
void appendDate(QByteArray &out, const QString &stored)
{
    if (const auto date = parseIsoDate(stored))
        appendDate(out, *date);
    else
        appendHtmlText(out, stored);
}

void appendDate(QByteArray &out, std::string_view stored)
{
    // No date is longer than "yyyy-mm-dd", nor holds anything but ASCII.
    constexpr size_t kLongest = 10;
    char16_t wide[kLongest];
    bool ascii = stored.size() <= kLongest;
    for (size_t i = 0; ascii && i < stored.size(); ++i) {
        ascii = static_cast<unsigned char>(stored[i]) < 0x80;
        wide[i] = static_cast<char16_t>(stored[i]);
    }
    if (const auto date =
            ascii ? parseIsoDate(QStringView(wide, static_cast<qsizetype>(stored.size()))) : std::nullopt)
        appendDate(out, *date);
    else
        appendHtmlText(out, stored);
}

void appendValue(QByteArray &out, const ItemRow &row, Column c)
{
    if (row.isKept(c)) {
        // A stored amount that is no amount cannot be added up or shown as money.
        if (columnInfo(c).type == ColumnType::Money) throw AppError(Err::TypeMismatch);
        appendHtmlText(out, row.keptText(c));
        return;
    }
    switch (columnInfo(c).type) {
    case ColumnType::Count:
        if (row.itemCnt) out += QByteArray::number(*row.itemCnt);
        break;
    case ColumnType::Money:
        if (const auto &m = *row.moneyOf(c)) m->appendDollars(out, Money::Dollars::NoLeadingZero);
        break;
    case ColumnType::Date:
        if (!row.invDate.isNull()) appendDate(out, row.invDate);
        break;
    case ColumnType::Text:
        appendHtmlText(out, *row.textOf(c));
        break;
    }
}

// The stored text as the program reads it: decoding drops one leading byte order mark.
std::string_view readText(std::string_view utf8)
{
    return utf8.starts_with("\xEF\xBB\xBF") ? utf8.substr(3) : utf8;
}

// The same as above from the engine's values, with no string made on the way.
void appendValue(QByteArray &out, const StoredCells &cells, Column c)
{
    if (cells.row) return appendValue(out, *cells.row, c);
    if (cells.isNull(c)) return;
    const auto i = static_cast<size_t>(c);
    switch (columnInfo(c).type) {
    case ColumnType::Count:
        out += QByteArray::number(cells.number[i]);
        break;
    case ColumnType::Money:
        Money::fromRaw(cells.number[i]).appendDollars(out, Money::Dollars::NoLeadingZero);
        break;
    case ColumnType::Date:
        appendDate(out, readText(cells.text[i]));
        break;
    case ColumnType::Text:
        appendHtmlText(out, readText(cells.text[i]));
        break;
    }
}

} // namespace

QString ReportWriter::query() const
{
    return QString::fromLatin1(kSelect) + columnName(textColumns(m_choice)[0]);
}

QString ReportWriter::totalQuery()
{
    return QStringLiteral("Select Sum(TotItemCst) as TotInventory from Items");
}

namespace {
// Collects the report in pieces and hands them on in large blocks, so that a report over many
// items never needs to sit whole in memory on its way to the file.
class Sink
{
public:
    explicit Sink(QIODevice &out) : m_out(out) { m_block.reserve(kBlock + kBlock / 4); }
    QByteArray &text() { return m_block; }
    void flushIfFull()
    {
        if (m_block.size() >= kBlock) flush();
    }
    void flush()
    {
        if (m_out.write(m_block) != m_block.size()) {
            if (const auto *file = dynamic_cast<const DurableFile *>(&m_out)) throw file->writeFailure();
            throw AppError(Err::PathFileAccess);
        }
        m_block.resize(0);
    }

private:
    static constexpr qsizetype kBlock = 256 * 1024;
    QIODevice &m_out;
    QByteArray m_block;
};
} // namespace

void ReportWriter::writeTo(QIODevice &out, const QString &databasePath) const
{
    writeTo(out, *makeFileStore(databasePath));
}

void ReportWriter::writeTo(QIODevice &out, ItemStore &store) const
{
    const std::array<Column, 4> columns = textColumns(m_choice);

    Sink sink(out);
    QByteArray &report = sink.text();
    report += kPiece1;
    report += kPiece2;
    report += kPiece3;
    report += "<tr>";
    for (Column c : columns)
        appendHeaderCell(report, c);
    appendHeaderCell(report, Column::ItemCnt);
    appendHeaderCell(report, Column::ItemCst);
    appendHeaderCell(report, Column::TotItemCst);
    report += "</tr>";

    store.readOrderedCells(columns[0], [&](const StoredCells &row) {
        report += "<tr>";
        for (int pos = 0; pos < 4; ++pos) {
            report += kCellOpen;
            appendValue(report, row, columns[static_cast<size_t>(pos)]);
            report += pos < 2 ? kCellCloseWide : kCellCloseNarrow;
        }
        report += kCellOpen;
        appendValue(report, row, Column::ItemCnt);
        report += kCellCloseNarrow;
        report += kCostOpen;
        appendValue(report, row, Column::ItemCst);
        report += kCellCloseWide;
        report += kValueOpen;
        appendValue(report, row, Column::TotItemCst);
        report += kValueClose;
        report += "</tr>";
        sink.flushIfFull();
    });

    const std::optional<Money> total = store.totalValue();
    report += kPieces8To14;
    report += kTotalOpen;
    if (total) total->appendDollars(report, Money::Dollars::NoLeadingZero);
    report += kTotalClose;
    report += kPieces16To18;
    report += kPiece19;
    sink.flush();
}

QByteArray ReportWriter::build(const QString &databasePath) const
{
    QByteArray report;
    QBuffer buffer(&report);
    buffer.open(QIODevice::WriteOnly);
    writeTo(buffer, databasePath);
    return report;
}

namespace {
// The report is written beside the old one and replaces it only once whole and on disk.
DurableFile reportFile(const QString &path)
{
    return DurableFile(path, QStringLiteral("Could not write the report '%1'").arg(path));
}
} // namespace

void ReportWriter::save(const QByteArray &report, const QString &path)
{
    DurableFile file = reportFile(path);
    file.writeAll(report);
    file.commit();
}

QString ReportWriter::reportPath()
{
    return programPath(QStringLiteral("report.html"));
}

QString ReportWriter::write() const
{
    const QString path = reportPath();
    DurableFile file = reportFile(path);
    // The database the program folder names, on a connection of its own: a file is read through
    // a read-only one, so that a report of a read-only file still works.
    const std::unique_ptr<ItemStore> store = makeItemStore(programFolder());
    if (!store->isFile()) store->open();
    writeTo(file, *store); // a failure drops the new file unseen
    file.commit();
    return path;
}

} // namespace tv
