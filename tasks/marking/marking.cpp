#include "tasks/marking/marking.h"

#include <optional>

#include "base/text.h"
#include "run/process_state.h"
#include "run/progress_window.h"
#include "run/run_settings.h"
#include "tasks/marking/mark_queue.h"
#include "tasks/marking/marking_statements.h"
#include "warehouse/control_columns.h"
#include "warehouse/database_access.h"
#include "warehouse/engine_error.h"
#include "warehouse/job_history.h"
#include "warehouse/sql_literal.h"

namespace varnel {

namespace {

constexpr int kStatementTimeout = 60;

struct Relation {
    std::string PrimaryTable;
    std::string PrimaryColumns;
    std::string ForeignTable;
    std::string ForeignColumns;
};

//! One run of the task: the work queue, the processed tables and the job history.
class MarkingRun {
  public:
    explicit MarkingRun(TaskContext& context)
        : context_(context), state_(context.State), window_(context.Progress) {}

    bool Run();

  private:
    void AppendError(const std::exception& error);
    Connection& Warehouse();
    bool PrepareMarking();
    bool ResetDeletableFlags();
    void LoadTableNames(TableNameList* target, const std::string& query, bool processed);
    void AddProcessedTable(const std::string& name);
    bool IsFactTable(const std::string& name);
    bool InitMarkProgress();
    bool EndMarkProgress();
    void SetUpJobHistory();
    bool ProcessTable(const std::string& table);
    bool MarkTable(const std::string& table);
    bool QueueReadyTables(const std::string& table);

