#pragma once

#include "ItemRecordSet.h"
#include "common/AppError.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace tv {

// A count of everything on the shelves, kept in the database so that it outlives the program
// and several workstations can count it together.
struct StocktakeInfo
{
    qint64 id = 0;
    QDateTime startedAt; // UTC
    QString startedBy;
    QString workstation;
    qint64 revision = 0; // moves on with every count, from any workstation
};

// One item of a stocktake. Counts taken while the shop is open are compared with the stored count
// at the moment they were taken, so that a sale meanwhile is not taken for a loss.
struct StocktakeLine
{
    qint64 itemKey = 0;
    std::optional<qint64> atStart;        // the stored count when the stocktake started
    std::optional<qint64> counted;        // empty: not counted yet
    std::optional<qint64> countedAgainst; // the stored count when it was last counted
    QString countedBy;
};

// How a stocktake ends.
enum class StocktakeEnd { Discard, SetCounted, SetCountedAndZeroRest };

// A change of a count the store refused; nothing was written. `current` holds the row as it is
// stored now.
class CountRefused : public AppError
{
public:
    CountRefused(const QString &message, std::optional<ItemRow> current)
        : AppError(Err::DatabaseError, message), m_current(std::move(current))
    {
    }
    const std::optional<ItemRow> &current() const { return m_current; }

private:
    std::optional<ItemRow> m_current;
};

// Why adding `delta` to the row's count is refused, or an empty text when it is not.
QString countRefusal(const ItemRow &row, qint64 delta);

// What a count or a stocktake change finds when another workstation ended the stocktake.
inline QString stocktakeEndedText()
{
    return QStringLiteral("This stocktake was finished or cancelled at another workstation.");
}

} // namespace tv
