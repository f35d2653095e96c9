#include "labels/LabelPrint.h"

#include "barcode/DrawBar.h"
#include "common/AppError.h"
#include "common/DurableFile.h"

#include <QDir>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <algorithm>
#include <cmath>

namespace tv {

namespace {
constexpr double kMmPerInch = 25.4;
constexpr int kPdfResolution = 1200;

// DrawBarcode's surface on a label. Its pixels are not square: across, a narrow bar is eight of
// them; down, the barcode's area is 320, so that the module DrawBarcode takes from the height
// (a fortieth) is again eight. Light fills are left out: the label is white.
class LabelBarcodeSurface : public BarcodeSurface
{
public:
    static constexpr double kPerModule = 8;

    LabelBarcodeSurface(QPainter &painter, const QRectF &area, double moduleUnits, const QFont &font)
        : m_painter(painter), m_origin(area.topLeft()), m_across(moduleUnits / kPerModule),
          m_down(area.height() / (40 * kPerModule)), m_font(font), m_metrics(font, painter.device())
    {
    }

    void setUnitPixels() override {}
    void clear() override {}
    void removePicture() override {}
    double drawableLeft() const override { return 0; }
    double drawableTop() const override { return 0; }
    double drawableWidth() const override { return m_width; }
    double drawableHeight() const override { return 40 * kPerModule; }
    double outerWidth() const override { return m_width; }
    void setOuterWidth(double width) override { m_width = width; }
    double textHeight(const QString &) const override { return m_metrics.height() / m_down; }
    double textWidth(const QString &text) const override
    {
        return m_metrics.horizontalAdvance(text) / m_across;
    }

    void fillRect(double x1, double y1, double x2, double y2, const QColor &colour) override
    {
        if (colour.lightness() > 127) return;
        const QPointF a = toDevice(std::min(x1, x2), std::min(y1, y2));
        const QPointF b = toDevice(std::max(x1, x2), std::max(y1, y2));
        m_painter.fillRect(QRectF(a, b), colour);
    }

    void drawText(double x, double y, const QString &text) override
    {
        m_painter.setFont(m_font);
        m_painter.setPen(Qt::black);
        m_painter.drawText(toDevice(x, y) + QPointF(0, m_metrics.ascent()), text);
    }

private:
    QPointF toDevice(double x, double y) const { return m_origin + QPointF(x * m_across, y * m_down); }

