#pragma once

// Small SQLite warehouses for tests: the two metadata tables, dimension and fact
// tables with their control columns, relations, rows, dated versions, and short
// read-backs for the assertions. A relation added after both of its tables takes
// the slowly changing flag and the original key from the dimension it refers to,
// and indexes the referring columns of a fact table.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "tests/support/sqlite_file.h"
#include "tests/support/temp_dir.h"
#include "warehouse/odbc.h"
#include "warehouse/sql_literal.h"

namespace varnel::testing {

//! One value of a row as a test writes it: Null, text, a whole number or a real number.
class Cell {
  public:
    Cell() = default;
    Cell(std::nullptr_t) {}
    Cell(int value) : value_(std::int64_t{value}) {}
    Cell(long value) : value_(static_cast<std::int64_t>(value)) {}
    Cell(long long value) : value_(static_cast<std::int64_t>(value)) {}
    Cell(double value) : value_(value) {}
    Cell(const char* value) : value_(std::string(value)) {}
    Cell(std::string value) : value_(std::move(value)) {}

    bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    const Value& Held() const { return value_; }

  private:
    Value value_;
};

inline constexpr std::nullptr_t Null = nullptr;

//! The version columns that slowly changing dimension tables get.
inline const std::vector<std::string> VersionColumns = {"start_date", "end_date", "is_current"};

// Every field has an initializer: GCC warns about each one a designated initializer
// leaves out unless it has one.

struct DimensionOptions {
    //! Key column list, e.g. "id" or "code, valid_from"; empty for no key.
    std::string PrimaryKey{};
    //! dwm_tables.org_pkey; empty stores Null.
    std::string OrgPkey{};
    bool Selected = true;
    std::string TableType = "DIMENSION";
    //! Adds the version columns; relations to the table become slowly changing.
    bool SlowlyChanging = false;
    bool Surkey = false;
    //! Control and version columns to leave out.
    std::vector<std::string> Without{};
    //! False leaves the table out of dwm_tables.
    bool Registered = true;
};

struct FactOptions {
    std::string PrimaryKey{};
    //! Name of the key's constraint; empty: unnamed.
    std::string KeyConstraint{};
    Cell WhereClause{};
    //! An index on the referring columns of each relation that names the table.
    bool Indexed = true;
    std::string TableType = "FACT";
    bool Registered = true;
};

//! Unset fields are taken from the primary table as the builder made it.
struct RelationOptions {
    std::optional<bool> SlowlyChanging{};
    //! By default the primary table's OrgPkey when slowly changing, else Null.
    std::optional<Cell> OriginalKey{};
    Cell Selected = 1;
};

//! One row of dwm_tables, written as given.
struct TableEntry {
    std::string Table{};
    Cell Type = "DIMENSION";
    Cell WhereClause{};
    Cell Selected = 1;
    Cell OrgPkey{};
};

//! A dated version of a slowly changing dimension element; dates are
//! 'YYYY-MM-DD HH:MM:SS', 'YYYY-MM-DD' or Null.
struct Version {
    //! Values of the columns named in the Versions call.
    std::vector<Cell> Values{};
    Cell Start{};
    Cell End{};
    int Current = 0;
    int Deletable = 0;
    int Sustainable = 0;
};

//! Rows of a read-back, one text per row.
using Texts = std::vector<std::string>;

//! A SQLite warehouse under construction, with its own open connection.
class WarehouseBuilder {
  public:
    //! "warehouse.db" in a temporary folder of its own, removed with the builder.
    WarehouseBuilder();
    //! A warehouse file at the path given (replaced when it exists).
    explicit WarehouseBuilder(const std::string& path);

    const std::string& Path() const { return path_; }
    //! The folder that holds the file; a place for the test's logs and reports.
    std::string Folder() const { return std::filesystem::path(path_).parent_path().string(); }
    //! The builder's connection, opened again when it was closed.
    varnel::Connection& Connection();
    //! A new connection to the file, for the code under test.
    std::unique_ptr<varnel::Connection> OpenConnection() const { return OpenSqlite(path_); }
    //! Closes the builder's connection, so that another process can use the file.
    void Close() { connection_.reset(); }

    //! Own columns (SQL definitions), then the control columns.
    void Dimension(const std::string& name, const std::vector<std::string>& columns,
                   const DimensionOptions& options = {});
    void Fact(const std::string& name, const std::vector<std::string>& columns,
              const FactOptions& options = {});
    //! A plain table that the metadata does not name.
    void Table(const std::string& name, const std::vector<std::string>& columns) {
        CreateTable(name, columns, "");
    }
    void Register(const TableEntry& entry);
    //! Column lists are comma-separated and stored as given.
    void Relation(const std::string& primaryTable, const std::string& primaryColumns,
                  const std::string& foreignTable, const std::string& foreignColumns,
                  const RelationOptions& options = {});
    //! dim_product (id, code) of two rows, the second used by no row of fact_sales.
    void OneUnusedProduct();

    //! Inserts rows in one transaction, values bound as parameters.
    void Rows(const std::string& table, const std::vector<std::string>& columns,
              const std::vector<std::vector<Cell>>& rows);
    //! The columns named, then start_date, end_date, is_current, is_deletable, is_sustainable.
    void Versions(const std::string& table, const std::vector<std::string>& columns,
                  const std::vector<Version>& versions);
    std::int64_t Exec(const std::string& sql) { return Connection().Execute(sql); }

    //! The first value of a query ("<null>", "<no row>").
    std::string Value(const std::string& sql) { return QueryValue(Connection(), sql); }
    //! The first column of every row ("<null>" for Null).
    Texts Column(const std::string& sql);
    //! Every row, its values joined by '|'.
    Texts Lines(const std::string& sql);
    std::int64_t Count(const std::string& table, const std::string& where = "") {
        return std::stoll(
            Value("SELECT COUNT(*) FROM " + table + (where.empty() ? "" : " WHERE ") + where));
    }
    //! Key values of the rows with is_deletable = 1, in key order.
    Texts Marked(const std::string& table, const std::string& key) {
        return Column("SELECT " + key + " FROM " + table + " WHERE is_deletable = 1 ORDER BY 1");
    }
    //! Names of a table's indexes, the automatic ones of keys included.
    Texts IndexNames(const std::string& table) {
        return Column("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = " +
                      SqlLiteral(table) + " ORDER BY name");
    }

  private:
    struct TableFacts {
        bool IsFact = false;
        bool Indexed = false;
        bool SlowlyChanging = false;
        std::string OrgPkey{};
    };

    void Open();
    void CreateTable(const std::string& name, std::vector<std::string> definitions,
                     const std::string& constraint);

    std::unique_ptr<TempDir> folder_;
    std::string path_;
    std::unique_ptr<varnel::Connection> connection_;
    std::map<std::string, TableFacts> tables_;
};

}  // namespace varnel::testing
