#pragma once

#include "ItemRecordSet.h"
#include "common/AppError.h"
#include "common/Money.h"

#include <QString>
#include <optional>

namespace tv {

// The unit cost field takes only digits, ".", ",", "$", backspace (8) and Enter (13); every other
// character code, control codes such as Ctrl+V (22) and Escape (27) included, is refused.
bool costKeyAccepted(int charCode);
inline const QString &costKeyMessage()
{
    static const QString text = QStringLiteral("You can only Enter the Symbols $  .  , and Numbers here!!");
    return text;
}

// A currency amount as typed: a dollar sign and commas between digit groups are accepted.
std::optional<Money> parseCurrencyText(const QString &text);

// The cost written back when the cost field is left: the stored cost rounded half to even to
// two decimals, as a plain decimal ("12.34").
QString roundedCostText(Money itemCst);

// The total value written when the cost field is left: cost (currency) times count (a 32-bit
// whole number, rounded half to even), as a plain decimal ("37.02"). Throws AppError 13 for a
// text that is no number and 6 for one out of range.
QString totalValueText(const QString &costText, const QString &countText);

// What a text typed into a bound field means for its column; a clear message when it does not
// fit (letters in the unit count, a cost beyond what the column holds, a date that is no date).
struct FieldValue
{
    QVariant value;  // ready for ItemRecordSet::setValue
    QString problem; // empty when the text fits
    bool ok() const { return problem.isEmpty(); }
};
FieldValue parseFieldText(Column column, const QString &text);

// A typed value refused by its column; the description is the message for the user.
class FieldRefused : public EntryRefused
{
public:
    FieldRefused(Column column, const QString &problem) : EntryRefused(problem), m_column(column) {}
    Column column() const { return m_column; }

private:
    Column m_column;
};

} // namespace tv
