#include "ItemCsv.h"

#include "common/AppError.h"
#include "common/DateText.h"
#include "common/DurableFile.h"
#include "items/Database.h"
#include "items/FieldRules.h"
#include "items/ItemStore.h"

#include <QBuffer>
#include <QFileInfo>
#include <QSet>
#include <array>
#include <cstring>

namespace tv {

namespace {
constexpr char kDelimiter = ',';

// A spreadsheet runs a cell that starts with one of these as a formula. Apostrophes before it
// count too, so that a text that already starts with one comes back as it was.
bool startsLikeFormula(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == QLatin1Char('\''))
        ++i;
    return i < text.size() && QStringView(u"=+-@\t\r").contains(text[i]);
}

void appendRow(QByteArray &out, const ItemRow &r)
{
    auto number = [&](std::optional<qint64> v) {
        if (v) out.append(QByteArray::number(*v));
    };
    auto money = [&](const std::optional<Money> &m) {
        if (m) out.append(m->toPlain().toLatin1());
    };
    for (const ColumnInfo &c : kColumns) {
        if (c.column != kColumns.front().column) out.append(kDelimiter);
        switch (c.type) {
        case ColumnType::Count:
            number(*r.countOf(c.column));
            break;
        case ColumnType::Money:
            money(*r.moneyOf(c.column));
            break;
        case ColumnType::Text: {
            // The apostrophe makes a spreadsheet show the text instead of running it.
            const QString &text = *r.textOf(c.column);
            appendCsvCell(out, startsLikeFormula(text) ? QLatin1Char('\'') + text : text, kDelimiter);
            break;
        }
        case ColumnType::Date:
            appendCsvCell(out, *r.textOf(c.column), kDelimiter);
            break;
        }
    }
    endCsvRecord(out);
}

// A comma in a number may only separate groups of three digits: "12,50" is refused rather than
// read as 1250.
bool groupingFits(QStringView text)
{
    for (qsizetype k = text.indexOf(QLatin1Char(',')); k >= 0; k = text.indexOf(QLatin1Char(','), k + 1)) {
        int digits = 0;
        while (k + 1 + digits < text.size() && text[k + 1 + digits].isDigit())
            ++digits;
        if (digits != 3) return false;
    }
    return true;
}

// Digits with at most one point, after sign, dollar sign and commas: a text that still does not
// convert is too large rather than no number.
bool looksLikeNumber(QString text)
{
    text.remove(QLatin1Char('$')).remove(QLatin1Char(','));
    if (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'))) text.remove(0, 1);
    return !text.isEmpty() && text.count(QLatin1Char('.')) <= 1 &&
           std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.isDigit() || c == QLatin1Char('.'); });
}

struct Converted
{
    QVariant value;
    QString why; // empty when the text fits
};

Converted convert(Column column, const QString &text)
{
    const QString t = text.trimmed();
    switch (columnInfo(column).type) {
    case ColumnType::Count: {
        if (!groupingFits(t)) return {{}, QStringLiteral("not a whole number")};
        const QString plain = QString(t).remove(QLatin1Char(','));
        const auto exact = Money::parse(plain);
        if (exact && exact->absFraction() != 0) return {{}, QStringLiteral("not a whole number")};
        const auto n = parseWholeHalfEven(plain);
        if (!n)
            return {{},
                    looksLikeNumber(t) ? QStringLiteral("too large for a count of units")
                                       : QStringLiteral("not a whole number")};
        if (*n < 0 && column != Column::ItemCnt) return {{}, QStringLiteral("below 0")};
        return {QVariant(static_cast<qlonglong>(*n)), {}};
    }
    case ColumnType::Money: {
        const auto m = groupingFits(t) ? parseCurrencyText(t) : std::nullopt;
        if (!m)
            return {{},
                    looksLikeNumber(t) && groupingFits(t) ? QStringLiteral("an amount too large to keep")
                                                          : QStringLiteral("not an amount of money")};
        return {QVariant::fromValue(*m), {}};
    }
    case ColumnType::Date: {
        const auto d = parseUserDate(t);
        if (!d) return {{}, QStringLiteral("not a real date (write it as M/d/yyyy or YYYY-MM-DD)")};
        return {toIsoDate(*d), {}};
    }
    case ColumnType::Text:
        if (text.startsWith(QLatin1Char('\'')) && startsLikeFormula(QStringView(text).sliced(1)))
            return {text.sliced(1), {}};
        break;
    }
    return {text, {}};
}

