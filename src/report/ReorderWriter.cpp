#include "ReorderWriter.h"

#include "ReportText.h"
#include "common/DurableFile.h"
#include "common/ProgramFolder.h"
#include "csv/CsvText.h"

namespace tv {

namespace {

// The inventory report's cells, with colours written as a browser and the viewer both read them.
constexpr const char *kTableOpen = "<table border=1 bordercolor=black cellspacing=0 width=100%>";
constexpr const char *kHeaderOpen = R"(<th><font size="4" color="#0000aa"> )";
constexpr const char *kHeaderClose = " </font></th>";
constexpr const char *kCellOpen = R"(<td align="center"><b> &nbsp;)";
constexpr const char *kCellClose = " </b></td>";
constexpr const char *kCostOpen = R"(<td align="center"><font color="#00bb00"><b> &nbsp;)";
constexpr const char *kCostClose = " </b></font></td>";
constexpr const char *kNoVendor = "Without a vendor";

void appendCell(QByteArray &out, const QString &text, bool cost = false)
{
    out += cost ? kCostOpen : kCellOpen;
    out += text.toHtmlEscaped().toUtf8();
    out += cost ? kCostClose : kCellClose;
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
        out += kHeaderOpen;
        out += caption;
        out += kHeaderClose;
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
    out += R"(<tr><td colspan=6 align="right"><b>Subtotal )";
    out += vendor.toHtmlEscaped().toUtf8();
    out += " &nbsp;</b></td>";
    appendCell(out, dollars(group.subtotal), true);
    out += "</tr></table>";
}

} // namespace

QByteArray ReorderWriter::html() const
{
    QByteArray out = R"(<html><head><meta charset="utf-8"><title>Reorder List</title></head><body>)"
                     R"(<center><font size="5"><b>Reorder List</b></font><br>)";
    if (m_list.groups.empty()) out += "<br>No item needs reordering.<br>";
    for (const ReorderGroup &group : m_list.groups)
        appendGroup(out, group);
    out += R"(<br><div align="right"><table border=1 bordercolor=black cellspacing=0 width=20%>)"
           R"(<tr><th> <font size="4" color="#0000aa">Total to Order </font></th></tr>)"
           R"(<tr><td align="center"><font color="#cc0000"><b> &nbsp;)";
    out += dollars(m_list.total).toUtf8();
    out += " </b></font></td></tr></table></div><br> End of Reorder List </body></html>";
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
