#include "labels/LabelSheet.h"

#include <QSettings>
#include <QUrl>
#include <algorithm>

namespace tv {

namespace {
constexpr double kInch = 25.4;
const QString kCustomGroup = QStringLiteral("Labels/CustomSheet");
const QString kLastSheet = QStringLiteral("Labels/Sheet");
const QString kOffsetGroup = QStringLiteral("Labels/PrinterOffsets");

LabelSheet sheet(const char *key, const QString &name, QSizeF page, int columns, int rows, QSizeF label,
                 double left, double top, double gapAcross, double gapDown)
{
    LabelSheet s;
    s.key = QString::fromLatin1(key);
    s.name = name;
    s.page = page;
    s.rows = rows;
    s.columns = columns;
    s.label = label;
    s.left = left;
    s.top = top;
    s.gapAcross = gapAcross;
    s.gapDown = gapDown;
    return s;
}

// A label printer feeds one label a page, the page as large as the label.
LabelSheet roll(const char *key, const QString &name, QSizeF label)
{
    return sheet(key, name, label, 1, 1, label, 0, 0, 0, 0);
}

QString mm(double v)
{
    return QString::number(v, 'g', 6);
}

QString offsetKey(const QString &printerName, const char *which)
{
    // A printer's name may hold any character; the key holds it encoded.
    return kOffsetGroup + QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(printerName)) +
           QLatin1Char('/') + QLatin1String(which);
}
} // namespace

QRectF LabelSheet::labelRect(int slot) const
{
    const int row = slot / std::max(1, columns);
    const int column = slot % std::max(1, columns);
    return QRectF(left + column * (label.width() + gapAcross), top + row * (label.height() + gapDown),
                  label.width(), label.height());
}

QString LabelSheet::problem() const
{
    if (rows < 1 || columns < 1) return QStringLiteral("The sheet needs at least one row and one column.");
    if (label.width() <= 0 || label.height() <= 0 || page.width() <= 0 || page.height() <= 0)
        return QStringLiteral("The page and the labels need a width and a height.");
    if (left < 0 || top < 0 || gapAcross < 0 || gapDown < 0)
        return QStringLiteral("Margins and gaps cannot be negative.");
    const QRectF last = labelRect(perPage() - 1);
    if (last.right() > page.width() + 0.01 || last.bottom() > page.height() + 0.01)
        return QStringLiteral("The labels do not fit on the page: make the labels, margins or gaps "
                              "smaller, or the page larger.");
    return QString();
}

const std::vector<LabelSheet> &standardSheets()
{
    static const std::vector<LabelSheet> sheets{
        sheet("5160", QStringLiteral(u"Avery 5160 / 8160 (Letter, 3 × 10, 2⅝\" × 1\")"),
              QSizeF(8.5 * kInch, 11 * kInch), 3, 10, QSizeF(2.625 * kInch, kInch), 0.1875 * kInch,
              0.5 * kInch, 0.125 * kInch, 0),
        sheet("L7160", QStringLiteral(u"Avery L7160 (A4, 3 × 7, 63.5 × 38.1 mm)"), QSizeF(210, 297), 3, 7,
              QSizeF(63.5, 38.1), 7.21, 15.15, 2.54, 0),
        sheet("L7651", QStringLiteral(u"Avery L7651 (A4, 5 × 13, 38.1 × 21.2 mm)"), QSizeF(210, 297), 5, 13,
              QSizeF(38.1, 21.2), 4.67, 10.7, 2.54, 0),
        roll("roll-2x1", QStringLiteral(u"Label printer, 2\" × 1\" (one label a page)"),
             QSizeF(2 * kInch, kInch)),
        roll("roll-62x29", QStringLiteral(u"Label printer, 62 × 29 mm (one label a page)"), QSizeF(62, 29)),
    };
    return sheets;
}

QString customSheetName(const LabelSheet &s)
{
    return QStringLiteral(u"Custom sheet (%1 × %2 mm, %3 × %4, %5 × %6 mm)")
        .arg(mm(s.page.width()), mm(s.page.height()))
        .arg(s.columns)
        .arg(s.rows)
        .arg(mm(s.label.width()), mm(s.label.height()));
}

LabelSheet customSheet()
{
    // Until one is kept: A4 with 3 × 8 labels of 70 × 36 mm, edge to edge.
    QSettings settings;
    settings.beginGroup(kCustomGroup);
    const auto get = [&](const char *key, double fallback) {
        return settings.value(QLatin1String(key), fallback).toDouble();
    };
    LabelSheet s = sheet(kCustomSheetKey, QString(), QSizeF(get("pageWidth", 210), get("pageHeight", 297)),
                         settings.value(QStringLiteral("columns"), 3).toInt(),
                         settings.value(QStringLiteral("rows"), 8).toInt(),
                         QSizeF(get("labelWidth", 70), get("labelHeight", 36)), get("left", 0),
                         get("top", 4.5), get("gapAcross", 0), get("gapDown", 0));
    s.name = customSheetName(s);
    return s;
}

void keepCustomSheet(const LabelSheet &s)
{
    QSettings settings;
    settings.beginGroup(kCustomGroup);
    settings.setValue(QStringLiteral("pageWidth"), s.page.width());
    settings.setValue(QStringLiteral("pageHeight"), s.page.height());
    settings.setValue(QStringLiteral("columns"), s.columns);
    settings.setValue(QStringLiteral("rows"), s.rows);
    settings.setValue(QStringLiteral("labelWidth"), s.label.width());
    settings.setValue(QStringLiteral("labelHeight"), s.label.height());
    settings.setValue(QStringLiteral("left"), s.left);
    settings.setValue(QStringLiteral("top"), s.top);
    settings.setValue(QStringLiteral("gapAcross"), s.gapAcross);
    settings.setValue(QStringLiteral("gapDown"), s.gapDown);
}

std::vector<LabelSheet> allSheets()
{
    std::vector<LabelSheet> sheets = standardSheets();
    sheets.push_back(customSheet());
    return sheets;
}

QString lastSheetKey()
{
    return QSettings().value(kLastSheet).toString();
}

void keepLastSheetKey(const QString &key)
{
    QSettings().setValue(kLastSheet, key);
}

PrinterOffset printerOffset(const QString &printerName)
{
    const QSettings settings;
    return {settings.value(offsetKey(printerName, "left"), 0.0).toDouble(),
            settings.value(offsetKey(printerName, "down"), 0.0).toDouble()};
}

void keepPrinterOffset(const QString &printerName, PrinterOffset offset)
{
    QSettings settings;
    settings.setValue(offsetKey(printerName, "left"), offset.left);
    settings.setValue(offsetKey(printerName, "down"), offset.down);
}

LabelPlaces::LabelPlaces(const LabelSheet &sheet, int startRow, int startColumn)
    : m_perPage(std::max(1, sheet.perPage()))
{
    const int row = std::clamp(startRow, 1, std::max(1, sheet.rows));
    const int column = std::clamp(startColumn, 1, std::max(1, sheet.columns));
    m_start = (row - 1) * std::max(1, sheet.columns) + (column - 1);
}

int LabelPlaces::page(qint64 label) const
{
    return static_cast<int>((label + m_start) / m_perPage);
}

int LabelPlaces::slot(qint64 label) const
{
    return static_cast<int>((label + m_start) % m_perPage);
}

int LabelPlaces::pages(qint64 labels) const
{
    return labels <= 0 ? 0 : page(labels - 1) + 1;
}

} // namespace tv
