#pragma once

#include "ReportModel.h"

#include <QFont>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QPrinter;

namespace tv {

enum class PrintResult { Printed, Canceled, Failed };

// Prints every row of a report: the title on the first page, the header row at the top of every
// page, "Page n of m" at the foot of each, and the total and "End of Report" after the last
// row. A long text wraps on paper.
class ReportPrinter
{
public:
    // Told the page about to be printed and how many there are; false stops the print.
    using Progress = std::function<bool(int page, int pages)>;

    ReportPrinter(std::shared_ptr<const ReportModel> model, const QFont &font);

    // The first row of each page, for a printer set up as it will print.
    std::vector<qsizetype> pageStarts(QPrinter &printer) const;
    PrintResult print(QPrinter &printer, const Progress &progress = {}) const;

private:
    struct Pages;
    Pages paginate(QPrinter &printer) const;

    std::shared_ptr<const ReportModel> m_model;
    QFont m_font;
};

// Runs a print. A print into a file goes to a new file beside it that replaces the file only
// once the print is whole: a print that is canceled or fails leaves no part of a file behind and
// an earlier file as it was. On failure, `error` tells what went wrong.
PrintResult printSafely(QPrinter &printer, const std::function<PrintResult(QPrinter &)> &print,
                        QString *error = nullptr);

} // namespace tv
