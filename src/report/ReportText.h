#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace tv {

// Appends a value to ASCII HTML: & < > " escaped, every other character outside printable ASCII
// (line breaks too, so that the report stays one line) as a numeric character reference.
void appendHtmlText(QByteArray &out, QStringView text);
QByteArray htmlText(QStringView text);

} // namespace tv
