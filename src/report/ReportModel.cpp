#include "ReportModel.h"

#include "ReportMarkup.h"

#include <QBuffer>
#include <QIODevice>
#include <algorithm>
#include <cstring>
#include <limits>

namespace tv {

using namespace markup;

QByteArrayView ReportModel::cellUtf8(qsizetype row, int column) const
{
    const qsizetype i = row * kColumns + column;
    const quint32 begin = i == 0 ? 0 : m_ends[i - 1];
    return QByteArrayView(m_text.constData() + begin, m_ends[i] - begin);
}

ReportModel::Place ReportModel::place(qsizetype piece) const
{
    if (piece <= 0) return {Piece::Title, -1, -1};
    if (piece <= kColumns) return {Piece::Header, -1, int(piece - 1)};
    const qsizetype cell = piece - 1 - kColumns;
    if (cell < m_rows * kColumns) return {Piece::Cell, cell / kColumns, int(cell % kColumns)};
    switch (cell - m_rows * kColumns) {
    case 0:
        return {Piece::TotalLabel, -1, -1};
    case 1:
        return {Piece::Total, -1, -1};
    default:
        return {Piece::Closing, -1, -1};
    }
}

qsizetype ReportModel::pieceOf(const Place &at) const
{
    const qsizetype tail = 1 + kColumns + m_rows * kColumns;
    switch (at.kind) {
    case Piece::Title:
        return 0;
    case Piece::Header:
        return 1 + at.column;
    case Piece::Cell:
        return 1 + kColumns + at.row * kColumns + at.column;
    case Piece::TotalLabel:
        return tail;
    case Piece::Total:
        return tail + 1;
    case Piece::Closing:
        break;
    }
    return tail + 2;
}

QString ReportModel::pieceText(qsizetype piece) const
{
    const Place at = place(piece);
    switch (at.kind) {
    case Piece::Title:
        return title();
    case Piece::Header:
        return header(at.column);
    case Piece::Cell:
        return cell(at.row, at.column);
    case Piece::TotalLabel:
        return totalLabel();
    case Piece::Total:
        return total();
    case Piece::Closing:
        break;
    }
    return closing();
}

namespace {
char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// The needle is in lower case already; bytes beyond ASCII never match an ASCII byte, so UTF-8
// text can be searched byte by byte.
bool containsAscii(QByteArrayView hay, QByteArrayView needle)
{
    const qsizetype n = needle.size();
    if (n == 0) return true;
    const char first = needle[0];
    const char *h = hay.data();
    for (qsizetype i = 0, last = hay.size() - n; i <= last; ++i) {
        if (lowerAscii(h[i]) != first) continue;
        qsizetype j = 1;
        while (j < n && lowerAscii(h[i + j]) == needle[j])
            ++j;
        if (j == n) return true;
    }
    return false;
}
} // namespace

bool ReportModel::pieceContains(qsizetype piece, const QString &needle, QByteArrayView asciiNeedle) const
{
    const Place at = place(piece);
    if (at.kind == Piece::Cell && !asciiNeedle.isNull())
        return containsAscii(cellUtf8(at.row, at.column), asciiNeedle);
    return pieceText(piece).contains(needle, Qt::CaseInsensitive);
}

qsizetype ReportModel::find(const QString &needle, qsizetype from, bool backwards) const
{
    if (needle.isEmpty()) return -1;
    QByteArray ascii;
    bool isAscii = true;
    for (QChar c : needle)
        isAscii = isAscii && c.unicode() < 0x80;
    if (isAscii) {
        ascii = needle.toLatin1();
        for (char &c : ascii)
            c = lowerAscii(c);
    }
    const qsizetype count = pieceCount();
    if (from < 0 || from >= count) from = backwards ? 0 : count - 1;
    const qsizetype step = backwards ? count - 1 : 1; // modulo count
    qsizetype piece = from;
    for (qsizetype left = count; left > 0; --left) {
        piece = (piece + step) % count;
        if (pieceContains(piece, needle, ascii)) return piece;
    }
    return -1;
}

qsizetype ReportModel::memoryUse() const
{
    return m_text.capacity() + qsizetype(m_ends.capacity() * sizeof(quint32)) + qsizetype(sizeof(*this));
}

namespace {

// The file through a window that moves along it: only what is being parsed is held.
class Input
{
public:
    Input(QIODevice &in, const ReportReader::Progress &progress) : m_in(in), m_progress(progress)
    {
        m_total = in.isSequential() ? 0 : in.size();
    }

