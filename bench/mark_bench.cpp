// Times the detect-and-mark task (the varnel program with -mark) against the
// same statements run by the sqlite3 shell on an identical copy of the
// warehouse, at several scales, and reports the fixed cost of a run apart.
//
//   mark_bench [--runs N] [--warehouses DIR] [fact rows ...]   default: 100000 1000000
//
// Each size runs N times (default 5), the task and the shell in turn, each on a
// fresh copy of the generated warehouse; medians and ranges are printed.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/warehouse_generator.h"
#include "tasks/marking/marking_statements.h"
#include "warehouse/control_columns.h"
#include "warehouse/sql_dialect.h"

using namespace varnel;
using namespace varnel::bench;

namespace {

// The statements the task sends, in the order it sends them: the reset, then
// per table in dependency order the marking, one clearing per relation and the
// count of rows without a value in a control column.
std::vector<std::string> MarkStatements(const WarehouseShape& shape) {
    struct Edge {
        std::string Table, Referrer, ReferrerColumn;
        bool ReferrerIsDimension;
    };
    std::vector<Edge> edges;
    for (const auto& f : shape.Facts)
        for (const auto& d : f.Dimensions) edges.push_back({d, f.Name, d + "_id", false});
    for (const auto& d : shape.Dimensions)
        if (!d.Parent.empty()) edges.push_back({d.Parent, d.Name, "parent_id", true});

    std::vector<std::string> statements;
    for (const auto& d : shape.Dimensions)
        for (const auto& e : edges)
            if (e.Table == d.Name) {
                statements.push_back(sql::ResetDeletableFlags(d.Name));
                break;
            }
    std::set<std::string> processed;
    for (const auto& f : shape.Facts) processed.insert(f.Name);
    bool progress = true;
    while (progress) {
        progress = false;
        for (const auto& d : shape.Dimensions) {
            if (processed.count(d.Name)) continue;
            bool ready = true, referred = false;
            for (const auto& e : edges)
                if (e.Table == d.Name) {
                    referred = true;
                    ready = ready && processed.count(e.Referrer);
                }
            if (!ready || !referred) continue;
            statements.push_back(sql::MarkAllCandidates(d.Name));
            for (const auto& e : edges)
                if (e.Table == d.Name)
                    statements.push_back(sql::ClearUsedRows(SqliteDialect(), d.Name, e.Referrer,
                                                            "id", e.ReferrerColumn,
                                                            e.ReferrerIsDimension));
            statements.push_back(ControlColumnNullsQuery(d.Name));
            processed.insert(d.Name);
            progress = true;
        }
    }
    return statements;
}

std::string MarkFingerprint(const std::string& db, const WarehouseShape& shape) {
    std::string print;
    for (const auto& d : shape.Dimensions)
        print += d.Name + ":" +
                 SqliteShell(db, "SELECT count(*) || '/' || total(id) FROM " + d.Name +
                                     " WHERE is_deletable = 1") +
                 " ";
    return print;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const BenchOptions options = ParseOptions(argc, argv, {100000, 1000000});
        const std::string folder = BenchFolder("mark");

        // The fixed cost of a run: start-up, connecting, lock, metadata queries, job
        // history, on a warehouse so small that the marking itself costs nothing.
        const std::string tiny = folder + "/tiny.db", tinyRun = folder + "/tiny_run.db";
        GenerateWarehouse(tiny, StandardWarehouse(100));
        const Spread fixed = FixedCostMs(
            options.Runs, [&] { CopyWarehouse(tiny, tinyRun); },
            [&] { return RunChild(VarnelCommand(folder, tinyRun, {"-mark"})); });
        std::printf("fixed cost of a -mark run on a tiny warehouse: %.1f ms (%.1f-%.1f)\n",
                    fixed.Median, fixed.Min, fixed.Max);

        for (const auto rows : options.Scales) {
            const WarehouseShape shape = StandardWarehouse(rows);
            const std::string base = StandardWarehouseFile(options, rows, folder);
            const std::string a = folder + "/mark_" + std::to_string(rows) + "_task.db";
            const std::string b = folder + "/mark_" + std::to_string(rows) + "_shell.db";
            const std::string script = folder + "/mark_" + std::to_string(rows) + ".sql";
            {
                std::ofstream out(script);
                for (const auto& statement : MarkStatements(shape)) out << statement << ";\n";
            }
            const Alternation runs = Alternate(
                options.Runs,
                [&] {
                    CopyWarehouse(base, a);
                    CopyWarehouse(base, b);
                },
                [&] { return RunChild(VarnelCommand(folder, a, {"-mark"})); },
                [&] { return RunChild(SqliteScript(b, script)); });
            PrintFigures({"mark", rows, Summarize(runs.Varnel), Summarize(runs.Bare), fixed,
                          runs.VarnelPeakRssMb});
            const std::string printA = MarkFingerprint(a, shape),
                              printB = MarkFingerprint(b, shape);
            if (!ResultsAgree("marks", printA, printB)) return 1;
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "mark_bench: %s\n", error.what());
        return 1;
    }
}
