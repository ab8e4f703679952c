#include "bench/warehouse_generator.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "warehouse/connector.h"
#include "warehouse/sql_literal.h"

namespace varnel::bench {

namespace {

int Percent(double share) {
    return static_cast<int>(std::lround(std::clamp(share, 0.0, 0.99) * 100.0));
}

// Rows are unused in runs: of every ten rows, the first tenths of the share.
int UnusedOfTen(double share) {
    return static_cast<int>(std::lround(std::clamp(share, 0.0, 0.9) * 10.0));
}

const DimensionShape& FindDimension(const WarehouseShape& shape, const std::string& name) {
    for (const auto& d : shape.Dimensions)
        if (d.Name == name) return d;
    throw std::invalid_argument("unknown dimension " + name);
}

std::int64_t RowsOf(const DimensionShape& d) {
    return d.Elements * d.VersionsPerElement;
}

// An id of a used row of the dimension, spread over the table by a multiplier.
std::string PickUsedId(const DimensionShape& d, const std::string& x, std::int64_t multiplier) {
    const std::int64_t rows = RowsOf(d);
    const int unused = UnusedOfTen(d.UnusedShare);
    const std::string r =
        "((" + x + " * " + std::to_string(multiplier) + ") % " + std::to_string(rows) + ")";
    const std::string r2 = "(" + r + " - " + r + " % 10 + " + std::to_string(unused) + " + (" + r +
                           " % 10) % " + std::to_string(10 - unused) + ")";
    return "(CASE WHEN " + r2 + " < " + std::to_string(rows) + " THEN " + r2 + " ELSE " +
           std::to_string(unused) + " END + 1)";
}

// NOTE: the SQLite driver takes a statement that begins with WITH for a query and
// runs it only as far as its rows are fetched, so the series goes after INSERT.
std::string InsertFromSeries(const std::string& table, const std::string& columns,
                             std::int64_t count, const std::string& values) {
    return "INSERT INTO " + table + " (" + columns +
           ") WITH RECURSIVE s(x) AS (SELECT 0 UNION "
           "ALL SELECT x + 1 FROM s WHERE x < " +
           std::to_string(count - 1) + ") SELECT " + values + " FROM s";
}

void CreateDimension(Connection& db, const WarehouseShape& shape, const DimensionShape& d) {
    const bool versions = d.VersionsPerElement > 1;
    std::string create = "CREATE TABLE " + d.Name +
                         " (id INTEGER PRIMARY KEY, code VARCHAR(20) NOT NULL, name VARCHAR(40)";
    if (!d.Parent.empty()) create += ", parent_id INTEGER";
    if (versions) create += ", start_date DATETIME, end_date DATETIME, is_current bit";
    create += ", is_deletable bit NOT NULL DEFAULT 0, is_sustainable bit NOT NULL DEFAULT 0)";
    db.Execute(create);

    const std::string v = std::to_string(d.VersionsPerElement);
    std::string columns = "id, code, name";
    std::string values = "x + 1, 'E' || (x / " + v + " + 1), 'name ' || x";
    if (!d.Parent.empty()) {
        columns += ", parent_id";
        values += ", " + PickUsedId(FindDimension(shape, d.Parent), "x", 7);
    }
    if (versions) {
        columns += ", start_date, end_date, is_current";
        values += ", datetime('2010-01-01', '+' || ((x % " + v + ") * 365) || ' days')";
        values += ", CASE WHEN x % " + v + " = " + v + " - 1 THEN '9999-12-31 00:00:00' ELSE " +
                  "datetime('2010-01-01', '+' || ((x % " + v + " + 1) * 365) || ' days') END";
        values += ", CASE WHEN x % " + v + " = " + v + " - 1 THEN 1 ELSE 0 END";
    }
    columns += ", is_sustainable";
    const int keep = Percent(d.SustainableShare);
    values += keep > 0
                  ? ", CASE WHEN (x * 31) % 100 < " + std::to_string(keep) + " THEN 1 ELSE 0 END"
                  : ", 0";
    db.Execute(InsertFromSeries(d.Name, columns, RowsOf(d), values));
    if (!d.Parent.empty())
        db.Execute("CREATE INDEX ix_" + d.Name + "_parent_id ON " + d.Name + " (parent_id)");

    db.Execute("INSERT INTO dwm_tables VALUES (" + SqlLiteral(d.Name) + ", 'DIMENSION', NULL, " +
               (d.Selected ? "1" : "0") + ", 'code')");
    if (!d.Parent.empty())
        db.Execute(
            "INSERT INTO dwm_star_relations VALUES (1, " + SqlLiteral(d.Parent) + ", 'id', " +
            SqlLiteral(d.Name) + ", 'parent_id', " +
            (FindDimension(shape, d.Parent).VersionsPerElement > 1 ? "1, 'code'" : "0, NULL") +
            ")");
}

void CreateFact(Connection& db, const WarehouseShape& shape, const FactShape& f) {
    std::string create = "CREATE TABLE " + f.Name +
                         " (id INTEGER NOT NULL, fact_date DATETIME NOT NULL, amount DOUBLE";
    std::string columns = "id, fact_date, amount";
    std::string values =
        "x + 1, datetime('2020-01-01', '+' || (x % 1000) || ' days'), (x % 997) * 1.5";
    std::int64_t multiplier = 7919;
    for (const auto& name : f.Dimensions) {
        create += ", " + name + "_id INTEGER";
        columns += ", " + name + "_id";
        values += ", " + PickUsedId(FindDimension(shape, name), "x", multiplier);
        multiplier += 104;
    }
    create += ", CONSTRAINT pk_" + f.Name + " PRIMARY KEY (id))";
    db.Execute(create);
    db.Execute(InsertFromSeries(f.Name, columns, f.Rows, values));
    for (const auto& name : f.Dimensions) {
        if (f.Indexed)
            db.Execute("CREATE INDEX ix_" + f.Name + "_" + name + " ON " + f.Name + " (" + name +
                       "_id)");
        const auto& d = FindDimension(shape, name);
        db.Execute("INSERT INTO dwm_star_relations VALUES (1, " + SqlLiteral(name) + ", 'id', " +
                   SqlLiteral(f.Name) + ", " + SqlLiteral(name + "_id") + ", " +
                   (d.VersionsPerElement > 1 ? "1, 'code'" : "0, NULL") + ")");
    }
    const std::string condition =
        f.ArchiveShare > 0 ? SqlLiteral(ArchiveCondition(f.ArchiveShare)) : "NULL";
    db.Execute("INSERT INTO dwm_tables VALUES (" + SqlLiteral(f.Name) + ", 'FACT', " + condition +
               ", 0, NULL)");
}

}  // namespace

std::string ArchiveCondition(double archiveShare) {
    // fact_date runs over 1000 days from 2020-01-01, one day per row in turn.
    const auto days = static_cast<int>(std::lround(std::clamp(archiveShare, 0.0, 1.0) * 1000.0));
    const std::time_t base = 1577836800;  // 2020-01-01 00:00:00 UTC
    const std::time_t limit = base + static_cast<std::time_t>(days) * 86400;
    std::tm day{};
    gmtime_r(&limit, &day);
    char text[64];
    std::snprintf(text, sizeof text, "fact_date < '%04d-%02d-%02d 00:00:00'", day.tm_year + 1900,
                  day.tm_mon + 1, day.tm_mday);
    return text;
}

WarehouseShape StandardWarehouse(std::int64_t factRows) {
    WarehouseShape shape;
    shape.Dimensions = {
        {"dim_date", 1000, 1, 0.1, "", true, 0.0},
        {"dim_store", 200, 1, 0.1, "", true, 0.0},
        {"dim_category", std::max<std::int64_t>(10, factRows / 1000), 1, 0.1, "", true, 0.0},
        {"dim_product", std::max<std::int64_t>(100, factRows / 10), 1, 0.1, "dim_category", true,
         0.01},
        {"dim_customer", std::max<std::int64_t>(100, factRows / 50), 3, 0.1, "", true, 0.0},
    };
    shape.Facts = {
        {"fact_sales",
         factRows,
         {"dim_date", "dim_store", "dim_product", "dim_customer"},
         0.5,
         true},
        {"fact_returns",
         std::max<std::int64_t>(10, factRows / 10),
         {"dim_date", "dim_product", "dim_customer"},
         0.5,
         true},
    };
    return shape;
}

void GenerateWarehouse(const std::string& path, const WarehouseShape& shape) {
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");
    std::ofstream(path, std::ios::binary | std::ios::trunc).close();
    Connector connector;
    connector.Server = "sqlite";
    connector.Database = path;
    connector.EmptyFile = NewFile::Allowed;
    auto db = connector.Connect(60);
    db->Execute("PRAGMA synchronous = OFF");
    db->Execute(
        "CREATE TABLE dwm_tables (table_name varchar(128) NOT NULL, table_type varchar(20), "
        "where_clause varchar(4000), is_selected bit, org_pkey varchar(255))");
    db->Execute(
        "CREATE TABLE dwm_star_relations (selected bit, primary_table varchar(128), "
        "primary_columns varchar(255), foreign_table varchar(128), foreign_columns "
        "varchar(255), slow_moving_dim bit, original_primary_key varchar(255))");
    for (const auto& d : shape.Dimensions) {
        Transaction transaction(*db);
        CreateDimension(*db, shape, d);
        transaction.Commit();
    }
    for (const auto& f : shape.Facts) {
        Transaction transaction(*db);
        CreateFact(*db, shape, f);
        transaction.Commit();
    }
    db->Execute("PRAGMA wal_checkpoint(TRUNCATE)");
}

}  // namespace varnel::bench
