#include "DateText.h"

#include <QStringList>

namespace tv {

QString toDisplayDate(const QDate &date)
{
    return QStringLiteral("%1/%2/%3").arg(date.month()).arg(date.day()).arg(date.year(), 4, 10, QLatin1Char('0'));
}

namespace {
std::optional<int> number(QStringView part, int minDigits, int maxDigits)
{
    if (part.size() < minDigits || part.size() > maxDigits)
        return std::nullopt;
    int value = 0;
    for (const QChar c : part) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - '0');
    }
    return value;
}
} // namespace

std::optional<QDate> parseUserDate(QStringView text)
{
    text = text.trimmed();
    std::optional<int> y, m, d;
    if (text.contains(QLatin1Char('/'))) {
        const auto parts = text.split(QLatin1Char('/'));
        if (parts.size() != 3)
            return std::nullopt;
        m = number(parts[0], 1, 2);
        d = number(parts[1], 1, 2);
        y = number(parts[2], 4, 4);
    } else {
        const auto parts = text.split(QLatin1Char('-'));
        if (parts.size() != 3)
            return std::nullopt;
        y = number(parts[0], 4, 4);
        m = number(parts[1], 1, 2);
        d = number(parts[2], 1, 2);
    }
    if (!y || !m || !d)
        return std::nullopt;
    const QDate date(*y, *m, *d);
    if (!date.isValid() || *y < 100)
        return std::nullopt;
    return date;
}

QString storedDateToDisplay(const QString &stored)
{
    const QDate date = QDate::fromString(stored, Qt::ISODate);
    return date.isValid() ? toDisplayDate(date) : stored;
}

} // namespace tv