    QPainter &m_painter;
    QPointF m_origin;
    double m_across;
    double m_down;
    double m_width = 1;
    QFont m_font;
    QFontMetricsF m_metrics;
};

QRectF scaled(const QRectF &mm, double unitsPerMm)
{
    return QRectF(mm.topLeft() * unitsPerMm, mm.size() * unitsPerMm);
}

QPageLayout pageLayout(const LabelSheet &sheet)
{
    const QPageSize size(sheet.page, QPageSize::Millimeter);
    return QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

LabelsResult paintPages(QPagedPaintDevice &device, QPainter &painter, const LabelJob &job,
                        const LabelProgress &progress)
{
    LabelPainter labels(job);
    const int pages = job.pages();
    for (int page = 0; page < pages; ++page) {
        if (progress && !progress(page, pages)) return LabelsResult::Canceled;
        if (page > 0 && !device.newPage()) return LabelsResult::Failed;
        labels.paintPage(painter);
    }
    return LabelsResult::Done;
}

LabelsResult printOn(QPrinter &printer, const LabelJob &job, const LabelProgress &progress)
{
    printer.setFullPage(true);
    QPainter painter;
    if (!painter.begin(&printer)) return LabelsResult::Failed;
    const LabelsResult result = paintPages(printer, painter, job, progress);
    if (result == LabelsResult::Canceled) printer.abort();
    const bool ended = painter.end();
    return result == LabelsResult::Done && !ended ? LabelsResult::Failed : result;
}
} // namespace

QFont labelFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Tahoma")});
    font.setStyleHint(QFont::SansSerif);
    return font;
}

LabelPainter::LabelPainter(const LabelJob &job)
    : m_job(job), m_places(job.sheet, job.startRow, job.startColumn),
      m_lines(labelLines(job.sheet.label, job.content)), m_label(0)
{
}

void LabelPainter::prepare(QPainter &painter)
{
    if (m_unitsPerMm > 0) return;
    m_unitsPerMm = painter.device()->logicalDpiX() / kMmPerInch;
    // The face sized so that a line of it is as high as a line of the label.
    m_font = labelFont();
    m_font.setPointSizeF(100);
    const double height = QFontMetricsF(m_font, painter.device()).height();
    m_font.setPointSizeF(100 * m_lines.lineMm * m_unitsPerMm / height);
}

void LabelPainter::paintPage(QPainter &painter)
{
    prepare(painter);
    const int page = m_places.page(m_label);
    while (!atEnd() && m_places.page(m_label) == page) {
        const QRectF label = m_job.sheet.labelRect(m_places.slot(m_label)).translated(m_job.offset.shift());
        const LabelItem &item = m_job.plan.items[m_item];
        paintLabel(painter, label, item);
        ++m_label;
        if (++m_copy >= item.copies) {
            ++m_item;
            m_copy = 0;
        }
    }
}

void LabelPainter::paintLabel(QPainter &painter, const QRectF &labelMm, const LabelItem &item)
{
    const QPointF at = labelMm.topLeft();
    if (m_job.content.name) paintLine(painter, m_lines.name.translated(at), item.name);
    paintBarcode(painter, m_lines.barcode.translated(at), item);
    if (m_job.content.cost && item.cost)
        paintLine(painter, m_lines.cost.translated(at), item.cost->toDollars());
}

void LabelPainter::paintBarcode(QPainter &painter, const QRectF &areaMm, const LabelItem &item)
{
    // Centred on the label by its bars; DrawBarcode puts one light module before the first bar.
    const double module = item.narrowBarMm;
    double left = areaMm.center().x() - barModules(item.number.size()) * module / 2 - module;
    // On the printer's dot grid, so that every bar is a whole number of dots wide.
    const double dot = kMmPerInch / std::max(1, m_job.dotsPerInch);
    left = std::round(left / dot) * dot;
    const QRectF area(left * m_unitsPerMm, areaMm.top() * m_unitsPerMm, areaMm.width() * m_unitsPerMm,
                      areaMm.height() * m_unitsPerMm);
    LabelBarcodeSurface surface(painter, area, module * m_unitsPerMm, m_font);
    DrawBarcode(item.number, surface);
}

void LabelPainter::paintLine(QPainter &painter, const QRectF &lineMm, const QString &text)
{
    const QRectF line = scaled(lineMm, m_unitsPerMm);
    const QFontMetricsF metrics(m_font, painter.device());
    painter.setFont(m_font);
    painter.setPen(Qt::black);
    painter.drawText(line, Qt::AlignCenter, metrics.elidedText(text, Qt::ElideRight, line.width()));
}

LabelsResult saveLabelsPdf(const QString &path, const LabelJob &job, const LabelProgress &progress,
                           QString *error)
{
    const QString shown = QDir::toNativeSeparators(path);
    try {
        DurableFile file(path, QStringLiteral("%1 cannot be written").arg(shown));
        LabelsResult result = LabelsResult::Failed;
        {
            QPdfWriter writer(&file);
            writer.setResolution(kPdfResolution);
            writer.setCreator(QStringLiteral("Tallyvane"));
            writer.setTitle(QStringLiteral("Labels"));
            writer.setPageLayout(pageLayout(job.sheet));
            QPainter painter;
            if (painter.begin(&writer)) {
                result = paintPages(writer, painter, job, progress);
                if (!painter.end() && result == LabelsResult::Done) result = LabelsResult::Failed;
            }
        }
        if (result == LabelsResult::Failed && error)
            *error = QStringLiteral("%1 could not be written.").arg(shown);
        if (result != LabelsResult::Done) return result; // the part written goes with `file`
        file.commit();
    } catch (const AppError &e) {
        if (error) *error = e.description();
        return LabelsResult::Failed;
    }
    return LabelsResult::Done;
}

void setUpPrinter(QPrinter &printer, const LabelSheet &sheet)
{
    printer.setFullPage(true);
    printer.setPageLayout(pageLayout(sheet));
}

LabelsResult printLabels(QPrinter &printer, const LabelJob &job, const LabelProgress &progress,
                         QString *error)
{
    const QString target = printer.outputFileName();
    if (target.isEmpty()) {
        const LabelsResult result = printOn(printer, job, progress);
        if (result == LabelsResult::Failed && error)
            *error = QStringLiteral("The printer did not take the labels.");
        return result;
    }
    // Printed into a file: whole or not at all, as Save as PDF.
    try {
        DurableFile part(target,
                         QStringLiteral("%1 cannot be written").arg(QDir::toNativeSeparators(target)));
        printer.setOutputFileName(part.temporaryPath());
        const LabelsResult result = printOn(printer, job, progress);
        printer.setOutputFileName(target);
        if (result == LabelsResult::Failed && error)
            *error = QStringLiteral("%1 could not be written.").arg(QDir::toNativeSeparators(target));
        if (result != LabelsResult::Done) return result;
        part.commit();
    } catch (const AppError &e) {
        printer.setOutputFileName(target);
        if (error) *error = e.description();
        return LabelsResult::Failed;
    }
    return LabelsResult::Done;
}

QImage previewFirstPage(const LabelJob &job, QSize box)
{
    const QSizeF page = job.sheet.page;
    if (page.isEmpty() || box.isEmpty()) return QImage();
    const double scale = std::min(box.width() / page.width(), box.height() / page.height());
    QImage image(std::max(1, int(page.width() * scale)), std::max(1, int(page.height() * scale)),
                 QImage::Format_RGB32);
    image.setDotsPerMeterX(std::lround(scale * 1000));
    image.setDotsPerMeterY(std::lround(scale * 1000));
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0xb8, 0xc0, 0xcc), 0));
    for (int slot = 0; slot < job.sheet.perPage(); ++slot)
        painter.drawRoundedRect(scaled(job.sheet.labelRect(slot), scale), 2, 2);
    if (job.sheet.problem().isEmpty()) LabelPainter(job).paintPage(painter);
    return image;
}

} // namespace tv
