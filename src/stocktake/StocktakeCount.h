#pragma once

#include "common/Money.h"
#include "items/Stocktake.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <optional>
#include <unordered_map>

namespace tv {

class ItemRecordSet;
struct ItemRow;

// The stocktake as the Stocktake window works it: the lines kept in the database, joined with
// the items as the main window has them, so that sales and receipts saved meanwhile move the
// expected counts. No widgets.
class StocktakeCount : public QObject
{
    Q_OBJECT
public:
    explicit StocktakeCount(ItemRecordSet &records, QObject *parent = nullptr);

    ItemRecordSet &records() const { return m_records; }
    bool inProgress() const { return m_info.has_value(); }
    const std::optional<StocktakeInfo> &info() const { return m_info; }

    // Takes up the stocktake in progress (after a restart, or one another workstation started).
    void resume();
    // Starts one: every item's count as it is now; joins one another workstation started first.
    void start();
    // Looks whether another workstation counted (or ended the stocktake), and takes that in.
    void refresh();

    // A scan: `quantity` more of the item whose number is the code were counted. Asks which
    // item when several have the number; a number no item has is said and counted nowhere.
    // Returns the row counted, if any.
    std::optional<int> countScan(const QString &code, qint64 quantity);
    // A typed count; empty: not counted.
    void setCounted(int row, std::optional<qint64> counted);

    // The item's line, by its row in the record set.
    std::optional<qint64> counted(int row) const;
    qint64 expected(int row) const;
    std::optional<qint64> difference(int row) const;
    std::optional<Money> differenceValue(int row) const;

    struct Summary
    {
        int counted = 0;
        int notCounted = 0;
        Money valueDifference; // of the counted items
        bool valueOverflow = false;
    };
    Summary summary() const;

    // stocktake.html: every item with a difference, every item not counted, the values, the
    // date and who counted. `now` is the time it says.
    QByteArray reportHtml(const QDateTime &now) const;
    static QString reportPath(); // stocktake.html in the program folder
    // Writes the report in one step (an earlier one stays whole until then); returns its path.
    QString writeReport() const;

    // Sets the counts to what was counted (and the items not counted to zero when asked), each
    // recorded in the history, and ends the stocktake.
    void finish(bool uncountedAreZero);
    // Ends the stocktake without changing any count.
    void cancel();

signals:
    void linesChanged(); // counts were taken in, here or from elsewhere
    void stateChanged(); // started or ended

private:
    void load(const std::optional<StocktakeInfo> &info);
    void take(const StocktakeLine &line);
    void ended();
    const StocktakeLine *lineOf(int row) const;

    ItemRecordSet &m_records;
    std::optional<StocktakeInfo> m_info;
    std::unordered_map<qint64, StocktakeLine> m_lines; // by item key
};

} // namespace tv
