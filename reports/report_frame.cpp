#include "reports/report_frame.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "base/clock.h"
#include "base/text.h"
#include "run/run_settings.h"
#include "run/run_start.h"
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
    std::string head;
    const auto line = [&head](const std::string& text) { head += text + "\r\n"; };
    line("<HTML>");
    line("<HEAD>");
    line("\t<TITLE>" + texts.Title + "</TITLE>");
    // The style sheet stands after the head's end, and A:hover comes twice: pages
    // that operators already know look like this.
    line("</HEAD>");
    line("<STYLE>");
    line("A:link");
    line("{");
    line("\tCOLOR: navy;");
    line("\tTEXT-DECORATION: none");
    line("}");
    line("A:hover");
    line("{");
    line("\tTEXT-DECORATION: underline");
    line("}");
    line("A:visited");
    line("{");
    line("\tCOLOR: navy;");
    line("\tTEXT-DECORATION: none");
    line("}");
    line("A:hover");
    line("{");
    line("\tCOLOR: navy;");
    line("\tTEXT-DECORATION: underline");
    line("}");
    line("HR");
    line("{");
    line("\tCOLOR: #990033;");
    line("\tHEIGHT: 1px;");
    line("\tMARGIN-TOP: 0px;");
    line("\tWIDTH: 97%");
    line("}");
    line("BODY");
    line("{");
    line("\tBACKGROUND-ATTACHMENT: fixed;");
    line("\tBACKGROUND-COLOR: #ffedd5;");
    line("\tCOLOR: #990033;");
    line("\tFONT-FAMILY: sans-serif;");
    line("\tFONT-SIZE: 8pt");
    line("}");
    line("Table");
    line("{");
    line("\tCOLOR: #990033;");
    line("\tFONT-FAMILY: sans-serif;");
    line("\tFONT-SIZE: 8pt;");
    line("\tMARGIN-LEFT: 10px;");
    line("}");
    line("</STYLE>");
    line("<BODY>");
    line("<P align=center><B><FONT SIZE=2 FACE=\"Times New Roman\" COLOR=\"#990033\">" +
         texts.Heading + "</FONT></B></P>");
    line("<A NAME=\"up_top\"></A>");
    line("<TABLE WIDTH=95%>");
    line("<TR>");
    line("<TD ALIGN=center><TT><b>Report Generated On :</b>&nbsp;" + FormatLongDate(runStartDate) +
         "</TT></TD>");
    line("</TR>");
    line("<TR>");
    line(
        "<TD ALIGN=center><TT><b>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;At "
        ":&nbsp;</b>" +
        FormatLongTime(runStartTime) + "</TT></td>");
    line("</TR>");
    line("</TABLE>");
    line("<HR><BR>");
    // The CENTER opened here is closed by the foot.
    line("<CENTER>");
    line("<TABLE border=0 WIDTH =95%>");
    line("<TR>");
    line("<TD><B>Server</B>&nbsp" + HtmlEscape(serverName) + "</TD>");
    line("<TD align = Right><A HREF=\"" + texts.FirstLinkTarget + "\"><B>" + texts.FirstLinkText +
         "</B></A></TD>");
    line("</TR>");
    line("<TR>");
    line("<TD><B>Database</B>&nbsp" + HtmlEscape(databaseName) + "</TD>");
    line("<TD ALIGN = Right><A HREF=\"" + texts.SecondLinkTarget + "\"><B>" + texts.SecondLinkText +
         "</B></A></TD>");
    line("</TR>");
    line("</TABLE>");
    line("<BR>");
    return head;
}

std::optional<std::string> BuildReportHead(Connection& connection, const ReportHeadTexts& texts) {
    try {
        const std::string server = TrimBlanks(NullToText(connection.Property("Data Source"), ""));
        const std::string database = TrimBlanks(connection.DefaultDatabase());
        return ReportHeadText(texts, server, database, RunStartDate, RunStartTime);
    } catch (const std::exception& error) {
        MessageText += error.what();
        MessageText += "\r\n";
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
