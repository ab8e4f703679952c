// Times the archiving task (the varnel program with -clsf) against the same
// statements run by the sqlite3 shell on an identical copy of the warehouse: the
// archive side attaches the warehouse, creates the archive tables and copies
// with INSERT ... SELECT, then the warehouse side deletes. Half of fact_sales and
// half of fact_returns (a tenth the size) meet their conditions, so a warehouse
// of N fact rows archives 0.55 N rows. The fixed cost of a run is reported apart.
//
//   archive_bench [--runs N] [--warehouses DIR] [fact rows ...]   default: 1000000 2000000
//
// Each size runs N times (default 5), the task and the shell in turn, each on
// fresh copies of the generated warehouse and an empty archive file.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/warehouse_generator.h"
#include "tasks/archiving/archive_engines.h"
#include "tasks/archiving/archive_statements.h"
#include "warehouse/connector.h"
#include "warehouse/sql_literal.h"

using namespace varnel;
using namespace varnel::bench;

namespace {

void EmptyFile(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(path + suffix);
    std::ofstream(path, std::ios::binary | std::ios::trunc).close();
}

// The task's statements for the shell: the archive side and the warehouse side.
// The table definitions are read from the generated file; the scripts run on its copy.
void WriteScripts(const std::string& generated, const std::string& warehouse,
                  const WarehouseShape& shape, const std::string& archiveScript,
                  const std::string& warehouseScript) {
    auto db = OpenSqlite(generated);
    std::ofstream archive(archiveScript), source(warehouseScript);
    archive << "PRAGMA journal_mode = WAL;\n" << archive_sql::AttachWarehouse(warehouse) << ";\n";
    const std::string date = "2024-05-06 07:08:09";
    for (const auto& fact : shape.Facts) {
        const std::string condition = ArchiveCondition(fact.ArchiveShare);
        const auto columns = ReadSqliteColumns(*db, fact.Name);
        // The archive table is made from the fact table, so every column keeps its name.
        std::vector<archive_sql::CopiedColumn> copied;
        for (const auto& column : columns) copied.push_back({column.Name, column.Name});
        archive << archive_sql::SqliteArchiveTable(fact.Name, columns,
                                                   ReadSqliteKeyConstraint(*db, fact.Name))
                << ";\nBEGIN;\n"
                << archive_sql::SqliteCopy(fact.Name, copied, date, condition) << ";\nCOMMIT;\n";
        source << "BEGIN IMMEDIATE;\n"
               << archive_sql::DeleteArchivedRows(fact.Name, condition) << ";\nCOMMIT;\n";
    }
    archive << archive_sql::DetachWarehouse() << ";\n";
}

ChildCommand VarnelArchive(const std::string& folder, const std::string& warehouse,
                           const std::string& archive) {
    return VarnelCommand(folder, warehouse,
                         {"-bkmac", "sqlite", "-bkdb", archive, "-bkusr", "bench", "-clsf"});
}

// Rows and key sums of both sides, without the archiving date.
std::string Fingerprint(const std::string& warehouse, const std::string& archive,
                        const WarehouseShape& shape) {
    std::string print;
    for (const auto& fact : shape.Facts) {
        print += fact.Name + " warehouse " +
                 SqliteShell(warehouse, "SELECT count(*) || '/' || total(id) FROM " + fact.Name) +
                 " archive " +
                 SqliteShell(archive, "SELECT count(*) || '/' || total(id) FROM " + fact.Name) +
                 "; ";
    }
    return print;
}

std::int64_t Archivable(const std::string& warehouse, const WarehouseShape& shape) {
    std::int64_t rows = 0;
    for (const auto& fact : shape.Facts)
        rows += std::stoll(SqliteShell(warehouse, "SELECT count(*) FROM " + fact.Name + " WHERE " +
                                                      ArchiveCondition(fact.ArchiveShare)));
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const BenchOptions options = ParseOptions(argc, argv, {1000000, 2000000});
        const std::string folder = BenchFolder("archive");

        // The fixed cost of a run: start-up, both connections, lock, metadata queries,
        // two archive tables created, job history, on a warehouse so small that the
        // copy itself costs nothing. Every run starts from fresh copies.
        const std::string tiny = folder + "/tiny.db", tinyRun = folder + "/tiny_run.db",
                          tinyArchive = folder + "/tiny_archive.db";
        GenerateWarehouse(tiny, StandardWarehouse(100));
        const Spread fixed = FixedCostMs(
            options.Runs,
            [&] {
                CopyWarehouse(tiny, tinyRun);
                EmptyFile(tinyArchive);
            },
            [&] { return RunChild(VarnelArchive(folder, tinyRun, tinyArchive)); });
        std::printf("fixed cost of a -clsf run on a tiny warehouse: %.1f ms (%.1f-%.1f)\n",
                    fixed.Median, fixed.Min, fixed.Max);

        for (const auto rows : options.Scales) {
            const WarehouseShape shape = StandardWarehouse(rows);
            const std::string base = folder + "/archive_" + std::to_string(rows);
            const std::string taskDb = base + "_task.db", taskArchive = base + "_task_archive.db",
                              shellDb = base + "_shell.db",
                              shellArchive = base + "_shell_archive.db";
            const std::string generated = StandardWarehouseFile(options, rows, folder);
            const std::int64_t archived = Archivable(generated, shape);
            const std::string archiveScript = base + "_archive.sql",
                              warehouseScript = base + "_delete.sql";
            WriteScripts(generated, shellDb, shape, archiveScript, warehouseScript);

            const Alternation runs = Alternate(
                options.Runs,
                [&] {
                    CopyWarehouse(generated, taskDb);
                    EmptyFile(taskArchive);
                    CopyWarehouse(generated, shellDb);
                    EmptyFile(shellArchive);
                },
                [&] { return RunChild(VarnelArchive(folder, taskDb, taskArchive)); },
                [&] {
                    const ChildRun archive = RunChild(SqliteScript(shellArchive, archiveScript));
                    const ChildRun source = RunChild(SqliteScript(shellDb, warehouseScript));
                    return ChildRun{archive.Seconds + source.Seconds,
                                    std::max(archive.PeakRssMb, source.PeakRssMb),
                                    archive.CpuSeconds + source.CpuSeconds};
                });
            const TaskFigures figures{
                "archive",           rows, Summarize(runs.Varnel), Summarize(runs.Bare), fixed,
                runs.VarnelPeakRssMb};
            PrintFigures(figures);
            PrintCpuFigures(runs);
            std::printf("%10s %lld rows archived: varnel %.0f rows/s, shell %.0f rows/s\n", "",
                        static_cast<long long>(archived),
                        static_cast<double>(archived) / figures.Varnel.Median,
                        static_cast<double>(archived) / figures.Bare.Median);
            const std::string printTask = Fingerprint(taskDb, taskArchive, shape);
            const std::string printShell = Fingerprint(shellDb, shellArchive, shape);
            if (!ResultsAgree("results", printTask, printShell)) return 1;
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "archive_bench: %s\n", error.what());
        return 1;
    }
}
