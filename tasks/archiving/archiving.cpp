#include "tasks/archiving/archiving.h"

#include <stdexcept>
#include <vector>

#include "base/clock.h"
#include "base/run_hooks.h"
#include "base/text.h"
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

bool InitArchiveProgress(Connection& warehouse) {
    try {
        auto result = warehouse.Query(archive_sql::CountFactTables());
        const std::int64_t count = result.Next() ? result.GetInt(0).value_or(0) : 0;
        result.Close();
        StartProgressBar(count);
        return true;
    } catch (const std::exception& error) {
        MessageText += error.what();
        MessageText += "\r\n";
        return false;
    }
}

bool EndArchiveProgress() {
    try {
        ResetProgressBar();
        return true;
    } catch (const std::exception& error) {
        MessageText += error.what();
        MessageText += "\r\n";
        return false;
    }
}

bool CreateArchiveTable(Connection& warehouse, Connection& archive, const std::string& table) {
    const std::string name = TrimBlanks(table);
    try {
        RequireSameEngine(warehouse, archive);
        if (CopiesByAttaching(warehouse))
            CreateSqliteArchiveTable(warehouse, archive, name);
        else
            CreateSqlServerArchiveTable(warehouse, archive, name);
        return true;
    } catch (const std::exception& error) {
        MessageText += "\r\n";
        MessageText += DescribeTableError(error, name);
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

bool CopyFactRows(const std::string& table, const std::string& condition, Connection& warehouse,
                  Connection& archive, std::int64_t& archivedCount, ArchiveHold& hold) {
    const std::string archiveDate = archive_sql::ArchiveDateText(ArchiveDate);
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
        MessageText += "\r\n";
        MessageText += DescribeTableError(error, table);
        // Also when adding the linked server failed half way; a link never tried
        // (a refused column) is not ours to drop.
        if (linkTried) DropArchiveLink(link, warehouse);
        return false;
    }
}

bool DeleteArchivedRows(const std::string& table, const std::string& condition,
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
        MessageText += "\r\n";
        MessageText += DescribeTableError(error, table);
        return false;
    }
}

bool ArchiveFactTables(std::unique_ptr<Connection>& warehouse, std::unique_ptr<Connection>& archive,
                       LogStream* log, const std::string& logPath, const std::string& jobId) {
    const auto write = [log](const std::string& text) {
        if (log) log->WriteLine(text);
    };
    std::unique_ptr<JobHistoryRecord> record;
    std::int64_t archived = 0;
    std::string description;
    // The table being archived, for an error that escapes its steps.
    std::string current;
    try {
        record = std::make_unique<JobHistoryRecord>();
        write(kStartRule);
        write("Start of Archiving of Fact Tables");
        write(kStartRule);
        write("");
        RequireArchivePair(warehouse, archive);
        const auto tables = ReadFactTables(*warehouse);
        ArchiveDate = Now();

        write("Date of Archiving: " + FormatGeneralDate(ArchiveDate));
        write("");
        write("Data Warehouse Server: " + warehouse->Property("Server Name").value_or(""));
        write("Data Warehouse Database: " + warehouse->DefaultDatabase());
        write("Archive Server: " + archive->Property("Server Name").value_or(""));
        write("Archive Database: " + archive->DefaultDatabase());
        write("");

        if (!InitArchiveProgress(*warehouse)) return false;

        record->DescribeWarehouse(*warehouse);
        record->ArchiveServerName = archive->Property("Server Name").value_or("");
        record->ArchiveDatabaseName = archive->DefaultDatabase();
        record->ArchiveUserName = record->LoginOf(*archive);
        record->LogFile = logPath;
        record->JobId = jobId;

        bool failed = false;
        for (const auto& fact : tables) {
            if (ProgressWindow* window = ActiveProgressWindow()) {
                if (window->CheckCancelState()) return false;
            }
            if (!fact.Condition.empty() && TableExists(*warehouse, fact.Name)) {
                current = fact.Name;
                if (ProgressWindow* window = ActiveProgressWindow())
                    window->Comment("Archiving Table : " + fact.NameAsRead);
                write("***");
                write("Fact Table: " + fact.Name);
                write("Condition: " + fact.Condition);
                record->TableName = fact.Name;
                record->ArchiveTableName = fact.Name;
                record->Remark = fact.Condition;
                record->StartTime = Now();

                if (!TableExists(*archive, fact.Name)) {
                    if (!CreateArchiveTable(*warehouse, *archive, fact.Name)) {
                        failed = true;
                        break;
                    }
                    write("- Table created in Archive database");
                }
                // Rolls the warehouse back should anything below throw before the delete.
                ArchiveHold hold;
                if (!CopyFactRows(fact.Name, fact.Condition, *warehouse, *archive, archived,
                                  hold)) {
                    failed = true;
                    break;
                }
                write("- " + std::to_string(archived) + " records archived");
                write("***");
                write("");
                ReachRunPoint(kAfterArchiveCommitPoint);
                if (!DeleteArchivedRows(fact.Name, fact.Condition, *warehouse, archived, hold)) {
                    failed = true;
                    break;
                }
                record->Status = 0;
                record->EndTime = Now();
                record->RecordCount = static_cast<double>(archived);
                record->CountUnit = kCountUnit;
                record->WriteEntry(kHistoryEntryKind, "Varnel", kHistoryCategory);
                current.clear();
            }
            if (ProgressWindow* window = ActiveProgressWindow()) {
                window->ProgressVal(window->ProgressVal() + 1);
                window->Refresh();
            }
        }
        if (!failed) {
            if (!EndArchiveProgress()) return false;
            write(kEndRule);
            write("End of Archiving of Fact Tables");
            write(kEndRule);
            write("");
            return true;
        }
    } catch (const std::exception& error) {
        description = DescribeTableError(error, current);
    }

    // The failure block: the section still ends with its closing lines, and the
    // job history learns what failed and how far the run had come.
    const auto keepGoing = [](const auto& action) {
        try {
            action();
        } catch (const std::exception& error) {
            MessageText += "\r\n";
            MessageText += error.what();
        }
    };
    keepGoing([&] {
        write("An error occurred during archiving of fact tables.");
        write("");
        write(kEndRule);
        write("End of Archiving of Fact Tables");
        write(kEndRule);
        write("");
    });
    MessageText += "\r\n" + description;
    if (record) {
        keepGoing([&] {
            record->Status = 3;
            record->Message = MessageText;
            record->EndTime = Now();
            record->RecordCount = static_cast<double>(archived);
            record->CountUnit = kCountUnit;
            record->WriteEntry(kHistoryEntryKind, "Varnel", kHistoryCategory);
        });
    }
    return false;
}

}  // namespace varnel
