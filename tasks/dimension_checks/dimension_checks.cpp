#include "tasks/dimension_checks/dimension_checks.h"

#include <cstdlib>
#include <exception>

#include "base/text.h"
#include "warehouse/database_access.h"
#include "warehouse/list_columns.h"
#include "warehouse/metadata_statements.h"
#include "warehouse/sql_dialect.h"

namespace varnel {

std::string DimensionTableListQuery(const SqlDialect& dialect) {
    return std::string("SELECT DISTINCT MAX(") + dialect.IntOfBit("is_selected") +
           ") as is_selected, table_name " + "FROM dwm_tables " +
           "WHERE UPPER(table_type) = 'DIMENSION' " + "GROUP BY table_name " +
           "ORDER BY table_name";
}

bool IsTicked(const std::optional<std::string>& value) {
    if (!value) return false;
    const std::string text = TrimBlanks(*value);
    if (EqualsIgnoringCase(text, "true")) return true;
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    return end != text.c_str() && *end == '\0' && number != 0.0;
}

bool LoadDimensionTables(Connection& warehouse, std::vector<DimensionTableItem>& tables,
                         std::string& messageText) {
    tables.clear();
    try {
        std::vector<DimensionTableItem> listed;
        {
            auto rows = warehouse.Query(DimensionTableListQuery(warehouse.Dialect()));
            while (rows.Next())
                listed.push_back({TrimBlanks(rows.Get(1).value_or("")), IsTicked(rows.Get(0))});
        }
        // Tables named in the metadata but gone from the warehouse are not offered.
        for (auto& table : listed)
            if (TableExists(warehouse, table.Name)) tables.push_back(std::move(table));
        return true;
    } catch (const std::exception& error) {
        tables.clear();
        messageText = ListQueryErrorMessage(warehouse.Dialect(), error.what());
        return false;
    }
}

bool SaveDimensionTableSelection(Connection& warehouse,
                                 const std::vector<DimensionTableItem>& tables,
                                 std::string& messageText) {
    try {
        for (const auto& table : tables)
            warehouse.Execute(sql::UpdateDimensionSelection(table.Name, table.Selected));
        return true;
    } catch (const std::exception& error) {
        messageText = error.what();
        return false;
    }
}

bool RunRecordsQuery(Connection& warehouse, const std::string& statement,
                     std::optional<EditableResult>& records, std::string& messageText) {
    records.reset();
    try {
        records.emplace(OpenEditableResult(warehouse, statement));
        return true;
    } catch (const std::exception& error) {
        messageText = ListQueryErrorMessage(warehouse.Dialect(), error.what());
        return false;
    }
}

void SetRecordTick(EditableResult& records, std::size_t row, bool ticked) {
    const auto& read = records.ReadValue(row, 0);
    if (ticked == IsTicked(read))
        records.SetValue(row, 0, read);
    else
        records.SetValue(row, 0, std::string(ticked ? "1" : "0"));
}

bool IsRecordTicked(const EditableResult& records, std::size_t row) {
    return IsTicked(records.Value(row, 0));
}

bool SaveRecordSelection(Connection& warehouse, EditableResult* records, std::string& messageText) {
    if (records == nullptr || records->Columns().empty()) {
        messageText = "No Records to be saved.";
        return false;
    }
    try {
        SaveEditableChanges(warehouse, *records);
        return true;
    } catch (const std::exception& error) {
        messageText = error.what();
        return false;
    }
}

}  // namespace varnel
