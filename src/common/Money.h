#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>
#include <QStringView>
#include <compare>
#include <cstdint>
#include <optional>

namespace tv {

// Exact money: a whole number of ten-thousandths of a dollar (12.5 is 125000), the range of a
// signed 64-bit integer. Never a binary floating-point number.
class Money
{
public:
    // How toDollars() writes an amount below one dollar: "$0.25", or as the report's
    // "$#,###.#0" does, with no integer digit at all: "$.25".
    enum class Dollars { LeadingZero, NoLeadingZero };

    static constexpr std::int64_t kScale = 10000;

    constexpr Money() = default;
    static constexpr Money fromRaw(std::int64_t tenThousandths) { return Money(tenThousandths); }
    static constexpr Money fromWhole(std::int64_t dollars) { return Money(dollars * kScale); }

    constexpr std::int64_t raw() const { return m_raw; }

    // Plain decimal text as a user types it: optional sign, digits, optional point and
    // decimals ("12.345", "-3", ".5", "1e3" is refused). More than four decimals are rounded
    // half to even; a value beyond the range gives nullopt, as does anything that is no number.
    static std::optional<Money> parse(QStringView text);

    // Rounded half to even to the given number of decimals (0 to 4).
    Money rounded(int decimals) const;

    // This amount times a whole count; nullopt on overflow.
    std::optional<Money> times(std::int64_t count) const;

    // "$1,234.00": dollar sign, grouped integer part, two decimals (rounded half to even).
    // Negative amounts put the minus first: "-$3.50"; one that rounds to zero has none.
    QString toDollars(Dollars style = Dollars::LeadingZero) const;
    // The same as Latin-1, appended to `out`.
    void appendDollars(QByteArray &out, Dollars style = Dollars::LeadingZero) const;

    // The shortest plain decimal: "37.02", "0.375", "12", "-1.5".
    QString toPlain() const;

    // Integer part and the four decimals, without sign.
    std::uint64_t absWhole() const;
    int absFraction() const; // 0..9999

    friend constexpr auto operator<=>(const Money &, const Money &) = default;

private:
    constexpr explicit Money(std::int64_t raw) : m_raw(raw) {}
    std::int64_t m_raw = 0;
};

// Rounds a decimal number given as text to a whole number, half to even ("2.5" -> 2,
// "3.5" -> 4); nullopt when it is no number or does not fit 32 bits.
std::optional<std::int32_t> parseWholeHalfEven(QStringView text);

} // namespace tv

Q_DECLARE_METATYPE(tv::Money)