QString folded(const QString &itemNum)
{
    return itemNum.toCaseFolded();
}
} // namespace

QByteArray itemsCsvHeader()
{
    return itemColumnNames().join(QLatin1Char(kDelimiter)).toLatin1() + "\r\n";
}

QByteArray itemsToCsv(const std::vector<ItemRow> &rows)
{
    QByteArray out = itemsCsvHeader();
    out.reserve(static_cast<qsizetype>(rows.size()) * 96 + out.size());
    for (const ItemRow &r : rows)
        appendRow(out, r);
    return out;
}

namespace {
// A text cell written as its bytes are: printable ASCII with nothing a reader or a spreadsheet
// would take otherwise. Any other goes the way of appendRow().
bool plainCell(QUtf8StringView text, bool formulaMatters)
{
    if (text.isEmpty() || text.front() == ' ' || text.back() == ' ') return false;
    if (formulaMatters && QByteArrayView("=+-@'").contains(text.front())) return false;
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c >= ' ' && c <= '~' && c != '"' && c != kDelimiter; });
}

// A row's cells as appendRow() writes them, from their bytes where they can go as they are.
void appendRow(QByteArray &out, const StoredCells &cells)
{
    for (const ColumnInfo &c : kColumns) {
        if (c.column != kColumns.front().column) out.append(kDelimiter);
        if (cells.isNull(c.column)) continue;
        const auto i = static_cast<size_t>(c.column);
        switch (c.type) {
        case ColumnType::Count:
            out.append(QByteArray::number(cells.number[i]));
            break;
        case ColumnType::Money:
            out.append(Money::fromRaw(cells.number[i]).toPlain().toLatin1());
            break;
        case ColumnType::Text:
        case ColumnType::Date: {
            const QUtf8StringView bytes(cells.text[i].data(), static_cast<qsizetype>(cells.text[i].size()));
            if (plainCell(bytes, c.type == ColumnType::Text)) {
                out.append(bytes.data(), bytes.size());
                break;
            }
            QString text = bytes.toString();
            if (text.isNull()) text = QStringLiteral(""); // an empty text, not a missing one
            const bool formula = c.type == ColumnType::Text && startsLikeFormula(text);
            appendCsvCell(out, formula ? QLatin1Char('\'') + text : text, kDelimiter);
            break;
        }
        }
    }
    endCsvRecord(out);
}

void exportRows(const ItemRowTable &rows, const QString &path)
{
    try {
        DurableFile file(path, QStringLiteral("Could not write '%1'").arg(path));
        // Written a block at a time, so memory stays small however many items there are.
        constexpr qsizetype kBlock = 1 << 20;
        QByteArray block = itemsCsvHeader();
        block.reserve(kBlock + 4096);
        StoredCells cells;
        for (size_t i = 0; i < rows.size(); ++i) {
            rows.cells(i, cells);
            appendRow(block, cells);
            if (block.size() >= kBlock) {
                file.writeAll(block);
                block.clear();
            }
        }
        file.writeAll(block);
        file.commit();
    } catch (const AppError &e) {
        throw AppError(e.number(), e.description() + QStringLiteral(". Nothing was exported."));
    }
}
} // namespace

void exportItemsCsv(const std::vector<ItemRow> &rows, const QString &path)
{
    // The same bytes whichever way the rows come.
    ItemRowTable table;
    for (const ItemRow &r : rows)
        table.append(r);
    exportRows(table, path);
}

