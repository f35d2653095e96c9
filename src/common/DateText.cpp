#include "DateText.h"

#include <QStringList>

namespace tv {

QString toDisplayDate(const QDate &date)
{
    return QStringLiteral("%1/%2/%3")
        .arg(date.month())
        .arg(date.day())
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

namespace {
std::optional<int> number(QStringView part, int minDigits, int maxDigits)
{
    if (part.size() < minDigits || part.size() > maxDigits) return std::nullopt;
    int value = 0;
    for (const QChar c : part) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}

std::optional<QDate> dateOf(std::optional<int> y, std::optional<int> m, std::optional<int> d)
{
    if (!y || !m || !d || *y < 100 || !QDate::isValid(*y, *m, *d)) return std::nullopt;
    return QDate(*y, *m, *d);
}

// "yyyy-mm-dd" with month and day of at least `minDigits` digits.
std::optional<QDate> isoDate(QStringView text, int minDigits)
{
    const qsizetype first = text.indexOf(QLatin1Char('-'));
    const qsizetype second = first < 0 ? -1 : text.indexOf(QLatin1Char('-'), first + 1);
    if (second < 0) return std::nullopt;
    return dateOf(number(text.first(first), 4, 4),
                  number(text.sliced(first + 1, second - first - 1), minDigits, 2),
                  number(text.sliced(second + 1), minDigits, 2));
}
} // namespace

std::optional<QDate> parseIsoDate(QStringView text)
{
    return isoDate(text, 2);
}

std::optional<QDate> parseUserDate(QStringView text)
{
    text = text.trimmed();
    if (!text.contains(QLatin1Char('/'))) return isoDate(text, 1);
    const auto parts = text.split(QLatin1Char('/'));
    if (parts.size() != 3) return std::nullopt;
    return dateOf(number(parts[2], 4, 4), number(parts[0], 1, 2), number(parts[1], 1, 2));
}

QString storedDateToDisplay(const QString &stored)
{
    const auto date = parseIsoDate(stored);
    return date ? toDisplayDate(*date) : stored;
}

} // namespace tv
