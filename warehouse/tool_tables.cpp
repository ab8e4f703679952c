#include "warehouse/tool_tables.h"

#include "base/current_user.h"
#include "warehouse/engine_error.h"
#include "warehouse/metadata_statements.h"

namespace varnel {

bool CreateArchiveLoginTable(Connection& connection, std::string& messageText) {
    try {
        connection.Execute(sql::CreateArchiveLoginTable());
        connection.Execute(sql::SeedArchiveLoginRow());
        return true;
    } catch (const std::exception& error) {
        messageText = DescribeStepError(error, "Creating the table dwm_archive");
        return false;
    }
}

void CreateLockTable(Connection& connection, bool& lockHeld) {
    connection.Execute(sql::CreateLockTable());
    InsertLockRow(connection, true, lockHeld);
}

void InsertLockRow(Connection& connection, bool lock, bool& lockHeld) {
    connection.Execute(sql::InsertLockRow(lock, CurrentUserName()));
    lockHeld = lock;
}

}  // namespace varnel
