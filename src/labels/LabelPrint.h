#pragma once

#include "labels/LabelPlan.h"
#include "labels/LabelSheet.h"

#include <QFont>
#include <QImage>
#include <QString>
#include <functional>

class QPagedPaintDevice;
class QPainter;
class QPrinter;

namespace tv {

// Everything a run of labels needs: where they go and what is on them.
struct LabelJob
{
    LabelSheet sheet;
    LabelContent content;
    LabelPlan plan;
    int startRow = 1;
    int startColumn = 1;
    PrinterOffset offset;
    int dotsPerInch = kPdfDotsPerInch; // the grid the bars were fitted to

    int pages() const { return LabelPlaces(sheet, startRow, startColumn).pages(plan.labels); }
};

// Paints the labels of a job page by page, in the units of the painter's device, keeping its place
// between pages: a run of any length needs the memory of one page.
class LabelPainter
{
public:
    explicit LabelPainter(const LabelJob &job);

    bool atEnd() const { return m_item >= m_job.plan.items.size(); }
    // Paints the next page's labels; the painter's origin is the page's top left.
    void paintPage(QPainter &painter);

private:
    void paintLabel(QPainter &painter, const QRectF &labelMm, const LabelItem &item);
    void paintBarcode(QPainter &painter, const QRectF &areaMm, const LabelItem &item);
    void paintLine(QPainter &painter, const QRectF &lineMm, const QString &text);
    void prepare(QPainter &painter);

    const LabelJob &m_job;
    LabelPlaces m_places;
    LabelLines m_lines;
    std::size_t m_item = 0;
    int m_copy = 0;
    qint64 m_label = 0;
    double m_unitsPerMm = 0;
    QFont m_font;
};

enum class LabelsResult { Done, Canceled, Failed };
// Told the page about to be painted and how many there are; false stops the run.
using LabelProgress = std::function<bool(int page, int pages)>;

// Writes the labels into a PDF file with the sheet's page size; the file appears only once whole,
// and a run that is canceled or fails leaves an earlier file as it was. On failure `error` says why.
LabelsResult saveLabelsPdf(const QString &path, const LabelJob &job, const LabelProgress &progress,
                           QString *error = nullptr);
// Prints the labels on a printer already set up (by the printer dialog), on the sheet's page size.
LabelsResult printLabels(QPrinter &printer, const LabelJob &job, const LabelProgress &progress,
                         QString *error = nullptr);
// The page size a printer is set to before its dialog opens.
void setUpPrinter(QPrinter &printer, const LabelSheet &sheet);

// The first page as a picture that fits `box`, with the outlines of the labels drawn in.
QImage previewFirstPage(const LabelJob &job, QSize box);

// The face every label is written in.
QFont labelFont();

} // namespace tv
