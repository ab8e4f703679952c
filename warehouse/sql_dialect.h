#pragma once

#include <string>

#include "warehouse/odbc.h"

namespace varnel {

//! The statements of a transaction; all empty when the driver ends transactions.
struct TransactionTexts {
    std::string Begin;
    std::string Commit;
    std::string Rollback;
};

//! The few statements that differ between the engines. Code that builds SQL is
//! handed the dialect of its connection; there is no global switch.
class SqlDialect {
public:
    virtual ~SqlDialect() = default;

    virtual Engine GetEngine() const = 0;

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
};

//! Microsoft SQL Server: emits the production texts.
class SqlServerDialect final : public SqlDialect {
public:
    Engine GetEngine() const override { return Engine::SqlServer; }
    std::string IntOfBit(const std::string& expression) const override;
    std::string DayOf(const std::string& expression) const override;
    std::string TableExistsQuery() const override;
    std::string ColumnExistsQuery() const override;
    std::string TableHasIndexQuery() const override;
    std::string SelectLockRowForUpdate() const override;
    std::string CountLockRowsForUpdate() const override;
    std::string HoldReadLocks() const override;
    TransactionTexts Transactions() const override;
};

//! SQLite through its ODBC driver: the embedded engine.
class SqliteDialect final : public SqlDialect {
public:
    Engine GetEngine() const override { return Engine::Sqlite; }
    std::string IntOfBit(const std::string& expression) const override;
    std::string DayOf(const std::string& expression) const override;
    std::string TableExistsQuery() const override;
    std::string ColumnExistsQuery() const override;
    std::string TableHasIndexQuery() const override;
    std::string SelectLockRowForUpdate() const override;
    std::string CountLockRowsForUpdate() const override;
    std::string HoldReadLocks() const override;
    TransactionTexts Transactions() const override;
};

//! The dialect object of an engine (one each, alive for the process).
const SqlDialect& DialectFor(Engine engine);

}  // namespace varnel
