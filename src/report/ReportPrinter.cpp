#include "ReportPrinter.h"

#include "ReportLayout.h"
#include "common/DurableFile.h"

#include <QDir>
#include <QPainter>
#include <QPrinter>

namespace tv {

struct ReportPrinter::Pages
{
    std::vector<qsizetype> starts; // first row of each page; the last page also holds the total
    std::vector<int> heights;      // of every row
};

namespace {
QRect pageRect(QPrinter &printer)
{
    return printer.pageLayout().paintRectPixels(printer.resolution());
}
int footerHeight(const ReportLayout &layout)
{
    return 2 * layout.lineHeight();
}
// From the end of the rows: a gap, the total, a gap, "End of Report".
int tailHeight(const ReportLayout &layout)
{
    return layout.tableGap() + layout.totalHeight() + layout.closingGap() + layout.lineHeight();
}
} // namespace

ReportPrinter::ReportPrinter(std::shared_ptr<const ReportModel> model, const QFont &font)
    : m_model(std::move(model)), m_font(font)
{
}

ReportPrinter::Pages ReportPrinter::paginate(QPrinter &printer) const
{
    const QRect page = pageRect(printer);
    const ReportLayout layout(*m_model, m_font, &printer, page.width());
    const int bottom = page.height() - footerHeight(layout);
    const qsizetype rows = m_model->rowCount();
    Pages pages;
    pages.heights.reserve(size_t(rows));
    pages.starts.push_back(0);
    int y = layout.headerTop() + layout.headerHeight();
    for (qsizetype row = 0; row < rows; ++row) {
        const int height = layout.wrappedRowHeight(row);
        pages.heights.push_back(height);
        if (y + height > bottom && row > pages.starts.back()) {
            pages.starts.push_back(row);
            y = layout.margin() + layout.headerHeight();
        }
        y += height;
    }
    if (y + tailHeight(layout) > bottom) {
        // The total goes over; the last row goes with it, so that no page shows a bare header.
        if (rows - pages.starts.back() >= 2) {
            pages.starts.push_back(rows - 1);
        } else {
            pages.starts.push_back(rows);
        }
    }
    return pages;
}

std::vector<qsizetype> ReportPrinter::pageStarts(QPrinter &printer) const
{
    return paginate(printer).starts;
}

PrintResult ReportPrinter::print(QPrinter &printer, const Progress &progress) const
{
    const Pages pages = paginate(printer);
    const int count = int(pages.starts.size());
    if (progress && !progress(0, count)) return PrintResult::Canceled;

    const QRect page = pageRect(printer);
    ReportLayout layout(*m_model, m_font, &printer, page.width());
    QPainter p;
    if (!p.begin(&printer)) return PrintResult::Failed;
    const QFont footerFont = m_font;
    for (int i = 0; i < count; ++i) {
        if (progress && !progress(i, count)) {
            printer.abort();
            p.end();
            return PrintResult::Canceled;
        }
        if (i > 0 && !printer.newPage()) {
            p.end();
            return PrintResult::Failed;
        }
        int y = layout.margin();
        if (i == 0) {
            layout.drawTitle(p, y);
            y = layout.headerTop();
        }
        layout.drawHeader(p, y);
        y += layout.headerHeight();
        const qsizetype end = i + 1 < count ? pages.starts[size_t(i) + 1] : m_model->rowCount();
        const int rowsTop = y;
        for (qsizetype row = pages.starts[size_t(i)]; row < end; ++row) {
            const int height = pages.heights[size_t(row)];
            layout.drawRow(p, row, y, height, false);
            y += height;
        }
        if (y > rowsTop) layout.drawDividers(p, rowsTop, y);
        if (i + 1 == count) {
            y += layout.tableGap();
            layout.drawTotal(p, y);
            y += layout.totalHeight() + layout.closingGap();
            layout.drawClosing(p, y);
        }
        p.setFont(footerFont);
        p.setPen(Qt::black);
        p.drawText(QRect(0, page.height() - layout.lineHeight(), page.width(), layout.lineHeight()),
                   Qt::AlignCenter, QStringLiteral("Page %1 of %2").arg(i + 1).arg(count));
    }
    if (progress) progress(count, count);
    return p.end() ? PrintResult::Printed : PrintResult::Failed;
}

PrintResult printSafely(QPrinter &printer, const std::function<PrintResult(QPrinter &)> &print,
                        QString *error)
{
    const QString target = printer.outputFileName();
    if (target.isEmpty()) {
        const PrintResult result = print(printer);
        if (result == PrintResult::Failed && error)
            *error = QStringLiteral("The printer did not take the report.");
        return result;
    }

    try {
        DurableFile part(target,
                         QStringLiteral("%1 cannot be written").arg(QDir::toNativeSeparators(target)));
        printer.setOutputFileName(part.temporaryPath());
        const PrintResult result = print(printer);
        printer.setOutputFileName(target);
        if (result != PrintResult::Printed) {
            if (result == PrintResult::Failed && error)
                *error = QStringLiteral("%1 could not be written.").arg(QDir::toNativeSeparators(target));
            return result; // the part file goes with `part`
        }
        part.commit();
    } catch (const AppError &e) {
        printer.setOutputFileName(target);
        if (error) *error = e.description();
        return PrintResult::Failed;
    }
    return PrintResult::Printed;
}

} // namespace tv
