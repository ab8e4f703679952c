#include "tasks/archiving/archive_connection_rules.h"

#include <exception>
#include <filesystem>
#include <memory>

#include "base/text.h"
#include "warehouse/connector.h"
#include "warehouse/metadata_statements.h"

namespace varnel {

namespace {

// Whether the archive would be the warehouse itself. Two SQLite files are the same
// when they are one file, however their paths are written; on a server the names
// are compared without regard to case, as the server compares them.
bool SameDatabase(const ConnectionTarget& warehouse, const ArchiveLogin& archive) {
    if (!EqualsIgnoringCase(archive.Server, warehouse.Server)) return false;
    if (IsSqliteServer(archive.Server)) {
        std::error_code ec;
        return std::filesystem::equivalent(archive.Database, warehouse.Database, ec);
    }
    return EqualsIgnoringCase(archive.Database, warehouse.Database);
}

}  // namespace

std::string ArchiveSettingsProblem(const ConnectionTarget& warehouse, const ArchiveLogin& archive) {
    if (archive.Server.empty() || archive.Server == "." || archive.Server == "(local)")
        return "Please specify the real name of the server.";
    if (warehouse.WindowsAuthentication && archive.SecureLogin)
        return "It is not possible to have both connections set to Windows authentication.\r\n"
               "Please select SQL Server authentication for either the data warehouse or the "
               "archive database";
    if (SameDatabase(warehouse, archive))
        return "You cannot archive the data warehouse to its own database. Please specify a "
               "different database.";
    return "";
}

std::string ValidateArchiveConnection(const ConnectionTarget& warehouse,
                                      const ArchiveLogin& archive) {
    std::string problem = ArchiveSettingsProblem(warehouse, archive);
    if (!problem.empty()) return problem;
    std::unique_ptr<Connection> trial;
    std::string messageText;
    if (!OpenWarehouseConnection(archive.Server, archive.Database, archive.SecureLogin,
                                 archive.UserName, archive.Password, trial, messageText,
                                 kDefaultLoginTimeoutSeconds, NewFile::Allowed))
        return messageText;
    return "";
}

bool ReadStoredArchiveLogin(Connection& warehouse, StoredArchiveLogin& login,
                            std::string& messageText) {
    try {
        auto row = warehouse.Query(sql::SelectArchiveLoginUpper());
        login = StoredArchiveLogin{};
        if (row.Next()) {
            login.Found = true;
            login.Server = row.Get(0);
            if (!row.IsNull(1)) login.SecureLogin = row.GetBool(1);
            login.UserName = row.Get(2);
            login.Password = row.Get(3);
            login.Database = row.Get(4);
        }
        return true;
    } catch (const std::exception& error) {
        messageText = error.what();
        return false;
    }
}

}  // namespace varnel
