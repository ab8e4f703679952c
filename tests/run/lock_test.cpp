// The multi-user lock on real SQLite warehouses, and the live lock that tells a
// holder that lives from one that died.

#include "run/lock.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "base/current_user.h"
#include "run/process_state.h"
#include "run/run_settings.h"
#include "tests/support/run_doubles.h"
#include "tests/support/sqlite_file.h"
#include "warehouse/database_access.h"
#include "warehouse/live_lock.h"
#include "warehouse/tool_tables.h"

namespace varnel {
namespace {

using testing::QueryValue;

class LockTest : public testing::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        path_ = testing::CreateSqliteFile(dir_.File("w.db"));
        state_.WarehouseConnection = testing::OpenSqlite(path_);
        me_ = CurrentUserName();
    }

    std::string Row() {
        return QueryValue(*state_.WarehouseConnection,
                          "select lock || '|' || user_name from dwm_multiuse");
    }
    void SetRow(int lock, const std::string& user) {
        state_.WarehouseConnection->Execute(
            "create table dwm_multiuse( lock bit, user_name varchar(100))");
        state_.WarehouseConnection->Execute("insert into dwm_multiuse values (" +
                                            std::to_string(lock) + ",'" + user + "')");
    }

    //! Locks the live lock file as another live holder would; -1 when it cannot.
    int LockLiveFile(int mode) {
        const int fd = open(LiveLockFilePath(path_).c_str(), O_RDWR | O_CREAT, 0600);
        if (fd >= 0 && flock(fd, mode | LOCK_NB) != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }
    //! Another process (open file) keeps the live lock for the rest of the test.
    void HoldLiveElsewhere() { ASSERT_GE(held_ = LockLiveFile(LOCK_SH), 0); }

    void TearDown() override {
        if (held_ >= 0) close(held_);
        RunTest::TearDown();
    }

    std::string path_;
    std::string me_;
    int held_ = -1;
};

TEST_F(LockTest, FirstRunCreatesTheTableLockedAndLeavesItFreeWithTheSameUser) {
    ASSERT_TRUE(ReadLastLockUser(state_));
    EXPECT_EQ(state_.LastLockUser, "");
    bool wasLocked = true;
    ASSERT_TRUE(LockTool(state_, wasLocked));
    EXPECT_FALSE(wasLocked);
    EXPECT_TRUE(state_.LockHeld);
    EXPECT_EQ(Row(), "1|" + me_);

    ASSERT_TRUE(UnlockTool(state_));
    EXPECT_FALSE(state_.LockHeld);
    EXPECT_EQ(Row(), "0|" + me_);
    ASSERT_TRUE(ReadLastLockUser(state_));
    EXPECT_EQ(state_.LastLockUser, me_);
    bool locked = true;
    ASSERT_TRUE(ReadLockFlag(state_, locked));
    EXPECT_FALSE(locked);
    EXPECT_TRUE(prompter_.Boxes.empty());
}

TEST_F(LockTest, FreeAndEmptyTablesAreTakenByTheCurrentUser) {
    SetRow(0, "alice");
    bool wasLocked = true;
    ASSERT_TRUE(LockTool(state_, wasLocked));
    EXPECT_FALSE(wasLocked);
    EXPECT_EQ(Row(), "1|" + me_);

    state_.WarehouseConnection->Execute("delete from dwm_multiuse");
    state_.LockHeld = false;
    ASSERT_TRUE(LockTool(state_, wasLocked));
    EXPECT_TRUE(state_.LockHeld);
    EXPECT_EQ(Row(), "1|" + me_);
    EXPECT_EQ(CountRows(*state_.WarehouseConnection, "dwm_multiuse"), 1);
}

TEST_F(LockTest, AnotherUsersLockIsKeptWhenTheOperatorSaysNo) {
    SetRow(1, "alice  ");
    HoldLiveElsewhere();
    bool wasLocked = false;
    ASSERT_TRUE(LockTool(state_, wasLocked));
    EXPECT_TRUE(wasLocked);
    EXPECT_FALSE(state_.LockHeld);
    ASSERT_EQ(prompter_.Boxes.size(), 1u);
    EXPECT_EQ(prompter_.Boxes[0].Text,
              "The machine is currently locked by user alice. Do you wish to continue?");
    EXPECT_EQ(Row(), "1|alice  ");
}

TEST_F(LockTest, OverrideAfterYesRecreatesTheTableAndTheOldHolderCannotUnlock) {
    SetRow(1, "alice");
    HoldLiveElsewhere();
    prompter_.Answers = {true};
    bool wasLocked = true;
    ASSERT_TRUE(LockTool(state_, wasLocked));
    EXPECT_FALSE(wasLocked);
    EXPECT_TRUE(state_.LockHeld);
    EXPECT_EQ(Row(), "1|" + me_);

    // This process holds the live lock beside Alice's, so her end does not leave
    // the row looking abandoned.
    close(held_);
    held_ = -1;
    EXPECT_EQ(LockLiveFile(LOCK_EX), -1);

    // Alice's UnlockTool, seen from here: a lock held by someone else stays.
    state_.WarehouseConnection->Execute("update dwm_multiuse set user_name = 'alice'");
    ASSERT_TRUE(UnlockTool(state_));
    EXPECT_EQ(Row(), "1|alice");
    EXPECT_TRUE(state_.LockHeld);
}

TEST_F(LockTest, ARowLeftLockedWithNoLiveHolderIsTakenOverWithoutAQuestion) {
    SetRow(1, "alice  ");
    bool wasLocked = true;
    ASSERT_TRUE(LockTool(state_, wasLocked)) << state_.MessageText;
    EXPECT_FALSE(wasLocked);
    EXPECT_TRUE(state_.LockHeld);
    EXPECT_EQ(Row(), "1|" + me_);
    EXPECT_TRUE(prompter_.Boxes.empty());
    EXPECT_THAT(state_.LockNotes,
                ::testing::ElementsAre("The lock left by user alice, whose run ended "
                                       "without releasing it, was taken over."));
    EXPECT_EQ(LockLiveFile(LOCK_EX), -1);
}

// The live lock is held exactly while the row is: taken with the row, kept from
// other processes, freed by UnlockTool even when the row names someone else.
TEST_F(LockTest, TheLiveLockGoesWithTheRow) {
    const mode_t previousMask = umask(022);
    for (const bool rowTakenByAlice : {false, true}) {
        bool wasLocked = true;
        ASSERT_TRUE(LockTool(state_, wasLocked)) << state_.MessageText;
        EXPECT_TRUE(state_.LockNotes.empty());
        EXPECT_EQ(LockLiveFile(LOCK_EX), -1);
        if (rowTakenByAlice)
            state_.WarehouseConnection->Execute("update dwm_multiuse set user_name = 'alice'");
        ASSERT_TRUE(UnlockTool(state_)) << state_.MessageText;
        const int fd = LockLiveFile(LOCK_EX);
        EXPECT_GE(fd, 0) << "still held after UnlockTool, alice's row: " << rowTakenByAlice;
        close(fd);
        state_.WarehouseConnection->Execute("update dwm_multiuse set lock = 0, user_name = ''");
        state_.LockHeld = false;
    }
    struct stat info {};
    ASSERT_EQ(stat(LiveLockFilePath(path_).c_str(), &info), 0);
    // Readable by every user who may run the tool on the warehouse.
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    umask(previousMask);
    // A run that names the warehouse through a link or a relative path meets the
    // same live lock.
    const std::filesystem::path file(path_);
    const std::string link = (file.parent_path() / "link.db").string();
    std::filesystem::create_symlink(file, link);
    EXPECT_EQ(LiveLockFilePath(link), LiveLockFilePath(path_));
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(file.parent_path());
    EXPECT_EQ(LiveLockFilePath(file.filename().string()), LiveLockFilePath(path_));
    std::filesystem::current_path(cwd);
}

TEST_F(LockTest, TheQuestionIsNeverAskedInsideATransaction) {
    SetRow(1, "alice");
    HoldLiveElsewhere();
    auto other = testing::OpenSqlite(path_);
    bool otherCouldWrite = false;
    prompter_.WhileAsking = [&] {
        // A transaction left open around the question would make this wait and fail.
        other->Execute("BEGIN IMMEDIATE");
        other->Execute("update dwm_multiuse set user_name = 'alice'");
        other->Execute("COMMIT");
        otherCouldWrite = true;
    };
    bool wasLocked = false;
    ASSERT_TRUE(LockTool(state_, wasLocked));
    EXPECT_TRUE(otherCouldWrite);
}

// A live holder in the middle of a long write transaction (a table being marked)
// is named at once, not waited for until the database gives up.
TEST_F(LockTest, ALiveHolderInALongTransactionIsNamedWithoutWaiting) {
    SetRow(1, "alice");
    HoldLiveElsewhere();
    auto holder = testing::OpenSqlite(path_);
    holder->Execute("BEGIN IMMEDIATE");
    holder->Execute("update dwm_multiuse set user_name = 'alice'");
    bool wasLocked = false;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(LockTool(state_, wasLocked)) << state_.MessageText;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(wasLocked);
    EXPECT_EQ(state_.LockHolder, "alice");
    holder->Execute("ROLLBACK");
}

TEST_F(LockTest, FailuresAreReportedWithTheDriversDescription) {
    // A view of that name can be read but not written back.
    state_.WarehouseConnection->Execute(
        "create view dwm_multiuse as select 0 as lock, 'bob' as user_name");
    bool wasLocked = false;
    EXPECT_FALSE(LockTool(state_, wasLocked));
    EXPECT_FALSE(state_.LockHeld);
    EXPECT_THAT(state_.MessageText,
                ::testing::HasSubstr("cannot modify dwm_multiuse because it is a view"));
    EXPECT_THAT(state_.MessageText, ::testing::EndsWith("\r\n"));

    state_.MessageText.clear();
    state_.WarehouseConnection.reset();
    EXPECT_FALSE(ReadLastLockUser(state_));
    EXPECT_EQ(state_.MessageText, "Connection to the data warehouse not available.\r\n");
}

TEST_F(LockTest, AFailedLookAtTheLockTableIsAFailureNeverAnEmptyTable) {
    SetRow(1, "bob");
    struct Forget {
        ~Forget() { ClearPlannedFailures(); }
    } forget;
    for (const std::string pattern : {"count(*)", "sqlite_master"}) {
        SCOPED_TRACE(pattern);
        state_.MessageText.clear();
        PlanStatementFailure(PlannedFailure::Matching(pattern, "HY000", "database is locked", 0));
        bool locked = false;
        EXPECT_FALSE(ReadLockFlag(state_, locked));
        EXPECT_FALSE(ReadLastLockUser(state_));
        bool wasLocked = false;
        EXPECT_FALSE(LockTool(state_, wasLocked));
        EXPECT_FALSE(state_.LockHeld);
        EXPECT_EQ(state_.MessageText,
                  "database is locked\r\n"
                  "database is locked\r\n"
                  "database is locked\r\n");
        ClearPlannedFailures();
        EXPECT_EQ(Row(), "1|bob");  // nothing was taken or written over
    }
}

// Several processes race for one warehouse's lock; their holding times must never
// overlap, and the row must end valid.
TEST_F(LockTest, RacingProcessesNeverHoldTheLockTogether) {
    state_.WarehouseConnection.reset();
    constexpr int kProcesses = 4;
    std::vector<pid_t> children;
    for (int i = 0; i < kProcesses; ++i) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int code = 3;
            try {
                state_.WarehouseConnection = testing::OpenSqlite(path_);
                bool wasLocked = false;
                code = 2;
                if (LockTool(state_, wasLocked) && !wasLocked && state_.LockHeld) {
                    const auto now = [] {
                        return std::chrono::duration_cast<std::chrono::microseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                            .count();
                    };
                    const auto from = now();
                    std::this_thread::sleep_for(std::chrono::milliseconds(150));
                    const auto to = now();
                    std::ofstream(dir_.File("held" + std::to_string(i))) << from << ' ' << to;
                    code = UnlockTool(state_) ? 0 : 4;
                } else if (wasLocked) {
                    code = 1;  // found it held and answered No: fine
                }
            } catch (...) {
            }
            _exit(code);
        }
        children.push_back(pid);
    }
    int holders = 0;
    std::vector<std::pair<long long, long long>> spans;
    for (std::size_t i = 0; i < children.size(); ++i) {
        int status = 0;
        waitpid(children[i], &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_TRUE(WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 1) << WEXITSTATUS(status);
        std::ifstream held(dir_.File("held" + std::to_string(i)));
        long long from = 0, to = 0;
        if (held >> from >> to) {
            ++holders;
            spans.emplace_back(from, to);
        }
    }
    EXPECT_GE(holders, 1);
    std::sort(spans.begin(), spans.end());
    for (std::size_t i = 1; i < spans.size(); ++i) EXPECT_LE(spans[i - 1].second, spans[i].first);
    state_.WarehouseConnection = testing::OpenSqlite(path_);
    EXPECT_EQ(CountRows(*state_.WarehouseConnection, "dwm_multiuse"), 1);
    EXPECT_EQ(Row(), "0|" + me_);
}

}  // namespace
}  // namespace varnel
