#pragma once

#include <QImage>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <vector>

namespace tv::test {

// One run of equal pixels along an image row: dark (black) or not, and its length in pixels.
struct Run
{
    bool dark;
    int length;
    bool operator==(const Run &) const = default;
};

// The runs of row y from column 0 to the end of the row.
std::vector<Run> rowRuns(const QImage &image, int y);

// The lengths of the runs that make up the bars and gaps: from column 0 up to and including the
// last dark run.
std::vector<int> barWidths(const QImage &image, int y);

// Decodes Code 39 symbols in the file with zbarimg; one entry per symbol found. Fails the
// calling test when zbarimg cannot be run.
QStringList decodeCode39(const QString &path);

// The page count and the size of page 1 (in points) of a PDF file, as pdfinfo reads them; no pages
// when it cannot read the file.
struct PdfPages
{
    int count = 0;
    QSizeF size;
};
PdfPages pdfPages(const QString &pdfPath);

// The text of a PDF file, as pdftotext reads it.
QString pdfText(const QString &pdfPath);

// Renders page 1 of a PDF file at the given resolution into a PNG beside it with pdftoppm;
// returns the PNG's path or an empty string.
QString pdfPageToPng(const QString &pdfPath, int dpi);

} // namespace tv::test
