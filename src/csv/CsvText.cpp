#include "CsvText.h"

#include "common/AppError.h"

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

CsvReader::CsvReader(QIODevice &device, CsvProgress *progress) : m_device(device), m_progress(progress) {}

namespace {
const QString kBinary = QStringLiteral("It holds binary data, not text. Choose a file saved as CSV.");

// Where the last whole character of a block ends; the rest waits for the next block.
qsizetype wholeUtf8(const QByteArray &block)
{
    const qsizetype n = block.size();
    qsizetype i = n;
    while (i > 0 && n - i < 3 && (static_cast<uchar>(block[i - 1]) & 0xC0) == 0x80)
        --i;
    if (i == 0) return n;
    const auto lead = static_cast<uchar>(block[i - 1]);
    const qsizetype length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return n - (i - 1) < length ? i - 1 : n;
}

// Whole code units only; the two halves of a pair may go to different blocks, as the text joins
// them again.
qsizetype wholeUtf16(const QByteArray &block)
{
    return block.size() & ~qsizetype(1);
}
} // namespace

bool CsvReader::available()
{
    return m_pos < m_text.size() || refill();
}

bool CsvReader::refill()
{
    m_text.clear();
    m_pos = 0;
    QByteArray block;
    while (m_text.isEmpty()) {
        if (m_end) return false;
        if (m_progress && m_progress->cancel.load(std::memory_order_relaxed)) throw CsvCancelled{};
        block = m_carry;
        m_carry.clear();
        const qsizetype had = block.size();
        block.resize(had + kBlockBytes);
        const qint64 got = m_device.read(block.data() + had, kBlockBytes);
        if (got < 0)
            throw AppError(Err::PathFileAccess,
                           QStringLiteral("Could not read the file: %1").arg(m_device.errorString()));
        block.truncate(had + got);
        if (got == 0) m_end = true;
        if (m_progress) m_progress->bytesRead.fetch_add(got, std::memory_order_relaxed);
        if (m_encoding == Encoding::Unknown) {
            if (block.size() < 3 && !m_end) {
                m_carry = block;
                continue;
            }
            if (block.startsWith("\xEF\xBB\xBF")) {
                m_encoding = Encoding::Utf8;
                block.remove(0, 3);
            } else if (block.startsWith("\xFF\xFE")) {
                m_encoding = Encoding::Utf16LE;
                block.remove(0, 2);
            } else if (block.startsWith("\xFE\xFF")) {
                m_encoding = Encoding::Utf16BE;
                block.remove(0, 2);
            } else {
                m_encoding = Encoding::Utf8;
            }
        }
        const bool utf8 = m_encoding == Encoding::Utf8;
        if (!m_end) {
            const qsizetype whole = utf8 ? wholeUtf8(block) : wholeUtf16(block);
            m_carry = block.sliced(whole);
            block.truncate(whole);
        }
        if (utf8 && block.contains('\0')) throw CsvRefused(kBinary);
        QStringDecoder decode(utf8                              ? QStringDecoder::Utf8
                              : m_encoding == Encoding::Utf16LE ? QStringDecoder::Utf16LE
                                                                : QStringDecoder::Utf16BE,
                              QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
        m_text = decode(block);
        if (decode.hasError() || (!utf8 && block.size() % 2 != 0))
            throw CsvRefused(
                utf8 ? QStringLiteral("It is not UTF-8 text. Save it from the spreadsheet as "
                                      "\"CSV UTF-8\" and import that file.")
                     : QStringLiteral("It is not UTF-16 text, though it starts as such. Save it "
                                      "from the spreadsheet as \"CSV UTF-8\" and import that file."));
        if (!utf8 && m_text.contains(QChar(0))) throw CsvRefused(kBinary);
        if (m_row == 0 && !m_text.isEmpty()) m_delimiter = detectDelimiter(m_text);
    }
    return true;
}

void CsvReader::take(QString &into, qsizetype from, qsizetype to)
{
    m_used += to - from;
    if (m_used <= kMaxRecordChars) into += QStringView(m_text).sliced(from, to - from);
}

void CsvReader::takeRun(QString &into)
{
    const QChar cr = QLatin1Char('\r'), lf = QLatin1Char('\n');
    while (available()) {
        const QChar *d = m_text.constData();
        const qsizetype n = m_text.size();
        qsizetype i = m_pos;
        while (i < n && d[i] != m_delimiter && d[i] != cr && d[i] != lf)
            ++i;
        take(into, m_pos, i);
        m_pos = i;
        if (i < n) return;
    }
}

bool CsvReader::readRecord(CsvRecord &record)
{
    if (!available()) return false;
    record.row = ++m_row;
    record.cells.clear();
    m_used = 0;
    const QChar quote = QLatin1Char('"');
    for (;;) {
        CsvCell cell;
        if (available() && m_text[m_pos] == quote) {
            cell.quoted = true;
            ++m_pos;
            ++m_used;
            for (;;) {
                if (!available())
                    throw CsvRefused(QStringLiteral("The quoted cell that starts in row %1 is never closed.")
                                         .arg(record.row));
                const qsizetype close = m_text.indexOf(quote, m_pos);
                if (close < 0) {
                    take(cell.text, m_pos, m_text.size());
                    m_pos = m_text.size();
                    continue;
                }
                take(cell.text, m_pos, close);
                m_pos = close + 1;
                ++m_used;
                if (available() && m_text[m_pos] == quote) {
                    take(cell.text, m_pos, m_pos + 1);
                    ++m_pos;
                    continue;
                }
                break;
            }
        }
        // Text after the closing quote is kept as it stands, as spreadsheets do.
        takeRun(cell.text);
        if (m_used <= kMaxRecordChars) record.cells.push_back(std::move(cell));
        if (available() && m_text[m_pos] == m_delimiter) {
            ++m_pos;
            ++m_used;
            continue;
        }
        break;
    }
    if (available() && m_text[m_pos] == QLatin1Char('\r')) ++m_pos;
    if (available() && m_text[m_pos] == QLatin1Char('\n')) ++m_pos;
    if (m_used > kMaxRecordChars)
        throw CsvRefused(QStringLiteral("Row %1 holds more than %2 characters; no row of items is that long.")
                             .arg(record.row)
                             .arg(kMaxRecordChars));
    return true;
}

bool CsvReader::next(CsvRecord &record)
{
    while (readRecord(record)) {
        const bool oneCell = record.cells.size() == 1 && !record.cells[0].quoted;
        if (oneCell && record.cells[0].text.isEmpty()) continue;
        // Blanks before the first text are no header.
        if (!m_sawText && oneCell && record.cells[0].text.trimmed().isEmpty()) continue;
        m_sawText = true;
        return true;
    }
    if (!m_sawText) throw CsvRefused(QStringLiteral("The file is empty."));
    return false;
}

} // namespace tv
