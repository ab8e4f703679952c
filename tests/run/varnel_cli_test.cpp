#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "base/current_user.h"
#include "run/command_line.h"
#include "tests/support/run_doubles.h"
#include "tests/support/scoped_env.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;
using testing::OnlyFileIn;
using testing::ReadFile;
using ::testing::StartsWith;
using Args = std::vector<std::string>;

class VarnelCliTest : public testing::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        w_.Fact("f_sales", {"id INTEGER", "slow_id INTEGER"}, {.PrimaryKey = "id"});
        w_.Close();
    }

    //! Runs the program with the arguments; its output goes to out.txt and err.txt.
    int Varnel(Args args) {
        args.insert(args.begin(), VARNEL_EXE);
        return testing::RunChild(args, {.Out = dir_.File("out.txt"), .Err = Err()}).ExitCode;
    }
    //! An unattended run on the warehouse with its log in the folder given.
    Args On(const std::string& logs) {
        Args args = testing::SqliteRun(VARNEL_EXE, w_.Path(), logs);
        args.insert(args.end(), {"-statusfile", Status()});
        return args;
    }
    std::string Err() const { return dir_.File("err.txt"); }
    std::string Status() const { return dir_.File("status.txt"); }
    std::string LockRow() { return w_.Value("select lock || '|' || user_name from dwm_multiuse"); }

    testing::WarehouseBuilder w_;
    const std::string me_ = CurrentUserName();
};

// Why a run did not start goes to standard error and the status file; the usage text
// asked for with --help goes to standard output.
TEST_F(VarnelCliTest, ExitCodesStatusFileLogAndStandardStreams) {
    const std::string logs = dir_.File("log dir");
    const Args noLog = {"-mac",    "sqlite",   "-db",
                        w_.Path(), "-ntaut",   "-statusfile",
                        Status(),  "-logfile", dir_.File("copy.txt")};
    testing::WriteFile(dir_.File("empty.cfg"), "-logfile " + dir_.File("x.txt") + "\r\n");
    testing::WriteFile(dir_.File("nightly.cfg"), "-mac sqlite -db " + w_.Path() +
                                                     " -ntaut -statusfile " + Status() +
                                                     " -log \"" + logs + "\"\r\n");
    // Log: a text the run's log holds; empty when there is no log.
    const struct {
        Args Words;
        int Exit;
        std::string Err, Out, Log;
    } cases[] = {
        {{"@" + dir_.File("nightly.cfg")}, 0, "", "", "\r\n\r\nVarnel stopped on: "},
        {{"--help"}, 0, "", UsageText() + "\n", ""},
        {noLog, 1, "Log Directory name must be specified\n" + UsageText(), "", ""},
        {{"@" + dir_.File("empty.cfg")}, 1, "empty.cfg holds no run options", "", ""},
    };
    const testing::ScopedEnv noDisplay("DISPLAY", nullptr), noWayland("WAYLAND_DISPLAY", nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Words.back());
        std::filesystem::remove_all(logs);
        std::filesystem::remove(Status());
        EXPECT_EQ(Varnel(c.Words), c.Exit);
        const std::string err = ReadFile(Err());
        EXPECT_TRUE(c.Err.empty() ? err.empty() : err.find(c.Err) != std::string::npos) << err;
        EXPECT_THAT(ReadFile(dir_.File("out.txt")), StartsWith(c.Out));
        EXPECT_THAT(c.Log.empty() ? "" : OnlyFileIn(logs), HasSubstr(c.Log));
        const bool named = c.Words.size() > 2 || (c.Exit == 0 && !c.Log.empty());
        EXPECT_EQ(named ? ReadFile(Status()) : "",
                  named ? (c.Exit ? "failure\r\n" : "ok\r\n") : "");
    }
    EXPECT_EQ(ReadFile(dir_.File("copy.txt")),
              "Log directory path for the Varnel was not specified.");
    EXPECT_EQ(LockRow(), "0|" + me_);
}

// A statement far longer than a scheduler waits (a slow trigger): SIGTERM or SIGINT
// cancels it, its transaction rolls back and the run ends at once, lock released.
TEST_F(VarnelCliTest, ASignalCancelsALongStatementAndLeavesTheTableAsItWas) {
    w_.Dimension("d_slow", {"id INTEGER"}, {.PrimaryKey = "id"});
    w_.Relation("d_slow", "id", "f_sales", "slow_id");
    const std::string numbers = "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n ";
    w_.Exec("CREATE TABLE pad (p INTEGER)");
    w_.Exec("INSERT INTO pad (p) " + numbers + "WHERE i < 1000) SELECT i FROM n");
    w_.Exec("INSERT INTO d_slow (id, is_deletable) " + numbers +
            "WHERE i < 2000) SELECT i, 1 FROM n");
    for (const auto& [task, event, cancelLine, signal] :
         {std::tuple{"-del", "DELETE", "Deletion process cancelled by user.", SIGTERM},
          std::tuple{"-mark", "UPDATE", "Marking process cancelled by user.", SIGINT}}) {
        const std::string logs = dir_.File(task);
        SCOPED_TRACE(logs);
        w_.Exec("DROP TRIGGER IF EXISTS d_slow_slow");
        w_.Exec(std::string("CREATE TRIGGER d_slow_slow BEFORE ") + event +
                " ON d_slow BEGIN SELECT count(*) FROM pad a, pad b; END");
        w_.Close();
        Args args = On(logs);
        args.push_back(task);
        const pid_t child = testing::StartChild(args);
        // Long enough to reach the slow table, whose statement alone takes tens of seconds.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        ASSERT_EQ(waitpid(child, nullptr, WNOHANG), 0) << "ended before the signal";
        const auto end = testing::FinishChild(child, 0, signal);
        EXPECT_LT(end.Seconds, 5.0);
        EXPECT_EQ(end.ExitCode, 1);
        EXPECT_EQ(ReadFile(Status()), "failure\r\n");
        EXPECT_THAT(OnlyFileIn(logs), HasSubstr(std::string(cancelLine) + "\r\n"));
        EXPECT_EQ(w_.Count("d_slow", "is_deletable = 1"), 2000);
        EXPECT_EQ(LockRow(), "0|" + me_);
    }
}

}  // namespace
}  // namespace varnel
