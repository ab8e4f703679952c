#include "tests/support/warehouse_builder.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "base/text.h"
#include "tests/support/sqlite_file.h"

namespace varnel::testing {

namespace {

std::string Join(const std::vector<std::string>& items, const std::string& separator) {
    std::string joined;
    for (const auto& item : items) joined += (joined.empty() ? "" : separator) + item;
    return joined;
}

// Dates go in as the ISO text that SQLite warehouses hold, whatever form the test
// wrote, so that comparisons with stored dates behave as on a real warehouse.
Cell IsoDate(const Cell& date) {
    if (date.IsNull()) return date;
    const auto* text = std::get_if<std::string>(&date.Held());
    const auto parsed = text ? Timestamp::FromIsoText(*text) : std::nullopt;
    if (!parsed) throw std::invalid_argument("not a date: " + (text ? *text : "(a number)"));
    return parsed->ToIsoText();
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

void WarehouseBuilder::Open() {
    connection_ = OpenSqlite(CreateSqliteFile(path_));
    // Every column but the name accepts Null: warehouses whose owners left fields
    // empty have to be checked too.
    Exec(
        "CREATE TABLE dwm_tables (table_name varchar(128) NOT NULL, table_type varchar(20), "
        "where_clause varchar(4000), is_selected bit DEFAULT 0, org_pkey varchar(255))");
    Exec(
        "CREATE TABLE dwm_star_relations (selected bit DEFAULT 1, primary_table varchar(128), "
        "primary_columns varchar(255), foreign_table varchar(128), foreign_columns "
        "varchar(255), slow_moving_dim bit DEFAULT 0, original_primary_key varchar(255))");
}

varnel::Connection& WarehouseBuilder::Connection() {
    if (!connection_ || !connection_->IsOpen()) connection_ = OpenSqlite(path_);
    return *connection_;
}

void WarehouseBuilder::CreateTable(const std::string& name, std::vector<std::string> definitions,
                                   const std::string& constraint) {
    if (!constraint.empty()) definitions.push_back(constraint);
    Exec("CREATE TABLE " + name + " (" + Join(definitions, ", ") + ")");
}

void WarehouseBuilder::Dimension(const std::string& name, const std::vector<std::string>& columns,
                                 const DimensionOptions& options) {
    std::vector<std::string> definitions = columns;
    if (options.Surkey) definitions.push_back("surkey INTEGER");
    auto add = [&](const std::string& column, const std::string& type) {
        const auto& without = options.Without;
        if (std::find(without.begin(), without.end(), column) == without.end())
            definitions.push_back(column + " " + type);
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
    if (options.Registered)
        Register({name, options.TableType, Null, options.Selected ? 1 : 0,
                  options.OrgPkey.empty() ? Cell() : Cell(options.OrgPkey)});
    tables_[name] = {false, false, options.SlowlyChanging, options.OrgPkey};
}

void WarehouseBuilder::Fact(const std::string& name, const std::vector<std::string>& columns,
                            const FactOptions& options) {
    std::string key;
    if (!options.KeyConstraint.empty()) key = "CONSTRAINT " + options.KeyConstraint + " ";
    if (!options.PrimaryKey.empty()) key += "PRIMARY KEY (" + options.PrimaryKey + ")";
    CreateTable(name, columns, key);
    if (options.Registered) Register({name, options.TableType, options.WhereClause, 0, Null});
    tables_[name] = {true, options.Indexed, false, ""};
}

void WarehouseBuilder::Register(const TableEntry& entry) {
    Rows("dwm_tables", {"table_name", "table_type", "where_clause", "is_selected", "org_pkey"},
         {{entry.Table, entry.Type, entry.WhereClause, entry.Selected, entry.OrgPkey}});
}

void WarehouseBuilder::OneUnusedProduct() {
    Dimension("dim_product", {"id INTEGER", "code VARCHAR(10)"},
              {.PrimaryKey = "id", .OrgPkey = "code"});
    Fact("fact_sales", {"id INTEGER", "product_id INTEGER"}, {.PrimaryKey = "id"});
    Relation("dim_product", "id", "fact_sales", "product_id");
    Rows("dim_product", {"id", "code"}, {{1, "A"}, {2, "B"}});
    Rows("fact_sales", {"id", "product_id"}, {{1, 1}});
}

void WarehouseBuilder::Relation(const std::string& primaryTable, const std::string& primaryColumns,
                                const std::string& foreignTable, const std::string& foreignColumns,
                                const RelationOptions& options) {
    const auto primary = tables_.find(primaryTable);
    const TableFacts facts = primary == tables_.end() ? TableFacts{} : primary->second;
    const bool slowlyChanging = options.SlowlyChanging.value_or(facts.SlowlyChanging);
    Cell originalKey;
    if (options.OriginalKey)
        originalKey = *options.OriginalKey;
    else if (slowlyChanging && !facts.OrgPkey.empty())
        originalKey = facts.OrgPkey;
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
            std::vector<Parameter> parameters;
            for (const auto& cell : row) {
                Parameter& p = parameters.emplace_back();
                p.Data = cell.Held();
                if (std::holds_alternative<std::int64_t>(p.Data)) p.Type = ValueType::Integer;
                if (std::holds_alternative<double>(p.Data)) p.Type = ValueType::Double;
            }
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
    for (const auto& version : versions) {
        std::vector<Cell> row = version.Values;
        row.insert(row.end(), {IsoDate(version.Start), IsoDate(version.End), version.Current,
                               version.Deletable, version.Sustainable});
        rows.push_back(std::move(row));
    }
    Rows(table, allColumns, rows);
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

}  // namespace varnel::testing