    // Consumes the literal when it comes next.
    bool take(const char *literal)
    {
        const qsizetype n = qsizetype(std::strlen(literal));
        if (!ensure(n) || std::memcmp(m_buf.constData() + m_pos, literal, size_t(n)) != 0) return false;
        m_pos += n;
        return true;
    }
    bool startsWith(const char *literal)
    {
        const qsizetype n = qsizetype(std::strlen(literal));
        return ensure(n) && std::memcmp(m_buf.constData() + m_pos, literal, size_t(n)) == 0;
    }

    // The text up to the next tag; the tag stays. Valid until the next call.
    std::optional<QByteArrayView> text()
    {
        qsizetype scanned = 0;
        for (;;) {
            const char *start = m_buf.constData() + m_pos;
            const qsizetype available = m_buf.size() - m_pos;
            if (const void *lt = std::memchr(start + scanned, '<', size_t(available - scanned))) {
                const qsizetype n = static_cast<const char *>(lt) - start;
                m_pos += n;
                return QByteArrayView(start, n);
            }
            scanned = available;
            if (!fill()) return std::nullopt;
        }
    }

    // Only blanks are left.
    bool atEnd()
    {
        for (;;) {
            while (m_pos < m_buf.size()) {
                const char c = m_buf[m_pos];
                if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
                ++m_pos;
            }
            if (!fill()) return true;
        }
    }

private:
    bool ensure(qsizetype n)
    {
        while (m_buf.size() - m_pos < n)
            if (!fill()) return false;
        return true;
    }

    bool fill()
    {
        if (m_ended) return false;
        if (m_pos > 0) {
            m_buf.remove(0, m_pos);
            m_pos = 0;
        }
        const qsizetype old = m_buf.size();
        m_buf.resize(old + kChunk);
        const qint64 got = m_in.read(m_buf.data() + old, kChunk);
        m_buf.resize(old + std::max<qint64>(got, 0));
        if (got <= 0) {
            m_ended = true;
            return false;
        }
        m_done += got;
        if (m_progress) m_progress(m_done, m_total);
        return true;
    }

    static constexpr qsizetype kChunk = 512 * 1024;
    QIODevice &m_in;
    const ReportReader::Progress &m_progress;
    QByteArray m_buf;
    qsizetype m_pos = 0;
    qint64 m_done = 0;
    qint64 m_total = 0;
    bool m_ended = false;
};

void appendUtf8(QByteArray &out, char32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xc0 | (c >> 6));
        out += char(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        out += char(0xe0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3f));
        out += char(0x80 | (c & 0x3f));
    } else {
        out += char(0xf0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3f));
        out += char(0x80 | ((c >> 6) & 0x3f));
        out += char(0x80 | (c & 0x3f));
    }
}

