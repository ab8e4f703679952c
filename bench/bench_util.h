#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "warehouse/odbc.h"

namespace varnel::bench {

//! A program to run as a child: its arguments (the first names the program, looked
//! up on PATH), variables added to its environment, and the file its standard input
//! reads (empty: /dev/null). Its standard output is discarded; standard error is kept.
struct ChildCommand {
    std::vector<std::string> Arguments;
    std::vector<std::pair<std::string, std::string>> Environment;
    std::string Input;
};

//! What one child run cost: wall-clock seconds, the peak resident set size of the
//! child (and of any children it waited for), in MB, and the processor seconds (user
//! and system) they used. On a loaded machine the processor time varies far less than
//! the wall-clock time, which also counts the waits for a core.
struct ChildRun {
    double Seconds = 0;
    double PeakRssMb = 0;
    double CpuSeconds = 0;
};

//! Runs the child and waits for it; throws when it cannot start or exits other than 0.
ChildRun RunChild(const ChildCommand& command);

//! The median and the range of a set of timings.
struct Spread {
    double Median = 0;
    double Min = 0;
    double Max = 0;
};
Spread Summarize(std::vector<double> values);

//! The command line every benchmark program takes:
//!   [--runs N] [--warehouses DIR] [fact rows ...]
//! --warehouses names a folder where generated warehouses are kept and reused by
//! size, so that several programs share one per size.
struct BenchOptions {
    std::vector<std::int64_t> Scales;
    int Runs = 5;
    std::string Warehouses;
};
//! Throws std::invalid_argument on an unknown option or a value that is not a positive number.
BenchOptions ParseOptions(int argc, char** argv, const std::vector<std::int64_t>& defaultScales);

//! The standard warehouse of that many fact rows: the shared one under
//! options.Warehouses (generated on first use), else a fresh one in the folder.
std::string StandardWarehouseFile(const BenchOptions& options, std::int64_t factRows,
                                  const std::string& folder);

//! The runs of one size: Varnel and the bare statements, taken in turn.
struct Alternation {
    std::vector<double> Varnel;
    std::vector<double> Bare;
    double VarnelPeakRssMb = 0;
    std::vector<double> VarnelCpu;
    std::vector<double> BareCpu;
};
//! Runs prepare, then both sides, `runs` times; Varnel goes first on even runs and the
//! bare statements on odd ones, so that neither side always finds the warmer cache.
Alternation Alternate(int runs, const std::function<void()>& prepare,
                      const std::function<ChildRun()>& varnel,
                      const std::function<ChildRun()>& bare);

//! The fixed cost of a run in milliseconds: the run on a tiny warehouse, prepared
//! afresh each time (at least five times).
Spread FixedCostMs(int runs, const std::function<void()>& prepare,
                   const std::function<ChildRun()>& run);

//! The figures of one task at one size.
struct TaskFigures {
    std::string Task;
    std::int64_t FactRows = 0;
    Spread Varnel;
    Spread Bare;
    Spread FixedMs;
    double PeakRssMb = 0;
};
//! One line for the reader and one "RESULT key=value ..." line for scripts/bench.sh.
void PrintFigures(const TaskFigures& figures);
//! One line for the reader: both sides' processor seconds (median and range) and their ratio.
void PrintCpuFigures(const Alternation& runs);
//! Prints whether the task's result equals the shell's; `what` names the result ("results",
//! "marks"). False on a mismatch, which ends the benchmark.
bool ResultsAgree(const std::string& what, const std::string& task, const std::string& shell);
//! The machine-readable line alone.
std::string ResultLine(const TaskFigures& figures);

//! The varnel program, run on a SQLite warehouse with its job history and logs in the folder.
ChildCommand VarnelCommand(const std::string& folder, const std::string& warehouse,
                           const std::vector<std::string>& arguments);
//! The sqlite3 shell reading a script of statements on a warehouse file.
ChildCommand SqliteScript(const std::string& warehouse, const std::string& script);

//! Seconds that the work took, by the steady clock.
double TimeSeconds(const std::function<void()>& work);
//! The median of the timings (the mean of the middle two for an even count).
double Median(std::vector<double> values);
//! Runs a shell command; throws when it exits with a status other than 0.
void RunShell(const std::string& command);
//! The varnel program built beside the benchmarks.
std::string VarnelPath();
//! The sqlite3 shell's output for one query on a file.
std::string SqliteShell(const std::string& path, const std::string& query);
//! Copies a closed SQLite file (without its WAL) to a new path.
void CopyWarehouse(const std::string& from, const std::string& to);
//! A connection to a SQLite warehouse file; throws with the connector's reason.
std::unique_ptr<Connection> OpenSqlite(const std::string& path);
//! A folder for the benchmark's files: $VARNEL_BENCH_DIR, else a new one under /tmp.
std::string BenchFolder(const std::string& name);

}  // namespace varnel::bench
