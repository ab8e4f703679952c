#include "reports/reports.h"

#include <limits>
#include <stdexcept>

#include "base/text.h"
#include "reports/report_frame.h"
#include "reports/report_pieces.h"
#include "reports/report_statements.h"
#include "run/progress_window.h"
#include "run/run_settings.h"
#include "run/run_start.h"
#include "warehouse/connections.h"
#include "warehouse/database_access.h"
#include "warehouse/engine_error.h"

namespace varnel {

namespace {

bool Fail(const std::exception& error, const std::string& table = "") {
    MessageText += DescribeTableError(error, table);
    MessageText += "\r\n";
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

void AdvanceReportProgress() {
    if (ProgressWindow* window = ActiveProgressWindow()) {
        window->ProgressVal(window->ProgressVal() + 1);
        window->Refresh();
    }
}

// Shows what comes next and tells whether the operator has cancelled.
bool CancelledBefore(const std::string& comment) {
    ProgressWindow* window = ActiveProgressWindow();
    if (!window) return false;
    window->Comment(comment);
    return window->CheckCancelState();
}

std::string Link(ReportKind kind) {
    return ReportLinkTarget(kind, RunStartDate, RunStartTime);
}

std::string PathOf(const std::string& directory, ReportKind kind) {
    return ReportFilePath(directory, kind, RunStartDate, RunStartTime);
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

bool WriteReports(const std::string& reportDirectory) {
    // The counts live only for this call, whatever its outcome.
    UnusedCounts counts;
    try {
        if (!WarehouseConnection)
            throw std::runtime_error("Connection to the data warehouse not available.");
        Connection& connection = *WarehouseConnection;
        if (!InitReportProgress(connection)) return false;
        // A cancel takes effect between the pages only: a page being written is finished.
        if (CancelledBefore("Generating summary report")) return false;
        if (!WriteSummaryReport(connection, reportDirectory, counts)) return false;
        if (CancelledBefore("Generating detailed report")) return false;
        if (!WriteDetailedReport(connection, reportDirectory, counts)) return false;
        if (CancelledBefore("Generating table filter report")) return false;
        if (!WriteTableFilterReport(connection, reportDirectory)) return false;
        return ResetReportProgress();
    } catch (const std::exception& error) {
        return Fail(error);
    }
}

bool InitReportProgress(Connection& connection) {
    try {
        const std::int64_t dimensions = SingleCount(connection, DimensionCountStatement());
        const std::int64_t reported = SingleCount(connection, ReportedTableCountStatement());
        // One step per table each page visits: summary and detailed page per
        // dimension, table filter page per fact table and selected dimension.
        const std::int32_t total = ToCount(2 * dimensions + reported);
        StartProgressBar(total);
        return true;
    } catch (const std::exception& error) {
        return Fail(error);
    }
}

bool ResetReportProgress() {
    ResetProgressBar();
    return true;
}

std::optional<Result> OpenDimensionTableList(Connection& connection) {
    try {
        return connection.Query(DimensionTableListStatement());
    } catch (const std::exception& error) {
        Fail(error);
        return std::nullopt;
    }
}

std::optional<std::int32_t> CountUnusedRecords(Connection& connection, const std::string& table) {
    try {
        if (!ColumnExists(connection, table, "is_deletable")) return -1;
        return SingleCount(connection, CountUnusedRecordsStatement(table));
    } catch (const std::exception& error) {
        Fail(error, table);
        return std::nullopt;
    }
}

std::optional<std::vector<std::string>> GetKeyColumns(Connection& connection,
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
            if (ColumnExists(connection, table, column)) append(column);
        if (ColumnExists(connection, table, "surkey")) append("surkey");
        return keys;
    } catch (const std::exception& error) {
        Fail(error, table);
        return std::nullopt;
    }
}

std::optional<Result> OpenMarkedRecords(Connection& connection, const std::string& table,
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
        Fail(error, table);
        return std::nullopt;
    }
}

bool WriteSummaryReport(Connection& connection, const std::string& reportDirectory,
                        UnusedCounts& counts) {
    try {
        ReportFile file(PathOf(reportDirectory, ReportKind::Summary));
        const auto head = BuildReportHead(
            connection, {"Summary report on unused dimension table elements",
                         "Summary report on unused dimension table elements marked to be deleted",
                         Link(ReportKind::Detailed), "Detailed report",
                         Link(ReportKind::TableFilter), "Table filter report"});
        if (!head) return false;
        file.Write(*head + SummaryTableHeader());
        auto tables = OpenDimensionTableList(connection);
        if (!tables) return false;
        while (tables->Next()) {
            const std::string table = NullToText(tables->Get(0), "");
            if (TableExists(connection, table)) {
                const auto count = CountUnusedRecords(connection, table);
                if (!count) return false;
                file.Write(SummaryRow(table, *count));
                counts.Add(table, *count);
            }
            AdvanceReportProgress();
        }
        file.Write(BuildReportFoot());
        file.Close();
        return true;
    } catch (const std::exception& error) {
        return Fail(error);
    }
}

bool WriteDetailedReport(Connection& connection, const std::string& reportDirectory,
                         const UnusedCounts& counts) {
    try {
        ReportFile file(PathOf(reportDirectory, ReportKind::Detailed));
        const auto head = BuildReportHead(
            connection, {"Detailed report on unused dimension table elements",
                         "Detailed report on unused dimension table elements marked to be deleted",
                         Link(ReportKind::Summary), "Summary report", Link(ReportKind::TableFilter),
                         "Table filter report"});
        if (!head) return false;
        file.Write(*head + DetailedTableHeader());
        std::vector<std::optional<std::string>> values;
        for (const auto& [table, count] : counts) {
            if (count != 0) {
                const auto keys = GetKeyColumns(connection, table);
                if (!keys) return false;
                file.Write(DetailedKeyPiece(table, *keys));
                file.Write(DetailedSpanPiece(count));
                auto marked = OpenMarkedRecords(connection, table, *keys);
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
            AdvanceReportProgress();
        }
        file.Write(BuildReportFoot());
        file.Close();
        return true;
    } catch (const std::exception& error) {
        return Fail(error);
    }
}

bool WriteTableFilterReport(Connection& connection, const std::string& reportDirectory) {
    try {
        // Both lists are opened before the file exists: a failure leaves no file.
        auto dimensions = connection.Query(SelectedDimensionsStatement());
        auto facts = connection.Query(FactFiltersStatement());
        ReportFile file(PathOf(reportDirectory, ReportKind::TableFilter));
        const auto head =
            BuildReportHead(connection, {"Report on table filters", "Report on table filters",
                                         Link(ReportKind::Summary), "Summary report",
                                         Link(ReportKind::Detailed), "Detailed report"});
        if (!head) return false;
        file.Write(*head + FactTableHeader());
        while (facts.Next()) {
            const std::string table = NullToText(facts.Get(0), "");
            if (TableExists(connection, table))
                file.Write(FactRow(table, NullToText(facts.Get(1), "")));
            AdvanceReportProgress();
        }
        file.Write(SelectedDimensionsHeader());
        while (dimensions.Next()) {
            const std::string table = NullToText(dimensions.Get(0), "");
            if (TableExists(connection, table)) file.Write(SelectedDimensionRow(table));
            AdvanceReportProgress();
        }
        file.Write(BuildReportFoot());
        file.Close();
        return true;
    } catch (const std::exception& error) {
        return Fail(error);
    }
}

}  // namespace varnel
