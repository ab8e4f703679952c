// The metadata check through ExecuteRun.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "driver/run_driver.h"
#include "run/run_settings.h"
#include "tests/support/run_doubles.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using testing::WarehouseBuilder;

const std::string kErrorLine = "Error occured while checking metadata\r\n";
const std::string kCancelLine = "Checking of metadata process cancelled by user.\r\n";

//! Two dimensions (one slowly changing) and a fact table: R = 2, T = 3.
void BuildWarehouse(WarehouseBuilder& w) {
    w.Dimension("dim_product", {"product_id INTEGER", "product_code VARCHAR(10)"},
                {.PrimaryKey = "product_id", .OrgPkey = "product_code"});
    w.Dimension("dim_customer", {"customer_key INTEGER", "customer_code VARCHAR(10)"},
                {.PrimaryKey = "customer_key", .OrgPkey = "customer_code", .SlowlyChanging = true});
    w.Fact("fact_sales", {"sale_id INTEGER", "product_id INTEGER", "customer_key INTEGER"},
           {.PrimaryKey = "sale_id"});
    w.Relation("dim_product", "product_id", "fact_sales", "product_id");
    w.Relation("dim_customer", "customer_key", "fact_sales", "customer_key");
}

class MetadataCheckRunTest : public testing::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        BuildWarehouse(w_);
        state_.CommandLineMode = true;
        settings_.Server = "sqlite";
        settings_.Database = w_.Path();
        settings_.WindowsAuth = true;
        settings_.LogRequested = true;
        settings_.LogDirectory = dir_.File("logs");
        // Marking and the reports would run after the check; their flags ask
        // for the index test of fact tables.
        settings_.CheckMetadata = settings_.MarkUnused = settings_.GenerateReports = true;
    }

    bool Run() {
        w_.Close();
        return ExecuteRun(state_, settings_);
    }

    WarehouseBuilder w_;
    RunSettings settings_;
};

TEST_F(MetadataCheckRunTest, AFaultEndsTheRunWithTheDriversErrorLine) {
    w_.Exec("DROP INDEX ix_fact_sales_product_id");
    w_.Exec("DROP INDEX ix_fact_sales_customer_key");
    EXPECT_FALSE(Run());
    EXPECT_EQ(state_.MessageText, "Table :fact_sales is not indexed.\r\n" + kErrorLine);
    // The later tasks are not run: their flags are cleared with the check's.
    EXPECT_FALSE(settings_.CheckMetadata || settings_.MarkUnused || settings_.GenerateReports);
}

// Two relation rows, then three table rows; Cancel is noticed at the next poll.
class MetadataCancelTest : public MetadataCheckRunTest,
                           public ::testing::WithParamInterface<std::pair<int, const char*>> {};

TEST_P(MetadataCancelTest, LeavesOnlyTheDriversCancelLine) {
    CancelAfterPolls(GetParam().first);
    EXPECT_FALSE(Run());
    EXPECT_EQ(state_.MessageText, kCancelLine);
    EXPECT_EQ(Window().Polls, GetParam().first + 1);
    EXPECT_EQ(Window().Comments.back(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(AmongRelationsAndTables, MetadataCancelTest,
                         ::testing::Values(std::pair{1, "Checking the Relations Table"},
                                           std::pair{3, "Checking the dwm_tables table"}));

}  // namespace
}  // namespace varnel