    TaskContext& context_;
    ProcessState& state_;
    ProgressWindow& window_;
    TableNameList pendingTables_;
    TableNameList processedTables_;
    //! The processed tables as an SQL list of literals: 'A','B'.
    std::string processedList_;
    //! Tables left alone from the start: unselected and self-referencing dimensions.
    TableNameList excludedTables_;
    std::optional<JobHistoryRecord> history_;
};

void MarkingRun::AppendError(const std::exception& error) {
    state_.MessageText += error.what();
    state_.MessageText += "\r\n";
}

Connection& MarkingRun::Warehouse() {
    auto& warehouse = state_.WarehouseConnection;
    if (!warehouse || !warehouse->IsOpen())
        throw std::runtime_error("Connection to the data warehouse not available.");
    return *warehouse;
}

bool MarkingRun::Run() {
    processedList_.clear();
    if (!PrepareMarking()) return false;
    if (!InitMarkProgress()) return false;
    try {
        SetUpJobHistory();
        if (pendingTables_.Empty()) {
            history_->StartTime = state_.Now();
            history_->EndTime = history_->StartTime;
            history_->Status = 0;
            history_->Message = "No tables were selected for marking unused elements.";
            history_->WriteEntry(6, "Varnel", "Marked dimensions");
        }
    } catch (const std::exception& error) {
        AppendError(error);
        return false;
    }
    while (!pendingTables_.Empty()) {
        // A copy: processing removes the name from the queue.
        const std::string table = pendingTables_.First();
        if (!ProcessTable(table)) return false;
        if (window_.CheckCancelState()) {
            if (state_.WarehouseConnection) state_.WarehouseConnection->Close();
            pendingTables_.Clear();
            processedTables_.Clear();
            return false;
        }
    }
    return EndMarkProgress();
}

bool MarkingRun::PrepareMarking() {
    try {
        pendingTables_.Clear();
        processedTables_.Clear();
        excludedTables_.Clear();
        if (!ResetDeletableFlags()) return false;
        LoadTableNames(&pendingTables_, sql::SelectFactTablesToQueue(), false);
        LoadTableNames(nullptr, sql::SelectUnselectedDimensions(), true);
        LoadTableNames(nullptr, sql::SelectSelfReferencingTables(), true);
        return true;
    } catch (const std::exception& error) {
        AppendError(error);
        return false;
    }
}

bool MarkingRun::ResetDeletableFlags() {
    try {
        Connection& connection = Warehouse();
        std::vector<std::string> tables;
        {
            auto result = connection.Query(sql::SelectTablesToReset());
            while (result.Next()) tables.push_back(TrimBlanks(result.Get(0).value_or("")));
        }
        for (const auto& table : tables)
            if (TableExists(connection, table))
                connection.Execute(sql::ResetDeletableFlags(table), kStatementTimeout);
        return true;
    } catch (const std::exception& error) {
        AppendError(error);
        return false;
    }
}

void MarkingRun::LoadTableNames(TableNameList* target, const std::string& query, bool processed) {
    std::vector<std::string> names;
    {
        auto result = Warehouse().Query(query);
        while (result.Next()) names.push_back(TrimBlanks(result.Get(0).value_or("")));
    }
    for (const auto& name : names) {
        if (processed) {
            excludedTables_.Add(name);
            AddProcessedTable(name);
        } else {
            target->Add(name);  // a repeated name is simply not queued twice
        }
    }
}

void MarkingRun::AddProcessedTable(const std::string& name) {
    // A table that is both unselected and self-referencing is offered twice; it
    // counts as processed once.
    if (!processedTables_.Add(name)) return;
    if (TrimBlanks(processedList_).empty())
        processedList_ = SqlLiteral(name);
    else
        processedList_ += "," + SqlLiteral(name);
}

bool MarkingRun::IsFactTable(const std::string& name) {
    try {
        auto result = Warehouse().Query(sql::SelectFactTableRow(name));
        return result.Next();
    } catch (const std::exception& error) {
        AppendError(error);
        return false;
    }
}

bool MarkingRun::InitMarkProgress() {
    try {
        window_.HideFrame(ProgressFrame::OverallProgFrame);
        window_.ShowFrame(ProgressFrame::DetectProgFrame);
        window_.Refresh();
        std::int64_t count = 0;
        {
            auto result = Warehouse().Query(sql::CountRelationsToMark());
            if (result.Next()) count = result.GetInt(0).value_or(0);
        }
        StartProgressBar(window_, count);
        return true;
    } catch (const std::exception& error) {
        AppendError(error);
        return false;
    }
}

bool MarkingRun::EndMarkProgress() {
    try {
        window_.ProgressVal(0);
        window_.HideFrame(ProgressFrame::DetectProgFrame);
        window_.ShowFrame(ProgressFrame::OverallProgFrame);
        window_.Refresh();
        window_.ProcessEvents();
        return true;
    } catch (const std::exception& error) {
        AppendError(error);
        return false;
    }
}

void MarkingRun::SetUpJobHistory() {
    const Connection& connection = Warehouse();
    history_.emplace();
    history_->DescribeWarehouse(connection);
    history_->LogFile = context_.LogPath;
    history_->JobId = context_.Settings.JobId;
}

bool MarkingRun::ProcessTable(const std::string& table) {
    try {
        if (TrimBlanks(table).empty()) {
            state_.MessageText += "Table Name is Empty for detection and marking\r\n";
            return false;
        }
        if (!MarkTable(table)) return false;
        return QueueReadyTables(table);
    } catch (const std::exception& error) {
        AppendError(error);
        return false;
    }
}

bool MarkingRun::MarkTable(const std::string& table) {
    if (IsFactTable(table)) return true;  // processed only to release what it refers to
    std::int32_t recordCount = 0;
    try {
        Connection& connection = Warehouse();
        {
            auto self = connection.Query(sql::SelectSelfReference(table));
            if (self.Next()) return true;
        }
        std::vector<Relation> relations;
        {
            auto result = connection.Query(sql::SelectRelationsOf(table));
            while (result.Next())
                relations.push_back({result.Get("primary_table").value_or(""),
                                     result.Get("primary_columns").value_or(""),
                                     result.Get("foreign_table").value_or(""),
                                     result.Get("foreign_columns").value_or("")});
        }
        history_->TableName = table;
        history_->StartTime = state_.Now();
        // The table's marks are replaced whole: a failure or a kill between the
        // mark-all and the last clear-used statement leaves the reset's 0s, which
        // delete nothing, instead of a table marked throughout.
        Transaction transaction(connection);
        connection.Execute(sql::MarkAllCandidates(table), kStatementTimeout);
        for (const auto& relation : relations) {
            window_.PrimaryTableLabel(relation.PrimaryTable);
            window_.ForeignTableLabel(relation.ForeignTable);
            // A referring dimension counts only through its rows in use, which this
            // run has judged already. One that this run leaves alone (unselected or
            // self-referencing) has marks that mean nothing here and rows that
            // deletion keeps, so all its rows count, as a fact table's do.
            const std::string referrer = TrimBlanks(relation.ForeignTable);
            const bool judgedReferrer =
                !IsFactTable(referrer) && !excludedTables_.Contains(referrer);
            const std::string statement = sql::ClearUsedRows(
                connection.Dialect(), table, relation.ForeignTable, relation.PrimaryColumns,
                relation.ForeignColumns, judgedReferrer);
            recordCount +=
                static_cast<std::int32_t>(connection.Execute(statement, kStatementTimeout));
            window_.ProgressVal(window_.ProgressVal() + 1);
            window_.Refresh();
        }
        transaction.Commit();
        // Rows with no value in a control column are neither kept nor marked: say so.
        if (context_.Log)
            for (const auto& line : ControlColumnNullLines(connection, table))
                context_.Log->WriteLine(line);
        history_->Status = 0;
        history_->EndTime = state_.Now();
        history_->RecordCount = recordCount;
        history_->CountUnit = "records marked";
        history_->WriteEntry(6, "Varnel", "Marked dimensions");
        return true;
    } catch (const std::exception& error) {
        try {
            history_->Status = 3;
            history_->Message = error.what();
            history_->EndTime = state_.Now();
            history_->RecordCount = recordCount;
            history_->CountUnit = "records marked";
            history_->WriteEntry(6, "Varnel", "Marked dimensions");
        } catch (const std::exception& historyError) {
            AppendError(historyError);
        }
        state_.MessageText += DescribeStepError(error, "Marking table " + table) + "\r\n";
        return false;
    }
}

bool MarkingRun::QueueReadyTables(const std::string& table) {
    try {
        pendingTables_.Remove(table);
        AddProcessedTable(table);
        Connection& connection = Warehouse();
        std::vector<std::string> candidates;
        {
            auto result = connection.Query(sql::SelectReadyCandidates(table, processedList_));
            while (result.Next()) candidates.push_back(result.Get(0).value_or(""));
        }
        auto count =
            connection.Prepare(sql::CountUnprocessedReferrers(processedList_), kStatementTimeout);
        for (const auto& candidate : candidates) {
            std::int64_t unprocessed = 0;
            {
                auto result = count.Query({{"primary_table", ValueType::Text, 0, 0, 0, candidate}});
                if (result.Next())
                    unprocessed = result.GetInt(result.IndexOf("cntNonProcessedTable")).value_or(0);
            }
            // A table already waiting (a fact table that another fact table refers
            // to) is not queued twice.
            if (unprocessed == 0 && !processedTables_.Contains(candidate))
                pendingTables_.Add(candidate);
        }
        return true;
    } catch (const std::exception& error) {
        AppendError(error);
        return false;
    }
}

}  // namespace

bool DetectUnusedElements(TaskContext& context) {
    MarkingRun run(context);
    return run.Run();
}

}  // namespace varnel
