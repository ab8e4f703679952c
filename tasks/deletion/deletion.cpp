#include "tasks/deletion/deletion.h"

#include <algorithm>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "base/text.h"
#include "run/log_stream.h"
#include "run/process_state.h"
#include "run/progress_window.h"
#include "run/run_settings.h"
#include "tasks/deletion/deletion_statements.h"
#include "tasks/deletion/deletion_steps.h"
#include "tasks/deletion/history_check.h"
#include "tasks/deletion/reference_check.h"
#include "warehouse/connector.h"
#include "warehouse/database_access.h"
#include "warehouse/engine_error.h"

namespace varnel {

namespace {

void AppendError(ProcessState& state, const std::string& description) {
    state.MessageText += description;
    state.MessageText += "\r\n";
}

// A fresh record with server, database, user, log and job as the marking task
// describes its run.
void StartHistory(TaskContext& context, const Connection& warehouse) {
    JobHistoryRecord history;
    history.DescribeWarehouse(warehouse);
    history.LogFile = context.LogPath;
    history.JobId = context.Settings.JobId;
    context.History = std::move(history);
}

// One table in the mode asked for (the step reports a failure or a refusal). Atomic
// mode needs whole elements only where a table keeps versions; any other table is
// deleted plainly.
TableOutcome DeleteFromTable(TaskContext& context, const std::string& table, bool slowlyChanging,
                             bool atomic, Connection& connection) {
    if (atomic && slowlyChanging)
        return DeleteAtomically(context, table, connection) ? TableOutcome::Deleted
                                                            : TableOutcome::Failed;
    return DeleteTableRows(context, table, slowlyChanging && !atomic, connection);
}

// The element key the repair will use; nullopt when it cannot (the repair then
// reports why).
std::optional<std::string> ValidElementKey(ProcessState& state, const std::string& table) {
    const std::string key =
        FirstElementKey(RunWarehouseConnection(state), RepairElementKeyQuery(table));
    try {
        KeyColumns(key, table);
        return key;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// A table refused by the history check: its entry says why, and so does MessageText.
void ReportRefusal(TaskContext& context, const std::string& message) {
    WriteDeletionEntry(context, 3, message, 0, false);
    AppendError(context.State, message);
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

void AdvanceProgress(ProgressWindow& window) {
    // The bar counts selected dimension tables, the list counts those with relations:
    // the list may be longer, and the bar then stays full.
    const auto maximum = static_cast<std::int32_t>(window.ProgressMax());
    window.ProgressVal(std::min(window.ProgressVal() + 1, std::max(maximum, 1)));
    window.Refresh();
}

}  // namespace

void WriteDeletionEntry(TaskContext& context, int status, const std::string& message,
                        std::int64_t deleted, bool atomic) {
    JobHistoryRecord& history = context.History;
    history.Status = status;
    history.Message = message;
    history.EndTime = context.State.Now();
    history.RecordCount = static_cast<double>(deleted);
    history.CountUnit = "records deleted";
    history.Remark = atomic ? "Atomic deletion=yes" : "Atomic deletion=no";
    history.WriteEntry(6, "Varnel", "Deleted dimensions");
}

void ReportDeletionFailure(TaskContext& context, const std::string& description,
                           std::int64_t deleted, bool atomic) {
    std::string storeFailure;
    try {
        WriteDeletionEntry(context, 3, description, deleted, atomic);
    } catch (const std::exception& error) {
        storeFailure = error.what();
    }
    const std::string& table = context.History.TableName;
    AppendError(context.State,
                WithStepLine(table.empty() ? "" : "Deleting from table " + table, description));
    if (!storeFailure.empty()) AppendError(context.State, storeFailure);
}

void ReportKeptRows(TaskContext& context, const std::string& table, std::int64_t kept,
                    std::int64_t keptToKeep) {
    if (kept > 0) {
        const std::string line = KeptRowsLine(table, kept);
        if (LogStream* log = context.Log) log->WriteLine(line);
        std::cerr << line << '\n';
    }
    if (keptToKeep > 0 && context.Log)
        context.Log->WriteLine("Kept " + std::to_string(keptToKeep) + " marked rows of table " +
                               table + " that are marked to keep.");
}

std::int64_t CountMarkedRowsToKeep(const std::string& table, Connection& connection) {
    auto count = connection.Query(MarkedRowsToKeepQuery(table), 60);
    return count.Next() ? count.GetInt(0).value_or(0) : 0;
}

std::string FirstElementKey(Connection& warehouse, const std::string& query) {
    auto keys = warehouse.Query(query, 60);
    while (keys.Next()) {
        const auto key = keys.Get(0);
        if (key && !IsBlank(*key)) return *key;
    }
    return "";
}

Connection& RunWarehouseConnection(ProcessState& state) {
    auto& warehouse = state.WarehouseConnection;
    if (!warehouse || !warehouse->IsOpen())
        throw std::runtime_error("Connection to the data warehouse not available.");
    return *warehouse;
}

bool InitDeleteProgress(TaskContext& context) {
    try {
        auto count = RunWarehouseConnection(context.State).Query(SelectedDimensionCountQuery(), 60);
        const std::int64_t tables = count.Next() ? count.GetInt(0).value_or(0) : 0;
        StartProgressBar(context.Progress, tables);
        return true;
    } catch (const std::exception& error) {
        AppendError(context.State, error.what());
        return false;
    }
}

bool EndDeleteProgress(TaskContext& context) {
    try {
        ResetProgressBar(context.Progress);
        return true;
    } catch (const std::exception& error) {
        AppendError(context.State, error.what());
        return false;
    }
}

bool DeleteMarkedElements(TaskContext& context) {
    ProcessState& state = context.State;
    const bool atomic = context.Settings.AtomicDelete;
    // The second connection goes on every exit; the warehouse connection stays with
    // its owner.
    struct Release {
        ProcessState& State;
        ~Release() { State.DeletionConnection.reset(); }
    } release{state};
    try {
        if (!InitDeleteProgress(context)) return false;
        Connection& warehouse = RunWarehouseConnection(state);
        const auto tables = TablesInDeletionOrder(warehouse);
        state.DeletionConnection = OpenSecondConnection(warehouse);
        Connection& deletion = *state.DeletionConnection;
        StartHistory(context, warehouse);
        // A table refused for its histories stays as it was; the others are still
        // deleted, and the task then fails.
        bool refused = false;
        for (const auto& [table, slowlyChanging] : tables) {
            if (context.Progress.CheckCancelState()) return false;
            if (TableExists(deletion, table)) {
                context.Progress.Comment("Deleting records from Dimension table : " +
                                         TrimBlanks(table));
                context.History.TableName = table;
                context.History.StartTime = state.Now();
                const TableOutcome outcome =
                    DeleteFromTable(context, table, slowlyChanging, atomic, deletion);
                if (outcome == TableOutcome::Failed) return false;
                refused = refused || outcome == TableOutcome::Refused;
            }
            AdvanceProgress(context.Progress);
        }
        return EndDeleteProgress(context) && !refused;
    } catch (const std::exception& error) {
        AppendError(state, error.what());
        return false;
    }
}

bool DeleteMarkedRows(TaskContext& context, const std::string& table, bool slowlyChanging,
                      Connection& connection) {
    return DeleteTableRows(context, table, slowlyChanging, connection) == TableOutcome::Deleted;
}

TableOutcome DeleteTableRows(TaskContext& context, const std::string& table, bool slowlyChanging,
                             Connection& connection) {
    // The check, the repair and the deletion commit together; a failure in any rolls
    // all back. The entry is written once the table's work is committed, never for
    // work undone.
    std::int64_t deleted = 0;
    std::int64_t kept = 0;
    std::int64_t keptToKeep = 0;
    try {
        Transaction transaction(connection);
        kept = KeepReferencedRows(table, connection);
        keptToKeep = CountMarkedRowsToKeep(table, connection);
        if (slowlyChanging) {
            std::optional<HistoryCheck> history;
            if (const auto key = ValidElementKey(context.State, table))
                history.emplace(connection, table, *key);
            if (!RepairSlowlyChangingDimension(context.State, table, connection))
                return TableOutcome::Failed;
            if (const auto refusal = history ? history->Refusal() : std::nullopt) {
                transaction.Rollback();
                ReportRefusal(context, *refusal);
                return TableOutcome::Refused;
            }
        }
        deleted = connection.Execute(DeleteMarkedRowsStatement(table), 60);
        transaction.Commit();
    } catch (const std::exception& error) {
        ReportDeletionFailure(context, error.what(), deleted, false);
        return TableOutcome::Failed;
    }
    ReportKeptRows(context, table, kept, keptToKeep);
    WriteDeletionEntry(context, 0, "", deleted, false);
    return TableOutcome::Deleted;
}

}  // namespace varnel
