// Times the report task (the varnel program with -grep) and its peak memory on a
// marked warehouse against the report's queries run by the sqlite3 shell, whose
// rows go to /dev/null where the task writes its three pages. The marks are the
// task's own: one -mark run on the generated warehouse before the timed runs, so a
// tenth of every dimension is listed. The marked rows are streamed from the cursor
// to the page, so the peak should stay flat as the warehouse grows.
//
//   report_bench [--runs N] [--warehouses DIR] [fact rows ...]   default: 100000 1000000
//
// Each size runs N times (default 5), the task and the shell in turn, each on a
// fresh copy of the marked warehouse. bench/report_memory.sh measures the same peak
// against the number of marked rows of one dimension.

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/warehouse_generator.h"
#include "reports/report_statements.h"

using namespace varnel;
using namespace varnel::bench;

namespace {

// The report's queries in the order the task sends them; every dimension's key is code.
void WriteShellScript(const WarehouseShape& shape, const std::string& path) {
    std::ofstream out(path);
    out << DimensionCountStatement() << ";\n"
        << ReportedTableCountStatement() << ";\n"
        << DimensionTableListStatement() << ";\n";
    for (const auto& d : shape.Dimensions)
        out << CountUnusedRecordsStatement(d.Name) << ";\n"
            << KeyColumnsStatement(d.Name) << ";\n"
            << MarkedRecordsStatement(d.Name, {"code"}) << ";\n";
    out << SelectedDimensionsStatement() << ";\n" << FactFiltersStatement() << ";\n";
}

std::string MarkedRows(const std::string& db, const WarehouseShape& shape) {
    std::string query = "SELECT 0";
    for (const auto& d : shape.Dimensions)
        query += " + (SELECT count(*) FROM " + d.Name + " WHERE is_deletable = 1)";
    return SqliteShell(db, query);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const BenchOptions options = ParseOptions(argc, argv, {100000, 1000000});
        const std::string folder = BenchFolder("report");

        const std::string tiny = folder + "/tiny.db", tinyRun = folder + "/tiny_run.db";
        GenerateWarehouse(tiny, StandardWarehouse(100));
        RunChild(VarnelCommand(folder, tiny, {"-mark"}));
        const Spread fixed = FixedCostMs(
            options.Runs, [&] { CopyWarehouse(tiny, tinyRun); },
            [&] { return RunChild(VarnelCommand(folder, tinyRun, {"-grep"})); });
        std::printf("fixed cost of a -grep run on a tiny warehouse: %.1f ms (%.1f-%.1f)\n",
                    fixed.Median, fixed.Min, fixed.Max);

        for (const auto rows : options.Scales) {
            const WarehouseShape shape = StandardWarehouse(rows);
            const std::string base = folder + "/report_" + std::to_string(rows) + ".db";
            const std::string a = folder + "/report_" + std::to_string(rows) + "_task.db";
            const std::string b = folder + "/report_" + std::to_string(rows) + "_shell.db";
            const std::string script = folder + "/report_" + std::to_string(rows) + ".sql";
            CopyWarehouse(StandardWarehouseFile(options, rows, folder), base);
            RunChild(VarnelCommand(folder, base, {"-mark"}));
            // The copies take the main file alone: whatever the run left in the WAL goes in.
            SqliteShell(base, "PRAGMA wal_checkpoint(TRUNCATE)");
            WriteShellScript(shape, script);

            const Alternation runs = Alternate(
                options.Runs,
                [&] {
                    CopyWarehouse(base, a);
                    CopyWarehouse(base, b);
                },
                [&] { return RunChild(VarnelCommand(folder, a, {"-grep"})); },
                [&] { return RunChild(SqliteScript(b, script)); });
            PrintFigures({"report", rows, Summarize(runs.Varnel), Summarize(runs.Bare), fixed,
                          runs.VarnelPeakRssMb});
            std::printf("%12s %s marked rows listed\n", "", MarkedRows(base, shape).c_str());
            std::fflush(stdout);
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "report_bench: %s\n", error.what());
        return 1;
    }
}
