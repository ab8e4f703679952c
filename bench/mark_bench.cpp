// Times the detect-and-mark task (the varnel program with -mark) against the
// same statements run by the sqlite3 shell on an identical copy of the
// warehouse, at several scales, and reports the fixed cost of a run apart.
//
//   mark_bench [fact rows ...]      default: 100000 1000000

#include <cstdio>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/warehouse_generator.h"
#include "tasks/marking/marking_statements.h"
#include "warehouse/sql_dialect.h"

using namespace varnel;
using namespace varnel::bench;

namespace {

// The statements the task sends, in the order it sends them: the reset, then
// per table in dependency order the marking and one clearing per relation.
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
            processed.insert(d.Name);
            progress = true;
        }
    }
    return statements;
}

double RunVarnelMark(const std::string& db, const std::string& folder) {
    const std::string command = "VARNEL_HISTORY='" + folder + "/history.db' '" + VarnelPath() +
                                "' -mac sqlite -db '" + db + "' -ntaut -log '" + folder +
                                "/logs' -mark";
    return TimeSeconds([&] { RunShell(command); });
}

double RunVarnelNoTask(const std::string& db, const std::string& folder) {
    const std::string command = "VARNEL_HISTORY='" + folder + "/history.db' '" + VarnelPath() +
                                "' -mac sqlite -db '" + db + "' -ntaut -log '" + folder + "/logs'";
    return TimeSeconds([&] { RunShell(command); });
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
    std::vector<std::int64_t> scales;
    for (int i = 1; i < argc; ++i) scales.push_back(std::stoll(argv[i]));
    if (scales.empty()) scales = {100000, 1000000};
    const std::string folder = BenchFolder("mark");
    const int repeats = 3;

    // The fixed cost of a run: start-up, connecting, lock, metadata queries, job
    // history, on a warehouse so small that the marking itself costs nothing.
    const std::string tiny = folder + "/tiny.db";
    GenerateWarehouse(tiny, StandardWarehouse(100));
    std::vector<double> fixedRuns, bareRuns;
    for (int i = 0; i < 7; ++i) {
        fixedRuns.push_back(RunVarnelMark(tiny, folder));
        bareRuns.push_back(RunVarnelNoTask(tiny, folder));
    }
    const double fixed = Median(fixedRuns);
    std::printf(
        "fixed cost of a -mark run on a tiny warehouse: %.1f ms "
        "(of which a run with no task: %.1f ms)\n",
        fixed * 1000, Median(bareRuns) * 1000);
    std::printf("%12s %10s %10s %10s %10s %12s %12s\n", "fact rows", "gen s", "varnel s", "work s",
                "shell s", "ratio total", "ratio work");

    for (const auto rows : scales) {
        const WarehouseShape shape = StandardWarehouse(rows);
        const std::string a = folder + "/mark_" + std::to_string(rows) + ".db";
        const std::string b = folder + "/mark_" + std::to_string(rows) + "_shell.db";
        const double generation = TimeSeconds([&] { GenerateWarehouse(a, shape); });
        CopyWarehouse(a, b);
        const std::string script = folder + "/mark_" + std::to_string(rows) + ".sql";
        {
            std::ofstream out(script);
            for (const auto& statement : MarkStatements(shape)) out << statement << ";\n";
        }
        std::vector<double> task, shell;
        for (int i = 0; i < repeats; ++i) {
            task.push_back(RunVarnelMark(a, folder));
            shell.push_back(
                TimeSeconds([&] { RunShell("sqlite3 '" + b + "' < '" + script + "'"); }));
        }
        const double t = Median(task), s = Median(shell), work = t - fixed;
        std::printf("%12lld %10.2f %10.3f %10.3f %10.3f %12.2f %12.2f\n",
                    static_cast<long long>(rows), generation, t, work, s, t / s, work / s);
        const std::string printA = MarkFingerprint(a, shape), printB = MarkFingerprint(b, shape);
        if (printA != printB) {
            std::printf("MISMATCH between the task's marks and the shell's:\n  %s\n  %s\n",
                        printA.c_str(), printB.c_str());
            return 1;
        }
        std::printf("%12s marks agree: %s\n", "", printA.c_str());
        std::fflush(stdout);
    }
    return 0;
}
