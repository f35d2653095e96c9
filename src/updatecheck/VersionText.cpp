#include "updatecheck/VersionText.h"

namespace tv {

namespace {
QStringView stripped(QStringView text)
{
    text = text.trimmed();
    if (text.startsWith(QChar(0xFEFF))) text = text.mid(1).trimmed();
    return text;
}

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

int compareNumbers(const QString &a, const QString &b)
{
    // Both are digit strings without leading zeros: the longer one is the larger number.
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}
} // namespace

std::optional<QStringList> parseVersionText(QStringView text)
{
    text = stripped(text);
    // No real release needs more; a longer text is the server's mistake or an attack.
    if (text.isEmpty() || text.size() > kMaxVersionChars) return std::nullopt;
    QStringList numbers;
    for (QStringView part : text.split(QLatin1Char('.'))) {
        if (part.isEmpty()) return std::nullopt;
        for (QChar c : part)
            if (!isAsciiDigit(c)) return std::nullopt;
        qsizetype first = 0;
        while (first + 1 < part.size() && part[first] == QLatin1Char('0'))
            ++first;
        numbers << part.mid(first).toString();
    }
    return numbers;
}

std::optional<QString> cleanVersionText(QStringView text)
{
    if (!parseVersionText(text)) return std::nullopt;
    return stripped(text).toString();
}

int compareVersions(const QStringList &a, const QStringList &b)
{
    const QString zero = QStringLiteral("0");
    const qsizetype n = std::max(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const int c = compareNumbers(i < a.size() ? a[i] : zero, i < b.size() ? b[i] : zero);
        if (c != 0) return c < 0 ? -1 : 1;
    }
    return 0;
}

std::optional<bool> isNewerVersion(QStringView published, QStringView installed)
{
    const auto p = parseVersionText(published);
    const auto i = parseVersionText(installed);
    if (!p || !i) return std::nullopt;
    return compareVersions(*p, *i) > 0;
}

} // namespace tv
