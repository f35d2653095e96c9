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

QByteArray htmlText(QStringView text)
{
    QByteArray out;
    appendHtmlText(out, text);
    return out;
}

} // namespace tv
