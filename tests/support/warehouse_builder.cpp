#include "tests/support/warehouse_builder.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "base/text.h"
#include "tests/support/sqlite_file.h"
#include "warehouse/sql_literal.h"

namespace varnel::testing {

namespace {

std::string Join(const std::vector<std::string>& items, const std::string& separator) {
    std::string joined;
    for (const auto& item : items) joined += (joined.empty() ? "" : separator) + item;
    return joined;
}

bool Contains(const std::vector<std::string>& items, const std::string& item) {
    return std::find(items.begin(), items.end(), item) != items.end();
}

// Dates go in as the ISO text that SQLite warehouses hold, whatever form of
// date the test wrote, so that comparisons with stored dates behave as on a real warehouse.
Cell IsoDate(const Cell& date) {
    if (date.IsNull()) return date;
    const auto* text = std::get_if<std::string>(&date.Held());
    const auto parsed = text ? Timestamp::FromIsoText(*text) : std::nullopt;
    if (!parsed) throw std::invalid_argument("not a date: " + (text ? *text : "(a number)"));
    return parsed->ToIsoText();
}

Parameter AsParameter(const Cell& cell) {
    Parameter parameter;
    parameter.Data = cell.Held();
    if (std::holds_alternative<std::int64_t>(cell.Held())) parameter.Type = ValueType::Integer;
    if (std::holds_alternative<double>(cell.Held())) parameter.Type = ValueType::Double;
    return parameter;
}

}  // namespace

WarehouseBuilder::WarehouseBuilder()
    : folder_(std::make_unique<TempDir>()), path_(folder_->File("warehouse.db")) {
    Open();
}

WarehouseBuilder::WarehouseBuilder(const std::string& path) : path_(path) {
    // A journal left by an earlier file of this name would be replayed into the new one.
    std::filesystem::remove(path_ + "-wal");
    std::filesystem::remove(path_ + "-shm");
    Open();
}

WarehouseBuilder::WarehouseBuilder(WarehouseBuilder&&) noexcept = default;
WarehouseBuilder& WarehouseBuilder::operator=(WarehouseBuilder&&) noexcept = default;
WarehouseBuilder::~WarehouseBuilder() = default;

void WarehouseBuilder::Open() {
    connection_ = OpenSqlite(CreateSqliteFile(path_));
    CreateMetadataTables();
}

std::string WarehouseBuilder::Folder() const {
    return std::filesystem::path(path_).parent_path().string();
}

varnel::Connection& WarehouseBuilder::Connection() {
    if (!connection_ || !connection_->IsOpen()) connection_ = OpenSqlite(path_);
    return *connection_;
}

std::unique_ptr<varnel::Connection> WarehouseBuilder::OpenConnection() const {
    return OpenSqlite(path_);
}

void WarehouseBuilder::Close() {
    connection_.reset();
}

void WarehouseBuilder::CreateMetadataTables() {
    // Every column but the name accepts Null: the metadata check has to be
    // tested against warehouses whose owners left fields empty.
    Exec(
        "CREATE TABLE dwm_tables (table_name varchar(128) NOT NULL, table_type varchar(20), "
        "where_clause varchar(4000), is_selected bit DEFAULT 0, org_pkey varchar(255))");
    Exec(
        "CREATE TABLE dwm_star_relations (selected bit DEFAULT 1, primary_table varchar(128), "
        "primary_columns varchar(255), foreign_table varchar(128), foreign_columns "
        "varchar(255), slow_moving_dim bit DEFAULT 0, original_primary_key varchar(255))");
}

void WarehouseBuilder::CreateTable(const std::string& name, std::vector<std::string> definitions,
                                   const std::string& keyConstraint) {
    if (!keyConstraint.empty()) definitions.push_back(keyConstraint);
    Exec("CREATE TABLE " + name + " (" + Join(definitions, ", ") + ")");
}

void WarehouseBuilder::Dimension(const std::string& name, const std::vector<std::string>& columns,
                                 const DimensionOptions& options) {
    for (const auto& omitted : options.Without) {
        if (omitted != "is_deletable" && omitted != "is_sustainable" &&
            !Contains(VersionColumns, omitted))
            throw std::invalid_argument("no control column to leave out: " + omitted);
    }
    std::vector<std::string> definitions = columns;
    if (options.Surkey) definitions.push_back("surkey INTEGER");
    auto add = [&](const std::string& column, const std::string& type) {
        if (!Contains(options.Without, column)) definitions.push_back(column + " " + type);
    };
    add("is_deletable", "bit NOT NULL DEFAULT 0");
    add("is_sustainable", "bit NOT NULL DEFAULT 0");
    if (options.SlowlyChanging) {
        add("start_date", "DATETIME");
        add("end_date", "DATETIME");
        add("is_current", "bit");
    }
    CreateTable(name, definitions,
                options.PrimaryKey.empty() ? "" : "PRIMARY KEY (" + options.PrimaryKey + ")");
    if (options.Registered) {
        Register({.Table = name,
                  .Type = options.TableType,
                  .WhereClause = Null,
                  .Selected = options.Selected ? 1 : 0,
                  .OrgPkey = options.OrgPkey.empty() ? Cell() : Cell(options.OrgPkey)});
    }
    tables_[name] = {.IsFact = false,
                     .Indexed = false,
                     .SlowlyChanging = options.SlowlyChanging,
                     .OrgPkey = options.OrgPkey};
}

void WarehouseBuilder::Fact(const std::string& name, const std::vector<std::string>& columns,
                            const FactOptions& options) {
    if (!options.KeyConstraint.empty() && options.PrimaryKey.empty())
        throw std::invalid_argument("a key constraint needs key columns: " + name);
    std::string key;
    if (!options.PrimaryKey.empty()) {
        if (!options.KeyConstraint.empty()) key = "CONSTRAINT " + options.KeyConstraint + " ";
        key += "PRIMARY KEY (" + options.PrimaryKey + ")";
    }
    CreateTable(name, columns, key);
    if (options.Registered) {
        Register({.Table = name,
                  .Type = options.TableType,
                  .WhereClause = options.WhereClause,
                  .Selected = 0,
                  .OrgPkey = Null});
    }
    tables_[name] = {
        .IsFact = true, .Indexed = options.Indexed, .SlowlyChanging = false, .OrgPkey = ""};
}

void WarehouseBuilder::Table(const std::string& name, const std::vector<std::string>& columns) {
    CreateTable(name, columns, "");
}

void WarehouseBuilder::Register(const TableEntry& entry) {
    Rows("dwm_tables", {"table_name", "table_type", "where_clause", "is_selected", "org_pkey"},
         {{entry.Table, entry.Type, entry.WhereClause, entry.Selected, entry.OrgPkey}});
}

void WarehouseBuilder::Relation(const std::string& primaryTable, const std::string& primaryColumns,
                                const std::string& foreignTable, const std::string& foreignColumns,
                                const RelationOptions& options) {
    const auto primary = tables_.find(primaryTable);
    const bool known = primary != tables_.end();
    const bool slowlyChanging =
        options.SlowlyChanging.value_or(known && primary->second.SlowlyChanging);
    Cell originalKey;
    if (options.OriginalKey) {
        originalKey = *options.OriginalKey;
    } else if (slowlyChanging && known && !primary->second.OrgPkey.empty()) {
        originalKey = primary->second.OrgPkey;
    }
    Rows("dwm_star_relations",
         {"selected", "primary_table", "primary_columns", "foreign_table", "foreign_columns",
          "slow_moving_dim", "original_primary_key"},
         {{options.Selected, primaryTable, primaryColumns, foreignTable, foreignColumns,
           slowlyChanging ? 1 : 0, originalKey}});

    const auto foreign = tables_.find(foreignTable);
    if (foreign != tables_.end() && foreign->second.IsFact && foreign->second.Indexed) {
        const auto columns = SplitCommaList(foreignColumns, ListPieces::Trimmed);
        Exec("CREATE INDEX IF NOT EXISTS ix_" + foreignTable + "_" + Join(columns, "_") + " ON " +
             foreignTable + " (" + Join(columns, ", ") + ")");
    }
}

void WarehouseBuilder::Rows(const std::string& table, const std::vector<std::string>& columns,
                            const std::vector<std::vector<Cell>>& rows) {
    const std::string markers = Join(std::vector<std::string>(columns.size(), "?"), ", ");
    Transaction transaction{Connection()};
    {
        auto insert = Connection().Prepare("INSERT INTO " + table + " (" + Join(columns, ", ") +
                                           ") VALUES (" + markers + ")");
        for (const auto& row : rows) {
            if (row.size() != columns.size()) {
                throw std::invalid_argument("a row of " + table + " has " +
                                            std::to_string(row.size()) + " values for " +
                                            std::to_string(columns.size()) + " columns");
            }
            std::vector<Parameter> parameters;
            parameters.reserve(row.size());
            for (const auto& cell : row) parameters.push_back(AsParameter(cell));
            insert.Execute(parameters);
        }
    }
    transaction.Commit();
}

void WarehouseBuilder::Versions(const std::string& table, const std::vector<std::string>& columns,
                                const std::vector<Version>& versions) {
    std::vector<std::string> allColumns = columns;
    allColumns.insert(allColumns.end(),
                      {"start_date", "end_date", "is_current", "is_deletable", "is_sustainable"});
    std::vector<std::vector<Cell>> rows;
    rows.reserve(versions.size());
    for (const auto& version : versions) {
        std::vector<Cell> row = version.Values;
        row.insert(row.end(), {IsoDate(version.Start), IsoDate(version.End), version.Current,
                               version.Deletable, version.Sustainable});
        rows.push_back(std::move(row));
    }
    Rows(table, allColumns, rows);
}

std::int64_t WarehouseBuilder::Exec(const std::string& sql) {
    return Connection().Execute(sql);
}

std::string WarehouseBuilder::Value(const std::string& sql) {
    return QueryValue(Connection(), sql);
}

Texts WarehouseBuilder::Column(const std::string& sql) {
    Texts values;
    auto result = Connection().Query(sql);
    while (result.Next()) values.push_back(result.Get(0).value_or("<null>"));
    return values;
}

Texts WarehouseBuilder::Lines(const std::string& sql) {
    Texts lines;
    auto result = Connection().Query(sql);
    while (result.Next()) {
        std::vector<std::string> values;
        for (std::size_t i = 0; i < result.ColumnCount(); ++i)
            values.push_back(result.Get(i).value_or("<null>"));
        lines.push_back(Join(values, "|"));
    }
    return lines;
}

std::int64_t WarehouseBuilder::Count(const std::string& table, const std::string& where) {
    return std::stoll(
        Value("SELECT COUNT(*) FROM " + table + (where.empty() ? "" : " WHERE " + where)));
}

Texts WarehouseBuilder::Marked(const std::string& table, const std::string& key) {
    return Column("SELECT " + key + " FROM " + table + " WHERE is_deletable = 1 ORDER BY 1");
}

Texts WarehouseBuilder::IndexNames(const std::string& table) {
    return Column("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = " +
                  SqlLiteral(table) + " ORDER BY name");
}

}  // namespace varnel::testing
