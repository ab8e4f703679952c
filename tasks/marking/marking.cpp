#include "tasks/marking/marking.h"

#include <optional>

#include "base/clock.h"
#include "base/text.h"
#include "run/progress_window.h"
#include "run/run_settings.h"
#include "tasks/marking/mark_queue.h"
#include "tasks/marking/marking_statements.h"
#include "warehouse/connections.h"
#include "warehouse/database_access.h"
#include "warehouse/engine_error.h"
#include "warehouse/job_history.h"
#include "warehouse/sql_literal.h"

namespace varnel {

namespace {

constexpr int kStatementTimeout = 60;

void AppendError(const std::exception& error) {
    MessageText += error.what();
    MessageText += "\r\n";
}

Connection& Warehouse() {
    if (!WarehouseConnection || !WarehouseConnection->IsOpen())
        throw std::runtime_error("Connection to the data warehouse not available.");
    return *WarehouseConnection;
}

struct Relation {
    std::string PrimaryTable;
    std::string PrimaryColumns;
    std::string ForeignTable;
    std::string ForeignColumns;
};

//! One run of the task: the work queue, the processed tables and the job history.
class MarkingRun {
  public:
    MarkingRun(std::string logPath, std::string jobId)
        : logPath_(std::move(logPath)), jobId_(std::move(jobId)) {}

    bool Run();

  private:
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

    std::string logPath_;
    std::string jobId_;
    TableNameList pendingTables_;
    TableNameList processedTables_;
    //! The processed tables as an SQL list of literals: 'A','B'.
    std::string processedList_;
    //! Tables left alone from the start: unselected and self-referencing dimensions.
    TableNameList excludedTables_;
    std::optional<JobHistoryRecord> history_;
};

bool MarkingRun::Run() {
    processedList_.clear();
    if (!PrepareMarking()) return false;
    if (!InitMarkProgress()) return false;
    try {
        SetUpJobHistory();
        if (pendingTables_.Empty()) {
            history_->StartTime = Now();
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
        ProgressWindow* window = ActiveProgressWindow();
        if (window && window->CheckCancelState()) {
            if (WarehouseConnection) WarehouseConnection->Close();
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
        ProgressWindow* window = ActiveProgressWindow();
        if (window) {
            window->HideFrame(ProgressFrame::OverallProgFrame);
            window->ShowFrame(ProgressFrame::DetectProgFrame);
            window->Refresh();
        }
        std::int64_t count = 0;
        {
            auto result = Warehouse().Query(sql::CountRelationsToMark());
            if (result.Next()) count = result.GetInt(0).value_or(0);
        }
        StartProgressBar(count);
        return true;
    } catch (const std::exception& error) {
        AppendError(error);
        return false;
    }
}

bool MarkingRun::EndMarkProgress() {
    try {
        if (ProgressWindow* window = ActiveProgressWindow()) {
            window->ProgressVal(0);
            window->HideFrame(ProgressFrame::DetectProgFrame);
            window->ShowFrame(ProgressFrame::OverallProgFrame);
            window->Refresh();
            window->ProcessEvents();
        }
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
    history_->LogFile = logPath_;
    history_->JobId = jobId_;
}

bool MarkingRun::ProcessTable(const std::string& table) {
    try {
        if (TrimBlanks(table).empty()) {
            MessageText += "Table Name is Empty for detection and marking\r\n";
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
        history_->StartTime = Now();
        // The table's marks are replaced whole: a failure or a kill between the
        // mark-all and the last clear-used statement leaves the reset's 0s, which
        // delete nothing, instead of a table marked throughout.
        Transaction transaction(connection);
        connection.Execute(sql::MarkAllCandidates(table), kStatementTimeout);
        for (const auto& relation : relations) {
            ProgressWindow* window = ActiveProgressWindow();
            if (window) {
                window->PrimaryTableLabel(relation.PrimaryTable);
                window->ForeignTableLabel(relation.ForeignTable);
            }
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
            if (window) {
                window->ProgressVal(window->ProgressVal() + 1);
                window->Refresh();
            }
        }
        transaction.Commit();
        history_->Status = 0;
        history_->EndTime = Now();
        history_->RecordCount = recordCount;
        history_->CountUnit = "records marked";
        history_->WriteEntry(6, "Varnel", "Marked dimensions");
        return true;
    } catch (const std::exception& error) {
        try {
            history_->Status = 3;
            history_->Message = error.what();
            history_->EndTime = Now();
            history_->RecordCount = recordCount;
            history_->CountUnit = "records marked";
            history_->WriteEntry(6, "Varnel", "Marked dimensions");
        } catch (const std::exception& historyError) {
            AppendError(historyError);
        }
        MessageText += DescribeTableError(error, table) + "\r\n";
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

bool DetectUnusedElements(const std::string& logPath, const std::string& jobId) {
    MarkingRun run(logPath, jobId);
    return run.Run();
}

}  // namespace varnel
