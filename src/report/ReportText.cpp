#include "ReportText.h"

namespace tv {

namespace {
void appendReference(QByteArray &out, char32_t codePoint)
{
    out += "&#";
    out += QByteArray::number(static_cast<uint>(codePoint));
    out += ';';
}
} // namespace

void appendHtmlText(QByteArray &out, QStringView text)
{
    const qsizetype n = text.size();
    const char16_t *s = text.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c >= 0x20 && c < 0x7f) {
            switch (c) {
            case u'&':
                out += "&amp;";
                break;
            case u'<':
                out += "&lt;";
                break;
            case u'>':
                out += "&gt;";
                break;
            case u'"':
                out += "&quot;";
                break;
            default:
                out += static_cast<char>(c);
            }
        } else if (c == u'\t') {
            out += '\t';
        } else if (c == 0) {
            appendReference(out, 0xfffd); // a browser shows a NUL as the replacement character
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            appendReference(out, QChar::surrogateToUcs4(c, s[i + 1]));
            ++i;
        } else if (QChar::isSurrogate(c)) {
            appendReference(out, 0xfffd);
        } else {
            appendReference(out, c);
        }
    }
}

namespace {
// The character a printable ASCII byte is written as, or nullptr when it stands as it is.
const char *asciiEscape(char c)
{
    switch (c) {
    case '&':
        return "&amp;";
    case '<':
        return "&lt;";
    case '>':
        return "&gt;";
    case '"':
        return "&quot;";
    default:
        return nullptr;
    }
}

bool standsAsIs(unsigned char c)
{
    return (c >= 0x20 && c < 0x7f && !asciiEscape(static_cast<char>(c))) || c == '\t';
}

// The code point starting at s[i] of valid UTF-8; i moves past it.
char32_t decodeUtf8(std::string_view s, size_t &i)
{
    const auto lead = static_cast<unsigned char>(s[i++]);
    const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : 1;
    char32_t cp = lead & (0x3Fu >> more);
    for (int k = 0; k < more && i < s.size(); ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(s[i++]) & 0x3Fu);
    return cp;
}
} // namespace

void appendHtmlText(QByteArray &out, std::string_view utf8)
{
    size_t i = 0;
    while (i < utf8.size()) {
        // Runs of plain text go across in one copy: most values are nothing else.
        const size_t start = i;
        while (i < utf8.size() && standsAsIs(static_cast<unsigned char>(utf8[i])))
            ++i;
        if (i > start) out.append(utf8.data() + start, static_cast<qsizetype>(i - start));
        if (i == utf8.size()) break;
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (const char *escaped = asciiEscape(static_cast<char>(c))) {
            out += escaped;
            ++i;
        } else if (c < 0x80) {
            appendReference(out, c == 0 ? 0xfffd : c);
            ++i;
        } else {
            appendReference(out, decodeUtf8(utf8, i));
        }
    }
}

QByteArray htmlText(QStringView text)
{
    QByteArray out;
    appendHtmlText(out, text);
    return out;
}

} // namespace tv
