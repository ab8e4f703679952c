#include "tasks/metadata_check/metadata_check.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

#include "base/text.h"
#include "run/log_stream.h"
#include "run/process_state.h"
#include "run/progress_window.h"
#include "run/run_settings.h"
#include "tasks/metadata_check/metadata_check_statements.h"
#include "warehouse/control_columns.h"
#include "warehouse/database_access.h"
#include "warehouse/metadata_names.h"
#include "warehouse/odbc.h"
#include "warehouse/version_history.h"

namespace varnel {

namespace {

//! A fault the check found; its description is the message the operator reads.
class MetadataFault : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Every step traps its own errors, the faults it raises among them: the
// description + CR LF goes to MessageText and the step answers False. Results
// opened by the body are released as the exception leaves it.
template <typename Body>
bool Trapped(ProcessState& state, Body&& body) {
    try {
        return body();
    } catch (const std::exception& error) {
        state.MessageText += error.what();
        state.MessageText += "\r\n";
        return false;
    }
}

void StepBar(ProgressWindow& window) {
    window.ProgressVal(window.ProgressVal() + 1);
    window.Refresh();
}

//! The list split at ","; an empty text is an empty list, other pieces stay as they are.
std::vector<std::string> SplitList(const std::string& list) {
    if (list.empty()) return {};
    return SplitCommaList(list);
}

std::int32_t CountOf(Connection& connection, const std::string& query) {
    auto result = connection.Query(query);
    if (!result.Next()) return 0;
    return static_cast<std::int32_t>(result.GetInt(0).value_or(0));
}

std::string MissingTable(const std::string& tableName) {
    return "Table : " + tableName + " does not exist in the data warehouse database";
}

std::string MissingControlColumn(const std::string& column, const std::string& tableName) {
    return "Column :: " + column + " does not exist in the Dimension Table : " + tableName;
}

// Positions of the columns of sql::SelectRelations().
enum RelationColumn : std::size_t {
    kSelected,
    kForeignTable,
    kForeignColumns,
    kPrimaryTable,
    kPrimaryColumns,
    kSlowMovingDim,
    kOriginalPrimaryKey,
};

// One row of dwm_star_relations; throws the first fault it meets.
void CheckRelationRow(std::string& messageText, Connection& connection, const Result& row) {
    for (std::size_t column = kSelected; column < kOriginalPrimaryKey; ++column) {
        if (row.IsNull(column))
            throw MetadataFault(row.Column(column).Name +
                                " Column empty in dwm_star_relations table");
    }
    const bool slowlyChanging = row.GetBool(kSlowMovingDim);
    const std::string& foreignTable = *row.Get(kForeignTable);
    const std::string& primaryTable = *row.Get(kPrimaryTable);
    if (row.IsNull(kOriginalPrimaryKey) && slowlyChanging) {
        throw MetadataFault(
            "original_primary_key Column Empty  for slowly changing dimension table: " +
            primaryTable);
    }

    // Every name goes into statements later, so each must be a name before it is looked up.
    for (const std::size_t column :
         {kForeignTable, kForeignColumns, kPrimaryTable, kPrimaryColumns, kOriginalPrimaryKey}) {
        const auto& value = row.Get(column);
        if (!value) continue;
        const bool valid = column == kForeignTable || column == kPrimaryTable
                               ? IsIdentifier(*value)
                               : IsIdentifierList(*value);
        if (!valid) {
            throw MetadataFault(
                InvalidNameMessage("dwm_star_relations", row.Column(column).Name, *value));
        }
    }

    if (!TableExists(connection, foreignTable)) throw MetadataFault(MissingTable(foreignTable));
    if (!TableExists(connection, primaryTable)) throw MetadataFault(MissingTable(primaryTable));

    // ColumnExists trims the names it looks up; the messages of the two key lists
    // name the element and the table as they stand, those of the original key trimmed.
    const auto foreignKeys = SplitList(TrimBlanks(*row.Get(kForeignColumns)));
    for (const auto& column : foreignKeys) {
        if (!ColumnExists(connection, foreignTable, column, messageText))
            throw MetadataFault("Column :: " + column + " does not exist in table " + foreignTable);
    }
    const auto primaryKeys = SplitList(TrimBlanks(*row.Get(kPrimaryColumns)));
    for (const auto& column : primaryKeys) {
        if (!ColumnExists(connection, primaryTable, column, messageText))
            throw MetadataFault("Column :: " + column + " does not exist in table " + primaryTable);
    }
    if (slowlyChanging) {
        for (const auto& column : SplitList(TrimBlanks(*row.Get(kOriginalPrimaryKey)))) {
            if (!ColumnExists(connection, primaryTable, column, messageText)) {
                throw MetadataFault("Column :: " + TrimBlanks(column) +
                                    " does not exist in table " + TrimBlanks(primaryTable));
            }
        }
    }
    if (foreignKeys.size() != primaryKeys.size()) {
        throw MetadataFault(
            "Count of primary key fields and foreign key fields not the same for the relationship "
            ":\r\nPrimary Table - " +
            TrimBlanks(primaryTable) + "\r\nForeign Table - " + TrimBlanks(foreignTable));
    }
}

// Positions of the columns of sql::SelectCheckedTables().
enum TableColumn : std::size_t { kTableName, kTableType, kWhereClause, kIsSelected, kTableColumns };

bool NeedsIndexedFacts(const RunSettings& settings) {
    return settings.MarkUnused || settings.GenerateReports || settings.DeleteMarked;
}

std::vector<std::string> TableNames(Connection& connection, const std::string& query) {
    std::vector<std::string> names;
    auto rows = connection.Query(query);
    while (rows.Next())
        if (const auto& name = rows.Get(0)) names.push_back(*name);
    return names;
}

// The convention line of one slowly changing table; nullopt when its versions follow it.
std::optional<std::string> ConventionLine(Connection& connection, const std::string& table) {
    std::string elementKey;
    for (const auto& key :
         TableNames(connection, sql::SelectElementKeys(connection.Dialect(), table)))
        if (!IsBlank(key)) {
            elementKey = key;
            break;
        }
    if (elementKey.empty()) return std::nullopt;
    const auto defects =
        ReadHistoryDefects(connection, HistoryDefectsQuery(connection.Dialect(), table, elementKey),
                           SplitCommaList(elementKey, ListPieces::Trimmed).size(), false);
    if (defects.DefectiveElements == 0) return std::nullopt;
    return "Table " + table + ": " + std::to_string(defects.DefectiveElements) +
           " elements do not follow the validity convention, for example " +
           ElementKeyText(defects.FirstKey) + "; their marked versions will not be deleted.";
}

}  // namespace

void WriteMetadataNotes(Connection& connection, LogStream& log) {
    // Notes, not faults: a table that cannot be looked at is said so, and the rest go on.
    const auto note = [&](const std::string& table, auto&& lines) {
        try {
            for (const auto& line : lines()) log.WriteLine(line);
        } catch (const std::exception& error) {
            log.WriteLine("Table " + table +
                          ": could not be looked at for these notes: " + error.what());
        }
    };
    for (const auto& table : TableNames(connection, sql::SelectDimensionTables()))
        if (TableExists(connection, table))
            note(table, [&] { return ControlColumnNullLines(connection, table); });
    for (const auto& table :
         TableNames(connection, sql::SelectSlowlyChangingTables(connection.Dialect())))
        if (TableExists(connection, table))
            note(table, [&] {
                const auto line = ConventionLine(connection, table);
                return line ? std::vector<std::string>{*line} : std::vector<std::string>{};
            });
}

bool RunMetadataCheck(TaskContext& context) {
    ProcessState& state = context.State;
    if (!state.WarehouseConnection) {
        state.MessageText += "Connection to the data warehouse not available.\r\n";
        return false;
    }
    if (!RunMetadataCheck(state, *state.WarehouseConnection, context.Progress, context.Settings))
        return false;
    if (context.Log && context.Log->IsOpen()) {
        return Trapped(state, [&] {
            WriteMetadataNotes(*state.WarehouseConnection, *context.Log);
            return true;
        });
    }
    return true;
}

bool RunMetadataCheck(ProcessState& state, Connection& connection, ProgressWindow& window,
                      const RunSettings& settings) {
    return InitCheckProgress(state, connection, window) &&
           CheckRelationsTable(state, connection, window) &&
           CheckTablesTable(state, connection, &window, settings) &&
           CheckMetaConsistency(state, connection, window) && EndCheckProgress(window);
}

bool InitCheckProgress(ProcessState& state, Connection& connection, ProgressWindow& window) {
    return Trapped(state, [&] {
        // A missing metadata table counts no rows here, so that the step that
        // reads it reports it by name instead of this count failing first.
        const std::int32_t relations = TableExists(connection, "dwm_star_relations")
                                           ? CountOf(connection, sql::CountRelations())
                                           : 0;
        const std::int32_t tables = TableExists(connection, "dwm_tables")
                                        ? CountOf(connection, sql::CountCheckedTables())
                                        : 0;
        window.ProgressMin(0);
        window.ProgressMax(static_cast<float>(relations + tables + 1));
        window.ProgressVal(0);
        return true;
    });
}

bool CheckRelationsTable(ProcessState& state, Connection& connection, ProgressWindow& window) {
    return Trapped(state, [&] {
        window.Comment("Checking the Relations Table");
        if (!TableExists(connection, "dwm_star_relations")) {
            throw MetadataFault(
                "Table : 'dwm_star_relations' does not exist in the data warehouse database");
        }
        auto relations = connection.Query(sql::SelectRelations());
        if (!relations.Next())
            throw MetadataFault("Table: dwm_star_relations does not contain any records");
        do {
            if (window.CheckCancelState()) return false;
            CheckRelationRow(state.MessageText, connection, relations);
            StepBar(window);
        } while (relations.Next());
        return true;
    });
}

bool CheckTablesTable(ProcessState& state, Connection& connection, ProgressWindow* window,
                      const RunSettings& settings) {
    return Trapped(state, [&] {
        if (window) window->Comment("Checking the dwm_tables table");
        if (!TableExists(connection, "dwm_tables"))
            throw MetadataFault("Table 'dwm_tables' does not exist in the data warehouse database");
        auto tables = connection.Query(sql::SelectCheckedTables());
        if (!tables.Next()) throw MetadataFault("Table 'dwm_tables' does not contain any records");
        do {
            const std::string type = TrimBlanks(NullToText(tables.Get(kTableType), ""));
            const std::string name = TrimBlanks(NullToText(tables.Get(kTableName), ""));
            if (window && window->CheckCancelState()) return false;
            for (std::size_t column = kTableName; column < kTableColumns; ++column) {
                if (!tables.IsNull(column) || column == kWhereClause) continue;
                if (column == kIsSelected && type != "DIMENSION") continue;
                throw MetadataFault("Column '" + TrimBlanks(tables.Column(column).Name) +
                                    "' empty for dimension table " + name + " in dwm_tables table");
            }
            if (!IsIdentifier(*tables.Get(kTableName))) {
                throw MetadataFault(
                    InvalidNameMessage("dwm_tables", "table_name", *tables.Get(kTableName)));
            }
            if (!TableExists(connection, name)) throw MetadataFault(MissingTable(name));
            if (type == "DIMENSION" && !CheckControlColumns(state, connection, name)) return false;
            if (window) {
                if (type == "FACT" && NeedsIndexedFacts(settings) &&
                    !TableHasIndex(connection, name, state.MessageText)) {
                    throw MetadataFault("Table :" + name + " is not indexed.");
                }
                StepBar(*window);
            }
        } while (tables.Next());
        return true;
    });
}

bool CheckControlColumns(ProcessState& state, Connection& connection,
                         const std::string& tableName) {
    return Trapped(state, [&] {
        for (const char* column : {"is_sustainable", "is_deletable"}) {
            if (!ColumnExists(connection, tableName, column, state.MessageText))
                throw MetadataFault(MissingControlColumn(column, tableName));
        }
        auto flags = connection.Query(sql::SelectSlowMovingDim(tableName));
        // Only the first row decides, in the order the engine returns them.
        if (flags.Next() && flags.GetBool(0)) {
            for (const char* column : {"start_date", "end_date", "is_current"}) {
                if (!ColumnExists(connection, tableName, column, state.MessageText))
                    throw MetadataFault(MissingControlColumn(column, tableName));
            }
        }
        return true;
    });
}

bool CheckMetaConsistency(ProcessState& state, Connection& connection, ProgressWindow& window) {
    return Trapped(state, [&] {
        window.Comment("Checking the consistency between meta tables");
        auto missing = connection.Query(sql::SelectTablesMissingFromDwmTables());
        if (!missing.Next()) {
            StepBar(window);
            return true;
        }
        std::string message =
            "The following tables are referred to by the 'dwm_star_relations' table but the "
            "details of the same are not present in the dwm_tables table:\r\n";
        do {
            message += NullToText(missing.Get(0), "") + "\r\n";
        } while (missing.Next());
        throw MetadataFault(message);
    });
}

bool EndCheckProgress(ProgressWindow& window) {
    window.ProgressVal(0);
    window.Comment("");
    window.Refresh();
    return true;
}

}  // namespace varnel
