#include "tasks/metadata_check/metadata_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "run/process_state.h"
#include "run/progress_window.h"
#include "run/run_settings.h"
#include "tests/support/run_doubles.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using testing::Null;
using testing::WarehouseBuilder;

//! A correct warehouse: four dimensions (one slowly changing, one registered as
//! 'Dimension', one with a two-column key), a fact table and a snowflake edge.
//! R = 4 relations, T = 5 dimension and fact rows.
void BuildCorrectWarehouse(WarehouseBuilder& w) {
    w.Dimension("dim_category", {"category_id INTEGER", "category_code VARCHAR(10)"},
                {.PrimaryKey = "category_id", .OrgPkey = "category_code"});
    w.Dimension("dim_product",
                {"product_id INTEGER", "product_code VARCHAR(10)", "category_id INTEGER"},
                {.PrimaryKey = "product_id", .OrgPkey = "product_code", .TableType = "Dimension"});
    w.Dimension("dim_store", {"store_id INTEGER", "region VARCHAR(10)"},
                {.PrimaryKey = "store_id, region", .OrgPkey = "store_id"});
    w.Dimension("dim_customer", {"customer_key INTEGER", "customer_code VARCHAR(10)"},
                {.PrimaryKey = "customer_key", .OrgPkey = "customer_code", .SlowlyChanging = true});
    w.Fact("fact_sales",
           {"sale_id INTEGER", "product_id INTEGER", "store_id INTEGER", "store_region VARCHAR(10)",
            "customer_key INTEGER", "sale_date DATETIME"},
           {.PrimaryKey = "sale_id", .WhereClause = "sale_date < '2024-01-01'"});
    w.Relation("dim_product", "product_id", "fact_sales", "product_id");
    // Blanks after the commas: the names are trimmed before the look-up.
    w.Relation("dim_store", "store_id, region", "fact_sales", "store_id,  store_region");
    w.Relation("dim_customer", "customer_key", "fact_sales", "customer_key");
    w.Relation("dim_category", "category_id", "dim_product", "category_id");
}

//! Keeps the highest value its bar reached.
class BarWindow : public testing::TestProgressWindow {
  public:
    using ProgressWindow::ProgressVal;
    using TestProgressWindow::TestProgressWindow;
    void ProgressVal(std::int32_t value) override {
        ProgressWindow::ProgressVal(value);
        Peak = std::max(Peak, value);
    }
    std::int32_t Peak = 0;
};

//! A dimension with two relations, one slowly changing and one not, and no version
//! columns: the first row of the distinct query decides whether it needs them.
void AddAgent(WarehouseBuilder& w, bool slowlyChangingFirst) {
    w.Dimension("dim_agent", {"agent_key INTEGER", "agent_code VARCHAR(10)"},
                {.PrimaryKey = "agent_key", .OrgPkey = "agent_code"});
    const testing::RelationOptions slow{.SlowlyChanging = true, .OriginalKey = "agent_code"};
    const testing::RelationOptions plain{.SlowlyChanging = false};
    w.Relation("dim_agent", "agent_key", "fact_sales", "customer_key",
               slowlyChangingFirst ? slow : plain);
    w.Relation("dim_agent", "agent_key", "dim_customer", "customer_key",
               slowlyChangingFirst ? plain : slow);
}

RunSettings Flags(bool RunSettings::*flag) {
    RunSettings settings;
    settings.CheckMetadata = settings.*flag = true;
    return settings;
}
const RunSettings kMarkReportDelete = [] {
    RunSettings settings = Flags(&RunSettings::MarkUnused);
    settings.GenerateReports = settings.DeleteMarked = true;
    return settings;
}();

class MetadataCheckTest : public testing::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        BuildCorrectWarehouse(w_);
    }

    //! The task as the run driver calls it, with a recording window holding the settings.
    bool Check(const RunSettings& settings = kMarkReportDelete) {
        state_.WarehouseConnection = w_.OpenConnection();
        auto window = std::make_unique<BarWindow>(record_, -1);
        window->Settings(settings);
        bar_ = window.get();
        state_.InstallProgressWindow(std::move(window));
        taskSettings_ = settings;
        return RunMetadataCheck(Context());
    }

    WarehouseBuilder w_;
    std::shared_ptr<testing::WindowRecord> record_ = std::make_shared<testing::WindowRecord>();
    BarWindow* bar_ = nullptr;
};

