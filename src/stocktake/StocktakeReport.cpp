#include "StocktakeCount.h"

#include "items/ItemRecordSet.h"
#include "report/ReportMarkup.h"
#include "report/ReportText.h"

#include <QLocale>
#include <QSet>
#include <initializer_list>

namespace tv {

namespace {
// The pieces of the inventory report's look that this report shares.
constexpr const char *kTableOpen = "<table border=1 bordercolor=black cellspacing=0 width=100%>";
constexpr const char *kCellOpen = R"(<td align = "center"><b> &nbsp;)";
constexpr const char *kCellClose = "  </b></td>";

void header(QByteArray &out, std::initializer_list<const char *> captions)
{
    out += markup::kRowOpen;
    for (const char *caption : captions) {
        out += markup::kHeaderOpen;
        out += caption;
        out += markup::kHeaderClose;
    }
    out += markup::kRowClose;
}

void cell(QByteArray &out, QStringView text)
{
    out += kCellOpen;
    appendHtmlText(out, text);
    out += kCellClose;
}

QString signedCount(qint64 n)
{
    return n > 0 ? QStringLiteral("+%1").arg(n) : QString::number(n);
}

QString dollars(const std::optional<Money> &m)
{
    return m ? m->toDollars() : QString();
}

void heading(QByteArray &out, const char *title)
{
    out += R"(<br><font size="4"><b>)";
    out += title;
    out += "</b></font><br>";
}

void appendDifferences(QByteArray &out, const StocktakeCount &count)
{
    heading(out, "Differences");
    out += kTableOpen;
    header(out, {"Item Name", "Item Number", "Expected", "Counted", "Difference", "Unit Cost",
                 "Value of Difference"});
    int differences = 0;
    const ItemRecordSet &records = count.records();
    for (int row = 0; row < records.recordCount(); ++row) {
        const std::optional<qint64> d = count.difference(row);
        if (!d || *d == 0) continue;
        ++differences;
        const ItemRow &item = records.row(row);
        out += markup::kRowOpen;
        cell(out, item.itemDesc);
        cell(out, item.itemNum);
        cell(out, QString::number(count.expected(row)));
        cell(out, QString::number(*count.counted(row)));
        cell(out, signedCount(*d));
        cell(out, dollars(item.itemCst));
        cell(out, dollars(count.differenceValue(row)));
        out += markup::kRowClose;
    }
    out += "</table>";
    if (differences == 0) out += "<br>Every counted item matches.<br>";
}

void appendNotCounted(QByteArray &out, const StocktakeCount &count)
{
    heading(out, "Not Counted");
    out += kTableOpen;
    header(out, {"Item Name", "Item Number", "Expected", "Unit Cost", "Value Expected"});
    const ItemRecordSet &records = count.records();
    for (int row = 0; row < records.recordCount(); ++row) {
        if (count.counted(row)) continue;
        const ItemRow &item = records.row(row);
        const std::optional<Money> value = item.itemCst && !item.isKept(Column::ItemCst)
                                               ? item.itemCst->times(count.expected(row))
                                               : std::nullopt;
        out += markup::kRowOpen;
        cell(out, item.itemDesc);
        cell(out, item.itemNum);
        cell(out, QString::number(count.expected(row)));
        cell(out, dollars(item.itemCst));
        cell(out, dollars(value));
        out += markup::kRowClose;
    }
    out += "</table>";
}
} // namespace

QByteArray StocktakeCount::reportHtml(const QDateTime &now) const
{
    QByteArray out = "<html><head><title>Stocktake</title></head><body>";
    out += R"(<center><font size="5"><b>Stocktake</b></font><br>)";
    QSet<QString> counters;
    for (const auto &[key, line] : m_lines)
        if (line.counted && !line.countedBy.isEmpty()) counters.insert(line.countedBy);
    QStringList names(counters.begin(), counters.end());
    names.sort();
    const QLocale locale;
    QString when = QStringLiteral("Counted on %1").arg(locale.toString(now, QLocale::LongFormat));
    if (m_info)
        when = QStringLiteral("Started %1, finished %2")
                   .arg(locale.toString(m_info->startedAt.toLocalTime(), QLocale::LongFormat),
                        locale.toString(now, QLocale::LongFormat));
    appendHtmlText(out, when);
    out += "<br>";
    appendHtmlText(out, names.isEmpty() ? QStringLiteral("Nothing was counted")
                                        : QStringLiteral("Counted by ") + names.join(QStringLiteral(", ")));
    out += "</center>";

    appendDifferences(out, *this);
    appendNotCounted(out, *this);

    const Summary s = summary();
    out += "<br>";
    out += R"(<div align = "Right"><table border=1 bordercolor=black cellspacing=0 width=30%>)";
    header(out, {"Total Value Difference"});
    out += markup::kRowOpen;
    out += markup::kTotalOpen;
    appendHtmlText(out,
                   s.valueOverflow ? QStringLiteral("too large to show") : s.valueDifference.toDollars());
    out += markup::kTotalClose;
    out += markup::kRowClose;
    out += "</table></div>";
    appendHtmlText(out, QStringLiteral("%1 items counted, %2 not counted").arg(s.counted).arg(s.notCounted));
    out += "<br> End of Report </body></html>";
    return out;
}

} // namespace tv
