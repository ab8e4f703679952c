#pragma once

// The report task: the summary, detailed and table filter pages of one run, and
// the steps it is made of. Each step answers true on success; on failure it leaves
// its description + CR LF in MessageText (the first failure only) and answers false
// or nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "run/process_state.h"
#include "run/task_context.h"
#include "warehouse/odbc.h"

namespace varnel {

//! The number of marked rows per dimension table (-1 for a table without
//! is_deletable), in the order the tables were added; names compare exactly.
class UnusedCounts {
  public:
    using Entry = std::pair<std::string, std::int32_t>;

    //! Adds a table; a table added twice is an error (throws).
    void Add(const std::string& table, std::int32_t count);
    std::optional<std::int32_t> Find(const std::string& table) const;
    std::size_t Size() const { return entries_.size(); }
    std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
    std::vector<Entry>::const_iterator end() const { return entries_.end(); }

  private:
    std::vector<Entry> entries_;
};

//! The report task: writes the summary, detailed and table filter reports into
//! the log directory of the settings.
bool WriteReports(TaskContext& context);

//! Sets the progress bar for the tables the three reports visit.
bool InitReportProgress(TaskContext& context, Connection& connection);
//! The summary page: every existing dimension table with its count, which also
//! goes into the counts.
bool WriteSummaryReport(TaskContext& context, Connection& connection,
                        const std::string& reportDirectory, UnusedCounts& counts);
//! The detailed page: key columns and marked key values of every table whose
//! count is not 0, in the counts' order. Marked rows are streamed to the file.
bool WriteDetailedReport(TaskContext& context, Connection& connection,
                         const std::string& reportDirectory, const UnusedCounts& counts);
//! The table filter page: every fact table's condition and the selected dimensions.
bool WriteTableFilterReport(TaskContext& context, Connection& connection,
                            const std::string& reportDirectory);
//! Empties the progress bar and the comment.
bool ResetReportProgress(TaskContext& context);

//! The dimension table names of the metadata.
std::optional<Result> OpenDimensionTableList(ProcessState& state, Connection& connection);
//! The number of the table's marked rows; -1, without a statement, when it has no
//! is_deletable column.
std::optional<std::int32_t> CountUnusedRecords(ProcessState& state, Connection& connection,
                                               const std::string& table);
//! The table's key columns: the org_pkey columns that exist in it, then surkey when
//! it has one. A missing or Null org_pkey and a repeated column are failures.
std::optional<std::vector<std::string>> GetKeyColumns(ProcessState& state, Connection& connection,
                                                      const std::string& table);
//! The key values of the table's marked rows, sorted by the keys.
std::optional<Result> OpenMarkedRecords(ProcessState& state, Connection& connection,
                                        const std::string& table,
                                        const std::vector<std::string>& keys);

}  // namespace varnel
