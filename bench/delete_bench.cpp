// Times the deletion task (the varnel program with -del, plain mode) against the
// same statements run by the sqlite3 shell on an identical copy of the warehouse,
// at several scales, and reports the fixed cost of a run apart. The marks are
// planted, not computed: a tenth of every plain dimension and a fifth of the
// versions of the slowly changing dim_customer, among them consecutive versions
// of one element, first versions and current ones; then the marks of rows in use
// are cleared, as the task's check of references would clear them. The shell's
// script holds what the task sends: the checks, the count of marked rows set to
// keep, the history check's two counts of defects, the repair's read of the
// versions and its updates, the deletions.
//
//   delete_bench [--runs N] [--warehouses DIR] [fact rows ...]   default: 100000 1000000
//
// Each size runs N times (default 5), the task and the shell in turn, each on a
// fresh copy of the marked warehouse; medians and ranges are printed.
//
// dim_customer gets an index on its element key (code) in both copies: the shell's
// repair statements find the element's versions by it, and without one each of
// them scans the whole table (the task finds them by rowid either way).

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/warehouse_generator.h"
#include "tasks/deletion/deletion_statements.h"
#include "tasks/deletion/reference_check.h"
#include "warehouse/connector.h"
#include "warehouse/sql_literal.h"
#include "warehouse/version_history.h"

using namespace varnel;
using namespace varnel::bench;

