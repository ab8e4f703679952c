#include "reports/reports.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "reports/report_frame.h"
#include "reports/report_pieces.h"
#include "tests/support/run_doubles.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using testing::Null;
using testing::ReadFile;

const Timestamp kStart{2005, 3, 7, 9, 5, 3};

class ReportsTest : public testing::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        state_.RunStartDate = state_.RunStartTime = kStart;
        taskSettings_.LogDirectory = dir_.File("reports");
        std::filesystem::create_directory(taskSettings_.LogDirectory);
    }

    //! The code under test gets its own connection, as in a run.
    void Connect(int cancelAfterPolls = -1) {
        CancelAfterPolls(cancelAfterPolls);
        state_.WarehouseConnection = w_.OpenConnection();
        state_.InstallProgressWindow(state_.MakeProgressWindow());
    }
    std::string PathOf(ReportKind kind) const {
        return ReportFilePath(taskSettings_.LogDirectory, kind, kStart, kStart);
    }
    std::string Page(ReportKind kind) const {
        const std::string path = PathOf(kind);
        return std::filesystem::exists(path) ? ReadFile(path) : "<no file>";
    }

    //! The warehouse of the stored pages.
    void BuildShop() {
        w_.Dimension("dim_product", {"id INTEGER", "code VARCHAR(10)", "name VARCHAR(40)"},
                     {.PrimaryKey = "id", .OrgPkey = "code", .Surkey = true});
        w_.Dimension("dim_store", {"id INTEGER", "region VARCHAR(10)", "store_no INTEGER"},
                     {.PrimaryKey = "id", .OrgPkey = "region, store_no"});
        w_.Dimension("dim_date", {"id INTEGER", "day DATE"},
                     {.PrimaryKey = "id", .OrgPkey = "day", .Selected = false});
        w_.Register({.Table = "dim_gone", .Type = "Dimension", .OrgPkey = "id"});
        w_.Fact("fact_sales",
                {"id INTEGER", "product_id INTEGER", "store_id INTEGER", "qty INTEGER",
                 "channel VARCHAR(20)"},
                {.PrimaryKey = "id", .WhereClause = "qty < 10 AND channel <> \"web & mail\""});
        w_.Fact("fact_returns", {"id INTEGER", "product_id INTEGER"}, {.PrimaryKey = "id"});
        w_.Relation("dim_product", "id", "fact_sales", "product_id");
        w_.Relation("dim_store", "id", "fact_sales", "store_id");
        w_.Rows("dim_product", {"id", "code", "name", "surkey", "is_deletable"},
                {{1, "B&2", "Bread <fresh>", 102, 1},
                 {2, "A1", "Apple", 101, 1},
                 {3, "C3", "Cheese", 103, 0}});
        w_.Rows("dim_store", {"id", "region", "store_no", "is_deletable"},
                {{1, "north", 7, 1}, {2, Null, 8, 1}, {3, "south", 9, 0}});
        w_.Rows("dim_date", {"id", "day"}, {{1, "2005-03-07"}});
    }

    void ExpectGolden(const std::string& name, std::string page) {
        // The warehouse's file lives in a fresh folder each time; the pages show its path.
        for (auto at = page.find(w_.Path()); at != std::string::npos; at = page.find(w_.Path()))
            page.replace(at, w_.Path().size(), "@DATABASE@");
        const std::string golden = std::string(VARNEL_SOURCE_DIR) + "/tests/reports/golden/" + name;
        if (std::getenv("VARNEL_UPDATE_GOLDEN")) testing::WriteFile(golden, page);
        EXPECT_EQ(page, ReadFile(golden)) << name;
    }

    testing::WarehouseBuilder w_;
};

TEST_F(ReportsTest, ThreePagesMatchTheStoredPagesByteForByte) {
    BuildShop();
    Connect();
    // The pages carry the run's start, not the time they are written at.
    testing::FixedClock clock(state_, {2005, 3, 8, 0, 0, 1});
    testing::WriteFile(PathOf(ReportKind::Summary), std::string(100000, 'x'));
    ASSERT_TRUE(WriteReports(Context())) << state_.MessageText;
    EXPECT_EQ(state_.MessageText, "");
    ExpectGolden("summary.html", Page(ReportKind::Summary));
    ExpectGolden("detailed.html", Page(ReportKind::Detailed));
    ExpectGolden("table_filter.html", Page(ReportKind::TableFilter));
    // 4 dimension rows twice, 3 selected dimensions and 2 fact tables: one step each.
    EXPECT_EQ(state_.ActiveProgressWindow()->ProgressMax(), 13.0f);
}

TEST(UnusedCountsTest, ATableCountedTwiceIsAnErrorSoNoPageListsItTwice) {
    UnusedCounts counts;
    counts.Add("dim_a", 2);
    counts.Add("DIM_A", 0);  // names compare exactly
    EXPECT_THAT([&] { counts.Add("dim_a", 3); },
                ::testing::ThrowsMessage<std::runtime_error>("The table dim_a is listed twice."));
    EXPECT_EQ(counts.Size(), 2u);
    EXPECT_EQ(counts.Find("dim_a"), 2);
}

TEST_F(ReportsTest, CancelFinishesTheSummary) {
    BuildShop();
    Connect(/*cancelAfterPolls=*/1);
    EXPECT_FALSE(WriteReports(Context()));
    EXPECT_EQ(state_.MessageText, "");  // the run driver adds the cancel line
    EXPECT_THAT(Page(ReportKind::Summary), EndsWith("</HTML>\r\n"));
    EXPECT_EQ(Page(ReportKind::Detailed), "<no file>");
    EXPECT_EQ(state_.ActiveProgressWindow()->Comment(), "Generating detailed report");
    EXPECT_EQ(state_.ActiveProgressWindow()->ProgressVal(), 4);
}

// A key column failure ends the report task with its cause; the detailed page stops where
// the failure struck.
TEST_F(ReportsTest, AKeyColumnListedTwiceEndsTheTask) {
    w_.Dimension("dim_x", {"id INTEGER", "code VARCHAR(5)"},
                 {.PrimaryKey = "id", .OrgPkey = "code, Code"});
    w_.Rows("dim_x", {"id", "code", "is_deletable"}, {{1, "x1", 1}});
    Connect();
    EXPECT_FALSE(WriteReports(Context()));
    EXPECT_EQ(state_.MessageText,
              "The key column Code of the table dim_x is listed more than once.\r\n");
    EXPECT_THAT(Page(ReportKind::Detailed), Not(HasSubstr("</HTML>")));
    EXPECT_EQ(Page(ReportKind::TableFilter), "<no file>");
}

}  // namespace
}  // namespace varnel
