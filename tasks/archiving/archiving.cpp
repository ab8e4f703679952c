#include "tasks/archiving/archiving.h"

#include <stdexcept>
#include <vector>

#include "base/clock.h"
#include "base/run_hooks.h"
#include "base/text.h"
#include "run/process_state.h"
#include "run/progress_window.h"
#include "run/run_settings.h"
#include "tasks/archiving/archive_statements.h"
#include "warehouse/connector.h"
#include "warehouse/database_access.h"
#include "warehouse/engine_error.h"
#include "warehouse/job_history.h"

namespace varnel {

namespace {

const std::string kStartRule(33, '-');
const std::string kEndRule(31, '-');
const std::string kCountUnit = "records archived";
const std::string kHistoryCategory = "Archived fact tables";
constexpr int kHistoryEntryKind = 6;
constexpr int kDeleteTimeoutSeconds = 900;

struct FactTable {
    std::string NameAsRead;
    std::string Name;
    std::string Condition;
};

// NOTE: the list is read whole before any table is archived. On SQLite an open
// cursor keeps a read snapshot on the warehouse connection, and a connection on an
// old snapshot cannot take the write lock that the copy needs once another process
// has written in between.
std::vector<FactTable> ReadFactTables(Connection& warehouse) {
    auto result = warehouse.Query(archive_sql::SelectFactConditions());
    const std::size_t tableColumn = result.IndexOf("table_name");
    const std::size_t conditionColumn = result.IndexOf("where_clause");
    std::vector<FactTable> tables;
    while (result.Next()) {
        const std::string name = NullToText(result.Get(tableColumn), "");
        tables.push_back(
            {name, TrimBlanks(name), TrimBlanks(NullToText(result.Get(conditionColumn), ""))});
    }
    return tables;
}

bool WindowsAuthentication(const Connection& connection) {
    return connection.Property("Integrated Security").value_or("") == "SSPI";
}

std::string CountMismatch(const std::string& table, std::int64_t deleted, std::int64_t archived) {
    return "The archived rows of table " + table + " were not deleted: the delete met " +
           std::to_string(deleted) + " records, but " + std::to_string(archived) +
           " records were archived. Nothing was deleted from the data warehouse; the archived "
           "copies stay in the archive database.";
}

// Deletes inside the caller's transaction and commits only when the delete met
// exactly the rows that were archived.
void DeleteCounted(Connection& connection, Transaction& transaction, const std::string& table,
                   const std::string& condition, std::int64_t archivedCount) {
    const std::int64_t deleted = connection.Execute(
        archive_sql::DeleteArchivedRows(table, condition), kDeleteTimeoutSeconds);
    if (deleted != archivedCount) {
        transaction.Rollback();
        throw std::runtime_error(CountMismatch(table, deleted, archivedCount));
    }
    transaction.Commit();
}

}  // namespace

bool InitArchiveProgress(TaskContext& context, Connection& warehouse) {
    try {
        auto result = warehouse.Query(archive_sql::CountFactTables());
        const std::int64_t count = result.Next() ? result.GetInt(0).value_or(0) : 0;
        result.Close();
        StartProgressBar(context.Progress, count);
        return true;
    } catch (const std::exception& error) {
        context.State.MessageText += error.what();
        context.State.MessageText += "\r\n";
        return false;
    }
}

bool EndArchiveProgress(TaskContext& context) {
    try {
        ResetProgressBar(context.Progress);
        return true;
    } catch (const std::exception& error) {
        context.State.MessageText += error.what();
        context.State.MessageText += "\r\n";
        return false;
    }
}

bool CreateArchiveTable(ProcessState& state, Connection& warehouse, Connection& archive,
                        const std::string& table) {
    const std::string name = TrimBlanks(table);
    try {
        RequireSameEngine(warehouse, archive);
        if (CopiesByAttaching(warehouse))
            CreateSqliteArchiveTable(warehouse, archive, name);
        else
            CreateSqlServerArchiveTable(warehouse, archive, name);
        return true;
    } catch (const std::exception& error) {
        state.MessageText += "\r\n";
        state.MessageText += DescribeStepError(error, "Creating the archive table " + name);
        return false;
    }
}

void DropArchiveLink(Command& linkCommand, Connection& warehouse) {
    try {
        linkCommand = archive_sql::DropLinkedServer(linkCommand);
        warehouse.Execute(linkCommand);
    } catch (const std::exception&) {
        // A linked server that cannot be dropped stays defined; the copy is done.
    }
}

bool CopyFactRows(ProcessState& state, const std::string& table, const std::string& condition,
                  Connection& warehouse, Connection& archive, std::int64_t& archivedCount,
                  ArchiveHold& hold) {
    const std::string archiveDate = archive_sql::ArchiveDateText(state.ArchiveDate);
    const std::string server = archive.Property("Server Name").value_or("");
    const bool linked = !CopiesByAttaching(archive) && WindowsAuthentication(archive);
    Command link = linked ? archive_sql::AddLinkedServer(server) : Command{};
    bool linkTried = false;
    try {
        RequireSameEngine(warehouse, archive);
        if (CopiesByAttaching(warehouse)) {
            archivedCount = CopySqliteRows(table, condition, warehouse, archive, archiveDate, hold);
            return true;
        }
        const std::string database = archive.DefaultDatabase();
        // Matched before the linked server is added: a missing column stops the
        // table with nothing sent to the warehouse server.
        const auto columns = CopiedColumns(warehouse, archive, table);
        std::string copy;
        if (linked) {
            linkTried = true;
            warehouse.Execute(link);
            warehouse.Execute(archive_sql::AddLinkedServerLogin(server));
            copy = archive_sql::LinkedServerCopy(server, database, table, columns, archiveDate,
                                                 condition);
        } else {
            copy = archive_sql::OpenRowsetCopy(
                server, TrimBlanks(archive.Property("User ID").value_or("")),
                TrimBlanks(archive.Property("Password").value_or("")), database, table, columns,
                archiveDate, condition);
        }
        // NOTE: ODBC has no counterpart of the provider's "Enable Fastload" property;
        // the copy runs inside the server either way.
        const std::int64_t copied = warehouse.Prepare(copy, 0).Execute({});
        if (linked) DropArchiveLink(link, warehouse);
        archivedCount = copied;
        return true;
    } catch (const std::exception& error) {
        hold.WarehouseTransaction.reset();
        state.MessageText += "\r\n";
        state.MessageText +=
            DescribeStepError(error, "Copying table " + table + " into the archive");
        // Also when adding the linked server failed half way; a link never tried
        // (a refused column) is not ours to drop.
        if (linkTried) DropArchiveLink(link, warehouse);
        return false;
    }
}

bool DeleteArchivedRows(ProcessState& state, const std::string& table, const std::string& condition,
                        Connection& warehouse, std::int64_t archivedCount, ArchiveHold& hold) {
    try {
        if (hold.WarehouseTransaction) {
            DeleteCounted(warehouse, *hold.WarehouseTransaction, table, condition, archivedCount);
            hold.WarehouseTransaction.reset();
        } else {
            auto second = OpenSecondConnection(warehouse);
            Transaction transaction(*second);
            DeleteCounted(*second, transaction, table, condition, archivedCount);
        }
        return true;
    } catch (const std::exception& error) {
        hold.WarehouseTransaction.reset();
        state.MessageText += "\r\n";
        state.MessageText +=
            DescribeStepError(error, "Deleting the archived rows of table " + table);
        return false;
    }
}

namespace {

// What the archiving section carries from step to step.
struct ArchiveSection {
    explicit ArchiveSection(TaskContext& context) : Context(context), Log(context.Log) {}

