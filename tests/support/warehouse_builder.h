#pragma once

// Small SQLite warehouses for tests. A relation added after both of its tables takes the slowly
// changing flag and original key from its dimension, and indexes the fact table's columns.

#include <concepts>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/sqlite_file.h"
#include "tests/support/temp_dir.h"
#include "warehouse/sql_literal.h"

namespace varnel::testing {

//! One value of a row as a test writes it: Null, text, a whole number or a real number.
class Cell {
  public:
    Cell() = default;
    Cell(std::nullptr_t) {}
    template <std::integral T>
    Cell(T value) : value_(static_cast<std::int64_t>(value)) {}
    Cell(double value) : value_(value) {}
    Cell(const char* value) : value_(std::string(value)) {}
    Cell(std::string value) : value_(std::move(value)) {}

    const Value& Held() const { return value_; }

  private:
    Value value_;
};

inline constexpr std::nullptr_t Null = nullptr;

struct DimensionOptions {
    //! Key column list, e.g. "code, valid_from"; empty for none. OrgPkey empty stores Null.
    std::string PrimaryKey{};
    std::string OrgPkey{};
    bool Selected = true;
    std::string TableType = "DIMENSION";
    //! Adds start_date, end_date and is_current; relations to the table become slowly changing.
    bool SlowlyChanging = false, Surkey = false;
    std::vector<std::string> Without{};
    //! False leaves the table out of dwm_tables (also for facts).
    bool Registered = true;
};

struct FactOptions {
    std::string PrimaryKey{};
    std::string KeyConstraint{};
    Cell WhereClause{};
    bool Indexed = true;
    std::string TableType = "FACT";
    bool Registered = true;
};

//! Unset fields are taken from the primary table as the builder made it: the original key
//! is its OrgPkey when slowly changing, else Null.
struct RelationOptions {
    std::optional<bool> SlowlyChanging{};
    std::optional<Cell> OriginalKey{};
    Cell Selected = 1;
};

struct TableEntry {
    std::string Table{};
    Cell Type = "DIMENSION";
    Cell WhereClause{}, Selected = 1, OrgPkey{};
};

//! A dated version of a slowly changing dimension element: the values of the columns the
//! Versions call names; dates 'YYYY-MM-DD HH:MM:SS', 'YYYY-MM-DD' or Null.
struct Version {
    std::vector<Cell> Values{};
    Cell Start{}, End{};
    int Current = 0, Deletable = 0, Sustainable = 0;
};

using Texts = std::vector<std::string>;

//! A SQLite warehouse under construction, with its own open connection.
class WarehouseBuilder {
  public:
    //! "warehouse.db" in a temporary folder of its own, removed with the builder, or the
    //! path given (replaced when it exists).
    WarehouseBuilder();
    explicit WarehouseBuilder(const std::string& path);

    const std::string& Path() const { return path_; }
    std::string Folder() const { return std::filesystem::path(path_).parent_path().string(); }
    varnel::Connection& Connection();
    std::unique_ptr<varnel::Connection> OpenConnection() const { return OpenSqlite(path_); }
    void Close() { connection_.reset(); }

    void Dimension(const std::string& name, const std::vector<std::string>& columns,
                   const DimensionOptions& options = {});
    void Fact(const std::string& name, const std::vector<std::string>& columns,
              const FactOptions& options = {});
    void Table(const std::string& name, const std::vector<std::string>& columns) {
        CreateTable(name, columns, "");
    }
    void Register(const TableEntry& entry);
    void Relation(const std::string& primaryTable, const std::string& primaryColumns,
                  const std::string& foreignTable, const std::string& foreignColumns,
                  const RelationOptions& options = {});
    //! dim_product (id, code) of two rows, the second used by no row of fact_sales.
    void OneUnusedProduct();

    void Rows(const std::string& table, const std::vector<std::string>& columns,
              const std::vector<std::vector<Cell>>& rows);
    //! The columns named, then start_date, end_date, is_current, is_deletable, is_sustainable.
    void Versions(const std::string& table, std::vector<std::string> columns,
                  const std::vector<Version>& versions);
    std::int64_t Exec(const std::string& sql) { return Connection().Execute(sql); }

    std::string Value(const std::string& sql) { return QueryValue(Connection(), sql); }
    Texts Column(const std::string& sql) { return RowTexts(Connection(), sql, "", 1); }
    Texts Lines(const std::string& sql) { return RowTexts(Connection(), sql, "|"); }
    std::int64_t Count(const std::string& table, const std::string& where = "") {
        return std::stoll(
            Value("SELECT COUNT(*) FROM " + table + (where.empty() ? "" : " WHERE ") + where));
    }
    Texts Marked(const std::string& table, const std::string& key) {
        return Column("SELECT " + key + " FROM " + table + " WHERE is_deletable = 1 ORDER BY 1");
    }
    Texts IndexNames(const std::string& table) {
        return Column("SELECT name FROM sqlite_master WHERE type = 'index' AND tbl_name = " +
                      SqlLiteral(table) + " ORDER BY name");
    }

  private:
    struct TableFacts {
        bool IsFact = false, Indexed = false, SlowlyChanging = false;
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
