#pragma once

#include "ItemRecordSet.h"

#include <QString>
#include <functional>
#include <optional>

namespace tv {

struct FindHit
{
    int row;       // index in the record set
    int selStart;  // first matching character of the item number, from 0
    int selLength; // length of the search text
};

// Walks the record set's rows from `from` for the first item number that contains `search`
// without regard to case. `letEventsRun` is called now and then (every few milliseconds, not
// every row) so the window stays responsive; it may change the record set: the walk then goes on
// within the rows that still exist, passing over none of them when rows before its place went or
// came, and stops when the set was closed.
std::optional<FindHit> findItemNumber(const ItemRecordSet &records, const QString &search, int from,
                                      const std::function<void()> &letEventsRun = {}, int yieldEveryMs = 15);

} // namespace tv
