#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <string_view>

namespace tv {

// Appends a value to ASCII HTML: & < > " escaped, every other character outside printable ASCII
// (line breaks too, so that the report stays one line) as a numeric character reference.
void appendHtmlText(QByteArray &out, QStringView text);
QByteArray htmlText(QStringView text);
// The same from valid UTF-8 bytes, giving the same HTML as the text they encode.
void appendHtmlText(QByteArray &out, std::string_view utf8);

} // namespace tv
