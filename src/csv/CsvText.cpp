#include "CsvText.h"

#include <QStringDecoder>

namespace tv {

namespace {
bool needsQuotes(QStringView text, QChar delimiter)
{
    if (text.isEmpty()) return true; // an empty text, as opposed to a missing one
    if (text.front().isSpace() || text.back().isSpace()) return true;
    for (const QChar c : text)
        if (c == delimiter || c == QLatin1Char('"') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            return true;
    return false;
}

// The delimiter the first record uses more often outside quotes; a comma when neither.
QChar detectDelimiter(QStringView text)
{
    int commas = 0, semicolons = 0;
    bool inQuotes = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            inQuotes = !inQuotes;
        else if (!inQuotes && (c == QLatin1Char('\n') || c == QLatin1Char('\r')))
            break;
        else if (!inQuotes && c == QLatin1Char(','))
            ++commas;
        else if (!inQuotes && c == QLatin1Char(';'))
            ++semicolons;
    }
    return semicolons > commas ? QLatin1Char(';') : QLatin1Char(',');
}
} // namespace

void appendCsvCell(QByteArray &out, const QString &text, char delimiter)
{
    if (text.isNull()) return;
    if (!needsQuotes(text, QLatin1Char(delimiter))) {
        out.append(text.toUtf8());
        return;
    }
    out.append('"');
    out.append(QString(text).replace(QLatin1Char('"'), QLatin1String("\"\"")).toUtf8());
    out.append('"');
}

CsvTable readCsv(QByteArrayView bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes = bytes.sliced(3);
    if (bytes.contains('\0'))
        throw CsvRefused(QStringLiteral("It holds binary data, not text. Choose a file saved as CSV."));
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decode(bytes);
    if (decode.hasError())
        throw CsvRefused(QStringLiteral("It is not UTF-8 text. Save it from the spreadsheet as \"CSV UTF-8\" "
                                        "and import that file."));
    if (text.trimmed().isEmpty()) throw CsvRefused(QStringLiteral("The file is empty."));

    CsvTable table;
    const QChar delim = detectDelimiter(text);
    table.delimiter = static_cast<char>(delim.unicode());
    const QChar quote = QLatin1Char('"'), cr = QLatin1Char('\r'), lf = QLatin1Char('\n');
    const qsizetype n = text.size();
    qsizetype i = 0;
    int row = 0;
    while (i < n) {
        CsvRecord record;
        record.row = ++row;
        for (;;) {
            CsvCell cell;
            if (text[i] == quote) {
                cell.quoted = true;
                ++i;
                for (;;) {
                    const qsizetype close = text.indexOf(quote, i);
                    if (close < 0)
                        throw CsvRefused(
                            QStringLiteral("The quoted cell that starts in row %1 is never closed.")
                                .arg(record.row));
                    cell.text += QStringView(text).sliced(i, close - i);
                    i = close + 1;
                    if (i < n && text[i] == quote) {
                        cell.text += quote;
                        ++i;
                    } else {
                        break;
                    }
                }
                // Text after the closing quote is kept as it stands, as spreadsheets do.
                while (i < n && text[i] != delim && text[i] != cr && text[i] != lf)
                    cell.text += text[i++];
            } else {
                const qsizetype start = i;
                while (i < n && text[i] != delim && text[i] != cr && text[i] != lf)
                    ++i;
                cell.text = text.sliced(start, i - start);
            }
            record.cells.push_back(std::move(cell));
            if (i < n && text[i] == delim) {
                ++i;
                if (i == n) record.cells.emplace_back();
                continue;
            }
            break;
        }
        if (i < n && text[i] == cr) ++i;
        if (i < n && text[i] == lf) ++i;
        const bool blank = record.cells.size() == 1 && record.cells[0].isMissing();
        if (!blank) table.records.push_back(std::move(record));
    }
    return table;
}

} // namespace tv
