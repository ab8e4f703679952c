#pragma once

// The statements on the warehouse's metadata tables and on the tool's own
// tables, built apart from sending them so that their texts can be checked.
// They run unchanged on SQL Server and SQLite.

#include <string>

namespace varnel::sql {

std::string CreateArchiveLoginTable();
std::string SeedArchiveLoginRow();
//! The archive login row as the tasks read it.
std::string SelectArchiveLogin();
//! The same query as the main window writes it.
std::string SelectArchiveLoginUpper();
//! Stores the archive login; Windows authentication is written as -1.
std::string UpdateArchiveLogin(const std::string& server, bool windowsAuth, const std::string& user,
                               const std::string& password, const std::string& database);

std::string CreateLockTable();
//! Inserts the lock row: locked by the user, or free with no user.
std::string InsertLockRow(bool locked, const std::string& user);
std::string SelectLockRow();
std::string SelectLockUser();
std::string DropLockTable();
//! Takes the free lock for the user: the row's write-back.
std::string TakeLockRow(const std::string& user);
//! Frees the lock, keeping the name of its last user.
std::string FreeLockRow();

//! Takes a dimension into (1) or out of (0) marking, deletion and the reports.
std::string UpdateDimensionSelection(const std::string& tableName, bool selected);
//! Stores a fact table's archiving condition.
std::string UpdateFactCondition(const std::string& tableName, const std::string& condition);

}  // namespace varnel::sql
