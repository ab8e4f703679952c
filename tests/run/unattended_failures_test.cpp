// The varnel program on real warehouses where something is wrong: a name in the
// metadata that is no name, a signal in the middle of a long statement. Each run fails with exit
// status 1 and changes nothing.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;
using testing::OnlyFileIn;
using testing::ReadFile;

class UnattendedFailureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("VARNEL_HISTORY", (w_.Folder() + "/history.db").c_str(), 1);
        w_.Dimension("d_store", {"store_id INTEGER", "name VARCHAR(20)"},
                     {.PrimaryKey = "store_id"});
        w_.Fact("f_sales", {"id INTEGER", "store_id INTEGER"}, {.PrimaryKey = "id"});
        w_.Relation("d_store", "store_id", "f_sales", "store_id");
        w_.Rows("d_store", {"store_id", "name", "is_deletable"},
                {{1, "north", 1}, {2, "south", 0}});
        w_.Rows("f_sales", {"id", "store_id"}, {{1, 2}});
    }
    void TearDown() override { unsetenv("VARNEL_HISTORY"); }

    //! Starts varnel with the task on the warehouse, standard error in stderr.txt.
    pid_t Start(const std::string& task) {
        auto args = testing::SqliteRun(VARNEL_EXE, w_.Path(), Logs());
        args.insert(args.end(), {"-statusfile", Status(), task});
        return testing::StartChild(args, {.Err = w_.Folder() + "/stderr.txt"});
    }
    std::string Logs() const { return w_.Folder() + "/logs"; }
    std::string Status() const { return w_.Folder() + "/status.txt"; }
    testing::Texts Stores() { return w_.Lines("SELECT * FROM d_store ORDER BY store_id"); }

    testing::WarehouseBuilder w_;
};

// The name would overwrite every store's name if it reached an UPDATE; each task
// refuses it before it sends a statement.
TEST_F(UnattendedFailureTest, ANameThatIsNoNameStopsEveryTaskBeforeItsStatements) {
    w_.Exec(
        "UPDATE dwm_tables SET table_name = 'd_store SET name = ''x'' --'"
        " WHERE table_name = 'd_store'");
    const testing::Texts before = Stores();
    w_.Close();
    const std::string fault =
        "The value 'd_store SET name = 'x' --' in column table_name of dwm_tables is not a "
        "valid name.\r\n";
    for (const auto& [task, line] : std::vector<std::pair<std::string, std::string>>{
             {"-chkmd", "Error occured while checking metadata\r\n"},
             {"-mark", "Error occured in task:\tDetect and mark.\r\nProgram terminated.\r\n"},
             {"-grep", "Error occured in task:\tGenerate reports.\r\nProgram terminated.\r\n"},
             {"-del", "Error occured in task:\tDelete records.\r\nProgram terminated.\r\n"}}) {
        std::filesystem::remove_all(Logs());
        EXPECT_EQ(testing::FinishChild(Start(task)).ExitCode, 1) << task;
        EXPECT_EQ(ReadFile(Status()), "failure\r\n") << task;
        EXPECT_THAT(OnlyFileIn(Logs()), ::testing::StartsWith(fault + line)) << task;
        EXPECT_EQ(Stores(), before) << task;
    }
}

// One dimension table whose single statement takes far longer than a scheduler waits
// (a trigger does heavy work per row): SIGTERM cancels the statement itself, its
// transaction rolls back and the run ends at once, with the lock released.
TEST_F(UnattendedFailureTest, SigtermCancelsALongStatementAndLeavesTheTableAsItWas) {
    w_.Dimension("d_slow", {"id INTEGER"}, {.PrimaryKey = "id"});
    w_.Exec("ALTER TABLE f_sales ADD COLUMN slow_id INTEGER");
    w_.Relation("d_slow", "id", "f_sales", "slow_id");
    const std::string numbers = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n ";
    w_.Exec("CREATE TABLE pad (p INTEGER)");
    w_.Exec("INSERT INTO pad (p) " + numbers + "WHERE i < 1000) SELECT i FROM n");
    w_.Exec("INSERT INTO d_slow (id, is_deletable) " + numbers +
            "WHERE i < 2000) SELECT i, 1 FROM n");
    for (const auto& [task, event, cancelLine] :
         {std::tuple{"-del", "DELETE", "Deletion process cancelled by user."},
          std::tuple{"-mark", "UPDATE", "Marking process cancelled by user."}}) {
        // A cancelled run leaves the table as it was: the next task starts from it.
        std::filesystem::remove_all(Logs());
        w_.Exec("DROP TRIGGER IF EXISTS d_slow_slow");
        w_.Exec(std::string("CREATE TRIGGER d_slow_slow BEFORE ") + event +
                " ON d_slow BEGIN SELECT count(*) FROM pad a, pad b; END");
        w_.Close();
        const pid_t child = Start(task);
        // Long enough to reach the slow table, whose statement alone takes tens of seconds.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        ASSERT_EQ(waitpid(child, nullptr, WNOHANG), 0) << task << " ended before the signal";
        const auto end = testing::FinishChild(child, 0, SIGTERM);
        EXPECT_LT(end.Seconds, 5.0) << task;
        EXPECT_EQ(end.ExitCode, 1) << task;
        EXPECT_EQ(ReadFile(Status()), "failure\r\n") << task;
        EXPECT_THAT(OnlyFileIn(Logs()), HasSubstr(std::string(cancelLine) + "\r\n")) << task;
        EXPECT_EQ(w_.Count("d_slow", "is_deletable = 1"), 2000) << task;
        EXPECT_EQ(w_.Value("SELECT lock FROM dwm_multiuse"), "0") << task;
    }
}

}  // namespace
}  // namespace varnel
