// What later tasks will keep is told in the run log in advance: control columns that hold
// Nulls, and slowly changing tables whose versions break the validity convention. Notes, not
// faults: the run goes on, and standard error does not get them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/run_doubles.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class MetadataNotesTest : public testing::RunTest {
  protected:
    //! Runs varnel with one task; returns the log, with the exit code and standard error.
    std::string Run(const std::string& task, int& exitCode, std::string& errors) {
        auto args = testing::SqliteRun(VARNEL_EXE, w_.Path(), dir_.File(task));
        args.push_back(task);
        exitCode = testing::RunChild(args, {.Err = dir_.File(task + ".err")}).ExitCode;
        errors = testing::ReadFile(dir_.File(task + ".err"));
        return testing::FilesIn(dir_.File(task), ".txt");
    }

    testing::WarehouseBuilder w_;
};

TEST_F(MetadataNotesTest, NullControlColumnsAndBrokenHistoriesAreNotedNotRefused) {
    w_.Fact("f_sales", {"id INTEGER", "store_id INTEGER", "customer_id INTEGER"},
            {.PrimaryKey = "id"});
    // Control columns added later, without a default: the rows before hold Null.
    w_.Table("d_store", {"store_id INTEGER PRIMARY KEY"});
    w_.Register({"d_store"});
    w_.Relation("d_store", "store_id", "f_sales", "store_id");
    w_.Rows("d_store", {"store_id"}, {{1}, {2}});
    w_.Exec("ALTER TABLE d_store ADD COLUMN is_deletable bit");
    w_.Exec("ALTER TABLE d_store ADD COLUMN is_sustainable bit");
    w_.Rows("d_store", {"store_id", "is_deletable", "is_sustainable"}, {{3, 0, 0}});
    w_.Dimension("d_customer", {"id INTEGER", "code VARCHAR(9)"},
                 {.PrimaryKey = "id", .OrgPkey = "code", .SlowlyChanging = true});
    w_.Relation("d_customer", "id", "f_sales", "customer_id");
    // B follows the convention; A and C end each version the day before the next begins.
    w_.Versions("d_customer", {"id", "code"},
                {{{1, "C"}, "2020-01-01", "2020-01-31", 0},
                 {{2, "C"}, "2020-02-01", "9999-12-31", 1},
                 {{3, "B"}, "2020-01-01", "2020-02-01", 0},
                 {{4, "B"}, "2020-02-01", "9999-12-31", 1},
                 {{5, "A"}, "2020-01-01", "2020-01-31", 0},
                 {{6, "A"}, "2020-02-01", "9999-12-31", 1}});
    w_.Close();

    const std::string nullLine =
        "Table d_store: 2 rows have no value in is_sustainable; they are kept.";
    const std::string notes[] = {
        "Table d_store: 2 rows have no value in is_deletable; they are kept.", nullLine,
        "Table d_customer: 2 elements do not follow the validity convention, for example A; "
        "their marked versions will not be deleted."};
    int exitCode = -1;
    std::string errors;
    const std::string check = Run("-chkmd", exitCode, errors);
    EXPECT_EQ(exitCode, 0) << check;
    for (const auto& note : notes) {
        EXPECT_THAT(check, HasSubstr(note + "\r\n"));
        EXPECT_THAT(errors, Not(HasSubstr(note)));
    }

    // Marking leaves the rows without a value unmarked, and says so.
    const std::string mark = Run("-mark", exitCode, errors);
    EXPECT_EQ(exitCode, 0) << mark;
    EXPECT_THAT(mark, HasSubstr(nullLine + "\r\n"));
    EXPECT_EQ(w_.Column("SELECT store_id FROM d_store WHERE is_deletable = 1"),
              testing::Texts{"3"});
}

}  // namespace
}  // namespace varnel
