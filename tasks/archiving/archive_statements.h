#pragma once

// The statements of fact archiving, built apart from sending them so that their
// texts can be checked: the fact table list, the statement that tests a
// condition, the server-to-server copy and delete, and the creation of an
// archive table from the fact table's columns, one form per engine where the
// engines differ.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "warehouse/odbc.h"

namespace varnel::archive_sql {

//! Every FACT table once, with the greatest of its conditions.
std::string SelectFactConditions();
//! How many FACT tables dwm_tables names.
std::string CountFactTables();

//! The statement that the conditions dialog tests for a table and its condition.
std::string ConditionTestStatement(const std::string& table, const std::string& condition);

//! The archiving date as the copy stamps it: "yyyy-mm-dd hh:mm:ss".
std::string ArchiveDateText(const Timestamp& date);

//! Removes the archived rows from the warehouse.
std::string DeleteArchivedRows(const std::string& table, const std::string& condition);

//! A column of the fact table and the archive table's column that takes its values.
struct CopiedColumn {
    std::string Warehouse{};
    std::string Archive{};
};

//! Pairs each fact column, in the fact table's order, with the archive column of
//! the same name (letter case aside). Throws, naming the table and the column,
//! when the archive table lacks a fact column. Archive columns without a fact
//! column are left out: the copy leaves them Null or at their default.
std::vector<CopiedColumn> MatchArchiveColumns(const std::string& table,
                                              const std::vector<std::string>& factColumns,
                                              const std::vector<std::string>& archiveColumns);

// ---------------------------------------------------------------- SQL Server

//! Defines the archive server as a linked server of the warehouse server.
Command AddLinkedServer(const std::string& server);
//! Lets the warehouse server's logins reach the linked server as themselves.
Command AddLinkedServerLogin(const std::string& server);
//! The linked-server command turned into its removal: the server name alone.
Command DropLinkedServer(Command added);

//! The copy through the linked server (the archive table by its four-part name),
//! naming the columns on both sides.
std::string LinkedServerCopy(const std::string& server, const std::string& database,
                             const std::string& table, const std::vector<CopiedColumn>& columns,
                             const std::string& archiveDate, const std::string& condition);
//! The copy through an ad hoc connection with the archive's SQL login, naming the
//! columns on both sides.
std::string OpenRowsetCopy(const std::string& server, const std::string& user,
                           const std::string& password, const std::string& database,
                           const std::string& table, const std::vector<CopiedColumn>& columns,
                           const std::string& archiveDate, const std::string& condition);

//! A column of a SQL Server table as its catalog describes it.
struct SqlServerColumn {
    std::string Name{};
    //! The system type's name ("int", "nvarchar", "timestamp", ...).
    std::string TypeName{};
    //! Bytes; -1 for (max).
    int MaxLength = 0;
    int Precision = 0;
    int Scale = 0;
    bool Nullable = true;
    bool Identity = false;
    bool Computed = false;
};

//! A table's primary key: its constraint name (empty when unnamed) and columns in key order.
struct TableKey {
    std::string ConstraintName{};
    std::vector<std::string> Columns{};
};

//! The columns of a table in order, one ? parameter: the table name.
std::string SqlServerColumnsQuery();
//! The primary key's constraint name and columns in key order, one ? parameter.
std::string SqlServerPrimaryKeyQuery();
//! A column's type as a CREATE TABLE writes it, with size, precision or (max).
std::string SqlServerColumnType(const SqlServerColumn& column);
//! The archive table under dbo: the fact columns in order, each able to take the
//! value copied into it (no IDENTITY, rowversion as binary(8), computed columns as
//! plain columns of their type), and the fact table's key under its name.
std::string SqlServerArchiveTable(const std::string& table,
                                  const std::vector<SqlServerColumn>& columns,
                                  const std::optional<TableKey>& key);
std::string AddArchiveDateColumn(const std::string& table);
std::string DropKeyConstraint(const std::string& table, const std::string& constraintName);
//! The fact table's key widened by date_of_archiving.
std::string AddArchiveKey(const std::string& table, const TableKey& key);

// ---------------------------------------------------------------- SQLite

//! A column of a SQLite table as PRAGMA table_info describes it.
struct SqliteColumn {
    std::string Name{};
    //! The declared type, possibly empty.
    std::string Type{};
    bool NotNull = false;
    //! Position in the primary key from 1; 0 when not a key column.
    int KeyPosition = 0;
};

//! The columns of a table of the connection's own database in order (name,
//! declared type, not null, key position), one ? parameter: the table name.
std::string SqliteColumnsQuery();
//! The CREATE statement of a table, one ? parameter: the table name.
std::string SqliteTableSqlQuery();
//! The name of the primary key's constraint in a CREATE TABLE statement; nullopt
//! when the key has none.
std::optional<std::string> SqliteKeyConstraintName(const std::string& createSql);
//! The archive table in one statement: the fact columns in order,
//! date_of_archiving and, when the fact table has a key, that key widened by
//! date_of_archiving under the fact key's constraint name.
std::string SqliteArchiveTable(const std::string& table, const std::vector<SqliteColumn>& columns,
                               const std::optional<std::string>& keyConstraint);
//! A name between double quotes, embedded double quotes doubled.
std::string QuotedName(const std::string& name);
std::string AttachWarehouse(const std::string& path);
std::string DetachWarehouse();
//! The archive's tables whose names the attached warehouse also holds.
std::string SqliteShadowedTables();
//! A temporary view that puts the warehouse's table in front of the archive's
//! table of the same name for every name left unqualified.
std::string ShadowWithWarehouseTable(const std::string& table);
std::string DropShadow(const std::string& table);
//! The copy from the attached warehouse into the archive's own table, naming the
//! columns on both sides.
std::string SqliteCopy(const std::string& table, const std::vector<CopiedColumn>& columns,
                       const std::string& archiveDate, const std::string& condition);

}  // namespace varnel::archive_sql
