#include "tasks/deletion/deletion.h"

#include <algorithm>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "base/clock.h"
#include "base/text.h"
#include "run/log_stream.h"
#include "run/progress_window.h"
#include "run/run_settings.h"
#include "tasks/deletion/deletion_statements.h"
#include "tasks/deletion/deletion_steps.h"
#include "tasks/deletion/reference_check.h"
#include "warehouse/connections.h"
#include "warehouse/connector.h"
#include "warehouse/database_access.h"
#include "warehouse/engine_error.h"

namespace varnel {

namespace {

std::unique_ptr<JobHistoryRecord>& TaskHistory() {
    static std::unique_ptr<JobHistoryRecord> history;
    return history;
}

// The run log of the running task; null when it writes none.
LogStream*& TaskLog() {
    static LogStream* log = nullptr;
    return log;
}

void AppendError(const std::string& description) {
    MessageText += description;
    MessageText += "\r\n";
}

// Server, database, user, log and job as the marking task describes its run.
void StartHistory(const Connection& warehouse, const std::string& logPath,
                  const std::string& jobId) {
    auto history = std::make_unique<JobHistoryRecord>();
    history->DescribeWarehouse(warehouse);
    history->LogFile = logPath;
    history->JobId = jobId;
    TaskHistory() = std::move(history);
}

// One table in the mode asked for; false when it failed (the step has reported it).
// Atomic mode needs whole elements only where a table keeps versions; any other
// table is deleted plainly.
bool DeleteFromTable(const std::string& table, bool slowlyChanging, bool atomic,
                     Connection& connection) {
    if (atomic && slowlyChanging) return DeleteAtomically(table, connection);
    return DeleteMarkedRows(table, slowlyChanging && !atomic, connection);
}

struct ListedTable {
    std::string Name;
    bool SlowlyChanging = false;
};

// The selected tables, referring tables first. The list is read whole: the order
// depends on every relation, not on the row at hand.
std::vector<ListedTable> TablesInDeletionOrder(Connection& warehouse) {
    std::vector<ListedTable> listed;
    {
        auto tables = warehouse.Query(DeletionTableListQuery(warehouse.Dialect()), 60);
        while (tables.Next()) listed.push_back({tables.Get(0).value_or(""), tables.GetBool(1)});
    }
    std::vector<std::pair<std::string, std::string>> references;
    {
        auto relations = warehouse.Query(RelationTablesQuery(), 60);
        while (relations.Next())
            references.emplace_back(relations.Get(0).value_or(""), relations.Get(1).value_or(""));
    }
    std::vector<std::string> names;
    for (const auto& table : listed) names.push_back(table.Name);
    std::vector<ListedTable> ordered;
    for (const auto& name : ReferringFirst(names, references))
        for (const auto& table : listed)
            if (table.Name == name) {
                ordered.push_back(table);
                break;
            }
    return ordered;
}

void AdvanceProgress() {
    ProgressWindow* window = ActiveProgressWindow();
    if (!window) return;
    // The bar counts selected dimension tables, the list counts those with relations:
    // the list may be longer, and the bar then stays full.
    const auto maximum = static_cast<std::int32_t>(window->ProgressMax());
    window->ProgressVal(std::min(window->ProgressVal() + 1, std::max(maximum, 1)));
    window->Refresh();
}

}  // namespace

JobHistoryRecord& DeletionHistory() {
    if (!TaskHistory()) TaskHistory() = std::make_unique<JobHistoryRecord>();
    return *TaskHistory();
}

void WriteDeletionEntry(int status, const std::string& message, std::int64_t deleted, bool atomic) {
    JobHistoryRecord& history = DeletionHistory();
    history.Status = status;
    history.Message = message;
    history.EndTime = Now();
    history.RecordCount = static_cast<double>(deleted);
    history.CountUnit = "records deleted";
    history.Remark = atomic ? "Atomic deletion=yes" : "Atomic deletion=no";
    history.WriteEntry(6, "Varnel", "Deleted dimensions");
}

void ReportDeletionFailure(const std::string& description, std::int64_t deleted, bool atomic) {
    std::string storeFailure;
    try {
        WriteDeletionEntry(3, description, deleted, atomic);
    } catch (const std::exception& error) {
        storeFailure = error.what();
    }
    const std::string& table = DeletionHistory().TableName;
    AppendError(WithTableLine(description, table));
    if (!storeFailure.empty()) AppendError(storeFailure);
}

void ReportKeptRows(const std::string& table, std::int64_t kept) {
    if (kept <= 0) return;
    const std::string line = KeptRowsLine(table, kept);
    if (LogStream* log = TaskLog()) log->WriteLine(line);
    std::cerr << line << '\n';
}

std::string FirstElementKey(Connection& warehouse, const std::string& query) {
    auto keys = warehouse.Query(query, 60);
    while (keys.Next()) {
        const auto key = keys.Get(0);
        if (key && !IsBlank(*key)) return *key;
    }
    return "";
}

Connection& RunWarehouseConnection() {
    if (!WarehouseConnection || !WarehouseConnection->IsOpen())
        throw std::runtime_error("Connection to the data warehouse not available.");
    return *WarehouseConnection;
}

bool InitDeleteProgress() {
    try {
        auto count = RunWarehouseConnection().Query(SelectedDimensionCountQuery(), 60);
        const std::int64_t tables = count.Next() ? count.GetInt(0).value_or(0) : 0;
        StartProgressBar(tables);
        return true;
    } catch (const std::exception& error) {
        AppendError(error.what());
        return false;
    }
}

bool EndDeleteProgress() {
    try {
        ResetProgressBar();
        return true;
    } catch (const std::exception& error) {
        AppendError(error.what());
        return false;
    }
}

bool DeleteMarkedElements(bool atomic, const std::string& logPath, const std::string& jobId,
                          LogStream* log) {
    // The second connection, the record and the log go on every exit; the warehouse
    // connection stays with its owner.
    struct Release {
        ~Release() {
            DeletionConnection.reset();
            TaskHistory().reset();
            TaskLog() = nullptr;
        }
    } release;
    try {
        if (!InitDeleteProgress()) return false;
        Connection& warehouse = RunWarehouseConnection();
        const auto tables = TablesInDeletionOrder(warehouse);
        DeletionConnection = OpenSecondConnection(warehouse);
        StartHistory(warehouse, logPath, jobId);
        TaskLog() = log;
        for (const auto& [table, slowlyChanging] : tables) {
            if (ProgressWindow* window = ActiveProgressWindow();
                window && window->CheckCancelState())
                return false;
            if (TableExists(*DeletionConnection, table)) {
                if (ProgressWindow* window = ActiveProgressWindow())
                    window->Comment("Deleting records from Dimension table : " + TrimBlanks(table));
                DeletionHistory().TableName = table;
                DeletionHistory().StartTime = Now();
                if (!DeleteFromTable(table, slowlyChanging, atomic, *DeletionConnection))
                    return false;
            }
            AdvanceProgress();
        }
        return EndDeleteProgress();
    } catch (const std::exception& error) {
        AppendError(error.what());
        return false;
    }
}

bool DeleteMarkedRows(const std::string& table, bool slowlyChanging, Connection& connection) {
    // The check, the repair and the deletion commit together; a failure in any rolls
    // all back. The entry is written once the table's work is committed, never for
    // work undone.
    std::int64_t deleted = 0;
    std::int64_t kept = 0;
    try {
        Transaction transaction(connection);
        kept = KeepReferencedRows(table, connection);
        if (slowlyChanging && !RepairSlowlyChangingDimension(table, connection)) return false;
        deleted = connection.Execute(DeleteMarkedRowsStatement(table), 60);
        transaction.Commit();
    } catch (const std::exception& error) {
        ReportDeletionFailure(error.what(), deleted, false);
        return false;
    }
    ReportKeptRows(table, kept);
    WriteDeletionEntry(0, "", deleted, false);
    return true;
}

}  // namespace varnel
