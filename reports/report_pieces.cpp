#include "reports/report_pieces.h"

#include "reports/report_frame.h"

namespace varnel {

namespace {

constexpr const char* kDataTable =
    "<TABLE bgColor=#eeecdf border=1 borderColor=#808080 borderColorLight=#990033\r\n";

}  // namespace

std::string SummaryTableHeader() {
    return std::string(kDataTable) +
           "cellPadding=2 width=\"50%\">\r\n"
           "<TBODY>\r\n"
           "<TR>\r\n"
           "<TD bgColor=#b9b17b width=\"60%\"><B>Dimension\r\n"
           "Table</B></TD>\r\n"
           "<TD bgColor=#b9b17b colSpan=15 width=\"40%\"><B>No. Of Unused Records</B></TD>\r\n"
           "</TR>\r\n";
}

std::string SummaryRow(const std::string& table, std::int32_t count) {
    return "<TR>\r\n\t<TD>" + HtmlEscape(table) + "</TD>\r\n\t<TD><p align=center>" +
           std::to_string(count) + "</FONT></TD>\r\n</TR>";
}

std::string DetailedTableHeader() {
    return std::string(kDataTable) +
           "cellPadding=2 width=\"80%\">\r\n"
           "<TBODY>\r\n"
           "<TR>\r\n"
           "<TD bgColor=#b9b17b width=\"25%\"><B>Dimension table</B></TD>\r\n"
           "<TD bgColor=#b9b17b colSpan=15 width=\"75%\"><B>Key columns</B>\r\n"
           "</TD></TR>\r\n";
}

std::string DetailedKeyPiece(const std::string& table, const std::vector<std::string>& keys) {
    std::string piece = "<TR>\r\n<TD bgColor=#A9A9A9>" + HtmlEscape(table) + "</TD>\r\n";
    for (const auto& key : keys) piece += "<TD bgColor=#A9A9A9>" + HtmlEscape(key) + "</TD>\r\n";
    return piece + "</TR>";
}

std::string DetailedSpanPiece(std::int32_t count) {
    return "<TR><TD rowspan=\"" + std::to_string(count) + "\">&nbsp;</TD>\r\n";
}

std::string DetailedRowPiece(const std::vector<std::optional<std::string>>& values, bool first) {
    std::string piece = first ? "" : "<TR>\r\n";
    for (const auto& value : values) piece += "<TD>" + HtmlEscape(value.value_or("")) + "</TD>\r\n";
    return piece + "</TR>\r\n";
}

std::string FactTableHeader() {
    return std::string(kDataTable) +
           "cellPadding=2 width=\"80%\">\r\n"
           "<TBODY>\r\n"
           "<TR>\r\n"
           "<TD bgColor=#b9b17b width=\"25%\"><B>Fact\r\n"
           "Table</B></TD>\r\n"
           "<TD bgColor=#b9b17b colSpan=15 width=\"75%\"><B>Filter</B></TD>\r\n"
           "</TR>\r\n";
}

std::string FactRow(const std::string& table, const std::string& condition) {
    return "<TR>\r\n\t<TD>" + HtmlEscape(table) + "</TD>\r\n\t<TD>" + HtmlEscape(condition) +
           "</TD>\r\n</TR>";
}

std::string SelectedDimensionsHeader() {
    return std::string("</TABLE>\r\n<BR><BR>\r\n") + kDataTable +
           "cellPadding=2 width=\"30%\">\r\n"
           "<TBODY>\r\n"
           "<TR>\r\n"
           "<TD bgColor=#b9b17b ><B>Selected Dimension\r\n"
           "Tables</B></TD>\r\n"
           "</TR>\r\n";
}

std::string SelectedDimensionRow(const std::string& table) {
    return "<TR>\r\n\t<TD>" + HtmlEscape(table) + "</TD>\r\n</TR>";
}

}  // namespace varnel