// "&...;" at the start of the text: the character it stands for and its length.
std::optional<std::pair<char32_t, qsizetype>> entity(QByteArrayView s)
{
    const qsizetype semi = s.first(std::min<qsizetype>(s.size(), 12)).indexOf(';');
    if (semi < 2) return std::nullopt;
    const QByteArrayView name = s.sliced(1, semi - 1);
    static constexpr std::pair<const char *, char32_t> named[] = {
        {"amp", U'&'}, {"lt", U'<'}, {"gt", U'>'}, {"quot", U'"'}, {"apos", U'\''}, {"nbsp", U'\u00a0'}};
    for (const auto &[text, c] : named)
        if (name == QByteArrayView(text)) return std::pair{c, semi + 1};
    if (name[0] != '#') return std::nullopt;
    const bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
    const QByteArrayView digits = name.sliced(hex ? 2 : 1);
    bool ok = false;
    const uint value = digits.toUInt(&ok, hex ? 16 : 10);
    if (!ok || digits.isEmpty() || digits[0] == '+' || digits[0] == '-') return std::nullopt;
    const bool valid = value != 0 && value <= 0x10ffff && (value < 0xd800 || value > 0xdfff);
    return std::pair{valid ? char32_t(value) : U'\ufffd', semi + 1};
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
bool isPlain(char c)
{
    return c > ' ' && c < 0x7f && c != '&';
}

// A cell's text as a browser shows it: entities resolved, blanks run together and trimmed;
// bytes beyond ASCII are read as Latin-1, as the text browser reads the file.
void appendDecoded(QByteArray &out, QByteArrayView raw)
{
    const char *s = raw.data();
    const qsizetype n = raw.size();
    bool blank = false;
    bool any = false;
    for (qsizetype i = 0; i < n;) {
        const char c = s[i];
        if (isBlank(c)) {
            blank = any;
            ++i;
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        any = true;
        if (isPlain(c)) {
            // Most of a report is plain words with single blanks between them: copied whole.
            qsizetype j = i + 1;
            for (;;) {
                while (j < n && isPlain(s[j]))
                    ++j;
                if (j + 1 < n && s[j] == ' ' && isPlain(s[j + 1])) {
                    j += 2;
                    continue;
                }
                break;
            }
            out.append(s + i, j - i);
            i = j;
        } else if (c == '&') {
            // A lone "&" shows as it is, as in a browser.
            const auto e = entity(raw.sliced(i));
            appendUtf8(out, e ? e->first : U'&');
            i += e ? e->second : 1;
        } else {
            appendUtf8(out, static_cast<unsigned char>(c));
            ++i;
        }
    }
}

QString decoded(QByteArrayView raw)
{
    QByteArray utf8;
    appendDecoded(utf8, raw);
    return QString::fromUtf8(utf8);
}

const char *cellOpen(int column)
{
    return column == 5 ? kCostOpen : column == 6 ? kValueOpen : kCellOpen;
}
const char *cellClose(int column)
{
    return column == 6 ? "</b></font></td>" : "</b></td>";
}

} // namespace

std::optional<ReportModel> ReportReader::read(QIODevice &device, const Progress &progress)
{
    Input in(device, progress);
    ReportModel model;
    if (!in.take(kPiece1) || !in.take(kPiece2) || !in.take(kPiece3) || !in.take(kRowOpen))
        return std::nullopt;
    for (int column = 0; column < ReportModel::kColumns; ++column) {
        if (!in.take(kHeaderOpen)) return std::nullopt;
        const auto label = in.text();
        if (!label) return std::nullopt;
        model.m_headers[column] = decoded(*label);
        if (!in.take(kHeaderClose)) return std::nullopt;
    }
    if (!in.take(kRowClose)) return std::nullopt;

    if (!device.isSequential() && in.startsWith(kRowOpen)) {
        // A row takes a little over 300 bytes of the file, and its texts about a sixth of that.
        const qint64 size = std::min<qint64>(device.size(), std::numeric_limits<quint32>::max());
        model.m_ends.reserve(size_t(size / 300 * ReportModel::kColumns));
        model.m_text.reserve(qsizetype(size / 5));
    }
    std::array<qsizetype, ReportModel::kColumns> longest{};
    while (in.take(kRowOpen)) {
        for (int column = 0; column < ReportModel::kColumns; ++column) {
            if (!in.take(cellOpen(column))) return std::nullopt;
            const auto value = in.text();
            const qsizetype begin = model.m_text.size();
            if (!value) return std::nullopt;
            appendDecoded(model.m_text, *value);
            if (!in.take(cellClose(column))) return std::nullopt;
            if (model.m_text.size() > std::numeric_limits<quint32>::max()) return std::nullopt;
            model.m_ends.push_back(quint32(model.m_text.size()));
            if (model.m_text.size() - begin > longest[column] || model.m_longestRow[column] < 0) {
                longest[column] = model.m_text.size() - begin;
                model.m_longestRow[column] = model.m_rows;
            }
        }
        if (!in.take(kRowClose)) return std::nullopt;
        ++model.m_rows;
    }

    if (!in.take(kPieces8To14) || !in.take(kTotalOpen)) return std::nullopt;
    const auto total = in.text();
    if (!total) return std::nullopt;
    model.m_total = decoded(*total);
    if (!in.take("</b></font></td>") || !in.take(kPieces16To18) || !in.take(kPiece19) || !in.atEnd())
        return std::nullopt;
    model.m_text.squeeze();
    model.m_ends.shrink_to_fit();
    return model;
}

std::optional<ReportModel> ReportReader::parse(const QByteArray &html)
{
    QByteArray copy = html; // shared, not copied
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return read(buffer);
}

} // namespace tv
