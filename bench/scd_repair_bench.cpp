// Times the repair of a slowly changing dimension inside the deletion's transaction,
// with the element key unindexed and then indexed, at several sizes. Each element
// has three yearly versions of which two are marked, in turn the first two, the
// last two and the first and the last, so both kinds of neighbour and chains of
// consecutive marked versions are repaired. After the repair and the delete every
// element must keep one current version covering its whole history.
//
//   scd_repair_bench [elements ...]      default: 8000 16000

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/warehouse_generator.h"
#include "run/process_state.h"
#include "run/run_settings.h"
#include "tasks/deletion/deletion.h"
#include "tasks/deletion/deletion_statements.h"
#include "warehouse/connector.h"

using namespace varnel;
using namespace varnel::bench;

namespace {

const char* const kTable = "dim_customer";

WarehouseShape Shape(std::int64_t elements) {
    DimensionShape dimension;
    dimension.Name = kTable;
    dimension.Elements = elements;
    dimension.VersionsPerElement = 3;
    dimension.UnusedShare = 0.0;
    FactShape fact;
    fact.Name = "fact_sales";
    fact.Rows = 1000;
    fact.Dimensions = {kTable};
    return WarehouseShape{{dimension}, {fact}};
}

// Rows are numbered element by element (id 3e+1 .. 3e+3); the element's number
// picks which version stays unmarked.
void PlantMarks(const std::string& db, bool indexed) {
    std::string script =
        "BEGIN;UPDATE dim_customer SET is_deletable = "
        "((id - 1) % 3 <> 2 - ((id - 1) / 3) % 3);";
    if (indexed) script += "CREATE INDEX ix_dim_customer_code ON dim_customer (code);";
    RunShell("sqlite3 '" + db + "' \"" + script + "COMMIT;\"");
}

struct Timing {
    double Repair = 0;
    double Delete = 0;
};

// The repair and the delete in one transaction, as plain deletion runs them.
Timing RepairAndDelete(const std::string& db) {
    ProcessState state;
    state.WarehouseConnection = OpenSqlite(db);
    auto connection = OpenSqlite(db);
    Timing timing;
    {
        Transaction transaction(*connection);
        bool repaired = false;
        timing.Repair = TimeSeconds(
            [&] { repaired = RepairSlowlyChangingDimension(state, kTable, *connection); });
        if (!repaired) throw std::runtime_error("the repair failed: " + state.MessageText);
        timing.Delete = TimeSeconds([&] {
            connection->Execute(DeleteMarkedRowsStatement(kTable));
            transaction.Commit();
        });
    }
    connection.reset();
    return timing;
}

void CheckHistoryWhole(const std::string& db, std::int64_t elements) {
    const std::string whole = SqliteShell(
        db,
        "SELECT count(*) FROM dim_customer WHERE start_date = '2010-01-01 00:00:00' AND "
        "end_date = '9999-12-31 00:00:00' AND is_current = 1");
    const std::string all = SqliteShell(db, "SELECT count(*) FROM dim_customer");
    if (whole != std::to_string(elements) || all != whole)
        throw std::runtime_error("wrong repair: " + all + " versions left, " + whole +
                                 " of them covering the whole history, for " +
                                 std::to_string(elements) + " elements");
}

}  // namespace

int main(int argc, char** argv) {
    try {
        std::vector<std::int64_t> scales;
        for (int i = 1; i < argc; ++i) scales.push_back(std::stoll(argv[i]));
        if (scales.empty()) scales = {8000, 16000};
        const std::string folder = BenchFolder("scd-repair");

        std::printf("%10s %10s %10s %8s %10s %10s\n", "elements", "versions", "marked", "index",
                    "repair s", "delete s");
        for (const auto elements : scales) {
            const std::string base = folder + "/scd_" + std::to_string(elements) + ".db";
            const std::string run = folder + "/scd_" + std::to_string(elements) + "_run.db";
            GenerateWarehouse(base, Shape(elements));
            for (const bool indexed : {false, true}) {
                std::vector<Timing> timings;
                // Slow runs once; fast ones three times, and the median counts.
                for (int i = 0; i < 3; ++i) {
                    CopyWarehouse(base, run);
                    PlantMarks(run, indexed);
                    timings.push_back(RepairAndDelete(run));
                    CheckHistoryWhole(run, elements);
                    if (timings.back().Repair > 5) break;
                }
                std::vector<double> repair, deletion;
                for (const auto& t : timings) {
                    repair.push_back(t.Repair);
                    deletion.push_back(t.Delete);
                }
                std::printf("%10lld %10lld %10lld %8s %10.3f %10.3f\n",
                            static_cast<long long>(elements), static_cast<long long>(elements * 3),
                            static_cast<long long>(elements * 2), indexed ? "yes" : "no",
                            Median(repair), Median(deletion));
                std::fflush(stdout);
            }
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
