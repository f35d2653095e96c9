#include "ReportText.h"

#include <cstdint>

namespace tv {

void appendReportMoney(QByteArray &out, Money amount)
{
    // Rounded on the magnitude so that the extremes of the range cannot overflow.
    const std::int64_t raw = amount.raw();
    const std::uint64_t magnitude =
        raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
    std::uint64_t whole = magnitude / Money::kScale;
    const unsigned fraction = static_cast<unsigned>(magnitude % Money::kScale);
    unsigned cents = fraction / 100;
    const unsigned rest = fraction % 100;
    if (rest > 50 || (rest == 50 && cents % 2 != 0)) ++cents;
    if (cents == 100) {
        cents = 0;
        ++whole;
    }
    if (raw < 0 && (whole != 0 || cents != 0)) out += '-';
    out += '$';
    if (whole != 0) {
        char digits[32];
        int n = 0;
        int inGroup = 0;
        do {
            if (inGroup == 3) {
                digits[n++] = ',';
                inGroup = 0;
            }
            digits[n++] = static_cast<char>('0' + whole % 10);
            whole /= 10;
            ++inGroup;
        } while (whole != 0);
        while (n > 0)
            out += digits[--n];
    }
    out += '.';
    out += static_cast<char>('0' + cents / 10);
    out += static_cast<char>('0' + cents % 10);
}

QString reportMoney(Money amount)
{
    QByteArray out;
    appendReportMoney(out, amount);
    return QString::fromLatin1(out);
}

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

QByteArray htmlText(QStringView text)
{
    QByteArray out;
    appendHtmlText(out, text);
    return out;
}

} // namespace tv
