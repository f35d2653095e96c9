#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

// The report file as the user's browser gets it, assembled from its literal pieces so that the
// tests compare bytes with what is written, not with the writer's own constants.
namespace expected {

inline QByteArray header(const QString &label)
{
    return R"(<th><font size="4" color="0000aa"> )" + label.toLatin1() + " </font></th>";
}

// One row: seven values in column order.
inline QByteArray row(const QList<QByteArray> &v)
{
    QByteArray r = "<tr>";
    for (int i = 0; i < 2; ++i)
        r += R"(<td align = "center"><b> &nbsp;)" + v[i] + "  </b></td>";
    for (int i = 2; i < 5; ++i)
        r += R"(<td align = "center"><b> &nbsp;)" + v[i] + " </b></td>";
    r += R"(<td align = "center"><b>  &nbsp;)" + v[5] + "  </b></td>";
    r += R"(<td align = "center"><font color="00bb00"><b>  &nbsp;)" + v[6] + "  </b></font></td>";
    return r + "</tr>";
}

// The four text column labels first; the three fixed ones are added.
inline QByteArray report(const QStringList &firstFour, const QList<QList<QByteArray>> &rows,
                         const QByteArray &total)
{
    QByteArray r = "<html><head><title>Inventory Report</title></head><body>"
                   R"(<center><font size="5"><b>Inventory Report</b></font><br>)"
                   "<br><table border=1 bordercolor=black cellspacing=0 width=100%>"
                   "<tr>";
    for (const QString &label : firstFour + QStringList{"Unit Count", "Unit Cost", "Total Unit Value"})
        r += header(label);
    r += "</tr>";
    for (const auto &v : rows)
        r += row(v);
    r += "</table><br>"
         R"(<div align = "Right">)"
         "<table border=1 bordercolor=black cellspacing=0 width=20%>"
         "<br><tr>"
         R"(<th> <font size="4" color="0000aa">Total Inventory Value <font></th>)"
         "</tr><tr>"
         R"(<td align = "center"><font color="cc000"><b>  &nbsp;)" +
         total +
         "  </b></font></td>"
         "</tr></table></div>"
         "<br> End of Report </body></html>";
    return r;
}

// Column order of the four choices, and the two worked-example rows in that order.
struct Choice
{
    QStringList labels;
    QList<QByteArray> bolt;
    QList<QByteArray> nut;
};

inline Choice workedExample(int choice)
{
    const QList<QByteArray> tail1{"101", "$.25", "$25.25"};
    const QList<QByteArray> tail2{"3", "$1,234.50", "$3,703.50"};
    switch (choice) {
    case 1:
        return {{"Vendor", "Item Name", "Date", "Item Number"},
                QList<QByteArray>{"Acme", "Bolt", "3/1/2004", "B-10"} + tail1,
                QList<QByteArray>{"Acme", "Nut", "3/2/2004", "N-7"} + tail2};
    case 2:
        return {{"Date", "Item Name", "Vendor", "Item Number"},
                QList<QByteArray>{"3/1/2004", "Bolt", "Acme", "B-10"} + tail1,
                QList<QByteArray>{"3/2/2004", "Nut", "Acme", "N-7"} + tail2};
    case 3:
        return {{"Item Number", "Item Name", "Vendor", "Date"},
                QList<QByteArray>{"B-10", "Bolt", "Acme", "3/1/2004"} + tail1,
                QList<QByteArray>{"N-7", "Nut", "Acme", "3/2/2004"} + tail2};
    default:
        return {{"Item Name", "Vendor", "Date", "Item Number"},
                QList<QByteArray>{"Bolt", "Acme", "3/1/2004", "B-10"} + tail1,
                QList<QByteArray>{"Nut", "Acme", "3/2/2004", "N-7"} + tail2};
    }
}

inline QByteArray workedExampleReport(int choice)
{
    const Choice c = workedExample(choice);
    return report(c.labels, {c.bolt, c.nut}, "$3,728.75");
}

} // namespace expected
