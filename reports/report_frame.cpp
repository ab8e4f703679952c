#include "reports/report_frame.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "base/clock.h"
#include "base/text.h"
#include "run/process_state.h"
#include "run/run_settings.h"
#include "warehouse/database_access.h"

namespace varnel {

namespace {

const char* Stem(ReportKind kind) {
    switch (kind) {
        case ReportKind::Summary:
            return "SummaryReport";
        case ReportKind::Detailed:
            return "DetailedReport";
        case ReportKind::TableFilter:
            return "TableFilterReport";
    }
    return "";
}

// The report head, one entry a line; ${name} marks where a value goes. The style
// sheet stands after the head's end, and A:hover comes twice: pages that operators
// already know look like this. The CENTER opened near the end is closed by the foot.
constexpr std::string_view kHeadLines[] = {
    "<HTML>",
    "<HEAD>",
    "\t<TITLE>${title}</TITLE>",
    "</HEAD>",
    "<STYLE>",
    "A:link",
    "{",
    "\tCOLOR: navy;",
    "\tTEXT-DECORATION: none",
    "}",
    "A:hover",
    "{",
    "\tTEXT-DECORATION: underline",
    "}",
    "A:visited",
    "{",
    "\tCOLOR: navy;",
    "\tTEXT-DECORATION: none",
    "}",
    "A:hover",
    "{",
    "\tCOLOR: navy;",
    "\tTEXT-DECORATION: underline",
    "}",
    "HR",
    "{",
    "\tCOLOR: #990033;",
    "\tHEIGHT: 1px;",
    "\tMARGIN-TOP: 0px;",
    "\tWIDTH: 97%",
    "}",
    "BODY",
    "{",
    "\tBACKGROUND-ATTACHMENT: fixed;",
    "\tBACKGROUND-COLOR: #ffedd5;",
    "\tCOLOR: #990033;",
    "\tFONT-FAMILY: sans-serif;",
    "\tFONT-SIZE: 8pt",
    "}",
    "Table",
    "{",
    "\tCOLOR: #990033;",
    "\tFONT-FAMILY: sans-serif;",
    "\tFONT-SIZE: 8pt;",
    "\tMARGIN-LEFT: 10px;",
    "}",
    "</STYLE>",
    "<BODY>",
    "<P align=center><B><FONT SIZE=2 FACE=\"Times New Roman\" COLOR=\"#990033\">${heading}"
    "</FONT></B></P>",
    "<A NAME=\"up_top\"></A>",
    "<TABLE WIDTH=95%>",
    "<TR>",
    "<TD ALIGN=center><TT><b>Report Generated On :</b>&nbsp;${date}</TT></TD>",
    "</TR>",
    "<TR>",
    "<TD ALIGN=center><TT><b>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;At "
    ":&nbsp;</b>${time}</TT></td>",
    "</TR>",
    "</TABLE>",
    "<HR><BR>",
    "<CENTER>",
    "<TABLE border=0 WIDTH =95%>",
    "<TR>",
    "<TD><B>Server</B>&nbsp${server}</TD>",
    "<TD align = Right><A HREF=\"${first_target}\"><B>${first_text}</B></A></TD>",
    "</TR>",
    "<TR>",
    "<TD><B>Database</B>&nbsp${database}</TD>",
    "<TD ALIGN = Right><A HREF=\"${second_target}\"><B>${second_text}</B></A></TD>",
    "</TR>",
    "</TABLE>",
    "<BR>",
};

struct HeadValue {
    std::string_view Name;
    std::string Text;
};

// Appends the line with each ${name} replaced by its value. Values are not scanned
// again, so a value may hold "${" itself.
void AppendFilled(std::string& out, std::string_view line, const std::vector<HeadValue>& values) {
    std::size_t from = 0;
    for (std::size_t mark = line.find("${"); mark != std::string_view::npos;
         mark = line.find("${", from)) {
        const std::size_t close = line.find('}', mark);
        const std::string_view name = line.substr(mark + 2, close - mark - 2);
        const auto value = std::find_if(values.begin(), values.end(),
                                        [name](const HeadValue& v) { return v.Name == name; });
        if (close == std::string_view::npos || value == values.end())
            throw std::logic_error("The report head names no value " + std::string(name) + ".");
        out.append(line.substr(from, mark - from));
        out += value->Text;
        from = close + 1;
    }
    out.append(line.substr(from));
    out += "\r\n";
}

}  // namespace

std::string ReportLinkTarget(ReportKind kind, const Timestamp& runStartDate,
                             const Timestamp& runStartTime) {
    return std::string(Stem(kind)) + FormatFileDate(runStartDate) + FormatFileTime(runStartTime) +
           ".html";
}

std::string ReportFilePath(const std::string& directory, ReportKind kind,
                           const Timestamp& runStartDate, const Timestamp& runStartTime) {
    return directory + "/" + ReportLinkTarget(kind, runStartDate, runStartTime);
}

std::string HtmlEscape(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string ReportHeadText(const ReportHeadTexts& texts, const std::string& serverName,
                           const std::string& databaseName, const Timestamp& runStartDate,
                           const Timestamp& runStartTime) {
    const std::vector<HeadValue> values = {
        {"title", texts.Title},
        {"heading", texts.Heading},
        {"date", FormatLongDate(runStartDate)},
        {"time", FormatLongTime(runStartTime)},
        {"server", HtmlEscape(serverName)},
        {"database", HtmlEscape(databaseName)},
        {"first_target", texts.FirstLinkTarget},
        {"first_text", texts.FirstLinkText},
        {"second_target", texts.SecondLinkTarget},
        {"second_text", texts.SecondLinkText},
    };
    std::string head;
    for (const std::string_view line : kHeadLines) AppendFilled(head, line, values);
    return head;
}

std::optional<std::string> BuildReportHead(ProcessState& state, Connection& connection,
                                           const ReportHeadTexts& texts) {
    try {
        const std::string server = TrimBlanks(NullToText(connection.Property("Data Source"), ""));
        const std::string database = TrimBlanks(connection.DefaultDatabase());
        return ReportHeadText(texts, server, database, state.RunStartDate, state.RunStartTime);
    } catch (const std::exception& error) {
        state.MessageText += error.what();
        state.MessageText += "\r\n";
        return std::nullopt;
    }
}

std::string BuildReportFoot() {
    return "</TABLE>\r\n"
           "<BR>\r\n"
           "<HR><BR>\r\n"
           "<TABLE WIDTH=95%>\r\n"
           "<TR>\r\n"
           "<TD ALIGN=right><A HREF=\"#up_top\"><B>Top</B></A></TD>\r\n"
           "</TR>\r\n"
           "</TABLE>\r\n"
           "</CENTER>\r\n"
           "</BODY>\r\n"
           "</HTML>";
}

ReportFile::ReportFile(std::string path) : path_(std::move(path)) {
    errno = 0;
    out_.open(path_, std::ios::binary | std::ios::trunc);
    if (!out_) {
        const int error = errno;
        throw std::runtime_error("The report file " + path_ + " could not be created" +
                                 (error != 0 ? std::string(": ") + std::strerror(error) : "") +
                                 ".");
    }
}

void ReportFile::Write(const std::string& piece) {
    out_ << piece << "\r\n";
    if (!out_) throw std::runtime_error("The report file " + path_ + " could not be written.");
}

void ReportFile::Close() {
    out_.close();
    if (!out_) throw std::runtime_error("The report file " + path_ + " could not be written.");
}

}  // namespace varnel