// Null condition and selection of a fact table, any case of the type, rows of other types naming
// no table, dimensions without version columns that no relation or an ordinary first one names.
TEST_F(MetadataCheckTest, CorrectWarehousePassesAndStepsTheBarRPlusTPlusOneTimes) {
    w_.Exec(
        "UPDATE dwm_tables SET where_clause = NULL, is_selected = NULL, table_type = 'fact'"
        " WHERE table_name = 'fact_sales'");
    w_.Register({.Table = "no_such_view", .Type = "VIEW", .Selected = Null});
    w_.Dimension("dim_promo", {"promo_id INTEGER"}, {.PrimaryKey = "promo_id"});
    AddAgent(w_, false);
    ASSERT_TRUE(Check()) << state_.MessageText;
    EXPECT_EQ(bar_->ProgressMax(), 6 + 7 + 1);
    EXPECT_EQ(bar_->Peak, 6 + 7 + 1);
    EXPECT_EQ(record_->Polls, 6 + 7);  // once per relation row and per table row
}

TEST_F(MetadataCheckTest, UnindexedFactFailsOnlyWhenTheRunMarksReportsOrDeletes) {
    w_.Fact("fact_visits", {"visit_id INTEGER", "store_id INTEGER", "store_region VARCHAR(10)"},
            {.PrimaryKey = "visit_id", .Indexed = false});
    w_.Relation("dim_store", "store_id, region", "fact_visits", "store_id, store_region");
    for (const auto flag :
         {&RunSettings::MarkUnused, &RunSettings::DeleteMarked, &RunSettings::ArchiveFacts}) {
        const bool archiving = flag == &RunSettings::ArchiveFacts;
        state_.MessageText.clear();
        EXPECT_EQ(Check(Flags(flag)), archiving);
        EXPECT_EQ(state_.MessageText, archiving ? "" : "Table :fact_visits is not indexed.\r\n");
    }
}

struct FaultCase {
    std::function<void(WarehouseBuilder&)> Damage;
    std::string Fault;  // without the CR LF that MessageText adds
    std::string Step;   // the comment of the step that found it
};

const std::string kRelationsStep = "Checking the Relations Table";

std::vector<FaultCase> FaultCases() {
    return {
        // dwm_tables is not looked at: it is gone as well, and the fault stays this one.
        {[](auto& w) {
             w.Exec("DELETE FROM dwm_star_relations");
             w.Exec("DROP TABLE dwm_tables");
         },
         "Table: dwm_star_relations does not contain any records", kRelationsStep},
        {[](auto& w) { w.Exec("UPDATE dwm_star_relations SET original_primary_key = NULL"); },
         "original_primary_key Column Empty  for slowly changing dimension table: dim_customer",
         kRelationsStep},
        {[](auto& w) {
             w.Relation("dim_product", "product_id", "fact_sales", "product_id, store_id");
         },
         "Count of primary key fields and foreign key fields not the same for the relationship "
         ":\r\nPrimary Table - dim_product\r\nForeign Table - fact_sales",
         kRelationsStep},
        {[](auto& w) { AddAgent(w, true); },
         "Column :: start_date does not exist in the Dimension Table : dim_agent",
         "Checking the dwm_tables table"},
        {[](auto& w) {
             w.Dimension("dim_b", {"b_id INTEGER"}, {.Registered = false});
             w.Dimension("dim_a", {"a_id INTEGER"}, {.Registered = false});
             w.Relation("dim_b", "b_id", "fact_sales", "store_id");
             w.Relation("dim_a", "a_id", "fact_sales", "store_id");
         },
         "The following tables are referred to by the 'dwm_star_relations' table but the "
         "details of the same are not present in the dwm_tables table:\r\ndim_a\r\ndim_b\r\n",
         "Checking the consistency between meta tables"},
    };
}

TEST_F(MetadataCheckTest, FirstFaultEndsTheCheckWithItsMessage) {
    for (const auto& c : FaultCases()) {
        SCOPED_TRACE(c.Fault);
        state_.WarehouseConnection.reset();
        w_ = WarehouseBuilder();
        BuildCorrectWarehouse(w_);
        c.Damage(w_);
        record_->Comments.clear();
        state_.MessageText.clear();
        EXPECT_FALSE(Check());
        EXPECT_EQ(state_.MessageText, c.Fault + "\r\n");
        EXPECT_EQ(record_->Comments.empty() ? "" : record_->Comments.back(), c.Step);
    }
}

}  // namespace
}  // namespace varnel
