// The metadata check through ExecuteRun and through the varnel program.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/run_driver.h"
#include "run/run_settings.h"
#include "tests/support/run_doubles.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::ReadFile;
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

TEST_F(MetadataCheckRunTest, CorrectWarehousePassesTheCheckRow) {
    settings_.MarkUnused = settings_.GenerateReports = false;
    EXPECT_TRUE(Run()) << state_.MessageText;
    EXPECT_THAT(Window().TaskCaptions, ElementsAre("Check metadata"));
    EXPECT_THAT(Window().CheckMarks, ElementsAre(true));
}

TEST_F(MetadataCheckRunTest, FaultsEndTheRunWithTheDriversErrorLine) {
    struct Case {
        const char* Name;
        std::vector<std::string> Damage;
        std::string Fault;
    };
    const Case cases[] = {
        {"unindexed fact",
         {"DROP INDEX ix_fact_sales_product_id", "DROP INDEX ix_fact_sales_customer_key"},
         "Table :fact_sales is not indexed.\r\n"},
        {"consistency",
         {"DELETE FROM dwm_tables WHERE table_name = 'dim_customer'"},
         "The following tables are referred to by the 'dwm_star_relations' table but the details "
         "of the same are not present in the dwm_tables table:\r\ndim_customer\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        WarehouseBuilder broken;
        BuildWarehouse(broken);
        for (const auto& statement : c.Damage) broken.Exec(statement);
        broken.Close();
        RunSettings settings = settings_;
        settings.Database = broken.Path();
        EXPECT_FALSE(ExecuteRun(state_, settings));
        EXPECT_EQ(state_.MessageText, c.Fault + kErrorLine);
        // The later tasks are not run: their flags are cleared with the check's.
        EXPECT_FALSE(settings.CheckMetadata || settings.MarkUnused || settings.GenerateReports);
    }
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

class MetadataCheckProgramTest : public testing::RunTest {
  protected:
    //! Builds the demo warehouse with the sqlite3 shell, as scripts/demo.sh does.
    std::string DemoWarehouse() {
        const std::string path = dir_.File("demo.db");
        const std::string command =
            "sqlite3 '" + path + "' < '" VARNEL_SOURCE_DIR "/scripts/demo_warehouse.sql'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path;
    }

    //! Runs varnel -chkmd on the warehouse; returns its exit status.
    int CheckMetadata(const std::string& warehouse) {
        std::string command =
            "VARNEL_HISTORY='" + HistoryPath() + "' '" VARNEL_EXE "' -mac sqlite -db '" +
            warehouse + "' -ntaut -chkmd -log '" + Logs() + "' -statusfile '" +
            dir_.File("status.txt") + "' 2>'" + dir_.File("stderr.txt") + "' </dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Logs() const { return dir_.File("logs"); }

    std::string OnlyLog() {
        std::vector<std::string> logs;
        for (const auto& entry : std::filesystem::directory_iterator(Logs()))
            logs.push_back(entry.path().string());
        EXPECT_EQ(logs.size(), 1u);
        return logs.empty() ? "" : ReadFile(logs.front());
    }
};

TEST_F(MetadataCheckProgramTest, DemoWarehousePasses) {
    const std::string warehouse = DemoWarehouse();
    ASSERT_EQ(CheckMetadata(warehouse), 0) << ReadFile(dir_.File("stderr.txt"));
    EXPECT_EQ(ReadFile(dir_.File("status.txt")), "ok\r\n");
    const std::string log = OnlyLog();
    EXPECT_THAT(log, HasSubstr("The following processes were completed by the tool :\r\n"
                               "\t - Checking of metadata\r\n"));
    EXPECT_THAT(log, Not(HasSubstr("Error")));
}

TEST_F(MetadataCheckProgramTest, BrokenDemoWarehouseFailsWithTheFaultInTheLog) {
    const std::string warehouse = DemoWarehouse();
    testing::OpenSqlite(warehouse)->Execute(
        "UPDATE dwm_star_relations SET original_primary_key = NULL"
        " WHERE foreign_table = 'fact_returns' AND primary_table = 'dim_customer'");
    EXPECT_EQ(CheckMetadata(warehouse), 1);
    EXPECT_EQ(ReadFile(dir_.File("status.txt")), "failure\r\n");
    EXPECT_THAT(OnlyLog(), HasSubstr("original_primary_key Column Empty  for slowly changing "
                                     "dimension table: dim_customer\r\n" +
                                     kErrorLine));
}

}  // namespace
}  // namespace varnel