void exportItemsCsv(const ItemRowTable &rows, const QString &path)
{
    exportRows(rows, path);
}

std::optional<Column> columnFromHeader(QStringView header)
{
    QString name = header.toString().simplified();
    if (name.endsWith(QLatin1Char(':'))) name = name.chopped(1).trimmed();
    if (const auto c = columnFromName(name)) return c;
    auto same = [&](const char *caption) {
        return caption && name.compare(QLatin1String(caption), Qt::CaseInsensitive) == 0;
    };
    for (const ColumnInfo &c : kColumns)
        if (same(c.gridCaption) || same(c.reportCaption)) return c.column;
    // The main window's own labels for the columns the grid and the report leave out.
    static const std::array<std::pair<const char *, Column>, 5> labels{{
        {"Item ID", Column::ItemNum},
        {"Item Image", Column::Image},
        {"Picture", Column::Image},
        {"Invoice ID", Column::InvNum},
        {"Invoice Number", Column::InvNum},
    }};
    for (const auto &[label, column] : labels)
        if (same(label)) return column;
    return std::nullopt;
}

namespace {
constexpr qsizetype kPackBlock = 4 << 20;

void packNumber(QByteArray &out, std::optional<qint64> v)
{
    out.append(char(v ? 1 : 0));
    if (v) out.append(reinterpret_cast<const char *>(&*v), sizeof(qint64));
}

void packText(QByteArray &out, const QString &text)
{
    if (text.isNull()) {
        out.append(char(0));
        return;
    }
    const QByteArray utf8 = text.toUtf8();
    auto length = static_cast<quint32>(utf8.size());
    out.append(char(1));
    out.append(reinterpret_cast<const char *>(&length), sizeof length);
    out.append(utf8);
}

template <typename T> T unpackRaw(const char *&p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    p += sizeof v;
    return v;
}

std::optional<qint64> unpackNumber(const char *&p)
{
    if (*p++ == 0) return std::nullopt;
    return unpackRaw<qint64>(p);
}

QString unpackText(const char *&p)
{
    if (*p++ == 0) return {};
    const auto length = unpackRaw<quint32>(p);
    QString text = length ? QString::fromUtf8(p, length) : QStringLiteral("");
    p += length;
    return text;
}

QString shortened(const QString &text)
{
    constexpr qsizetype kShown = 200;
    return text.size() <= kShown ? text : text.left(kShown) + QChar(0x2026);
}
} // namespace

void PackedRows::append(const ItemRow &row, int sourceRow)
{
    QByteArray packed;
    packed.append(reinterpret_cast<const char *>(&sourceRow), sizeof sourceRow);
    for (const ColumnInfo &c : kColumns) {
        switch (c.type) {
        case ColumnType::Count:
            packNumber(packed, *row.countOf(c.column));
            break;
        case ColumnType::Money: {
            const auto &m = *row.moneyOf(c.column);
            packNumber(packed, m ? std::optional<qint64>(m->raw()) : std::nullopt);
            break;
        }
        case ColumnType::Text:
        case ColumnType::Date:
            packText(packed, *row.textOf(c.column));
            break;
        }
    }
    if (m_blocks.empty() || m_blocks.back().size() + packed.size() > m_blocks.back().capacity()) {
        m_blocks.emplace_back();
        m_blocks.back().reserve(std::max(kPackBlock, packed.size()));
    }
    m_at.push_back({static_cast<quint32>(m_blocks.size() - 1), static_cast<quint32>(m_blocks.back().size())});
    m_blocks.back().append(packed);
}

int PackedRows::sourceRow(size_t i) const
{
    const char *p = m_blocks[m_at[i].block].constData() + m_at[i].offset;
    return unpackRaw<int>(p);
}

