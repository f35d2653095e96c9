#include "ReportWriter.h"

#include "ReportMarkup.h"
#include "ReportText.h"
#include "common/AppError.h"
#include "common/DateText.h"
#include "common/DurableFile.h"
#include "common/Money.h"
#include "common/ProgramFolder.h"
#include "items/Database.h"

#include <QBuffer>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <array>

namespace tv {

using namespace markup;

namespace {

// Positions of the fields in every report query.
enum Field { ItemDesc, Vendor, InvDate, ItemNum, ItemCnt, ItemCst, TotItemCst };

constexpr const char *kSelect =
    "select ItemDesc, Vendor, InvDate, ItemNum, ItemCnt, ItemCst, TotItemCst from Items Order by ";

// The sort key moves to the first column; the other text columns keep their order.
std::array<Field, 4> textColumns(SortChoice choice)
{
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

const char *headerCell(Field f)
{
    switch (f) {
    case ItemDesc:
        return R"(<th><font size="4" color="0000aa"> Item Name </font></th>)";
    case Vendor:
        return R"(<th><font size="4" color="0000aa"> Vendor </font></th>)";
    case InvDate:
        return R"(<th><font size="4" color="0000aa"> Date </font></th>)";
    case ItemNum:
        return R"(<th><font size="4" color="0000aa"> Item Number </font></th>)";
    case ItemCnt:
        return R"(<th><font size="4" color="0000aa"> Unit Count </font></th>)";
    case ItemCst:
        return R"(<th><font size="4" color="0000aa"> Unit Cost </font></th>)";
    case TotItemCst:
        break;
    }
    return R"(<th><font size="4" color="0000aa"> Total Unit Value </font></th>)";
}

bool isInteger(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
        return true;
    default:
        return false;
    }
}

void appendMoneyValue(QByteArray &out, const QVariant &v)
{
    if (v.isNull()) return;
    if (!isInteger(v)) throw AppError(Err::TypeMismatch);
    Money::fromRaw(v.toLongLong()).appendDollars(out, Money::Dollars::NoLeadingZero);
}

// "yyyy-mm-dd" as M/d/yyyy; any other text as it stands.
void appendDate(QByteArray &out, const QString &stored)
{
    const auto date = parseIsoDate(stored);
    if (!date) {
        appendHtmlText(out, stored);
        return;
    }
    out += QByteArray::number(date->month());
    out += '/';
    out += QByteArray::number(date->day());
    out += '/';
    out += QByteArray::number(date->year());
}

void appendValue(QByteArray &out, Field f, const QVariant &v)
{
    if (v.isNull()) return;
    if (f == InvDate && v.typeId() == QMetaType::QString)
        appendDate(out, v.toString());
    else if (isInteger(v))
        out += QByteArray::number(v.toLongLong());
    else
        appendHtmlText(out, v.toString());
}

} // namespace

QString ReportWriter::query() const
{
    static const char *const keys[] = {"ItemDesc", "Vendor", "InvDate", "ItemNum"};
    return QString::fromLatin1(kSelect) + QString::fromLatin1(keys[static_cast<int>(m_choice)]);
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
    const std::array<Field, 4> columns = textColumns(m_choice);
    QueryConnection connection(databasePath);

    Sink sink(out);
    QByteArray &report = sink.text();
    report += kPiece1;
    report += kPiece2;
    report += kPiece3;
    report += "<tr>";
    for (Field f : columns)
        report += headerCell(f);
    report += headerCell(ItemCnt);
    report += headerCell(ItemCst);
    report += headerCell(TotItemCst);
    report += "</tr>";

    {
        QSqlQuery rows = connection.query(query());
        while (rows.next()) {
            report += "<tr>";
            for (int pos = 0; pos < 4; ++pos) {
                report += kCellOpen;
                appendValue(report, columns[pos], rows.value(columns[pos]));
                report += pos < 2 ? kCellCloseWide : kCellCloseNarrow;
            }
            report += kCellOpen;
            appendValue(report, ItemCnt, rows.value(ItemCnt));
            report += kCellCloseNarrow;
            report += kCostOpen;
            appendMoneyValue(report, rows.value(ItemCst));
            report += kCellCloseWide;
            report += kValueOpen;
            appendMoneyValue(report, rows.value(TotItemCst));
            report += kValueClose;
            report += "</tr>";
            sink.flushIfFull();
        }
        if (rows.lastError().isValid()) throwSqlError(rows);
    }

    QSqlQuery total(connection.database());
    total.setForwardOnly(true);
    // The engine refuses a sum beyond its integers, which is beyond any amount of money too.
    const auto failTotal = [&total] {
        if (total.lastError().databaseText() == QLatin1String("integer overflow"))
            throw AppError(Err::Overflow, QStringLiteral("The total value of the inventory is too large to show."));
        throwSqlError(total);
    };
    if (!total.exec(totalQuery())) failTotal();
    report += kPieces8To14;
    report += kTotalOpen;
    if (total.next())
        appendMoneyValue(report, total.value(0));
    else if (total.lastError().isValid())
        failTotal();
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
    writeTo(file, databasePath()); // a failure drops the new file unseen
    file.commit();
    return path;
}

} // namespace tv
