#pragma once

// A warehouse with a fact table, the deletion task run on it as the run driver
// runs it, and short read-backs of versions and job history.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "run/log_stream.h"
#include "run/process_state.h"
#include "run/progress_window.h"
#include "tasks/deletion/deletion.h"
#include "tests/support/job_history_reader.h"
#include "tests/support/run_doubles.h"
#include "tests/support/warehouse_builder.h"

namespace varnel::testing {

inline constexpr const char* kOpenEnd = "9999-12-31";

//! A dated version: id, code, region, start, end, current, marked.
inline Version V(int id, Cell code, Cell region, const char* start, const char* end, int current,
                 int marked) {
    return Version{.Values = {id, code, region},
                   .Start = start,
                   .End = end,
                   .Current = current,
                   .Deletable = marked};
}

class DeletionTest : public RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        w_.Fact("fact_sales", {"id INTEGER", "customer_id INTEGER", "brand_id INTEGER"},
                {.PrimaryKey = "id"});
    }

    //! Runs the task on the warehouse with the connection and the window a run would own.
    bool Delete(bool atomic, LogStream* log = nullptr) {
        if (!state_.ActiveProgressWindow())
            state_.InstallProgressWindow(state_.MakeProgressWindow());
        state_.WarehouseConnection = w_.OpenConnection();
        taskSettings_.AtomicDelete = atomic;
        taskSettings_.JobId = "job-7";
        const bool done = DeleteMarkedElements(Context(taskSettings_, log, "/var/log/run.txt"));
        state_.WarehouseConnection.reset();
        return done;
    }

    //! A slowly changing dimension keyed by code and region, used by the fact table.
    void Customers(const std::vector<Version>& versions) {
        w_.Dimension("dim_customer", {"id INTEGER", "code VARCHAR(20)", "region INTEGER"},
                     {.PrimaryKey = "id", .OrgPkey = "code, region", .SlowlyChanging = true});
        w_.Relation("dim_customer", "id", "fact_sales", "customer_id");
        w_.Versions("dim_customer", {"id", "code", "region"}, versions);
    }

    //! A plain dimension with the ids given, those in marked marked.
    void Brands(const std::vector<int>& ids, const std::vector<int>& marked) {
        w_.Dimension("dim_brand", {"id INTEGER"}, {.PrimaryKey = "id"});
        w_.Relation("dim_brand", "id", "fact_sales", "brand_id");
        for (int id : ids)
            w_.Rows("dim_brand", {"id", "is_deletable"},
                    {{id, std::count(marked.begin(), marked.end(), id) > 0 ? 1 : 0}});
    }

    //! "id|start day|end day|is_current" per version, in id order.
    Texts Versions(const std::string& table = "dim_customer") {
        return w_.Lines(
            "SELECT id, substr(start_date, 1, 10), substr(end_date, 1, 10), "
            "is_current FROM " +
            table + " ORDER BY id");
    }

    std::vector<JobHistoryEntry> History() { return ReadJobHistory(HistoryPath()); }

    WarehouseBuilder w_;
};

}  // namespace varnel::testing
