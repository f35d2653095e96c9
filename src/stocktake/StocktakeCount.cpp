#include "StocktakeCount.h"

#include "common/DurableFile.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "items/ItemHistory.h"
#include "items/ItemRecordSet.h"
#include "items/ItemStore.h"
#include "report/ReportMarkup.h"
#include "report/ReportText.h"
#include "scanner/ScanCounting.h"

#include <QApplication>
#include <QSet>

namespace tv {

StocktakeCount::StocktakeCount(ItemRecordSet &records, QObject *parent) : QObject(parent), m_records(records)
{
}

void StocktakeCount::load(const std::optional<StocktakeInfo> &info)
{
    const bool was = m_info.has_value();
    m_info = info;
    m_lines.clear();
    if (m_info)
        for (StocktakeLine &line : m_records.store().stocktakeLines(m_info->id))
            m_lines.emplace(line.itemKey, std::move(line));
    if (was != m_info.has_value()) emit stateChanged();
    emit linesChanged();
}

void StocktakeCount::resume()
{
    load(m_records.store().stocktake());
}

void StocktakeCount::start()
{
    m_records.save(); // the snapshot holds what was typed
    load(m_records.store().startStocktake());
}

void StocktakeCount::refresh()
{
    const std::optional<StocktakeInfo> now = m_records.store().stocktake();
    if (!now && !m_info) return;
    if (now && m_info && now->id == m_info->id && now->revision == m_info->revision) return;
    load(now);
}

void StocktakeCount::take(const StocktakeLine &line)
{
    m_lines[line.itemKey] = line;
    // Our own count moved the revision on; another workstation's since is read at the next look.
    if (m_info) ++m_info->revision;
    emit linesChanged();
}

void StocktakeCount::ended()
{
    m_info.reset();
    m_lines.clear();
    emit stateChanged();
    emit linesChanged();
}

std::optional<int> StocktakeCount::countScan(const QString &code, qint64 quantity)
{
    if (!m_info) return std::nullopt;
    const QString number = code.trimmed();
    if (number.isEmpty()) return std::nullopt;
    bool noneHasIt = false;
    const std::optional<int> row = pickNumbered(m_records, number, noneHasIt);
    if (noneHasIt) {
        QApplication::beep();
        prompts().message(QStringLiteral("No item has the number “%1”, so it was not counted. Add the item "
                                         "in the main window, then scan it again.")
                              .arg(number),
                          MsgButtons::Ok, MsgIcon::Exclamation);
        return std::nullopt;
    }
    if (!row) return std::nullopt;
    const qint64 key = m_records.row(*row).rowid.value_or(-1);
    try {
        take(m_records.store().countStocktake(m_info->id, key, quantity, true));
    } catch (const AppError &) {
        refresh(); // ended elsewhere: the window says so
        throw;
    }
    return row;
}

void StocktakeCount::setCounted(int row, std::optional<qint64> counted)
{
    if (!m_info || row < 0 || row >= m_records.recordCount()) return;
    const std::optional<qint64> key = m_records.row(row).rowid;
    if (!key) return;
    take(m_records.store().countStocktake(m_info->id, *key, counted, false));
}

const StocktakeLine *StocktakeCount::lineOf(int row) const
{
    const std::optional<qint64> key = m_records.row(row).rowid;
    if (!key) return nullptr;
    const auto it = m_lines.find(*key);
    return it == m_lines.end() ? nullptr : &it->second;
}

std::optional<qint64> StocktakeCount::counted(int row) const
{
    const StocktakeLine *line = lineOf(row);
    return line ? line->counted : std::nullopt;
}

qint64 StocktakeCount::expected(int row) const
{
    // A counted item is compared with the stored count it was counted against; one not counted
    // yet with the count as it is now.
    const StocktakeLine *line = lineOf(row);
    if (line && line->counted) return line->countedAgainst.value_or(0);
    const ItemRow &item = m_records.row(row);
    return item.isKept(Column::ItemCnt) ? 0 : item.itemCnt.value_or(0);
}

std::optional<qint64> StocktakeCount::difference(int row) const
{
    const std::optional<qint64> c = counted(row);
    if (!c) return std::nullopt;
    return *c - expected(row);
}

std::optional<Money> StocktakeCount::differenceValue(int row) const
{
    const std::optional<qint64> d = difference(row);
    const ItemRow &item = m_records.row(row);
    if (!d || !item.itemCst || item.isKept(Column::ItemCst)) return std::nullopt;
    return item.itemCst->times(*d);
}

StocktakeCount::Summary StocktakeCount::summary() const
{
    Summary s;
    for (int row = 0; row < m_records.recordCount(); ++row) {
        if (!counted(row)) {
            ++s.notCounted;
            continue;
        }
        ++s.counted;
        const std::optional<Money> value = differenceValue(row);
        if (!value) continue;
        std::int64_t sum = 0;
        if (__builtin_add_overflow(s.valueDifference.raw(), value->raw(), &sum))
            s.valueOverflow = true;
        else
            s.valueDifference = Money::fromRaw(sum);
    }
    return s;
}

QString StocktakeCount::reportPath()
{
    return programPath(QStringLiteral("stocktake.html"));
}

QString StocktakeCount::writeReport() const
{
    const QString path = reportPath();
    DurableFile file(path, QStringLiteral("the stocktake report"));
    file.writeAll(reportHtml(QDateTime::currentDateTime()));
    file.commit();
    return path;
}

void StocktakeCount::finish(bool uncountedAreZero)
{
    if (!m_info) return;
    const ChangeScope counting(m_records.store(), ChangeKind::stocktake);
    m_records.endStocktake(m_info->id,
                           uncountedAreZero ? StocktakeEnd::SetCountedAndZeroRest : StocktakeEnd::SetCounted);
    ended();
}

void StocktakeCount::cancel()
{
    if (!m_info) return;
    m_records.endStocktake(m_info->id, StocktakeEnd::Discard);
    ended();
}

} // namespace tv
