#include "ItemFinder.h"

#include <QElapsedTimer>
#include <QScopeGuard>

namespace tv {

std::optional<FindHit> findItemNumber(const ItemRecordSet &records, const QString &search, int from,
                                      const std::function<void()> &letEventsRun, int yieldEveryMs)
{
    if (search.isEmpty() || from < 0) return std::nullopt;
    // While events run, rows may go, come or all be read again: the walk keeps its place among
    // the rows, so that none is passed over (a scan would then add a second item of a number
    // that is there).
    int next = from;
    const QMetaObject::Connection watches[] = {
        QObject::connect(&records, &ItemRecordSet::rowRemoved,
                         [&next](int index) {
                             if (index < next) --next;
                         }),
        QObject::connect(&records, &ItemRecordSet::rowInserted,
                         [&next](int index) {
                             if (index < next) next = index;
                         }),
        QObject::connect(&records, &ItemRecordSet::reset, [&next, from] { next = from; }),
    };
    const auto unwatch = qScopeGuard([&watches] {
        for (const auto &w : watches)
            QObject::disconnect(w);
    });
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    while (records.isOpen() && next < static_cast<int>(records.rows().size())) {
        const int i = next++;
        const qsizetype at = records.rows().indexIn(static_cast<size_t>(i), Column::ItemNum, search);
        if (at >= 0) return FindHit{i, static_cast<int>(at), static_cast<int>(search.size())};
        if (letEventsRun && sinceEvents.elapsed() >= yieldEveryMs) {
            letEventsRun();
            sinceEvents.restart();
        }
    }
    return std::nullopt;
}

} // namespace tv
