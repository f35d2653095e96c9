#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace tv {

// The longest version text taken: no release needs more, and a label must be able to show it.
inline constexpr qsizetype kMaxVersionChars = 64;

// A version text as the update server publishes it: decimal numbers joined by dots ("1.2.0"), at
// most kMaxVersionChars characters. White space around it and a byte-order mark are dropped;
// anything else (an empty body, an HTML page, "1.2.0-beta", "1..2", 60,000 digits) is no version.
// The numbers are kept as digit strings without leading zeros, so that a number of any length
// compares correctly.
std::optional<QStringList> parseVersionText(QStringView text);

// The version text as it should be shown: the trimmed text, or nullopt when it is no version.
std::optional<QString> cleanVersionText(QStringView text);

// Compares two parsed versions number by number (1.10.0 > 1.2.0, 1.2 == 1.2.0).
// Negative, zero or positive as a is older than, the same as or newer than b.
int compareVersions(const QStringList &a, const QStringList &b);

// True when the published text names a newer version than the installed one; nullopt when
// either text is no version.
std::optional<bool> isNewerVersion(QStringView published, QStringView installed);

} // namespace tv
