// The metadata check in process: every fault message, the bar and the comments.

#include "tasks/metadata_check/metadata_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/run_driver.h"
#include "run/process_state.h"
#include "run/progress_window.h"
#include "run/run_settings.h"
#include "tests/support/run_doubles.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
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

// Null conditions and a Null selection of a fact table, any letter case of the type,
// rows of other types naming no table, an original key that is Null for an ordinary
// relation, a dimension that no relation names without version columns, and one whose
// first relation is ordinary without them pass.
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
    EXPECT_EQ(bar_->ProgressVal(), 0);
    EXPECT_THAT(record_->Comments,
                ElementsAre("Checking the Relations Table", "Checking the dwm_tables table",
                            "Checking the consistency between meta tables", ""));
    EXPECT_EQ(record_->Polls, 6 + 7);  // once per relation row and per table row
}

TEST_F(MetadataCheckTest, UnindexedFactFailsOnlyWhenTheRunMarksReportsOrDeletes) {
    w_.Fact("fact_visits", {"visit_id INTEGER", "store_id INTEGER", "store_region VARCHAR(10)"},
            {.PrimaryKey = "visit_id", .Indexed = false});
    w_.Relation("dim_store", "store_id, region", "fact_visits", "store_id, store_region");
    // An INTEGER PRIMARY KEY is the rowid: SQLite lists no index for it.
    ASSERT_TRUE(w_.IndexNames("fact_visits").empty());
    for (const auto flag :
         {&RunSettings::MarkUnused, &RunSettings::DeleteMarked, &RunSettings::ArchiveFacts}) {
        const bool archiving = flag == &RunSettings::ArchiveFacts;
        SCOPED_TRACE(archiving);
        state_.MessageText.clear();
        EXPECT_EQ(Check(Flags(flag)), archiving);
        EXPECT_EQ(state_.MessageText, archiving ? "" : "Table :fact_visits is not indexed.\r\n");
    }
}

TEST_F(MetadataCheckTest, TaskWithoutConnectionFailsAndWithoutWindowStillChecks) {
    EXPECT_FALSE(RunMetadataCheck(Context()));
    EXPECT_EQ(state_.MessageText, "Connection to the data warehouse not available.\r\n");
    state_.MessageText.clear();
    state_.WarehouseConnection = w_.OpenConnection();
    EXPECT_TRUE(RunMetadataCheck(Context())) << state_.MessageText;
}

struct FaultCase {
    std::function<void(WarehouseBuilder&)> Damage;
    std::string Fault;  // without the CR LF that MessageText adds
    std::string Step;   // the comment of the step that found it
};

const std::string kRelationsStep = "Checking the Relations Table";
const std::string kTablesStep = "Checking the dwm_tables table";

std::vector<FaultCase> FaultCases() {
    return {
        {[](auto& w) { w.Exec("DROP TABLE dwm_star_relations"); },
         "Table : 'dwm_star_relations' does not exist in the data warehouse database",
         kRelationsStep},
        // dwm_tables is not looked at: it is gone as well, and the fault stays this one.
        {[](auto& w) {
             w.Exec("DELETE FROM dwm_star_relations");
             w.Exec("DROP TABLE dwm_tables");
         },
         "Table: dwm_star_relations does not contain any records", kRelationsStep},
        {[](auto& w) { w.Exec("UPDATE dwm_star_relations SET slow_moving_dim = NULL"); },
         "slow_moving_dim Column empty in dwm_star_relations table", kRelationsStep},
        {[](auto& w) { w.Exec("UPDATE dwm_star_relations SET original_primary_key = NULL"); },
         "original_primary_key Column Empty  for slowly changing dimension table: dim_customer",
         kRelationsStep},
        {[](auto& w) { w.Relation("dim_category", "category_id", "dim_product", "item_id"); },
         "Column :: item_id does not exist in table dim_product", kRelationsStep},
        {[](auto& w) {
             w.Relation("dim_product", "product_id", "fact_sales", "product_id, store_id");
         },
         "Count of primary key fields and foreign key fields not the same for the relationship "
         ":\r\nPrimary Table - dim_product\r\nForeign Table - fact_sales",
         kRelationsStep},
        {[](auto& w) { w.Exec("DROP TABLE dwm_tables"); },
         "Table 'dwm_tables' does not exist in the data warehouse database", kTablesStep},
        {[](auto& w) { w.Exec("UPDATE dwm_tables SET table_type = 'VIEW'"); },
         "Table 'dwm_tables' does not contain any records", kTablesStep},
        {[](auto& w) { w.Exec("UPDATE dwm_tables SET is_selected = NULL"); },
         "Column 'is_selected' empty for dimension table dim_category in dwm_tables table",
         kTablesStep},
        {[](auto& w) { w.Register({.Table = "dim_gone"}); },
         "Table : dim_gone does not exist in the data warehouse database", kTablesStep},
        {[](auto& w) { AddAgent(w, true); },
         "Column :: start_date does not exist in the Dimension Table : dim_agent", kTablesStep},
        {[](auto& w) {
             w.Dimension("dim_promo", {"promo_id INTEGER"}, {.Without = {"is_deletable"}});
         },
         "Column :: is_deletable does not exist in the Dimension Table : dim_promo", kTablesStep},
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

// Through the run driver: Cancel among the relation rows or the table rows, or a
// fault, ends the run with the driver's line, and the later tasks are not run.
TEST_F(MetadataCheckTest, ThroughTheRunDriverCancelOrAFaultEndsTheRun) {
    const std::string cancelled = "Checking of metadata process cancelled by user.\r\n";
    const struct {
        int CancelAfter;
        std::string Message, Step;
    } cases[] = {
        {1, cancelled, kRelationsStep},
        {5, cancelled, kTablesStep},
        {-1,
         "slow_moving_dim Column empty in dwm_star_relations table\r\n"
         "Error occured while checking metadata\r\n",
         kRelationsStep},
    };
    state_.CommandLineMode = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.CancelAfter);
        if (c.CancelAfter < 0) w_.Exec("UPDATE dwm_star_relations SET slow_moving_dim = NULL");
        w_.Close();
        RunSettings settings = kMarkReportDelete;
        settings.Server = "sqlite";
        settings.Database = w_.Path();
        settings.WindowsAuth = settings.LogRequested = true;
        settings.LogDirectory = dir_.File("logs");
        // The test windows of the runs share one record: their polls add up.
        const std::int32_t polls = Window().Polls;
        CancelAfterPolls(c.CancelAfter < 0 ? -1 : polls + c.CancelAfter);
        state_.MessageText.clear();
        EXPECT_FALSE(ExecuteRun(state_, settings));
        EXPECT_EQ(state_.MessageText, c.Message);
        EXPECT_EQ(Window().Comments.back(), c.Step);
        if (c.CancelAfter > 0) {
            EXPECT_EQ(Window().Polls - polls, c.CancelAfter + 1);
        }
        EXPECT_FALSE(settings.CheckMetadata || settings.MarkUnused || settings.GenerateReports);
    }
}

}  // namespace
}  // namespace varnel
