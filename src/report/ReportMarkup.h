#pragma once

// The fixed texts of the report file, shared by the writer that puts them together and the
// reader that takes a written report apart again.
namespace tv::markup {

constexpr const char *kPiece1 = "<html><head><title>Inventory Report</title></head><body>";
constexpr const char *kPiece2 = R"(<center><font size="5"><b>Inventory Report</b></font><br>)";
constexpr const char *kPiece3 = "<br><table border=1 bordercolor=black cellspacing=0 width=100%>";
constexpr const char *kRowOpen = "<tr>";
constexpr const char *kRowClose = "</tr>";
constexpr const char *kHeaderOpen = R"(<th><font size="4" color="0000aa">)";
constexpr const char *kHeaderClose = "</font></th>";
constexpr const char *kPieces8To14 = "</table><br>"
                                     R"(<div align = "Right">)"
                                     "<table border=1 bordercolor=black cellspacing=0 width=20%>"
                                     "<br><tr>"
                                     R"(<th> <font size="4" color="0000aa">Total Inventory Value <font></th>)"
                                     "</tr>"
                                     "<tr>";
constexpr const char *kTotalOpen = R"(<td align = "center"><font color="cc000"><b>  &nbsp;)";
constexpr const char *kTotalClose = "  </b></font></td>";
constexpr const char *kPieces16To18 = "</tr></table></div>";
constexpr const char *kPiece19 = "<br> End of Report </body></html>";

constexpr const char *kCellOpen = R"(<td align = "center"><b> &nbsp;)";
constexpr const char *kCellCloseWide = "  </b></td>";
constexpr const char *kCellCloseNarrow = " </b></td>";
constexpr const char *kCostOpen = R"(<td align = "center"><b>  &nbsp;)";
constexpr const char *kValueOpen = R"(<td align = "center"><font color="00bb00"><b>  &nbsp;)";
constexpr const char *kValueClose = "  </b></font></td>";

} // namespace tv::markup
