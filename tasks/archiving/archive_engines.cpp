#include "tasks/archiving/archive_engines.h"

#include <filesystem>
#include <stdexcept>

#include "run/run_settings.h"
#include "warehouse/sql_dialect.h"

namespace varnel {

namespace {

Parameter TextParameter(const std::string& value) {
    return {"name", ValueType::Text, 0, 0, 0, value};
}

int IntOf(const Result& row, std::size_t index) {
    return static_cast<int>(row.GetInt(index).value_or(0));
}

// The archive must not be the warehouse file itself: the copy would wait for the
// warehouse's own write lock and then fail on the extra column.
void RequireSeparateFiles(Connection& warehouse, Connection& archive) {
    std::error_code ec;
    if (std::filesystem::equivalent(warehouse.DefaultDatabase(), archive.DefaultDatabase(), ec))
        throw std::runtime_error("The archive database '" + archive.DefaultDatabase() +
                                 "' is the data warehouse itself.");
}

// Undoes the attachment and the views made for one copy; what cannot be undone
// now is undone by the next copy or goes with the connection.
void Release(Connection& archive, const std::vector<std::string>& shadowed) {
    const auto quietly = [&archive](const std::string& sql) {
        try {
            archive.Execute(sql);
        } catch (const std::exception&) {
        }
    };
    for (const auto& table : shadowed) quietly(archive_sql::DropShadow(table));
    quietly(archive_sql::DetachWarehouse());
}

bool WarehouseAttached(Connection& archive) {
    auto attached = archive.Query("SELECT 1 FROM pragma_database_list WHERE name = 'wh'");
    return attached.Next();
}

}  // namespace

void RequireArchivePair(const std::unique_ptr<Connection>& warehouse,
                        const std::unique_ptr<Connection>& archive) {
    if (!warehouse || !warehouse->IsOpen())
        throw std::runtime_error("Connection to the data warehouse not available.");
    if (!archive || !archive->IsOpen())
        throw std::runtime_error("Connection to the archive database not available.");
    RequireSameEngine(*warehouse, *archive);
}

// One dialect object serves every connection to one kind of engine.
void RequireSameEngine(const Connection& warehouse, const Connection& archive) {
    if (&warehouse.Dialect() != &archive.Dialect())
        throw std::runtime_error(
            "The archive database must be on the same kind of server as the data warehouse: "
            "the rows are copied from server to server.");
}

bool CopiesByAttaching(const Connection& connection) {
    return connection.Dialect().RouteBetweenDatabases() == CopyRoute::AttachedFile;
}

std::vector<archive_sql::SqlServerColumn> ReadSqlServerColumns(Connection& warehouse,
                                                               const std::string& table) {
    Command query{archive_sql::SqlServerColumnsQuery(), {TextParameter(table)}, 60, false};
    auto row = warehouse.Query(query);
    std::vector<archive_sql::SqlServerColumn> columns;
    while (row.Next()) {
        columns.push_back({.Name = row.Get(0).value_or(""),
                           .TypeName = row.Get(1).value_or(""),
                           .MaxLength = IntOf(row, 2),
                           .Precision = IntOf(row, 3),
                           .Scale = IntOf(row, 4),
                           .Nullable = row.GetBool(5),
                           .Identity = row.GetBool(6),
                           .Computed = row.GetBool(7)});
    }
    if (columns.empty())
        throw std::runtime_error("The columns of table " + table + " could not be read.");
    return columns;
}

std::optional<archive_sql::TableKey> ReadSqlServerKey(Connection& warehouse,
                                                      const std::string& table) {
    Command query{archive_sql::SqlServerPrimaryKeyQuery(), {TextParameter(table)}, 60, false};
    auto row = warehouse.Query(query);
    std::optional<archive_sql::TableKey> key;
    while (row.Next()) {
        if (!key) key = archive_sql::TableKey{row.Get(0).value_or(""), {}};
        key->Columns.push_back(row.Get(1).value_or(""));
    }
    return key;
}

void CreateSqlServerArchiveTable(Connection& warehouse, Connection& archive,
                                 const std::string& table) {
    const auto columns = ReadSqlServerColumns(warehouse, table);
    const auto key = ReadSqlServerKey(warehouse, table);
    // One transaction: a table left half made would be taken as ready by every
    // later run and refuse their copies.
    Transaction transaction(archive);
    archive.Execute(archive_sql::SqlServerArchiveTable(table, columns, key));
    archive.Execute(archive_sql::AddArchiveDateColumn(table));
    if (key) {
        archive.Execute(archive_sql::DropKeyConstraint(table, key->ConstraintName));
        archive.Execute(archive_sql::AddArchiveKey(table, *key));
    }
    transaction.Commit();
}

std::vector<archive_sql::SqliteColumn> ReadSqliteColumns(Connection& warehouse,
                                                         const std::string& table) {
    Command query{archive_sql::SqliteColumnsQuery(), {TextParameter(table)}, 60, false};
    auto row = warehouse.Query(query);
    std::vector<archive_sql::SqliteColumn> columns;
    while (row.Next()) {
        columns.push_back({.Name = row.Get(0).value_or(""),
                           .Type = row.Get(1).value_or(""),
                           .NotNull = row.GetBool(2),
                           .KeyPosition = IntOf(row, 3)});
    }
    if (columns.empty())
        throw std::runtime_error("The columns of table " + table + " could not be read.");
    return columns;
}

std::optional<std::string> ReadSqliteKeyConstraint(Connection& warehouse,
                                                   const std::string& table) {
    Command query{archive_sql::SqliteTableSqlQuery(), {TextParameter(table)}, 60, false};
    auto row = warehouse.Query(query);
    if (!row.Next() || !row.Get(0)) return std::nullopt;
    return archive_sql::SqliteKeyConstraintName(*row.Get(0));
}

void CreateSqliteArchiveTable(Connection& warehouse, Connection& archive,
                              const std::string& table) {
    RequireSeparateFiles(warehouse, archive);
    const auto columns = ReadSqliteColumns(warehouse, table);
    const auto constraint = ReadSqliteKeyConstraint(warehouse, table);
    archive.Execute(archive_sql::SqliteArchiveTable(table, columns, constraint));
}

std::vector<archive_sql::CopiedColumn> CopiedColumns(Connection& warehouse, Connection& archive,
                                                     const std::string& table) {
    std::vector<std::string> fact, archived;
    if (CopiesByAttaching(warehouse)) {
        for (const auto& column : ReadSqliteColumns(warehouse, table)) fact.push_back(column.Name);
        for (const auto& column : ReadSqliteColumns(archive, table))
            archived.push_back(column.Name);
    } else {
        for (const auto& column : ReadSqlServerColumns(warehouse, table))
            fact.push_back(column.Name);
        // The archive table lies under dbo, whatever the archive login's default schema.
        for (const auto& column : ReadSqlServerColumns(archive, "dbo." + table))
            archived.push_back(column.Name);
    }
    return archive_sql::MatchArchiveColumns(table, fact, archived);
}

std::int64_t CopySqliteRows(const std::string& table, const std::string& condition,
                            Connection& warehouse, Connection& archive,
                            const std::string& archiveDate, ArchiveHold& hold) {
    RequireSeparateFiles(warehouse, archive);
    // The warehouse's write lock comes first and stays until the delete commits:
    // nobody can add or change a fact row between the copy and the delete.
    hold.WarehouseTransaction = std::make_unique<Transaction>(warehouse);
    // Matched under the lock: the fact table's columns cannot change before the copy.
    const auto columns = CopiedColumns(warehouse, archive, table);
    if (WarehouseAttached(archive)) Release(archive, {});
    archive.Execute(archive_sql::AttachWarehouse(warehouse.DefaultDatabase()));
    std::vector<std::string> shadowed;
    std::int64_t copied = 0;
    try {
        // The condition speaks of the warehouse's tables. A name that the archive
        // holds as well (an archived fact table) would resolve to the archive's
        // table first; a temporary view of the warehouse's table comes before it.
        {
            auto names = archive.Query(archive_sql::SqliteShadowedTables());
            while (names.Next()) shadowed.push_back(names.Get(0).value_or(""));
        }
        for (const auto& name : shadowed)
            archive.Execute(archive_sql::ShadowWithWarehouseTable(name));
        // NOTE: deferred: BEGIN IMMEDIATE would try to take the write lock of the
        // attached warehouse as well, which the warehouse connection holds.
        Transaction transaction(archive, Transaction::Start::Deferred);
        copied =
            archive.Execute(archive_sql::SqliteCopy(table, columns, archiveDate, condition), 0);
        transaction.Commit();
    } catch (const std::exception&) {
        Release(archive, shadowed);
        throw;
    }
    // NOTE: the SQLite driver detaches only outside a transaction, hence after COMMIT.
    Release(archive, shadowed);
    return copied;
}

}  // namespace varnel
