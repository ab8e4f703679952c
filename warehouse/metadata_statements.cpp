#include "warehouse/metadata_statements.h"

#include "warehouse/sql_literal.h"

namespace varnel::sql {

std::string CreateArchiveLoginTable() {
    return "create table dwm_archive( ID tinyint, Server varchar(100), SecureLogin bit, "
           "SQLUserName varchar(100), SQLPassword varchar(100),  DB varchar(100), "
           "constraint dwm_archive_pk primary key (ID))";
}

std::string SeedArchiveLoginRow() {
    return "insert into dwm_archive values (1, '', 1, null, null, null)";
}

std::string SelectArchiveLogin() {
    return std::string("select Server, SecureLogin, SQLUserName, SQLPassword, DB") +
           " from dwm_archive where ID = 1";
}

std::string SelectArchiveLoginUpper() {
    return std::string("SELECT Server, SecureLogin, SQLUserName, SQLPassword,") +
           " DB FROM dwm_archive WHERE ID = 1";
}

std::string UpdateArchiveLogin(const std::string& server, bool windowsAuth, const std::string& user,
                               const std::string& password, const std::string& database) {
    return std::string("update dwm_archive set ") + "Server = " + SqlLiteral(server) + ", " +
           "SecureLogin = " + (windowsAuth ? "-1" : "0") + ", " +
           "SQLUserName = " + SqlLiteral(user) + ", " + "SQLPassword = " + SqlLiteral(password) +
           ", " + "DB = " + SqlLiteral(database) + " " + "where ID = 1";
}

std::string CreateLockTable() {
    return "create table dwm_multiuse( lock bit, user_name varchar(100))";
}

std::string InsertLockRow(bool locked, const std::string& user) {
    if (locked)
        return std::string("insert into dwm_multiuse values") + " (1," + SqlLiteral(user) + ")";
    return std::string("insert into dwm_multiuse values") + " (0,'')";
}

std::string SelectLockRow() {
    return "Select * from dwm_multiuse";
}

std::string SelectLockUser() {
    return "Select user_name from dwm_multiuse";
}

std::string DropLockTable() {
    return "drop table dwm_multiuse";
}

std::string TakeLockRow(const std::string& user) {
    return "update dwm_multiuse set lock = 1, user_name = " + SqlLiteral(user);
}

std::string FreeLockRow() {
    return "update dwm_multiuse set lock = 0";
}

std::string UpdateDimensionSelection(const std::string& tableName, bool selected) {
    return std::string("update dwm_tables") + " set is_selected = " + (selected ? "1" : "0") +
           " where table_name = " + SqlLiteral(tableName) + " and upper(table_type) = 'DIMENSION'";
}

std::string UpdateFactCondition(const std::string& tableName, const std::string& condition) {
    return std::string("update dwm_tables") + " set where_clause = " + SqlLiteral(condition) +
           " where table_name = " + SqlLiteral(tableName) + " and upper(table_type) = 'FACT'";
}

}  // namespace varnel::sql
