#pragma once

// The frame the three report pages share: the head with the run's date and the
// links to the sibling pages, the foot, the file names and the way pieces reach a
// report file.

#include <fstream>
#include <optional>
#include <string>

#include "run/process_state.h"
#include "warehouse/odbc.h"

namespace varnel {

//! The three pages of one run.
enum class ReportKind { Summary, Detailed, TableFilter };

//! The file name by which the sibling pages link to a page: stem, "dd-mm-yyyy",
//! "hh-mm-ss", ".html", e.g. "SummaryReport07-03-200509-05-03.html".
std::string ReportLinkTarget(ReportKind kind, const Timestamp& runStartDate,
                             const Timestamp& runStartTime);

//! Where a page is written: the directory, one separator, the link target. A
//! directory that ends in a separator gets a second one, which names the same file.
std::string ReportFilePath(const std::string& directory, ReportKind kind,
                           const Timestamp& runStartDate, const Timestamp& runStartTime);

//! The text with '&', '<', '>' and '"' written as HTML entities, so a value from the
//! warehouse shows as written and cannot add markup to a page.
std::string HtmlEscape(const std::string& text);

//! What a report hands to the head, in the head's order. These are the pages' own
//! fixed texts and file names and go in as they stand.
struct ReportHeadTexts {
    std::string Title;
    std::string Heading;
    std::string FirstLinkTarget;
    std::string FirstLinkText;
    std::string SecondLinkTarget;
    std::string SecondLinkText;
};

//! The head text, every line ended by CR LF; server and database are escaped.
std::string ReportHeadText(const ReportHeadTexts& texts, const std::string& serverName,
                           const std::string& databaseName, const Timestamp& runStartDate,
                           const Timestamp& runStartTime);

//! The head for the warehouse connection and the run's start (RunStartDate and
//! RunStartTime). On failure the description + CR LF goes to MessageText and
//! nothing comes back.
std::optional<std::string> BuildReportHead(ProcessState& state, Connection& connection,
                                           const ReportHeadTexts& texts);

//! The foot: closes the page's last table and links back to the top. Its last line
//! has no CR LF; the write adds it.
std::string BuildReportFoot();

//! A report file open for output (created, or emptied when it exists). Every piece
//! is written followed by CR LF; the file is closed on every way out. Failures throw.
class ReportFile {
  public:
    explicit ReportFile(std::string path);
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    void Write(const std::string& piece);
    //! Closes the file and makes sure everything reached it.
    void Close();
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::ofstream out_;
};

}  // namespace varnel
