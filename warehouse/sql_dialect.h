#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "warehouse/odbc.h"

namespace varnel {

//! The statements of a transaction; all empty when the driver ends transactions.
struct TransactionTexts {
    std::string Begin;
    //! Begins without taking the write lock up front (the lock comes with the first
    //! write); empty where Begin is empty.
    std::string DeferredBegin;
    std::string Commit;
    std::string Rollback;
};

class LiveLock;

//! How rows travel between two databases of one engine.
enum class CopyRoute {
    //! The other database's file is attached to one connection, which copies.
    AttachedFile,
    //! The server reaches the other database, or another server, itself.
    ThroughServer,
};

//! The few statements that differ between the engines. Code that builds SQL is
//! handed the dialect of its connection; there is no global switch.
class SqlDialect {
  public:
    virtual ~SqlDialect() = default;

    //! An integer of a bit column or expression.
    virtual std::string IntOfBit(const std::string& expression) const = 0;
    //! The calendar day of a date value, as a value that compares equal for equal days.
    virtual std::string DayOf(const std::string& expression) const = 0;

    //! Catalog queries, each with one or two ? parameters (table name, column name);
    //! a row comes back when the object exists. Table names match as the engine
    //! matches them in statements.
    virtual std::string TableExistsQuery() const = 0;
    virtual std::string ColumnExistsQuery() const = 0;
    virtual std::string TableHasIndexQuery() const = 0;
    //! The query whose one row names the table (or view) that the engine takes for a
    //! table name as the metadata holds it, in one spelling per table; no row when the
    //! engine finds none. nullopt when the name can name no table of the warehouse.
    virtual std::optional<Command> ResolveTableQuery(const std::string& name) const = 0;

    //! The lock row, read so that no other process can change it before this
    //! transaction ends.
    virtual std::string SelectLockRowForUpdate() const = 0;
    //! The rows of the lock table, counted so that no other process can add one
    //! before this transaction ends.
    virtual std::string CountLockRowsForUpdate() const = 0;

    //! The table hint (with its leading blank, or nothing) that keeps the rows a
    //! read found, and the gaps between them, locked until the transaction ends, so
    //! that no other process can add a row the read would have found.
    virtual std::string HoldReadLocks() const = 0;

    //! Transactions as the engine's driver handles them best: the statements that
    //! begin, commit and roll back one, or none, where the driver's own commit and
    //! rollback with autocommit off serve best.
    virtual TransactionTexts Transactions() const = 0;

    //! Sets `assignment` on the rows of `table` that match a row of `joined`
    //! under `condition` (which names both tables), each matched row once.
    virtual std::string JoinedUpdate(const std::string& table, const std::string& assignment,
                                     const std::string& joined,
                                     const std::string& condition) const = 0;

    //! The statements that make the engine compile a statement without running
    //! it, in the order they are sent.
    virtual std::vector<std::string> CompileOnly(const std::string& statement) const = 0;
    //! What switches the connection back to running statements after a failed
    //! compile-only test; empty when the engine needs nothing.
    virtual std::string CompileOnlyReset() const = 0;

    //! The columns that find any row of a table again, when the engine has them;
    //! nullopt when a row is found by its table's primary key.
    virtual std::optional<std::vector<std::string>> RowIdColumns() const = 0;
    //! The primary key's columns of the table named by its one parameter, in key order.
    virtual std::string PrimaryKeyColumnsQuery() const = 0;

    //! Whether the engine keeps dates as text: a date read then goes back as the
    //! very text read, since a bound timestamp would not compare equal to it.
    virtual bool KeepsDatesAsText() const = 0;
    //! Whether the engine compares row values: (a, b) IN (SELECT a, b ...).
    virtual bool ComparesRowValues() const = 0;
    //! Whether a connection reaches one of several databases, chosen as its current
    //! catalog (a server), rather than being the database itself (a file).
    virtual bool SelectsDatabaseByCatalog() const = 0;

    //! How the engine copies rows from one of its databases into another.
    virtual CopyRoute RouteBetweenDatabases() const = 0;

    //! The live half of the tool lock for the warehouse that the connection reaches.
    virtual std::unique_ptr<LiveLock> NewLiveLock(const Connection& connection) const = 0;

    //! The columns of the table named by its one parameter, their names in the
    //! first column, in the order the catalog keeps them.
    virtual std::string TableColumnsQuery() const = 0;
    //! The column that one line of the engine's error text says does not exist, as
    //! the text names it; nullopt when the line says something else.
    virtual std::optional<std::string> MissingColumnName(const std::string& errorLine) const = 0;
};

//! Microsoft SQL Server: emits the production texts.
class SqlServerDialect final : public SqlDialect {
  public:
    std::string IntOfBit(const std::string& expression) const override;
    std::string DayOf(const std::string& expression) const override;
    std::string TableExistsQuery() const override;
    std::string ColumnExistsQuery() const override;
    std::string TableHasIndexQuery() const override;
    std::optional<Command> ResolveTableQuery(const std::string& name) const override;
    std::string SelectLockRowForUpdate() const override;
    std::string CountLockRowsForUpdate() const override;
    std::string HoldReadLocks() const override;
    TransactionTexts Transactions() const override;
    std::string JoinedUpdate(const std::string& table, const std::string& assignment,
                             const std::string& joined,
                             const std::string& condition) const override;
    std::vector<std::string> CompileOnly(const std::string& statement) const override;
    std::string CompileOnlyReset() const override;
    std::optional<std::vector<std::string>> RowIdColumns() const override;
    std::string PrimaryKeyColumnsQuery() const override;
    bool KeepsDatesAsText() const override;
    bool ComparesRowValues() const override;
    bool SelectsDatabaseByCatalog() const override;
    CopyRoute RouteBetweenDatabases() const override;
    std::unique_ptr<LiveLock> NewLiveLock(const Connection& connection) const override;
    std::string TableColumnsQuery() const override;
    std::optional<std::string> MissingColumnName(const std::string& errorLine) const override;
};

//! SQLite through its ODBC driver: the embedded engine.
class SqliteDialect final : public SqlDialect {
  public:
    std::string IntOfBit(const std::string& expression) const override;
    std::string DayOf(const std::string& expression) const override;
    std::string TableExistsQuery() const override;
    std::string ColumnExistsQuery() const override;
    std::string TableHasIndexQuery() const override;
    std::optional<Command> ResolveTableQuery(const std::string& name) const override;
    std::string SelectLockRowForUpdate() const override;
    std::string CountLockRowsForUpdate() const override;
    std::string HoldReadLocks() const override;
    TransactionTexts Transactions() const override;
    std::string JoinedUpdate(const std::string& table, const std::string& assignment,
                             const std::string& joined,
                             const std::string& condition) const override;
    std::vector<std::string> CompileOnly(const std::string& statement) const override;
    std::string CompileOnlyReset() const override;
    std::optional<std::vector<std::string>> RowIdColumns() const override;
    std::string PrimaryKeyColumnsQuery() const override;
    bool KeepsDatesAsText() const override;
    bool ComparesRowValues() const override;
    bool SelectsDatabaseByCatalog() const override;
    CopyRoute RouteBetweenDatabases() const override;
    std::unique_ptr<LiveLock> NewLiveLock(const Connection& connection) const override;
    std::string TableColumnsQuery() const override;
    std::optional<std::string> MissingColumnName(const std::string& errorLine) const override;
};

//! The dialect object of an engine (one each, alive for the process).
const SqlDialect& DialectFor(Engine engine);

}  // namespace varnel