ItemRow PackedRows::at(size_t i) const
{
    const char *p = m_blocks[m_at[i].block].constData() + m_at[i].offset + sizeof(int);
    ItemRow row;
    for (const ColumnInfo &c : kColumns) {
        switch (c.type) {
        case ColumnType::Count:
            *row.countOf(c.column) = unpackNumber(p);
            break;
        case ColumnType::Money: {
            const auto raw = unpackNumber(p);
            *row.moneyOf(c.column) = raw ? std::optional<Money>(Money::fromRaw(*raw)) : std::nullopt;
            break;
        }
        case ColumnType::Text:
        case ColumnType::Date:
            *row.textOf(c.column) = unpackText(p);
            break;
        }
    }
    return row;
}

void PackedRows::clear()
{
    std::vector<QByteArray>().swap(m_blocks);
    std::vector<Place>().swap(m_at);
}

namespace {
// The columns the first record names, in its order (nullopt for a column not imported), and the
// header text of each column. Refuses a column named twice and a file without item numbers.
struct ImportHeader
{
    CsvRecord record;
    std::vector<std::optional<Column>> columns;
    std::array<QString, kColumnCount> headerOf;
    bool has(Column c) const { return !headerOf[static_cast<size_t>(c)].isNull(); }
    const QString &of(Column c) const { return headerOf[static_cast<size_t>(c)]; }
};

ImportHeader readImportHeader(CsvReader &reader, QStringList &ignoredColumns)
{
    ImportHeader header;
    reader.next(header.record); // the first record with text: an empty file is refused inside
    for (const CsvCell &cell : header.record.cells) {
        const auto column = columnFromHeader(cell.text);
        if (column) {
            QString &seen = header.headerOf[static_cast<size_t>(*column)];
            if (!seen.isNull())
                throw CsvRefused(QStringLiteral("The columns \"%1\" and \"%2\" both hold %3.")
                                     .arg(seen, cell.text, columnName(*column)));
            seen = cell.text;
        } else if (!cell.isMissing()) {
            ignoredColumns << cell.text;
        }
        header.columns.push_back(column);
    }
    if (!header.has(Column::ItemNum))
        throw CsvRefused(QStringLiteral("Its first row names no item number column. The first row must name "
                                        "the columns, such as ItemNum or \"Item Number\"."));
    return header;
}
} // namespace

ImportPlan planImport(QIODevice &file, const std::vector<QString> &existingNumbers, CsvProgress *progress)
{
    CsvReader reader(file, progress);
    ImportPlan plan;
    const ImportHeader header = readImportHeader(reader, plan.ignoredColumns);
    const auto &columns = header.columns;
    auto has = [&](Column c) { return header.has(c); };

    QSet<QString> known;
    known.reserve(static_cast<qsizetype>(existingNumbers.size()));
    for (const QString &number : existingNumbers)
        if (!number.isNull()) known.insert(folded(number));

    CsvRecord record;
    bool anyRecord = false;
    while (reader.next(record)) {
        anyRecord = true;
        ItemRow row;
        bool fits = true;
        auto problem = [&](const QString &column, const QString &text, const QString &why) {
            if (plan.problems.size() < ImportPlan::kListedProblems)
                plan.problems.push_back({record.row, column, shortened(text), why});
            // Nothing is imported once there is a problem: the rows kept so far can go.
            if (plan.problemCount++ == 0) plan.rows.clear();
            fits = false;
        };
        for (size_t c = 0; c < record.cells.size(); ++c) {
            const CsvCell &cell = record.cells[c];
            if (c >= columns.size()) {
                if (!cell.isMissing())
                    problem(QStringLiteral("column %1").arg(c + 1), cell.text,
                            QStringLiteral("more cells than the first row names columns"));
                continue;
            }
            if (!columns[c] || cell.isMissing()) continue;
            const Column column = *columns[c];
            const Converted v = convert(column, cell.text);
            if (!v.why.isEmpty())
                problem(header.record.cells[c].text, cell.text, v.why);
            else
                row.setValue(column, v.value);
        }
        if (row.itemNum.trimmed().isEmpty())
            problem(header.of(Column::ItemNum), row.itemNum, QStringLiteral("missing item number"));
        if (!fits) continue;
        // Without the columns of a spreadsheet the row gets what a new item gets.
        if (!has(Column::Image)) row.image = QStringLiteral("0");
        if (!has(Column::TotItemCst) && row.itemCst && row.itemCnt) {
            const auto total = row.itemCst->times(*row.itemCnt);
            if (!total) {
                problem(header.of(Column::ItemCst), row.itemCst->toPlain(),
                        QStringLiteral("the total value of this many units is too large to keep"));
                continue;
            }
            row.totItemCst = total;
        }
        if (known.contains(folded(row.itemNum))) ++plan.existingNumbers;
        ++plan.rowCount;
        if (plan.problemCount == 0) plan.rows.append(row, record.row);
        if (plan.firstRows.size() < ImportPlan::kPreviewRows) {
            plan.firstRows.push_back(std::move(row));
            plan.firstSourceRows.push_back(record.row);
        }
    }
    if (!anyRecord) throw CsvRefused(QStringLiteral("It holds no items, only the row of column names."));
    return plan;
}

