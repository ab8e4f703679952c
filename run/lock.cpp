#include "run/lock.h"

#include "run/prompter.h"
#include "run/run_settings.h"
#include "warehouse/connections.h"
#include "warehouse/current_user.h"
#include "warehouse/database_access.h"
#include "warehouse/metadata_statements.h"
#include "warehouse/sql_dialect.h"
#include "warehouse/tool_tables.h"

namespace varnel {

namespace {

Connection& Warehouse() {
    if (!WarehouseConnection) throw std::runtime_error("Connection to the data warehouse not available.");
    return *WarehouseConnection;
}

void AppendError(const std::exception& error) {
    MessageText += error.what();
    MessageText += "\r\n";
}

struct LockRow {
    bool Lock = false;
    std::string UserName;
};

// The row is read by position: 0 is the lock, 1 the user.
std::optional<LockRow> ReadRow(Connection& connection, const std::string& query) {
    auto result = connection.Query(query);
    if (!result.Next()) return std::nullopt;
    return LockRow{result.GetBool(0), result.Get(1).value_or("")};
}

bool HasLockRow(Connection& connection) {
    return TableExists(connection, "dwm_multiuse") && CountRows(connection, "dwm_multiuse") > 0;
}

enum class Attempt { Taken, HeldByOther, Failed };

// Commits the attempt; a lock whose commit failed was never taken.
void CommitTaken(Transaction& transaction) {
    try {
        transaction.Commit();
    } catch (...) {
        LockHeld = false;
        throw;
    }
}

// One attempt inside one transaction, so that the test of the row and its
// write-back cannot be split by another process. A failure's description goes
// to error.
Attempt TryLock(Connection& connection, std::string& holder, std::string& error) {
    Transaction transaction(connection);
    if (!TableExists(connection, "dwm_multiuse")) {
        if (!CreateLockTable(connection, &error)) return Attempt::Failed;
        CommitTaken(transaction);
        return Attempt::Taken;
    }
    std::int64_t rows = 0;
    {
        auto count = connection.Query(connection.Dialect().CountLockRowsForUpdate());
        if (count.Next()) rows = count.GetInt(0).value_or(0);
    }
    if (rows < 1) {
        if (!InsertLockRow(connection, true, &error)) return Attempt::Failed;
        CommitTaken(transaction);
        return Attempt::Taken;
    }
    const auto row = ReadRow(connection, connection.Dialect().SelectLockRowForUpdate());
    if (row && row->Lock) {
        holder = row->UserName;
        return Attempt::HeldByOther;  // the transaction ends before anyone is asked
    }
    connection.Execute(sql::TakeLockRow(CurrentUserName()));
    LockHeld = true;
    CommitTaken(transaction);
    return Attempt::Taken;
}


}  // namespace

bool ReadLastLockUser() {
    try {
        Connection& connection = Warehouse();
        LastLockUser.clear();
        if (HasLockRow(connection)) {
            auto result = connection.Query(sql::SelectLockUser());
            if (result.Next()) LastLockUser = result.Get(0).value_or("");
        }
        return true;
    } catch (const std::exception& error) {
        AppendError(error);
        return false;
    }
}

bool LockTool(bool& wasLocked) {
    wasLocked = false;
    try {
        Connection& connection = Warehouse();
        std::string holder;
        std::string error;
        switch (TryLock(connection, holder, error)) {
            case Attempt::Taken: return true;
            case Attempt::Failed: throw std::runtime_error(error);
            case Attempt::HeldByOther: break;
        }
        wasLocked = true;
        LockHolder = TrimBlanks(holder);
        // NOTE: the question is never asked inside a transaction: an open question
        // would block every writer of the warehouse until it is answered.
        const bool takeOver = CurrentPrompter().AskYesNo(
            "The machine is currently locked by user " + LockHolder + ". Do you wish to continue?",
            "Lock Profile");
        if (!takeOver) return true;
        Transaction transaction(connection);
        connection.Execute(sql::DropLockTable());
        if (!CreateLockTable(connection, &error)) throw std::runtime_error(error);
        CommitTaken(transaction);
        wasLocked = false;
        return true;
    } catch (const std::exception& error) {
        AppendError(error);
        return false;
    }
}

bool UnlockTool() {
    try {
        Connection& connection = Warehouse();
        if (!HasLockRow(connection)) return true;
        Transaction transaction(connection);
        const auto row = ReadRow(connection, connection.Dialect().SelectLockRowForUpdate());
        if (row && row->Lock && row->UserName == CurrentUserName()) {
            connection.Execute(sql::FreeLockRow());
            transaction.Commit();
            LockHeld = false;
        }
        return true;
    } catch (const std::exception& error) {
        AppendError(error);
        return false;
    }
}

bool ReadLockFlag(bool& locked) {
    try {
        Connection& connection = Warehouse();
        locked = false;
        if (HasLockRow(connection)) {
            if (const auto row = ReadRow(connection, sql::SelectLockRow())) locked = row->Lock;
        }
        return true;
    } catch (const std::exception& error) {
        AppendError(error);
        return false;
    }
}

}  // namespace varnel
