#pragma once

#include "Stocktake.h"

#include <optional>
#include <vector>

namespace tv {

class SqliteConnection;

// The stocktake in a database file: two tables made when the first stocktake starts; a file that
// never has one is never changed. Every function but the reads runs within a write transaction.
namespace SqliteStocktake {
std::optional<StocktakeInfo> current(SqliteConnection &c);
// The stocktake in progress, or a new one with every item's count as it is now.
StocktakeInfo start(SqliteConnection &c);
std::vector<StocktakeLine> lines(SqliteConnection &c, qint64 id);
// add: `quantity` more were counted; else the count is `quantity` (empty: not counted).
StocktakeLine count(SqliteConnection &c, qint64 id, qint64 itemKey, std::optional<qint64> quantity, bool add);
// Sets the counts as asked (the history records each change), then forgets the stocktake.
void end(SqliteConnection &c, qint64 id, StocktakeEnd how);
} // namespace SqliteStocktake

} // namespace tv
