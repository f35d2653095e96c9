#include "ItemFinder.h"

#include <QElapsedTimer>

namespace tv {

std::optional<FindHit> findItemNumber(const ItemRecordSet &records, const QString &search, int from,
                                      const std::function<void()> &letEventsRun, int yieldEveryMs)
{
    if (search.isEmpty() || from < 0) return std::nullopt;
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    for (int i = from; records.isOpen() && i < static_cast<int>(records.rows().size()); ++i) {
        const qsizetype at = records.row(i).itemNum.indexOf(search, 0, Qt::CaseInsensitive);
        if (at >= 0) return FindHit{i, static_cast<int>(at), static_cast<int>(search.size())};
        if (letEventsRun && sinceEvents.elapsed() >= yieldEveryMs) {
            letEventsRun();
            sinceEvents.restart();
        }
    }
    return std::nullopt;
}

} // namespace tv
