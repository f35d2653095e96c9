#include "FieldRules.h"

#include "common/AppError.h"
#include "common/DateText.h"

#include <limits>

namespace tv {

bool costKeyAccepted(int code)
{
    return code == '.' || code == ',' || code == '$' || code == 8 || code == 13 ||
           (code >= '0' && code <= '9');
}

std::optional<Money> parseCurrencyText(const QString &text)
{
    QString plain = text.trimmed();
    bool negative = false;
    if (plain.startsWith(QLatin1Char('-'))) {
        negative = true;
        plain.remove(0, 1);
    }
    if (plain.startsWith(QLatin1Char('$'))) plain.remove(0, 1);
    if (!negative && plain.startsWith(QLatin1Char('-'))) {
        negative = true;
        plain.remove(0, 1);
    }
    // Commas may only separate digit groups in the integer part.
    const qsizetype point = plain.indexOf(QLatin1Char('.'));
    if (plain.indexOf(QLatin1Char(','), point < 0 ? 0 : point) >= 0 && point >= 0) return std::nullopt;
    if (plain.startsWith(QLatin1Char(',')) || plain.contains(QLatin1String(",,")) ||
        plain.contains(QLatin1String(",.")) || plain.endsWith(QLatin1Char(',')))
        return std::nullopt;
    plain.remove(QLatin1Char(','));
    if (plain.startsWith(QLatin1Char('+')) || plain.startsWith(QLatin1Char('-'))) return std::nullopt;
    auto m = Money::parse(plain);
    if (!m) return std::nullopt;
    if (negative) {
        if (m->raw() == std::numeric_limits<std::int64_t>::min()) return std::nullopt;
        return Money::fromRaw(-m->raw());
    }
    return m;
}

QString roundedCostText(Money itemCst)
{
    return itemCst.rounded(2).toPlain();
}

namespace {
// Digits with at most one point, optionally signed, after dollar sign and commas are dropped:
// such a text that still fails to convert is out of range rather than no number.
bool looksNumeric(QString text)
{
    text = text.trimmed();
    text.remove(QLatin1Char('$'));
    text.remove(QLatin1Char(','));
    if (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'))) text.remove(0, 1);
    bool digit = false;
    int points = 0;
    for (const QChar c : std::as_const(text)) {
        if (c == QLatin1Char('.'))
            ++points;
        else if (c.isDigit())
            digit = true;
        else
            return false;
    }
    return digit && points <= 1;
}
} // namespace

QString totalValueText(const QString &costText, const QString &countText)
{
    // Digit groups are read as the regional settings write them: "1,234" is 1234.
    const auto count = parseWholeHalfEven(QString(countText).remove(QLatin1Char(',')));
    if (!count) {
        // A number that does not fit 32 bits overflows; anything else is no number at all.
        throw AppError(looksNumeric(countText) ? Err::Overflow : Err::TypeMismatch);
    }
    const auto cost = parseCurrencyText(costText);
    if (!cost) throw AppError(looksNumeric(costText) ? Err::Overflow : Err::TypeMismatch);
    const auto total = cost->times(*count);
    if (!total) throw AppError(Err::Overflow);
    return total->toPlain();
}

FieldValue parseFieldText(Column column, const QString &text)
{
    FieldValue result;
    const QString trimmed = text.trimmed();
    switch (columnInfo(column).type) {
    case ColumnType::Count:
        if (trimmed.isEmpty()) {
            result.value = QVariant();
        } else if (const auto n = parseWholeHalfEven(QString(trimmed).remove(QLatin1Char(',')));
                   n && (column == Column::ItemCnt || *n >= 0)) {
            result.value = QVariant(static_cast<qlonglong>(*n));
        } else if (column != Column::ItemCnt) {
            // A level or a quantity to order below nothing means nothing.
            result.problem = QStringLiteral("The %1 \"%2\" is not a whole number of units. Type 0 or more, "
                                            "such as 12, or leave it empty.")
                                 .arg(column == Column::ReorderLevel ? QStringLiteral("reorder level")
                                                                     : QStringLiteral("order quantity"),
                                      text);
        } else {
            result.problem =
                QStringLiteral("The Unit Count \"%1\" is not a whole number. Type a number of units "
                               "such as 12.")
                    .arg(text);
        }
        break;
    case ColumnType::Money:
        if (trimmed.isEmpty()) {
            result.value = QVariant();
        } else if (const auto m = parseCurrencyText(trimmed)) {
            result.value = QVariant::fromValue(*m);
        } else {
            result.problem =
                QStringLiteral("The amount \"%1\" is not a dollar amount Tallyvane can keep. Type an "
                               "amount such as 12.50 or $1,234.00.")
                    .arg(text);
        }
        break;
    case ColumnType::Date:
        if (trimmed.isEmpty()) {
            result.value = QVariant();
        } else if (const auto d = parseUserDate(trimmed)) {
            result.value = toIsoDate(*d);
        } else {
            result.problem =
                QStringLiteral("The date \"%1\" is not a date. Type it as month/day/year, such as "
                               "3/7/2024.")
                    .arg(text);
        }
        break;
    case ColumnType::Text:
        result.value = text;
        break;
    }
    return result;
}

} // namespace tv
