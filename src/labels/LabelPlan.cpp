#include "labels/LabelPlan.h"

#include "barcode/DrawBar.h"
#include "items/ItemRecordSet.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace tv {

namespace {
constexpr double kMmPerInch = 25.4;

// Characters of an item number that its barcode could not carry: those without a symbol, and the
// asterisk, which a scanner takes for the end of the symbol.
QString charactersWithoutBars(const QString &number)
{
    QString missing = charactersNotEncoded(number);
    if (number.contains(QLatin1Char('*')) && !missing.contains(QLatin1Char('*'))) missing += QLatin1Char('*');
    QStringList shown;
    for (const QChar c : std::as_const(missing))
        shown << (c.isPrint() && !c.isSpace()
                      ? QString(c)
                      : QStringLiteral("U+%1").arg(c.unicode(), 4, 16, QLatin1Char('0')).toUpper());
    return shown.join(QStringLiteral(", "));
}

int labelsOf(const ItemRow &row, HowMany howMany)
{
    if (!howMany.inStock) return std::clamp(howMany.copies, 1, kMostLabelsEach);
    const qint64 stock = row.itemCnt.value_or(0);
    return static_cast<int>(std::clamp<qint64>(stock, 0, kMostLabelsEach));
}

// Why the row gets no label on this sheet; empty when it gets one.
QString whyLeftOut(const ItemRow &row, const std::optional<double> &bar)
{
    if (row.itemNum.trimmed().isEmpty())
        return QStringLiteral("no item number: %1")
            .arg(row.itemDesc.isEmpty() ? QStringLiteral("(an item without a name)") : row.itemDesc);
    const QString missing = charactersWithoutBars(row.itemNum);
    if (!missing.isEmpty())
        return QStringLiteral("characters without a barcode (%1): %2").arg(missing, row.itemNum);
    if (!bar) return QStringLiteral("too long for this label: %1").arg(row.itemNum);
    return QString();
}
} // namespace

std::optional<double> narrowBarMm(qsizetype characters, double labelWidthMm, int dotsPerInch)
{
    const double dot = kMmPerInch / std::max(1, dotsPerInch);
    const double room = labelWidthMm - 2 * kLabelEdgeMm;
    const double widest = room / (barModules(characters) + 2 * kQuietModules);
    // A hair of tolerance, so that a width of exactly whole dots counts as whole.
    const double narrowest = std::ceil(kNarrowestBarMm / dot - 1e-9);
    const double fits = std::floor(widest / dot + 1e-9);
    if (fits < narrowest) return std::nullopt;
    // A printer so coarse that its narrowest bar is past the widest still prints the narrowest.
    const double most = std::max(narrowest, std::floor(kWidestBarMm / dot + 1e-9));
    return std::min(fits, most) * dot;
}

LabelLines labelLines(QSizeF label, LabelContent content)
{
    LabelLines lines;
    lines.lineMm = std::clamp(label.height() * 0.13, 2.2, 3.5);
    const double gap = lines.lineMm * 0.15;
    const double width = label.width() - 2 * kLabelEdgeMm;
    double top = kLabelEdgeMm;
    double bottom = label.height() - kLabelEdgeMm;
    if (content.name) {
        lines.name = QRectF(kLabelEdgeMm, top, width, lines.lineMm);
        top += lines.lineMm + gap;
    }
    if (content.cost) {
        lines.cost = QRectF(kLabelEdgeMm, bottom - lines.lineMm, width, lines.lineMm);
        bottom -= lines.lineMm + gap;
    }
    lines.barcode = QRectF(kLabelEdgeMm, top, width, std::max(0.0, bottom - top));
    return lines;
}

QString sheetProblem(const LabelSheet &sheet, LabelContent content)
{
    const QString problem = sheet.problem();
    if (!problem.isEmpty()) return problem;
    if (labelLines(sheet.label, content).barsMm() < kLowestBarsMm)
        return QStringLiteral("These labels are too low for a readable barcode: leave out the name or "
                              "the unit cost, or choose larger labels.");
    return QString();
}

std::vector<ItemRow> chosenRows(const ItemRecordSet &records, ItemChoice choice,
                                const std::vector<int> &selected)
{
    std::vector<ItemRow> rows;
    if (!records.isOpen()) return rows;
    const int count = records.recordCount();
    switch (choice) {
    case ItemChoice::CurrentItem:
        if (records.hasCurrent()) rows.push_back(records.row(records.position()));
        break;
    case ItemChoice::SelectedRows:
        for (const int r : selected)
            if (r >= 0 && r < count) rows.push_back(records.row(r));
        break;
    case ItemChoice::AllItems:
        rows.reserve(static_cast<std::size_t>(count));
        for (const ItemRow &row : records.rows())
            rows.push_back(row);
        break;
    }
    return rows;
}

LabelPlan planLabels(const std::vector<ItemRow> &rows, HowMany howMany, const LabelSheet &sheet,
                     int dotsPerInch)
{
    LabelPlan plan;
    for (const ItemRow &row : rows) {
        const std::optional<double> bar = narrowBarMm(row.itemNum.size(), sheet.label.width(), dotsPerInch);
        const QString why = whyLeftOut(row, bar);
        if (!why.isEmpty()) {
            plan.leftOut << why;
            continue;
        }
        const int copies = labelsOf(row, howMany);
        if (howMany.inStock && row.itemCnt.value_or(0) > kMostLabelsEach) ++plan.capped;
        if (copies == 0) continue;
        plan.items.push_back({row.itemNum, row.itemDesc, row.itemCst, copies, *bar});
        plan.labels += copies;
    }
    return plan;
}

QString planSummary(const LabelPlan &plan, int pages)
{
    if (plan.labels == 0) return QStringLiteral("No labels to print.");
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QString text =
        QStringLiteral("%1 %2 on %3 %4")
            .arg(english.toString(plan.labels),
                 plan.labels == 1 ? QStringLiteral("label") : QStringLiteral("labels"))
            .arg(english.toString(pages), pages == 1 ? QStringLiteral("page") : QStringLiteral("pages"));
    if (plan.capped > 0)
        text += QStringLiteral("; stock above %1 counts as %1 (%2 %3)")
                    .arg(english.toString(kMostLabelsEach))
                    .arg(plan.capped)
                    .arg(plan.capped == 1 ? QStringLiteral("item") : QStringLiteral("items"));
    return text;
}

} // namespace tv
