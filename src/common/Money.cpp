#include "Money.h"

#include <limits>

namespace tv {

namespace {

constexpr std::int64_t kPow10[] = {1, 10, 100, 1000, 10000};

// Parses [sign] digits [. digits] into an integer scaled by 10^scaleDigits, rounding any
// further decimals half to even. Returns nullopt for anything else or on overflow.
std::optional<std::int64_t> parseScaled(QStringView text, int scaleDigits)
{
    text = text.trimmed();
    if (text.isEmpty()) return std::nullopt;
    bool negative = false;
    qsizetype i = 0;
    if (text[0] == QLatin1Char('-') || text[0] == QLatin1Char('+')) {
        negative = text[0] == QLatin1Char('-');
        ++i;
    }
    // Accumulate magnitude as unsigned so that the most negative value parses too.
    unsigned __int128 magnitude = 0;
    const unsigned __int128 limit =
        static_cast<unsigned __int128>(std::numeric_limits<std::int64_t>::max()) + 1;
    bool anyDigit = false;
    bool seenPoint = false;
    int decimals = 0;
    int firstDropped = -1; // first digit beyond the scale
    bool restNonZero = false;
    for (; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('.')) {
            if (seenPoint) return std::nullopt;
            seenPoint = true;
            continue;
        }
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        anyDigit = true;
        const int d = c.unicode() - '0';
        if (seenPoint && decimals >= scaleDigits) {
            if (firstDropped < 0)
                firstDropped = d;
            else if (d != 0)
                restNonZero = true;
            continue;
        }
        if (seenPoint) ++decimals;
        magnitude = magnitude * 10 + static_cast<unsigned>(d);
        if (magnitude > limit * 10) return std::nullopt;
    }
    if (!anyDigit) return std::nullopt;
    for (; decimals < scaleDigits; ++decimals) {
        magnitude *= 10;
        if (magnitude > limit * 10) return std::nullopt;
    }
    if (firstDropped > 5 || (firstDropped == 5 && (restNonZero || (magnitude & 1)))) magnitude += 1;
    if (magnitude > limit || (!negative && magnitude == limit)) return std::nullopt;
    if (negative)
        return magnitude == limit ? std::numeric_limits<std::int64_t>::min()
                                  : -static_cast<std::int64_t>(magnitude);
    return static_cast<std::int64_t>(magnitude);
}

} // namespace

std::optional<Money> Money::parse(QStringView text)
{
    const auto scaled = parseScaled(text, 4);
    if (!scaled) return std::nullopt;
    return Money(*scaled);
}

Money Money::rounded(int decimals) const
{
    if (decimals >= 4 || decimals < 0) return *this;
    const std::int64_t step = kPow10[4 - decimals];
    std::int64_t q = m_raw / step;
    const std::int64_t r = m_raw % step; // same sign as m_raw
    const std::int64_t twice = 2 * (r < 0 ? -r : r);
    if (twice > step || (twice == step && (q % 2 != 0))) q += m_raw < 0 ? -1 : 1;
    // At the very ends of the range the rounded value would not fit: keep the nearest step inside.
    std::int64_t result = 0;
    if (__builtin_mul_overflow(q, step, &result)) result = (m_raw < 0 ? q + 1 : q - 1) * step;
    return Money(result);
}

std::optional<Money> Money::times(std::int64_t count) const
{
    std::int64_t result = 0;
    if (__builtin_mul_overflow(m_raw, count, &result)) return std::nullopt;
    return Money(result);
}

std::uint64_t Money::absWhole() const
{
    const std::uint64_t mag =
        m_raw < 0 ? 0 - static_cast<std::uint64_t>(m_raw) : static_cast<std::uint64_t>(m_raw);
    return mag / kScale;
}

int Money::absFraction() const
{
    const std::uint64_t mag =
        m_raw < 0 ? 0 - static_cast<std::uint64_t>(m_raw) : static_cast<std::uint64_t>(m_raw);
    return static_cast<int>(mag % kScale);
}

void Money::appendDollars(QByteArray &out, Dollars style) const
{
    // Rounded on the magnitude so that the extremes of the range cannot overflow; written
    // backwards into a small buffer, as the report calls this for every row.
    const std::uint64_t magnitude =
        m_raw < 0 ? 0 - static_cast<std::uint64_t>(m_raw) : static_cast<std::uint64_t>(m_raw);
    std::uint64_t whole = magnitude / kScale;
    const unsigned fraction = static_cast<unsigned>(magnitude % kScale);
    unsigned cents = fraction / 100;
    const unsigned rest = fraction % 100;
    if (rest > 50 || (rest == 50 && cents % 2 != 0)) ++cents;
    if (cents == 100) {
        cents = 0;
        ++whole;
    }
    const bool nonZero = whole != 0 || cents != 0;
    char text[40];
    int n = sizeof text;
    text[--n] = static_cast<char>('0' + cents % 10);
    text[--n] = static_cast<char>('0' + cents / 10);
    text[--n] = '.';
    if (whole != 0 || style == Dollars::LeadingZero) {
        int inGroup = 0;
        do {
            if (inGroup == 3) {
                text[--n] = ',';
                inGroup = 0;
            }
            text[--n] = static_cast<char>('0' + whole % 10);
            whole /= 10;
            ++inGroup;
        } while (whole != 0);
    }
    text[--n] = '$';
    if (m_raw < 0 && nonZero) text[--n] = '-';
    out.append(text + n, static_cast<qsizetype>(sizeof text) - n);
}

QString Money::toDollars(Dollars style) const
{
    QByteArray out;
    appendDollars(out, style);
    return QString::fromLatin1(out);
}

QString Money::toPlain() const
{
    QString text;
    if (m_raw < 0) text += QLatin1Char('-');
    text += QString::number(absWhole());
    int frac = absFraction();
    if (frac != 0) {
        QString decimals = QStringLiteral("%1").arg(frac, 4, 10, QLatin1Char('0'));
        while (decimals.endsWith(QLatin1Char('0')))
            decimals.chop(1);
        text += QLatin1Char('.') + decimals;
    }
    return text;
}

std::optional<std::int32_t> parseWholeHalfEven(QStringView text)
{
    const auto scaled = parseScaled(text, 0);
    if (!scaled || *scaled > std::numeric_limits<std::int32_t>::max() ||
        *scaled < std::numeric_limits<std::int32_t>::min())
        return std::nullopt;
    return static_cast<std::int32_t>(*scaled);
}

} // namespace tv