ImportPlan planImport(QByteArrayView bytes, const std::vector<ItemRow> &existing)
{
    QByteArray copy = bytes.toByteArray();
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    std::vector<QString> numbers;
    numbers.reserve(existing.size());
    for (const ItemRow &r : existing)
        numbers.push_back(r.itemNum);
    return planImport(buffer, numbers);
}

QString previewText(const ItemRow &row, Column column)
{
    switch (columnInfo(column).type) {
    case ColumnType::Money: {
        const auto &m = *row.moneyOf(column);
        return m ? m->toDollars() : QString();
    }
    case ColumnType::Date:
        return storedDateToDisplay(row.invDate);
    case ColumnType::Count:
    case ColumnType::Text:
        break;
    }
    return row.value(column).toString();
}

QString importSummary(const ImportPlan &plan, const QString &fileName)
{
    const qint64 n = plan.rowCount;
    QString text = QStringLiteral("%1: %2 %3 ready to import")
                       .arg(fileName)
                       .arg(n)
                       .arg(n == 1 ? QStringLiteral("item") : QStringLiteral("items"));
    text += plan.existingNumbers == 1
                ? QStringLiteral(", 1 of them with an item number Tallyvane already holds.")
                : QStringLiteral(", %1 of them with item numbers Tallyvane already holds.")
                      .arg(plan.existingNumbers);
    const auto listed = static_cast<qint64>(plan.problems.size());
    if (plan.problemCount > listed)
        text +=
            QStringLiteral("\n%1 problems must be fixed in the file first: the first %2 are below, %3 more "
                           "are not listed. Nothing is imported while any is left.")
                .arg(plan.problemCount)
                .arg(listed)
                .arg(plan.problemCount - listed);
    else if (plan.problemCount > 0)
        text += QStringLiteral(
                    "\n%1 %2 below must be fixed in the file first: nothing is imported while any is left.")
                    .arg(plan.problemCount)
                    .arg(plan.problemCount == 1 ? QStringLiteral("problem") : QStringLiteral("problems"));
    if (!plan.ignoredColumns.isEmpty())
        text +=
            QStringLiteral("\nColumns not imported: %1.").arg(plan.ignoredColumns.join(QStringLiteral(", ")));
    return text;
}

void storeItems(ItemStore &store, const PackedRows &rows)
{
    std::vector<ItemRow> stored;
    stored.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i)
        stored.push_back(rows.at(i));
    try {
        const ChangeScope imported(store, ChangeKind::imported);
        store.insertAll(stored);
    } catch (const AppError &e) {
        const QString why = e.description();
        throw AppError(e.number(),
                       why + (why.endsWith(QLatin1Char('.')) ? QStringLiteral(" Nothing was imported.")
                                                             : QStringLiteral(". Nothing was imported.")));
    }
}

} // namespace tv
