#include "tasks/archiving/fact_conditions.h"

#include <stdexcept>

#include "base/text.h"
#include "run/run_settings.h"
#include "tasks/archiving/archive_statements.h"
#include "warehouse/database_access.h"
#include "warehouse/metadata_statements.h"
#include "warehouse/sql_dialect.h"

namespace varnel {

bool LoadFactConditions(ConditionRows& rows, Connection& warehouse, std::string& messageText) {
    rows.clear();
    try {
        auto source = warehouse.Query(archive_sql::SelectFactConditions());
        rows = BuildConditionRows(source, warehouse);
        return true;
    } catch (const std::exception& error) {
        messageText = error.what();
        return false;
    }
}

ConditionRows BuildConditionRows(Result& source, Connection& warehouse) {
    const std::size_t tableColumn = source.IndexOf("table_name");
    const std::size_t conditionColumn = source.IndexOf("where_clause");
    ConditionRows rows;
    while (source.Next()) {
        const auto& table = source.Get(tableColumn);
        if (!TableExists(warehouse, table.value_or(""))) continue;
        rows.push_back({table, source.Get(conditionColumn)});
    }
    return rows;
}

bool TestConditionSyntax(const std::string& statement, Connection& connection,
                         std::string& messageText) {
    if (IsBlank(statement)) return true;
    const SqlDialect& dialect = connection.Dialect();
    try {
        for (const auto& text : dialect.CompileOnly(statement)) connection.Execute(text);
        return true;
    } catch (const std::exception& error) {
        messageText = error.what();
        const std::string reset = dialect.CompileOnlyReset();
        if (!reset.empty()) {
            try {
                connection.Execute(reset);
            } catch (const std::exception&) {
                // The compile message is the one the operator needs.
            }
        }
        return false;
    }
}

bool SaveFactConditions(const ConditionRows& rows, Connection& warehouse,
                        std::string& messageText) {
    try {
        for (const auto& row : rows) {
            const std::string condition = TrimBlanks(row.WhereClause.value_or(""));
            const std::string table = TrimBlanks(row.TableName.value_or(""));
            warehouse.Execute(sql::UpdateFactCondition(table, condition));
        }
        return true;
    } catch (const std::exception& error) {
        messageText = error.what();
        return false;
    }
}

bool ReadArchiveLogin(Connection& warehouse, ArchiveLogin& login, std::string& messageText) {
    try {
        auto row = warehouse.Query(sql::SelectArchiveLogin());
        login = ArchiveLogin{};
        if (row.Next()) {
            login.Server = row.Get(0).value_or("");
            login.SecureLogin = row.GetBool(1);
            login.UserName = row.Get(2).value_or("");
            login.Password = row.Get(3).value_or("");
            login.Database = row.Get(4).value_or("");
        }
        return true;
    } catch (const std::exception& error) {
        messageText = error.what();
        return false;
    }
}

bool WriteArchiveLogin(Connection& warehouse, const ArchiveLogin& login, std::string& messageText) {
    try {
        const auto changed = warehouse.Execute(sql::UpdateArchiveLogin(
            login.Server, login.SecureLogin, login.UserName, login.Password, login.Database));
        // An update that finds no row would drop the login without a word.
        if (changed == 0)
            throw std::runtime_error(
                "The archive login could not be saved: dwm_archive has no row with ID = 1.");
        return true;
    } catch (const std::exception& error) {
        messageText = error.what();
        return false;
    }
}

}  // namespace varnel
