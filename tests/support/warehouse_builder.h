#pragma once

// Builds small SQLite warehouses for tests: the two metadata tables, dimension
// and fact tables with their control columns, relations, rows and dated
// versions, and short read-backs for the assertions:
//
//   WarehouseBuilder w;  // a fresh file in its own temporary folder
//   w.Dimension("dim_product", {"id INTEGER", "code VARCHAR(10)"}, {.PrimaryKey = "id"});
//   w.Fact("fact_sales", {"id INTEGER", "product_id INTEGER"}, {.PrimaryKey = "id"});
//   w.Relation("dim_product", "id", "fact_sales", "product_id");
//   w.Rows("dim_product", {"id", "code"}, {{1, "A"}, {2, "B"}});
//   ... run the code under test on w.Connection() (or w.Close() and start a process on w.Path())
//   EXPECT_THAT(w.Marked("dim_product", "code"), ElementsAre("B"));
//
// A relation added after both of its tables takes the slowly changing flag and
// the original key from the dimension it refers to, and indexes the referring
// columns of a fact table.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "tests/support/temp_dir.h"
#include "warehouse/odbc.h"

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

//! Null in rows and options: Rows("t", {"a", "b"}, {{1, Null}}).
inline constexpr std::nullptr_t Null = nullptr;

//! The version columns that slowly changing dimension tables get.
inline const std::vector<std::string> VersionColumns = {"start_date", "end_date", "is_current"};

// NOTE: every field of the option structs has an initializer, even an empty one:
// GCC warns (-Wmissing-field-initializers) about each one a designated initializer
// leaves out unless it has one.

//! A dimension table beyond its own columns.
struct DimensionOptions {
    //! Key column list, e.g. "id" or "code, valid_from"; empty for no key.
    std::string PrimaryKey{};
    //! dwm_tables.org_pkey: the business key columns; empty stores Null.
    std::string OrgPkey{};
    bool Selected = true;
    //! dwm_tables.table_type, written as given ('Dimension' and the like are allowed).
    std::string TableType = "DIMENSION";
    //! Adds start_date, end_date and is_current; relations to the table become slowly changing.
    bool SlowlyChanging = false;
    //! Adds a surrogate key column surkey INTEGER.
    bool Surkey = false;
    //! Control and version columns to leave out, for warehouses that lack them.
    std::vector<std::string> Without{};
    //! False leaves the table out of dwm_tables.
    bool Registered = true;
};

//! A fact table beyond its own columns.
struct FactOptions {
    std::string PrimaryKey{};
    //! Name of the key's constraint; empty: unnamed.
    std::string KeyConstraint{};
    //! dwm_tables.where_clause, the archiving condition.
    Cell WhereClause{};
    //! An index on the referring columns of each relation that names the table.
    bool Indexed = true;
    std::string TableType = "FACT";
    bool Registered = true;
};

//! A relation beyond its tables and columns. Unset fields are taken from the
//! primary table as the builder made it.
struct RelationOptions {
    //! dwm_star_relations.slow_moving_dim; by default the primary table's SlowlyChanging.
    std::optional<bool> SlowlyChanging{};
    //! dwm_star_relations.original_primary_key; by default the primary table's OrgPkey
    //! when the relation is slowly changing, else Null. Null may be given.
    std::optional<Cell> OriginalKey{};
    Cell Selected = 1;
};

//! One row of dwm_tables, written as given (Null allowed everywhere but the name).
struct TableEntry {
    std::string Table{};
    Cell Type = "DIMENSION";
    Cell WhereClause{};
    Cell Selected = 1;
    Cell OrgPkey{};
};

//! A dated version of a slowly changing dimension element. Dates are
//! 'YYYY-MM-DD HH:MM:SS' or 'YYYY-MM-DD' (stored with 00:00:00), or Null.
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
    //! A warehouse file "warehouse.db" in a temporary folder of its own, removed with the builder.
    WarehouseBuilder();
    //! A warehouse file at the path given (replaced when it exists).
    explicit WarehouseBuilder(const std::string& path);
    WarehouseBuilder(WarehouseBuilder&&) noexcept;
    WarehouseBuilder& operator=(WarehouseBuilder&&) noexcept;
    ~WarehouseBuilder();

    const std::string& Path() const { return path_; }
    //! The folder that holds the file; a place for logs and reports of the test.
    std::string Folder() const;
    //! The builder's connection, opened again when it was closed.
    varnel::Connection& Connection();
    //! A new, independent connection to the file, for the code under test.
    std::unique_ptr<varnel::Connection> OpenConnection() const;
    //! Closes the builder's connection, so that another process can use the file.
    void Close();

    //! A dimension table: its own columns (SQL definitions), then the control columns.
    void Dimension(const std::string& name, const std::vector<std::string>& columns,
                   const DimensionOptions& options = {});
    //! A fact table, registered as a fact with its archiving condition.
    void Fact(const std::string& name, const std::vector<std::string>& columns,
              const FactOptions& options = {});
    //! A plain table that the metadata does not name.
    void Table(const std::string& name, const std::vector<std::string>& columns);
    //! A row of dwm_tables as given.
    void Register(const TableEntry& entry);
    //! A row of dwm_star_relations; column lists are comma-separated and stored as given.
    void Relation(const std::string& primaryTable, const std::string& primaryColumns,
                  const std::string& foreignTable, const std::string& foreignColumns,
                  const RelationOptions& options = {});

    //! Inserts rows in one transaction; values are bound as parameters.
    void Rows(const std::string& table, const std::vector<std::string>& columns,
              const std::vector<std::vector<Cell>>& rows);
    //! Inserts dated versions: the columns named, then start_date, end_date,
    //! is_current, is_deletable and is_sustainable.
    void Versions(const std::string& table, const std::vector<std::string>& columns,
                  const std::vector<Version>& versions);
    //! Runs one statement; returns its affected-row count.
    std::int64_t Exec(const std::string& sql);

    //! The first value of a query ("<null>", "<no row>").
    std::string Value(const std::string& sql);
    //! The first column of every row ("<null>" for Null).
    Texts Column(const std::string& sql);
    //! Every row, its values joined by '|'.
    Texts Lines(const std::string& sql);
    std::int64_t Count(const std::string& table, const std::string& where = "");
    //! Key values of the rows with is_deletable = 1, in key order.
    Texts Marked(const std::string& table, const std::string& key);
    //! Names of a table's indexes, the automatic ones of keys included.
    Texts IndexNames(const std::string& table);

  private:
    struct TableFacts {
        bool IsFact = false;
        bool Indexed = false;
        bool SlowlyChanging = false;
        std::string OrgPkey{};
    };

    void Open();
    void CreateMetadataTables();
    void CreateTable(const std::string& name, std::vector<std::string> definitions,
                     const std::string& keyConstraint);

    std::unique_ptr<TempDir> folder_;
    std::string path_;
    std::unique_ptr<varnel::Connection> connection_;
    std::map<std::string, TableFacts> tables_;
};

}  // namespace varnel::testing
