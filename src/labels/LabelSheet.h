#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <vector>

namespace tv {

// A sheet of sticky labels, or the page a label printer feeds for one label. Every length is in
// millimetres, measured from the top left of the page.
struct LabelSheet
{
    QString key;  // kept in the settings
    QString name; // as the sheet combo box names it
    QSizeF page;
    int rows = 1;
    int columns = 1;
    QSizeF label;
    double left = 0; // from the page's left edge to the first column
    double top = 0;  // from the page's top edge to the first row
    double gapAcross = 0;
    double gapDown = 0;

    int perPage() const { return rows * columns; }
    // Where the label at `slot` (0 at the top left, along the rows) lies on the page.
    QRectF labelRect(int slot) const;
    // Why labels cannot be laid out on this sheet; empty when they can.
    QString problem() const;
};

inline constexpr const char *kCustomSheetKey = "custom";

// The standard sheets and label printer pages, in the order the combo box lists them.
const std::vector<LabelSheet> &standardSheets();
// The custom sheet as kept in the settings (a default one until first kept), named for its sizes.
LabelSheet customSheet();
void keepCustomSheet(const LabelSheet &sheet);
// Every sheet to choose from: the standard ones, then the custom one.
std::vector<LabelSheet> allSheets();
// The name the combo box gives a custom sheet of these sizes.
QString customSheetName(const LabelSheet &sheet);

// The sheet chosen last, by its key; empty until one was chosen.
QString lastSheetKey();
void keepLastSheetKey(const QString &key);

// How far to move everything printed on a printer that feeds a little off, in mm; negative moves
// right or up. Kept for each printer by its name.
struct PrinterOffset
{
    double left = 0;
    double down = 0;
    // The shift on the page, x to the right and y down.
    QPointF shift() const { return QPointF(-left, down); }
};
PrinterOffset printerOffset(const QString &printerName);
void keepPrinterOffset(const QString &printerName, PrinterOffset offset);

// Where the labels of a run go: the first one at the start slot of the first page (a half-used
// sheet), the rest along the rows, each later page from its top left.
class LabelPlaces
{
public:
    // Row and column count from 1; out-of-range values are taken to the nearest label.
    LabelPlaces(const LabelSheet &sheet, int startRow, int startColumn);

    int startSlot() const { return m_start; }
    int page(qint64 label) const;
    int slot(qint64 label) const;
    int pages(qint64 labels) const;

private:
    int m_perPage;
    int m_start;
};

} // namespace tv
