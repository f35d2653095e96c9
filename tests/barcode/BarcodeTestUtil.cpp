#include "BarcodeTestUtil.h"

#include <QFileInfo>
#include <QProcess>
#include <QtTest>

namespace tv::test {

std::vector<Run> rowRuns(const QImage &image, int y)
{
    std::vector<Run> runs;
    for (int x = 0; x < image.width(); ++x) {
        const bool dark = qGray(image.pixel(x, y)) < 128;
        if (!runs.empty() && runs.back().dark == dark)
            ++runs.back().length;
        else
            runs.push_back({dark, 1});
    }
    return runs;
}

std::vector<int> barWidths(const QImage &image, int y)
{
    std::vector<Run> runs = rowRuns(image, y);
    while (!runs.empty() && !runs.back().dark)
        runs.pop_back();
    std::vector<int> widths;
    for (const Run &r : runs)
        widths.push_back(r.length);
    return widths;
}

QStringList decodeCode39(const QString &path)
{
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"),
               {QStringLiteral("--raw"), QStringLiteral("-q"), QStringLiteral("-Sdisable"),
                QStringLiteral("-Scode39.enable"), path});
    if (!zbar.waitForStarted(10000)) {
        qWarning("zbarimg cannot be started (package zbar-tools)");
        return {QStringLiteral("<zbarimg missing>")};
    }
    zbar.waitForFinished(30000);
    QString out = QString::fromUtf8(zbar.readAllStandardOutput());
    QStringList lines = out.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty()) lines.removeLast();
    return lines;
}

PdfPages pdfPages(const QString &pdfPath)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdfPath});
    if (!p.waitForStarted(10000) || !p.waitForFinished(30000) || p.exitCode() != 0) return {};
    PdfPages pages;
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QStringList words = line.simplified().split(QLatin1Char(' '));
        if (line.startsWith(QLatin1String("Pages:")) && words.size() > 1) pages.count = words[1].toInt();
        // "Page size:       595.276 x 841.89 pts (A4)"
        if (line.startsWith(QLatin1String("Page size:")) && words.size() > 4)
            pages.size = QSizeF(words[2].toDouble(), words[4].toDouble());
    }
    return pages;
}

QString pdfText(const QString &pdfPath)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdfPath, QStringLiteral("-")});
    if (!p.waitForStarted(10000) || !p.waitForFinished(30000)) return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString pdfPageToPng(const QString &pdfPath, int dpi)
{
    const QFileInfo info(pdfPath);
    const QString prefix = info.absolutePath() + QLatin1Char('/') + info.completeBaseName();
    QProcess p;
    p.start(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"), QStringLiteral("-f"),
             QStringLiteral("1"), QStringLiteral("-singlefile"), pdfPath, prefix});
    if (!p.waitForStarted(10000) || !p.waitForFinished(60000) || p.exitCode() != 0) return QString();
    const QString png = prefix + QStringLiteral(".png");
    return QFileInfo::exists(png) ? png : QString();
}

} // namespace tv::test