namespace {

const char* const kSlowlyChanging = "dim_customer";

// The statements that keep the table's rows in use, as the task sends them.
std::vector<std::string> CheckStatements(Connection& connection, const std::string& table) {
    std::vector<std::string> statements;
    auto relations = connection.Query(ReferringRelationsQuery(table));
    while (relations.Next())
        statements.push_back(KeepReferencedRowsStatement(
            connection.Dialect(), table, relations.Get(0).value_or(""),
            relations.Get(1).value_or(""), relations.Get(2).value_or("")));
    return statements;
}

void PlantMarks(const std::string& db, const WarehouseShape& shape) {
    std::string script = "BEGIN;";
    for (const auto& d : shape.Dimensions) {
        const std::string share = d.Name == kSlowlyChanging ? "2" : "1";
        script += "UPDATE " + d.Name + " SET is_deletable = ((id - 1) % 10 < " + share + ");";
    }
    script += "CREATE INDEX ix_dim_customer_code ON dim_customer (code);COMMIT;";
    RunShell("sqlite3 '" + db + "' \"" + script + "\"");
    // Both sides then check and find nothing to keep: the repair statements below
    // are computed from these marks.
    auto connection = OpenSqlite(db);
    for (const auto& d : shape.Dimensions)
        for (const auto& statement : CheckStatements(*connection, d.Name))
            connection->Execute(statement);
}

struct Version {
    std::string Start, End;
    bool Current = false;
    bool Marked = false;
};

std::string Day(const std::string& date) {
    return date.substr(0, 10);
}

// The repair's statements with the values each one is given when its turn comes:
// the versions of one element are followed in memory as the updates move them.
std::vector<std::string> RepairStatements(const std::string& db) {
    auto connection = OpenSqlite(db);
    auto rows = connection->Query(
        "SELECT code, start_date, end_date, is_current, is_deletable FROM dim_customer "
        "ORDER BY code, start_date");
    std::vector<std::string> statements;
    std::string code;
    std::vector<Version> element;
    const auto flush = [&] {
        for (std::size_t m = 0; m < element.size(); ++m) {
            if (!element[m].Marked) continue;
            const Version r = element[m];
            const std::string key = "code = " + SqlLiteral(code) + " AND ";
            if (!r.Current) {
                statements.push_back("UPDATE dim_customer SET start_date = " + SqlLiteral(r.Start) +
                                     " WHERE " + key + " (date(" + SqlLiteral(r.End) +
                                     ") = date(start_date)) ");
                for (auto& v : element)
                    if (Day(v.Start) == Day(r.End)) v.Start = r.Start;
            } else {
                statements.push_back("UPDATE dim_customer SET end_date = " + SqlLiteral(r.End) +
                                     ", is_current = 1 WHERE " + key + " (date(end_date) = date(" +
                                     SqlLiteral(r.Start) + "))");
                for (auto& v : element)
                    if (Day(v.End) == Day(r.Start)) {
                        v.End = r.End;
                        v.Current = true;
                    }
            }
        }
        element.clear();
    };
    while (rows.Next()) {
        if (*rows.Get(0) != code) flush();
        code = *rows.Get(0);
        element.push_back({*rows.Get(1), *rows.Get(2), rows.GetBool(3), rows.GetBool(4)});
    }
    flush();
    return statements;
}

// What the task sends, table by table, each table in one transaction. The repair
// reads the versions of every element with a marked one before it writes: the shell
// runs the same query and prints its rows (to /dev/null), so both sides read them.
void WriteShellScript(const std::string& db, const WarehouseShape& shape, const std::string& path) {
    std::ofstream out(path);
    auto connection = OpenSqlite(db);
    const SqlDialect& dialect = connection->Dialect();
    for (const auto& d : shape.Dimensions) {
        out << "BEGIN IMMEDIATE;\n";
        for (const auto& statement : CheckStatements(*connection, d.Name))
            out << statement << ";\n";
        out << MarkedRowsToKeepQuery(d.Name) << ";\n";
        if (d.Name == kSlowlyChanging) {
            // The history check counts the touched elements' defects before the repair
            // and, for the versions the deletion leaves, after it.
            out << HistoryDefectsQuery(dialect, d.Name, "code",
                                       {.DeletedRows = DeletedRowsCondition()})
                << ";\n";
            out << ElementVersionsQuery(dialect, d.Name, "code",
                                        dialect.RowIdColumns().value_or(std::vector<std::string>{}))
                << ";\n";
            for (const auto& statement : RepairStatements(db)) out << statement << ";\n";
            out << HistoryDefectsQuery(
                       dialect, d.Name, "code",
                       {.DeletedRows = DeletedRowsCondition(), .WithoutDeletedVersions = true})
                << ";\n";
        }
        out << DeleteMarkedRowsStatement(d.Name) << ";\nCOMMIT;\n";
    }
}

std::string Fingerprint(const std::string& db, const WarehouseShape& shape) {
    std::string print;
    for (const auto& d : shape.Dimensions)
        print += d.Name + ":" +
                 SqliteShell(db, "SELECT count(*) || '/' || total(id) FROM " + d.Name) + " ";
    return print +
           SqliteShell(db,
                       "SELECT total(julianday(start_date)) || '/' || "
                       "total(julianday(end_date)) || '/' || total(is_current) FROM dim_customer");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const BenchOptions options = ParseOptions(argc, argv, {100000, 1000000});
        const std::string folder = BenchFolder("delete");

        // The fixed cost of a run: start-up, connecting, lock, the second connection,
        // metadata queries, job history, on a warehouse where deleting costs nothing.
        const std::string tiny = folder + "/tiny.db", tinyRun = folder + "/tiny_run.db";
        const WarehouseShape tinyShape = StandardWarehouse(100);
        GenerateWarehouse(tiny, tinyShape);
        PlantMarks(tiny, tinyShape);
        const Spread fixed = FixedCostMs(
            options.Runs, [&] { CopyWarehouse(tiny, tinyRun); },
            [&] { return RunChild(VarnelCommand(folder, tinyRun, {"-del"})); });
        std::printf("fixed cost of a -del run on a tiny warehouse: %.1f ms (%.1f-%.1f)\n",
                    fixed.Median, fixed.Min, fixed.Max);

        for (const auto rows : options.Scales) {
            const WarehouseShape shape = StandardWarehouse(rows);
            const std::string base = folder + "/delete_" + std::to_string(rows) + ".db";
            const std::string a = folder + "/delete_" + std::to_string(rows) + "_task.db";
            const std::string b = folder + "/delete_" + std::to_string(rows) + "_shell.db";
            const std::string script = folder + "/delete_" + std::to_string(rows) + ".sql";
            CopyWarehouse(StandardWarehouseFile(options, rows, folder), base);
            PlantMarks(base, shape);
            WriteShellScript(base, shape, script);
            const std::string versions = SqliteShell(base, "SELECT count(*) FROM dim_customer");
            const std::string marked =
                SqliteShell(base, "SELECT count(*) FROM dim_customer WHERE is_deletable = 1");

            const Alternation runs = Alternate(
                options.Runs,
                [&] {
                    CopyWarehouse(base, a);
                    CopyWarehouse(base, b);
                },
                [&] { return RunChild(VarnelCommand(folder, a, {"-del"})); },
                [&] { return RunChild(SqliteScript(b, script)); });
            PrintFigures({"delete", rows, Summarize(runs.Varnel), Summarize(runs.Bare), fixed,
                          runs.VarnelPeakRssMb});
            PrintCpuFigures(runs);
            std::printf("%12s dim_customer: %s versions, %s marked\n", "", versions.c_str(),
                        marked.c_str());
            const std::string printA = Fingerprint(a, shape), printB = Fingerprint(b, shape);
            if (!ResultsAgree("results", printA, printB)) return 1;
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "delete_bench: %s\n", error.what());
        return 1;
    }
}
