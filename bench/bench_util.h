#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "warehouse/odbc.h"

namespace varnel::bench {

//! Seconds that the work took, by the steady clock.
double TimeSeconds(const std::function<void()>& work);
//! Runs a shell command; throws when it exits with a status other than 0 (or, when
//! allowed, than the given one).
void RunShell(const std::string& command);
//! The varnel program built beside the benchmarks.
std::string VarnelPath();
//! The sqlite3 shell's output for one query on a file.
std::string SqliteShell(const std::string& path, const std::string& query);
//! Copies a closed SQLite file (without its WAL) to a new path.
void CopyWarehouse(const std::string& from, const std::string& to);
//! The median of the timings.
double Median(std::vector<double> values);
//! A connection to a SQLite warehouse file; throws with the connector's reason.
std::unique_ptr<Connection> OpenSqlite(const std::string& path);
//! A folder for the benchmark's files: $VARNEL_BENCH_DIR, else a new one under /tmp.
std::string BenchFolder(const std::string& name);

}  // namespace varnel::bench
