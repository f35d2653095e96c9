#include "ReorderWriter.h"

#include "ReportText.h"
#include "common/DurableFile.h"
#include "common/ProgramFolder.h"
#include "csv/CsvText.h"

namespace tv {

namespace {

// The look of the inventory report's cells, said once in a style sheet: a list of thousands of
// lines is read and laid out by the viewer several times faster than with the report's markup in
// every cell.
constexpr const char *kStyle = "<style>th{color:#0000aa;font-size:large}td{font-weight:bold;padding:1px 6px}"
                               "td.cost{color:#00bb00}td.total{color:#cc0000}</style>";
constexpr const char *kTableOpen = "<table border=1 bordercolor=black cellspacing=0 width=100%>";
constexpr const char *kCellOpen = "<td align=center>";
constexpr const char *kCostOpen = "<td align=center class=cost>";
constexpr const char *kNoVendor = "Without a vendor";

void appendCell(QByteArray &out, const QString &text, bool cost = false)
{
    out += cost ? kCostOpen : kCellOpen;
    out += text.toHtmlEscaped().toUtf8();
    out += "</td>";
}

QString dollars(const std::optional<Money> &amount)
{
    return amount ? amount->toDollars() : QString();
}

void appendGroup(QByteArray &out, const ReorderGroup &group)
{
    const QString vendor = group.vendor.isEmpty() ? QString::fromLatin1(kNoVendor) : group.vendor;
    out += R"(<br><font size="4"><b>)";
    out += vendor.toHtmlEscaped().toUtf8();
    out += "</b></font><br>";
    out += kTableOpen;
    out += "<tr>";
    for (const char *caption :
         {"Item Name", "Item Number", "Unit Count", "Reorder At", "Order Qty", "Unit Cost", "Line Cost"}) {
        out += "<th>";
        out += caption;
        out += "</th>";
    }
    out += "</tr>";
    for (const ReorderLine &line : group.lines) {
        out += "<tr>";
        appendCell(out, line.itemDesc);
        appendCell(out, line.itemNum);
        appendCell(out, line.itemCnt ? QString::number(*line.itemCnt) : QString());
        appendCell(out, QString::number(line.level));
        appendCell(out, QString::number(line.quantity));
        appendCell(out, dollars(line.unitCost));
        appendCell(out, dollars(line.lineCost), true);
        out += "</tr>";
    }
    out += "<tr><td colspan=6 align=right>Subtotal ";
    out += vendor.toHtmlEscaped().toUtf8();
    out += "</td>";
    appendCell(out, dollars(group.subtotal), true);
    out += "</tr></table>";
}

} // namespace

QByteArray ReorderWriter::html() const
{
    QByteArray out = R"(<html><head><meta charset="utf-8"><title>Reorder List</title>)";
    out += kStyle;
    out += R"(</head><body><center><font size="5"><b>Reorder List</b></font><br>)";
    if (m_list.groups.empty()) out += "<br>No item needs reordering.<br>";
    for (const ReorderGroup &group : m_list.groups)
        appendGroup(out, group);
    out += R"(<br><div align="right"><table border=1 bordercolor=black cellspacing=0 width=20%>)"
           "<tr><th>Total to Order</th></tr><tr><td align=center class=total>";
    out += dollars(m_list.total).toUtf8();
    out += "</td></tr></table></div><br> End of Reorder List </body></html>";
    return out;
}

QByteArray ReorderWriter::csv() const
{
    QByteArray out = "Vendor,ItemDesc,ItemNum,ItemCnt,ReorderLevel,OrderQty,ItemCst,LineCost\r\n";
    const auto money = [](const std::optional<Money> &m) { return m ? m->toPlain() : QString(); };
    for (const ReorderGroup &group : m_list.groups)
        for (const ReorderLine &line : group.lines) {
            const QString cells[] = {group.vendor,
                                     line.itemDesc,
                                     line.itemNum,
                                     line.itemCnt ? QString::number(*line.itemCnt) : QString(),
                                     QString::number(line.level),
                                     QString::number(line.quantity),
                                     money(line.unitCost),
                                     money(line.lineCost)};
            for (const QString &cell : cells) {
                if (&cell != cells) out += ',';
                appendCsvCell(out, cell.isEmpty() ? QString() : cell); // nothing, not ""
            }
            endCsvRecord(out);
        }
    return out;
}

QString ReorderWriter::listPath()
{
    return programPath(QStringLiteral("reorder.html"));
}

void ReorderWriter::save(const QString &path) const
{
    DurableFile file(path, QStringLiteral("Could not write the reorder list '%1'").arg(path));
    file.writeAll(html());
    file.commit();
}

} // namespace tv
