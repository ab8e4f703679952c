#pragma once

// Query results that can be edited and written back: each row is kept with the
// identity that finds it again in its table (SQLite's rowid, SQL Server's
// primary key), so that the row a value belongs to does not depend on the order
// in which the rows are shown.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "warehouse/odbc.h"

namespace varnel {

//! The rows of one query, held in memory, with the values as read and as changed.
class EditableResult {
  public:
    //! The query's own columns; the identity's columns are not among them.
    const std::vector<ColumnInfo>& Columns() const { return columns_; }
    std::size_t RowCount() const { return rows_.size(); }

    //! A value as it stands now (Null = nullopt).
    const std::optional<std::string>& Value(std::size_t row, std::size_t column) const;
    //! A value as it was read.
    const std::optional<std::string>& ReadValue(std::size_t row, std::size_t column) const;
    //! Changes a value; setting it back to what was read undoes the change.
    void SetValue(std::size_t row, std::size_t column, std::optional<std::string> value);
    //! True when some value of the row differs from what was read.
    bool RowChanged(std::size_t row) const;
    std::size_t ChangedRowCount() const;

    //! The table the rows are written back to, as the query names it; empty when
    //! they cannot be written back.
    const std::string& Table() const { return table_; }
    //! Why the rows cannot be written back; empty when they can.
    const std::string& ReadOnlyReason() const { return readOnlyReason_; }

  private:
    friend EditableResult OpenEditableResult(Connection& connection, const std::string& query);
    friend std::size_t SaveEditableChanges(Connection& connection, EditableResult& result);

    struct Row {
        std::vector<std::optional<std::string>> Identity;
        std::vector<std::optional<std::string>> Read;
        std::vector<std::optional<std::string>> Now;
    };

    std::vector<ColumnInfo> columns_;
    std::vector<ColumnInfo> identityColumns_;
    std::vector<Row> rows_;
    std::string table_;
    std::string readOnlyReason_;
};

//! Runs a SELECT and keeps its rows. When the query reads one table by name, with
//! no join, DISTINCT, grouping, aggregate or combined query, and that table has an
//! identity, every row keeps its identity; otherwise the result is read-only and
//! ReadOnlyReason says why. Throws when the query fails.
EditableResult OpenEditableResult(Connection& connection, const std::string& query);

//! Writes the changed rows back in one transaction, one UPDATE per row found by
//! its identity, setting the changed columns only. Every UPDATE must touch exactly
//! one row, or nothing is saved. Returns the number of rows written; afterwards the
//! values stand as read. Throws, with nothing saved and the changes kept, when the
//! result is read-only or a write fails.
std::size_t SaveEditableChanges(Connection& connection, EditableResult& result);

}  // namespace varnel