    TaskContext& Context;
    LogStream* Log = nullptr;
    std::unique_ptr<JobHistoryRecord> Record;
    std::int64_t Archived = 0;
    // The table being archived, for an error that escapes its steps.
    std::string Current;

    void Write(const std::string& text) const {
        if (Log) Log->WriteLine(text);
    }
};

enum class SectionOutcome {
    Done,
    // Ended without the failure block: cancelled, or the progress bar failed.
    Stopped,
    // A table failed: the failure block closes the section.
    Failed,
};

void OpenSection(const ArchiveSection& section) {
    section.Write(kStartRule);
    section.Write("Start of Archiving of Fact Tables");
    section.Write(kStartRule);
    section.Write("");
}

void CloseSection(const ArchiveSection& section) {
    section.Write(kEndRule);
    section.Write("End of Archiving of Fact Tables");
    section.Write(kEndRule);
    section.Write("");
}

void WriteArchiveHead(const ArchiveSection& section, Connection& warehouse, Connection& archive) {
    section.Write("Date of Archiving: " + FormatGeneralDate(section.Context.State.ArchiveDate));
    section.Write("");
    section.Write("Data Warehouse Server: " + warehouse.Property("Server Name").value_or(""));
    section.Write("Data Warehouse Database: " + warehouse.DefaultDatabase());
    section.Write("Archive Server: " + archive.Property("Server Name").value_or(""));
    section.Write("Archive Database: " + archive.DefaultDatabase());
    section.Write("");
}

void DescribeArchiveRun(JobHistoryRecord& record, Connection& warehouse, Connection& archive,
                        const std::string& logPath, const std::string& jobId) {
    record.DescribeWarehouse(warehouse);
    record.ArchiveServerName = archive.Property("Server Name").value_or("");
    record.ArchiveDatabaseName = archive.DefaultDatabase();
    record.ArchiveUserName = record.LoginOf(archive);
    record.LogFile = logPath;
    record.JobId = jobId;
}

void StartTable(ArchiveSection& section, const FactTable& fact) {
    section.Current = fact.Name;
    section.Context.Progress.Comment("Archiving Table : " + fact.NameAsRead);
    section.Write("***");
    section.Write("Fact Table: " + fact.Name);
    section.Write("Condition: " + fact.Condition);
    JobHistoryRecord& record = *section.Record;
    record.TableName = fact.Name;
    record.ArchiveTableName = fact.Name;
    record.Remark = fact.Condition;
    record.StartTime = section.Context.State.Now();
}

void EndTable(ArchiveSection& section) {
    JobHistoryRecord& record = *section.Record;
    record.Status = 0;
    record.EndTime = section.Context.State.Now();
    record.RecordCount = static_cast<double>(section.Archived);
    record.CountUnit = kCountUnit;
    record.WriteEntry(kHistoryEntryKind, "Varnel", kHistoryCategory);
    section.Current.clear();
}

// Creates the archive table when missing, copies, then deletes; false when the
// table failed (the reason is in MessageText).
bool ArchiveOneTable(ArchiveSection& section, const FactTable& fact, Connection& warehouse,
                     Connection& archive) {
    ProcessState& state = section.Context.State;
    StartTable(section, fact);
    if (!TableExists(archive, fact.Name)) {
        if (!CreateArchiveTable(state, warehouse, archive, fact.Name)) return false;
        section.Write("- Table created in Archive database");
    }
    // Rolls the warehouse back should anything below throw before the delete.
    ArchiveHold hold;
    if (!CopyFactRows(state, fact.Name, fact.Condition, warehouse, archive, section.Archived, hold))
        return false;
    section.Write("- " + std::to_string(section.Archived) + " records archived");
    section.Write("***");
    section.Write("");
    ReachRunPoint(kAfterArchiveCommitPoint);
    if (!DeleteArchivedRows(state, fact.Name, fact.Condition, warehouse, section.Archived, hold))
        return false;
    EndTable(section);
    return true;
}

void AdvanceProgress(ProgressWindow& window) {
    window.ProgressVal(window.ProgressVal() + 1);
    window.Refresh();
}

SectionOutcome ArchiveAll(ArchiveSection& section) {
    TaskContext& context = section.Context;
    ProcessState& state = context.State;
    std::unique_ptr<Connection>& warehouse = state.WarehouseConnection;
    std::unique_ptr<Connection>& archive = state.ArchiveConnection;
    section.Record = std::make_unique<JobHistoryRecord>();
    OpenSection(section);
    RequireArchivePair(warehouse, archive);
    const auto tables = ReadFactTables(*warehouse);
    state.ArchiveDate = state.Now();
    WriteArchiveHead(section, *warehouse, *archive);
    if (!InitArchiveProgress(context, *warehouse)) return SectionOutcome::Stopped;
    DescribeArchiveRun(*section.Record, *warehouse, *archive, context.LogPath,
                       context.Settings.JobId);
    for (const auto& fact : tables) {
        if (context.Progress.CheckCancelState()) return SectionOutcome::Stopped;
        if (!fact.Condition.empty() && TableExists(*warehouse, fact.Name)) {
            if (!ArchiveOneTable(section, fact, *warehouse, *archive))
                return SectionOutcome::Failed;
        }
        AdvanceProgress(context.Progress);
    }
    if (!EndArchiveProgress(context)) return SectionOutcome::Stopped;
    CloseSection(section);
    return SectionOutcome::Done;
}

// The failure block: the section still ends with its closing lines, and the job
// history learns what failed and how far the run had come.
void FailSection(ArchiveSection& section, const std::string& description) {
    ProcessState& state = section.Context.State;
    const auto keepGoing = [&state](const auto& action) {
        try {
            action();
        } catch (const std::exception& error) {
            state.MessageText += "\r\n";
            state.MessageText += error.what();
        }
    };
    keepGoing([&] {
        section.Write("An error occurred during archiving of fact tables.");
        section.Write("");
        CloseSection(section);
    });
    state.MessageText += "\r\n" + description;
    if (!section.Record) return;
    keepGoing([&] {
        JobHistoryRecord& record = *section.Record;
        record.Status = 3;
        record.Message = state.MessageText;
        record.EndTime = state.Now();
        record.RecordCount = static_cast<double>(section.Archived);
        record.CountUnit = kCountUnit;
        record.WriteEntry(kHistoryEntryKind, "Varnel", kHistoryCategory);
    });
}

}  // namespace

bool ArchiveFactTables(TaskContext& context) {
    ArchiveSection section(context);
    std::string description;
    try {
        const SectionOutcome outcome = ArchiveAll(section);
        if (outcome == SectionOutcome::Done) return true;
        if (outcome == SectionOutcome::Stopped) return false;
    } catch (const std::exception& error) {
        description = DescribeStepError(
            error, section.Current.empty() ? "Archiving" : "Archiving table " + section.Current);
    }
    FailSection(section, description);
    return false;
}

}  // namespace varnel
