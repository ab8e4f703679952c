#include "tasks/deletion/deletion.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "run/clock.h"
#include "run/progress_window.h"
#include "run/run_settings.h"
#include "tasks/deletion/deletion_statements.h"
#include "tasks/deletion/deletion_steps.h"
#include "warehouse/connections.h"
#include "warehouse/connector.h"
#include "warehouse/database_access.h"

namespace varnel {

namespace {

std::unique_ptr<JobHistoryRecord>& TaskHistory() {
    static std::unique_ptr<JobHistoryRecord> history;
    return history;
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
bool DeleteFromTable(const std::string& table, bool slowlyChanging, bool atomic,
                     Connection& connection) {
    if (atomic) {
        return slowlyChanging ? DeleteAtomically(table, connection)
                              : DeleteMarkedRows(table, connection);
    }
    // Repair and deletion commit together; a failure in either rolls both back. The
    // entry is written once the table's work is committed, never for work undone.
    Transaction transaction(connection);
    if (slowlyChanging && !RepairSlowlyChangingDimension(table, connection)) return false;
    std::int64_t deleted = 0;
    try {
        deleted = connection.Execute(DeleteMarkedRowsStatement(table), 60);
        transaction.Commit();
    } catch (const std::exception& error) {
        ReportDeletionFailure(error.what(), deleted, false);
        return false;
    }
    WriteDeletionEntry(0, "", deleted, false);
    return true;
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
    AppendError(description);
    if (!storeFailure.empty()) AppendError(storeFailure);
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

bool DeleteMarkedElements(bool atomic, const std::string& logPath, const std::string& jobId) {
    // The second connection and the record go on every exit; the warehouse
    // connection stays with its owner.
    struct Release {
        ~Release() {
            DeletionConnection.reset();
            TaskHistory().reset();
        }
    } release;
    try {
        if (!InitDeleteProgress()) return false;
        Connection& warehouse = RunWarehouseConnection();
        // The list stays open on the warehouse connection while the second connection
        // deletes and commits table by table.
        auto tables = warehouse.Query(DeletionTableListQuery(warehouse.GetEngine()), 60);
        DeletionConnection = OpenSecondConnection(warehouse);
        StartHistory(warehouse, logPath, jobId);
        while (tables.Next()) {
            if (ProgressWindow* window = ActiveProgressWindow();
                window && window->CheckCancelState())
                return false;
            const std::string table = tables.Get(0).value_or("");
            const bool slowlyChanging = tables.GetBool(1);
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
        tables.Close();
        return EndDeleteProgress();
    } catch (const std::exception& error) {
        AppendError(error.what());
        return false;
    }
}

bool DeleteMarkedRows(const std::string& table, Connection& connection) {
    std::int64_t deleted = 0;
    try {
        deleted = connection.Execute(DeleteMarkedRowsStatement(table), 60);
        WriteDeletionEntry(0, "", deleted, false);
        return true;
    } catch (const std::exception& error) {
        ReportDeletionFailure(error.what(), deleted, false);
        return false;
    }
}

}  // namespace varnel
