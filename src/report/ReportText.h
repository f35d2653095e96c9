#pragma once

#include "common/Money.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace tv {

// Money as the report writes it ("$#,###.#0"): dollar sign, grouped integer part with no digit
// at all when it is zero, a period and two cents digits rounded half to even; a minus before the
// dollar sign. $1,234.50, $.25, $12.00, -$3.50.
QString reportMoney(Money amount);
void appendReportMoney(QByteArray &out, Money amount);

// Appends a value to ASCII HTML: & < > " escaped, every other character outside printable ASCII
// (line breaks too, so that the report stays one line) as a numeric character reference.
void appendHtmlText(QByteArray &out, QStringView text);
QByteArray htmlText(QStringView text);

} // namespace tv
