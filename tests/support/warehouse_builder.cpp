#include "tests/support/warehouse_builder.h"

#include <algorithm>

#include "base/text.h"

namespace varnel::testing {

namespace {

std::string Join(const std::vector<std::string>& items, const std::string& separator) {
    std::string joined;
    for (const auto& item : items) joined += (joined.empty() ? "" : separator) + item;
    return joined;
}

// Dates go in as the ISO text that SQLite warehouses hold, whatever form the test wrote.
Cell IsoDate(const Cell& date) {
    if (std::holds_alternative<std::monostate>(date.Held())) return date;
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
    for (const char* journal : {"-wal", "-shm"}) std::filesystem::remove(path_ + journal);
    Open();
}

void WarehouseBuilder::Open() {
    connection_ = OpenSqlite(CreateSqliteFile(path_));
    // Every column but the name accepts Null: owners leave fields empty.
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
    std::vector<std::string> control = {"is_deletable bit NOT NULL DEFAULT 0",
                                        "is_sustainable bit NOT NULL DEFAULT 0"};
    if (options.SlowlyChanging)
        control.insert(control.end(),
                       {"start_date DATETIME", "end_date DATETIME", "is_current bit"});
    for (const auto& column : control)
        if (std::ranges::find(options.Without, column.substr(0, column.find(' '))) ==
            options.Without.end())
            definitions.push_back(column);
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
    const TableFacts primary = tables_[primaryTable];  // defaults for tables made elsewhere
    const bool slowlyChanging = options.SlowlyChanging.value_or(primary.SlowlyChanging);
    Cell originalKey;
    if (options.OriginalKey)
        originalKey = *options.OriginalKey;
    else if (slowlyChanging && !primary.OrgPkey.empty())
        originalKey = primary.OrgPkey;
    Rows("dwm_star_relations",
         {"selected", "primary_table", "primary_columns", "foreign_table", "foreign_columns",
          "slow_moving_dim", "original_primary_key"},
         {{options.Selected, primaryTable, primaryColumns, foreignTable, foreignColumns,
           slowlyChanging ? 1 : 0, originalKey}});
    if (const TableFacts& foreign = tables_[foreignTable]; foreign.IsFact && foreign.Indexed) {
        const auto columns = SplitCommaList(foreignColumns, ListPieces::Trimmed);
        Exec("CREATE INDEX IF NOT EXISTS ix_" + foreignTable + "_" + Join(columns, "_") + " ON " +
             foreignTable + " (" + Join(columns, ", ") + ")");
    }
}

void WarehouseBuilder::Rows(const std::string& table, const std::vector<std::string>& columns,
                            const std::vector<std::vector<Cell>>& rows) {
    Transaction transaction{Connection()};
    {
        auto insert = Connection().Prepare(
            "INSERT INTO " + table + " (" + Join(columns, ", ") + ") VALUES (" +
            Join(std::vector<std::string>(columns.size(), "?"), ", ") + ")");
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

void WarehouseBuilder::Versions(const std::string& table, std::vector<std::string> columns,
                                const std::vector<Version>& versions) {
    std::vector<std::vector<Cell>> rows;
    for (const auto& v : versions) {
        rows.push_back(v.Values);
        rows.back().insert(rows.back().end(), {IsoDate(v.Start), IsoDate(v.End), v.Current,
                                               v.Deletable, v.Sustainable});
    }
    columns.insert(columns.end(),
                   {"start_date", "end_date", "is_current", "is_deletable", "is_sustainable"});
    Rows(table, columns, rows);
}

}  // namespace varnel::testing
