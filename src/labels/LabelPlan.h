#pragma once

#include "common/Money.h"
#include "labels/LabelSheet.h"

#include <QRectF>
#include <QStringList>
#include <optional>
#include <vector>

namespace tv {

class ItemRecordSet;
struct ItemRow;

// Which items get labels. Items to reorder join these once items have reorder levels.
enum class ItemChoice { CurrentItem, SelectedRows, AllItems };

// What a label shows besides the barcode with its text under it.
struct LabelContent
{
    bool name = true;
    bool cost = false;
};

// How many labels each item gets: a number of copies, or as many as it has in stock.
struct HowMany
{
    int copies = 1;
    bool inStock = false;
};
// Stock beyond this counts as this many labels: a count of loose screws is no number of labels.
inline constexpr int kMostLabelsEach = 1000;

// What keeps a barcode readable: a narrow bar no thinner than this, quiet zones of this many
// narrow bars on both sides, and bars at least this high. Nothing is printed within the edge
// margin of a label, where a sheet fed a little off would cut it.
inline constexpr double kNarrowestBarMm = 0.19;
inline constexpr int kQuietModules = 10;
inline constexpr double kLowestBarsMm = 5.0;
inline constexpr double kLabelEdgeMm = 1.0;
// Beyond this width a wider label only makes the barcode longer, not easier to read.
inline constexpr double kWidestBarMm = 0.5;
// The dot grid of a PDF file: bars fall on whole dots of the 300, 600 and 1200 dpi printers it
// will be printed on.
inline constexpr int kPdfDotsPerInch = 600;

// From the first bar to the last of the Code 39 symbol of a text, start and stop included, in
// narrow bars.
constexpr int barModules(qsizetype characters)
{
    return 13 * (static_cast<int>(characters) + 2) - 1;
}

// The width of a narrow bar for a text of that many characters on a label that wide: the widest
// whole number of printer dots that keeps the quiet zones on the label, up to kWidestBarMm;
// nothing when even the narrowest bar leaves no room for them.
std::optional<double> narrowBarMm(qsizetype characters, double labelWidthMm, int dotsPerInch);

// Where the lines of a label go, in mm from its top left: the name at the top, the cost at the
// foot, the barcode with its text between them. A line left out gives its room to the barcode.
struct LabelLines
{
    QRectF name, barcode, cost;
    double lineMm = 0; // the height of a line of text
    double barsMm() const { return barcode.height() - 1.5 * lineMm; }
};
LabelLines labelLines(QSizeF label, LabelContent content);

// Why no label can be printed on this sheet with this content; empty when labels can be.
QString sheetProblem(const LabelSheet &sheet, LabelContent content);

// One item as its labels show it.
struct LabelItem
{
    QString number;
    QString name;
    std::optional<Money> cost;
    int copies = 0;
    double narrowBarMm = 0;
};

// The labels of a run: the items that get them, in order, and the items left out with the reason.
struct LabelPlan
{
    std::vector<LabelItem> items;
    QStringList leftOut; // "too long for this label: ..." and the like, one line an item
    qint64 labels = 0;
    int capped = 0; // items with more in stock than kMostLabelsEach
};

// The rows of the record set a choice takes; `selected` are the grid's selected rows.
std::vector<ItemRow> chosenRows(const ItemRecordSet &records, ItemChoice choice,
                                const std::vector<int> &selected);

LabelPlan planLabels(const std::vector<ItemRow> &rows, HowMany howMany, const LabelSheet &sheet,
                     int dotsPerInch);

// "3 labels on 1 page", with a word on capped stock; "No labels to print." when there are none.
QString planSummary(const LabelPlan &plan, int pages);

} // namespace tv
