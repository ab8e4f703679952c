#include "reports/reports.h"

#include <limits>
#include <stdexcept>

#include "base/text.h"
#include "reports/report_frame.h"
#include "reports/report_pieces.h"
#include "reports/report_statements.h"
#include "run/process_state.h"
#include "run/progress_window.h"
#include "run/run_settings.h"
#include "warehouse/database_access.h"
#include "warehouse/engine_error.h"

namespace varnel {

namespace {

bool Fail(ProcessState& state, const std::exception& error, const std::string& table = "") {
    state.MessageText += DescribeStepError(
        error, table.empty() ? "Writing the reports" : "Reporting on table " + table);
    state.MessageText += "\r\n";
    return false;
}

// Counts are 32-bit; a larger one is an overflow, not a wrapped number.
std::int32_t ToCount(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        throw std::overflow_error("Overflow");
    return static_cast<std::int32_t>(value);
}

std::int32_t SingleCount(Connection& connection, const std::string& sql) {
    auto result = connection.Query(sql);
    if (!result.Next()) throw std::runtime_error("No value came back for: " + sql);
    return ToCount(result.GetInt(0).value_or(0));
}

void AdvanceReportProgress(ProgressWindow& window) {
    window.ProgressVal(window.ProgressVal() + 1);
    window.Refresh();
}

// Shows what comes next and tells whether the operator has cancelled.
bool CancelledBefore(ProgressWindow& window, const std::string& comment) {
    window.Comment(comment);
    return window.CheckCancelState();
}

std::string Link(const ProcessState& state, ReportKind kind) {
    return ReportLinkTarget(kind, state.RunStartDate, state.RunStartTime);
}

std::string PathOf(const ProcessState& state, const std::string& directory, ReportKind kind) {
    return ReportFilePath(directory, kind, state.RunStartDate, state.RunStartTime);
}

}  // namespace

void UnusedCounts::Add(const std::string& table, std::int32_t count) {
    if (Find(table)) throw std::runtime_error("The table " + table + " is listed twice.");
    entries_.emplace_back(table, count);
}

std::optional<std::int32_t> UnusedCounts::Find(const std::string& table) const {
    for (const auto& [name, count] : entries_)
        if (name == table) return count;
    return std::nullopt;
}

bool WriteReports(TaskContext& context) {
    ProcessState& state = context.State;
    ProgressWindow& window = context.Progress;
    const std::string& reportDirectory = context.Settings.LogDirectory;
    // The counts live only for this call, whatever its outcome.
    UnusedCounts counts;
    try {
        if (!state.WarehouseConnection)
            throw std::runtime_error("Connection to the data warehouse not available.");
        Connection& connection = *state.WarehouseConnection;
        if (!InitReportProgress(context, connection)) return false;
        // A cancel takes effect between the pages only: a page being written is finished.
        if (CancelledBefore(window, "Generating summary report")) return false;
        if (!WriteSummaryReport(context, connection, reportDirectory, counts)) return false;
        if (CancelledBefore(window, "Generating detailed report")) return false;
        if (!WriteDetailedReport(context, connection, reportDirectory, counts)) return false;
        if (CancelledBefore(window, "Generating table filter report")) return false;
        if (!WriteTableFilterReport(context, connection, reportDirectory)) return false;
        return ResetReportProgress(context);
    } catch (const std::exception& error) {
        return Fail(state, error);
    }
}

bool InitReportProgress(TaskContext& context, Connection& connection) {
    try {
        const std::int64_t dimensions = SingleCount(connection, DimensionCountStatement());
        const std::int64_t reported = SingleCount(connection, ReportedTableCountStatement());
        // One step per table each page visits: summary and detailed page per
        // dimension, table filter page per fact table and selected dimension.
        const std::int32_t total = ToCount(2 * dimensions + reported);
        StartProgressBar(context.Progress, total);
        return true;
    } catch (const std::exception& error) {
        return Fail(context.State, error);
    }
}

bool ResetReportProgress(TaskContext& context) {
    ResetProgressBar(context.Progress);
    return true;
}

std::optional<Result> OpenDimensionTableList(ProcessState& state, Connection& connection) {
    try {
        return connection.Query(DimensionTableListStatement());
    } catch (const std::exception& error) {
        Fail(state, error);
        return std::nullopt;
    }
}

std::optional<std::int32_t> CountUnusedRecords(ProcessState& state, Connection& connection,
                                               const std::string& table) {
    try {
        if (!ColumnExists(connection, table, "is_deletable", state.MessageText)) return -1;
        return SingleCount(connection, CountUnusedRecordsStatement(table));
    } catch (const std::exception& error) {
        Fail(state, error, table);
        return std::nullopt;
    }
}

std::optional<std::vector<std::string>> GetKeyColumns(ProcessState& state, Connection& connection,
                                                      const std::string& table) {
    try {
        std::string orgPkey;
        {
            auto result = connection.Query(KeyColumnsStatement(table));
            if (!result.Next())
                throw std::runtime_error("The table " + table + " has no row in dwm_tables.");
            if (!result.Get(0))
                throw std::runtime_error("The key columns (org_pkey) of the table " + table +
                                         " are Null in dwm_tables.");
            orgPkey = *result.Get(0);
        }
        std::vector<std::string> keys;
        const auto append = [&keys, &table](const std::string& column) {
            for (const auto& key : keys) {
                if (EqualsIgnoringCase(key, column))
                    throw std::runtime_error("The key column " + column + " of the table " + table +
                                             " is listed more than once.");
            }
            keys.push_back(column);
        };
        for (const auto& column : SplitCommaList(orgPkey, ListPieces::Trimmed))
            if (ColumnExists(connection, table, column, state.MessageText)) append(column);
        if (ColumnExists(connection, table, "surkey", state.MessageText)) append("surkey");
        return keys;
    } catch (const std::exception& error) {
        Fail(state, error, table);
        return std::nullopt;
    }
}

std::optional<Result> OpenMarkedRecords(ProcessState& state, Connection& connection,
                                        const std::string& table,
                                        const std::vector<std::string>& keys) {
    try {
        // A statement without columns could only fail on the server, with a message
        // that does not name the cause.
        if (keys.empty())
            throw std::runtime_error("The table " + table +
                                     " has no key column: none of its org_pkey columns exists "
                                     "and it has no surkey column.");
        return connection.Query(MarkedRecordsStatement(table, keys));
    } catch (const std::exception& error) {
        Fail(state, error, table);
        return std::nullopt;
    }
}

bool WriteSummaryReport(TaskContext& context, Connection& connection,
                        const std::string& reportDirectory, UnusedCounts& counts) {
    ProcessState& state = context.State;
    try {
        ReportFile file(PathOf(state, reportDirectory, ReportKind::Summary));
        const auto head = BuildReportHead(
            state, connection,
            {"Summary report on unused dimension table elements",
             "Summary report on unused dimension table elements marked to be deleted",
             Link(state, ReportKind::Detailed), "Detailed report",
             Link(state, ReportKind::TableFilter), "Table filter report"});
        if (!head) return false;
        file.Write(*head + SummaryTableHeader());
        auto tables = OpenDimensionTableList(state, connection);
        if (!tables) return false;
        while (tables->Next()) {
            const std::string table = NullToText(tables->Get(0), "");
            if (TableExists(connection, table)) {
                const auto count = CountUnusedRecords(state, connection, table);
                if (!count) return false;
                file.Write(SummaryRow(table, *count));
                counts.Add(table, *count);
            }
            AdvanceReportProgress(context.Progress);
        }
        file.Write(BuildReportFoot());
        file.Close();
        return true;
    } catch (const std::exception& error) {
        return Fail(state, error);
    }
}

bool WriteDetailedReport(TaskContext& context, Connection& connection,
                         const std::string& reportDirectory, const UnusedCounts& counts) {
    ProcessState& state = context.State;
    try {
        ReportFile file(PathOf(state, reportDirectory, ReportKind::Detailed));
        const auto head = BuildReportHead(
            state, connection,
            {"Detailed report on unused dimension table elements",
             "Detailed report on unused dimension table elements marked to be deleted",
             Link(state, ReportKind::Summary), "Summary report",
             Link(state, ReportKind::TableFilter), "Table filter report"});
        if (!head) return false;
        file.Write(*head + DetailedTableHeader());
        std::vector<std::optional<std::string>> values;
        for (const auto& [table, count] : counts) {
            if (count != 0) {
                const auto keys = GetKeyColumns(state, connection, table);
                if (!keys) return false;
                file.Write(DetailedKeyPiece(table, *keys));
                file.Write(DetailedSpanPiece(count));
                auto marked = OpenMarkedRecords(state, connection, table, *keys);
                if (!marked) return false;
                // One row at a time from the cursor to the file: a table with a
                // million marked rows costs no more memory than one with ten.
                bool first = true;
                while (marked->Next()) {
                    values.clear();
                    for (std::size_t i = 0; i < marked->ColumnCount(); ++i)
                        values.push_back(marked->Get(i));
                    file.Write(DetailedRowPiece(values, first));
                    first = false;
                }
            }
            AdvanceReportProgress(context.Progress);
        }
        file.Write(BuildReportFoot());
        file.Close();
        return true;
    } catch (const std::exception& error) {
        return Fail(state, error);
    }
}

bool WriteTableFilterReport(TaskContext& context, Connection& connection,
                            const std::string& reportDirectory) {
    ProcessState& state = context.State;
    try {
        // Both lists are opened before the file exists: a failure leaves no file.
        auto dimensions = connection.Query(SelectedDimensionsStatement());
        auto facts = connection.Query(FactFiltersStatement());
        ReportFile file(PathOf(state, reportDirectory, ReportKind::TableFilter));
        const auto head = BuildReportHead(
            state, connection,
            {"Report on table filters", "Report on table filters", Link(state, ReportKind::Summary),
             "Summary report", Link(state, ReportKind::Detailed), "Detailed report"});
        if (!head) return false;
        file.Write(*head + FactTableHeader());
        while (facts.Next()) {
            const std::string table = NullToText(facts.Get(0), "");
            if (TableExists(connection, table))
                file.Write(FactRow(table, NullToText(facts.Get(1), "")));
            AdvanceReportProgress(context.Progress);
        }
        file.Write(SelectedDimensionsHeader());
        while (dimensions.Next()) {
            const std::string table = NullToText(dimensions.Get(0), "");
            if (TableExists(connection, table)) file.Write(SelectedDimensionRow(table));
            AdvanceReportProgress(context.Progress);
        }
        file.Write(BuildReportFoot());
        file.Close();
        return true;
    } catch (const std::exception& error) {
        return Fail(state, error);
    }
}

}  // namespace varnel
