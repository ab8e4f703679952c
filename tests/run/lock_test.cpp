#include "run/lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "base/current_user.h"
#include "tests/support/run_doubles.h"
#include "tests/support/sqlite_file.h"
#include "warehouse/connector.h"
#include "warehouse/database_access.h"
#include "warehouse/live_lock.h"
#include "warehouse/tool_tables.h"

namespace varnel {
namespace {

using Clock = std::chrono::steady_clock;

class LockTest : public testing::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        path_ = testing::CreateWarehouseFile(dir_.File("w.db"));
        state_.WarehouseConnection = testing::OpenSqlite(path_);
    }
    void TearDown() override {
        if (held_ >= 0) close(held_);
        ClearPlannedFailures();
        RunTest::TearDown();
    }

    std::string Row() {
        return testing::QueryValue(*state_.WarehouseConnection,
                                   "select lock || '|' || user_name from dwm_multiuse");
    }
    void SetRow(const std::string& user) {
        state_.WarehouseConnection->Execute(
            "create table dwm_multiuse( lock bit, user_name varchar(100))");
        state_.WarehouseConnection->Execute("insert into dwm_multiuse values (1,'" + user + "')");
    }
    bool Lock() {
        bool was = false;
        EXPECT_TRUE(LockTool(state_, was)) << state_.MessageText;
        return was;
    }

    std::string path_;
    const std::string me_ = CurrentUserName();
    int held_ = -1;
};

// A writer that holds the warehouse longer than the busy time-out: the run says which of
// its steps gave up, on the line before the engine's own words.
TEST_F(LockTest, ABusyWarehouseNamesTheLockStep) {
    auto writer = testing::OpenSqlite(path_);
    writer->Execute("BEGIN IMMEDIATE");
    writer->Execute("create table busy (x int)");
    Connector connector{"sqlite", path_, "", "", false};
    std::string text = connector.ConnectionString();
    text.replace(text.find("Timeout="), std::string("Timeout=10000").size(), "Timeout=50");
    state_.WarehouseConnection = std::make_unique<Connection>(Connection::Open(
        text, Engine::Sqlite, ConnectionTarget{"sqlite", path_, false, "", "", 5}));
    bool was = false;
    EXPECT_FALSE(LockTool(state_, was));
    EXPECT_EQ(state_.MessageText.rfind("Taking the lock in dwm_multiuse failed:\r\n", 0), 0u)
        << state_.MessageText;
    EXPECT_NE(state_.MessageText.find("database is locked"), std::string::npos);
    writer->Execute("ROLLBACK");
    EXPECT_FALSE(state_.LockHeld);
}

TEST_F(LockTest, NoTransactionIsOpenWhileAskingOrWaitingForALiveHolder) {
    SetRow("alice  ");
    // Another live process keeps the live lock.
    held_ = open(LiveLockFilePath(path_).c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_EQ(flock(held_, LOCK_SH | LOCK_NB), 0);
    auto other = testing::OpenSqlite(path_);
    prompter_.WhileAsking = [&] {
        // A transaction left open around the question would make this wait and fail.
        other->Execute("BEGIN IMMEDIATE");
        other->Execute("update dwm_multiuse set user_name = 'bob'");
        other->Execute("COMMIT");
    };
    EXPECT_TRUE(Lock());
    ASSERT_EQ(prompter_.Boxes.size(), 1u);
    EXPECT_EQ(prompter_.Boxes[0].Text,
              "The machine is currently locked by user alice. Do you wish to continue?");
    EXPECT_EQ(Row(), "1|bob");

    // A live holder in a long write transaction is named at once, not waited for.
    prompter_.WhileAsking = nullptr;
    other->Execute("BEGIN IMMEDIATE");
    other->Execute("update dwm_multiuse set user_name = 'bob'");
    const auto start = Clock::now();
    EXPECT_TRUE(Lock());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(state_.LockHolder, "bob");
    other->Execute("ROLLBACK");
}

TEST_F(LockTest, FailuresAreReportedAndNeverTakenForAnEmptyTable) {
    SetRow("bob");
    for (const std::string pattern : {"count(*)", "sqlite_master"}) {
        state_.MessageText.clear();
        PlanStatementFailure(PlannedFailure::Matching(pattern, "HY000", "database is locked", 0));
        bool flag = false;
        EXPECT_FALSE(ReadLockFlag(state_, flag));
        EXPECT_FALSE(ReadLastLockUser(state_));
        EXPECT_FALSE(LockTool(state_, flag));
        EXPECT_FALSE(state_.LockHeld);
        // Each engine error says first which step of the lock it stopped.
        const std::string locked = " the lock in dwm_multiuse failed:\r\ndatabase is locked\r\n";
        EXPECT_EQ(state_.MessageText, "Reading" + locked + "Reading" + locked + "Taking" + locked)
            << pattern;
        ClearPlannedFailures();
        EXPECT_EQ(Row(), "1|bob");
    }
}

// Processes race for one warehouse's lock: their holding times never overlap and
// the row ends valid.
TEST_F(LockTest, RacingProcessesNeverHoldTheLockTogether) {
    state_.WarehouseConnection.reset();
    std::vector<pid_t> children;
    for (int i = 0; i < 4; ++i) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int code = 2;  // 1: found it held and answered No, which is fine
            try {
                state_.WarehouseConnection = testing::OpenSqlite(path_);
                bool was = false;
                if (LockTool(state_, was) && !was && state_.LockHeld) {
                    const auto now = [] { return Clock::now().time_since_epoch().count(); };
                    const auto from = now();
                    std::this_thread::sleep_for(std::chrono::milliseconds(150));
                    std::ofstream(dir_.File("held" + std::to_string(i))) << from << ' ' << now();
                    code = UnlockTool(state_) ? 0 : 2;
                } else if (was) {
                    code = 1;
                }
            } catch (...) {
            }
            _exit(code);
        }
        children.push_back(pid);
    }
    std::vector<std::pair<long long, long long>> spans;
    for (std::size_t i = 0; i < children.size(); ++i) {
        int status = 0;
        waitpid(children[i], &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) <= 1) << status;
        long long from = 0, to = 0;
        if (std::ifstream(dir_.File("held" + std::to_string(i))) >> from >> to)
            spans.emplace_back(from, to);
    }
    ASSERT_FALSE(spans.empty());
    std::sort(spans.begin(), spans.end());
    for (std::size_t i = 1; i < spans.size(); ++i) EXPECT_LE(spans[i - 1].second, spans[i].first);
    state_.WarehouseConnection = testing::OpenSqlite(path_);
    EXPECT_EQ(CountRows(*state_.WarehouseConnection, "dwm_multiuse"), 1);
    EXPECT_EQ(Row(), "0|" + me_);
}

}  // namespace
}  // namespace varnel
