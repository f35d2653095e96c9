#pragma once

#include <QDate>
#include <QString>
#include <QStringView>
#include <optional>

namespace tv {

// "M/d/yyyy": month and day without leading zeros, four-digit year (3/7/2024).
QString toDisplayDate(const QDate &date);

// What a user types: "M/d/yyyy" (leading zeros allowed) or ISO "yyyy-mm-dd". nullopt for
// anything that is not a real calendar date.
std::optional<QDate> parseUserDate(QStringView text);

// The stored form "yyyy-mm-dd", exactly. nullopt for anything else, and for a date that is not
// on the calendar.
std::optional<QDate> parseIsoDate(QStringView text);

// Stored form "yyyy-mm-dd".
inline QString toIsoDate(const QDate &date)
{
    return date.toString(Qt::ISODate);
}

// A stored date text shown as "M/d/yyyy"; text that is no ISO date is shown as it stands.
QString storedDateToDisplay(const QString &stored);

} // namespace tv
