#include "warehouse/tool_tables.h"

#include "base/current_user.h"
#include "warehouse/metadata_statements.h"

namespace varnel {

bool CreateArchiveLoginTable(Connection& connection, std::string& messageText) {
    try {
        connection.Execute(sql::CreateArchiveLoginTable());
        connection.Execute(sql::SeedArchiveLoginRow());
        return true;
    } catch (const std::exception& error) {
        messageText = error.what();
        return false;
    }
}

bool CreateLockTable(Connection& connection, std::string* error) {
    try {
        connection.Execute(sql::CreateLockTable());
    } catch (const std::exception& failure) {
        if (error) *error = failure.what();
        return false;
    }
    return InsertLockRow(connection, true, error);
}

bool InsertLockRow(Connection& connection, bool lock, std::string* error) {
    try {
        connection.Execute(sql::InsertLockRow(lock, CurrentUserName()));
        LockHeld = lock;
        return true;
    } catch (const std::exception& failure) {
        if (error) *error = failure.what();
        return false;
    }
}

}  // namespace varnel
