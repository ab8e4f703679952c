#pragma once

// Generates star-schema warehouses as SQLite files for the benchmarks: fact
// tables with indexed referring columns, dimensions with a share of rows that
// nothing uses, snowflake edges, slowly changing dimensions with dated
// versions, and archiving conditions on the fact tables. All rows are made by
// the engine itself (recursive CTEs), so 10M fact rows take seconds, not hours.
//
// Dimension rows: id INTEGER PRIMARY KEY, code (the element's business key),
// name, parent_id when the dimension refers to a parent (snowflake),
// start_date/end_date/is_current when it has several versions per element,
// is_deletable, is_sustainable. A row is unused when (id - 1) % 10 falls below
// the unused share in tenths; facts and child dimensions refer only to used rows.

#include <cstdint>
#include <string>
#include <vector>

namespace varnel::bench {

struct DimensionShape {
    std::string Name;
    //! Distinct elements (business keys).
    std::int64_t Elements = 1000;
    //! Versions per element; more than one makes it a slowly changing dimension.
    int VersionsPerElement = 1;
    //! Share of rows that no referring table uses, in tenths from 0 to 0.9.
    double UnusedShare = 0.1;
    //! The dimension this one refers to through parent_id; empty for none.
    std::string Parent;
    bool Selected = true;
    //! Share of rows the operator chose to keep (is_sustainable = 1).
    double SustainableShare = 0.0;
};

struct FactShape {
    std::string Name;
    std::int64_t Rows = 100000;
    //! The dimensions it refers to, each through a column <dimension>_id.
    std::vector<std::string> Dimensions;
    //! Share of rows that the archiving condition selects (by fact_date); 0 leaves
    //! the condition Null.
    double ArchiveShare = 0.0;
    //! Index each referring column, as a real warehouse does.
    bool Indexed = true;
};

struct WarehouseShape {
    std::vector<DimensionShape> Dimensions;
    std::vector<FactShape> Facts;
};

//! A retail-like warehouse scaled to the fact rows: fact_sales (the rows given,
//! half of them archivable) and fact_returns (a tenth), dim_date, dim_store,
//! dim_product with its snowflake dim_category, and dim_customer with three
//! versions per element; 10% of each dimension unused.
WarehouseShape StandardWarehouse(std::int64_t factRows);

//! Creates the warehouse file, replacing an existing one.
void GenerateWarehouse(const std::string& path, const WarehouseShape& shape);

//! The archiving condition of a fact table with that archive share.
std::string ArchiveCondition(double archiveShare);

}  // namespace varnel::bench
