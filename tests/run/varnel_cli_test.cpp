// The varnel program as a scheduler or a person at a terminal starts it, a console
// run cancelled by SIGINT and the lock of a run that was killed.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

#include "base/current_user.h"
#include "driver/run_driver.h"
#include "run/command_line.h"
#include "run/console_progress.h"
#include "run/process_state.h"
#include "run/progress_window.h"
#include "tests/support/matchers.h"
#include "tests/support/run_doubles.h"
#include "tests/support/scoped_env.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"
#include "warehouse/live_lock.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;
using testing::OnlyFileIn;
using testing::ReadFile;
using ::testing::StartsWith;

class VarnelCliTest : public testing::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        warehouse_ = testing::CreateSqliteFile(dir_.File("w.db"));
    }

    //! Runs varnel with the arguments; its output goes to stdout.txt and stderr.txt.
    int Varnel(const std::vector<std::string>& args) {
        std::vector<std::string> argv{VARNEL_EXE};
        argv.insert(argv.end(), args.begin(), args.end());
        return testing::RunChild(argv, {.Out = dir_.File("stdout.txt"), .Err = Err()}).ExitCode;
    }
    //! An unattended run on the warehouse with its log in the folder given.
    int OnWarehouse(const std::string& logs) {
        auto args = testing::SqliteRun(VARNEL_EXE, warehouse_, logs);
        return testing::RunChild(args, {.Err = Err()}).ExitCode;
    }
    std::string Err() const { return dir_.File("stderr.txt"); }
    std::string LockRow() {
        return testing::QueryValue(*testing::OpenSqlite(warehouse_),
                                   "select lock || '|' || user_name from dwm_multiuse");
    }

    std::string warehouse_;
    const std::string me_ = CurrentUserName();
};

TEST_F(VarnelCliTest, ACommandFileRunWithNoTaskSucceedsWithItsLogAndStatus) {
    const std::string logs = dir_.File("log dir");
    const std::string status = dir_.File("status.txt");
    testing::WriteFile(dir_.File("nightly.cfg"), "-mac sqlite -db " + warehouse_ +
                                                     " -ntaut -statusfile " + status + " -log \"" +
                                                     logs + "\"\r\n");
    ASSERT_EQ(Varnel({"@" + dir_.File("nightly.cfg")}), 0) << ReadFile(Err());
    EXPECT_EQ(ReadFile(status), "ok\r\n");
    const auto log = *std::filesystem::directory_iterator(logs);
    EXPECT_TRUE(std::regex_match(log.path().filename().string(),
                                 std::regex("Varnel_Log[0-9]{2}-[0-9]{2}-[0-9]{6}-[0-9]{2}-"
                                            "[0-9]{2}\\.txt")));
    const std::string stamp =
        "[A-Z][a-z]+day, [A-Z][a-z]{2} [0-9]{1,2} [0-9]{4} at: "
        "[0-9]{2}:[0-9]{2}:[0-9]{2}\r\n";
    EXPECT_TRUE(std::regex_match(OnlyFileIn(logs),
                                 std::regex("Varnel started on: " + stamp +
                                            "\r\nThe following processes were completed by the "
                                            "tool :\r\n\r\nVarnel stopped on: " +
                                            stamp)))
        << OnlyFileIn(logs);
    EXPECT_EQ(LockRow(), "0|" + me_);
    EXPECT_TRUE(testing::ReadJobHistory(HistoryPath()).empty());
}

// Why nothing ran goes to standard error and the status file; the usage text asked
// for with --help goes to standard output.
TEST_F(VarnelCliTest, ARunThatCannotStartSaysWhyAndFails) {
    const std::string logs = dir_.File("l");
    const std::string status = dir_.File("status.txt");
    const std::vector<std::string> run = {"-mac",   "sqlite",      "-db", warehouse_,
                                          "-ntaut", "-statusfile", status};
    const auto with = [&](std::vector<std::string> more) {
        more.insert(more.begin(), run.begin(), run.end());
        return more;
    };
    std::vector<std::string> tooMany = with({"-log", logs, "-mark"});
    while (tooMany.size() < 24) tooMany.insert(tooMany.end(), {"-job_id", "nightly"});
    tooMany.insert(tooMany.end(), {"-del", "-datom"});
    const std::string tooManyText =
        "Too many arguments: at most 25 are allowed and the command line has 26; nothing was "
        "done.";
    const struct {
        std::vector<std::string> Args;
        int Exit;
        std::string Err, Out, Log;
    } cases[] = {
        {{"-help"}, 1, UsageText() + "\nVarnel: failure\n", "", ""},
        {{"--help"}, 0, "", UsageText() + "\n", ""},
        {{}, 1, "Varnel: the main window cannot open: there is no display", "", ""},
        {with({"-Xyz", "-log", logs}), 1,
         "Unknown option \"-Xyz\"\n" + UsageText() + "\nVarnel: failure\n", "",
         "\r\nUnknown option \"-Xyz\"\r\n" + UsageText() + "\r\n"},
        {with({"-logfile", dir_.File("copy.txt")}), 1,
         "Log Directory name must be specified\n" + UsageText(), "", ""},
        {tooMany, 1, tooManyText + "\n" + UsageText(), "", "\r\n" + tooManyText + "\r\n"},
        {{"@" + dir_.File("missing.cfg")}, 1, "missing.cfg\" does not exist", "", ""},
        // A command file without run options is no run, and no success.
        {{"@" + dir_.File("empty.cfg")}, 1, "empty.cfg holds no run options", "", ""},
    };
    testing::WriteFile(dir_.File("empty.cfg"), "-logfile " + dir_.File("x.txt") + "\r\n");
    const testing::ScopedEnv noDisplay("DISPLAY", nullptr), noWayland("WAYLAND_DISPLAY", nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Args.empty() ? "no arguments" : c.Args.back());
        std::filesystem::remove_all(logs);
        std::filesystem::remove(status);
        EXPECT_EQ(Varnel(c.Args), c.Exit);
        const std::string err = ReadFile(Err());
        EXPECT_TRUE(c.Err.empty() ? err.empty() : err.find(c.Err) != std::string::npos) << err;
        const std::string out = ReadFile(dir_.File("stdout.txt"));
        EXPECT_EQ(c.Out.empty() ? out : out.substr(0, c.Out.size()), c.Out);
        EXPECT_THAT(c.Log.empty() ? "" : OnlyFileIn(logs), StartsWith(c.Log));
        // Runs that name a status file (those with more than an option or two) fail in it.
        EXPECT_EQ(c.Args.size() > 2 ? ReadFile(status) : "failure\r\n", "failure\r\n");
    }
    EXPECT_EQ(ReadFile(dir_.File("copy.txt")),
              "Log directory path for the Varnel was not specified.");
    // Nothing was connected to: the lock table was never made.
    EXPECT_EQ(
        testing::QueryValue(*testing::OpenSqlite(warehouse_), "select count(*) from sqlite_master"),
        "0");
}

// SIGINT during a console run: the task sees Cancel at its next poll, the run ends
// with its cancel line and the lock is released.
TEST_F(VarnelCliTest, SigintCancelsAConsoleRunAndReleasesTheLock) {
    const std::string ready = dir_.File("ready");
    const std::string logs = dir_.File("logs");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        state_.SetProgressWindowFactory({});  // the real console window
        ClearCancelSignal();
        InstallCancelSignalHandlers();
        SetTaskTable(state_, {testing::TestTask(
                                 &RunSettings::MarkUnused,
                                 [&](TaskContext&) {
                                     testing::WriteFile(ready, "x");
                                     for (int i = 0; i < 3000; ++i) {
                                         if (state_.ActiveProgressWindow()->CheckCancelState())
                                             return false;
                                         std::this_thread::sleep_for(std::chrono::milliseconds(5));
                                     }
                                     return true;
                                 },
                                 "poll")});
        state_.CommandLineMode = true;
        RunSettings settings;
        settings.Server = "sqlite";
        settings.Database = warehouse_;
        settings.WindowsAuth = settings.MarkUnused = settings.LogRequested = true;
        settings.LogDirectory = logs;
        _exit(ExecuteRun(state_, settings) ? 0 : 1);
    }
    for (int i = 0; i < 1000 && !std::filesystem::exists(ready); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(std::filesystem::exists(ready));
    EXPECT_EQ(testing::FinishChild(child, 0, SIGINT).ExitCode, 1);
    EXPECT_THAT(OnlyFileIn(logs), StartsWith("poll cancelled.\r\n"));
    EXPECT_EQ(LockRow(), "0|" + me_);
}

// A run killed while it holds the lock: while it lives a second run is refused as
// before; once it is dead the same user's next run takes the lock over and says so.
TEST_F(VarnelCliTest, TheLockOfAKilledRunIsTakenOverByTheNextRun) {
    const std::string marker = dir_.File("locked");
    auto paused = testing::SqliteRun(VARNEL_TEST_EXE, warehouse_, dir_.File("first"));
    paused.insert(paused.begin() + 1, {"--pause-at", "after-lock", marker});
    const pid_t first = testing::StartChild(paused);
    for (int i = 0; i < 600 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(std::filesystem::exists(marker));

    EXPECT_EQ(OnWarehouse(dir_.File("second")), 1);
    EXPECT_THAT(
        OnlyFileIn(dir_.File("second")),
        HasSubstr("The machine is currently locked by user " + me_ + ". Nothing was done."));
    ASSERT_TRUE(testing::FinishChild(first, 0).Signalled);
    EXPECT_EQ(LockRow(), "1|" + me_);

    const std::string line =
        "The lock left by user " + me_ + ", whose run ended without releasing it, was taken over.";
    EXPECT_EQ(OnWarehouse(dir_.File("third")), 0);
    EXPECT_EQ(ReadFile(Err()), line + "\n");
    EXPECT_THAT(OnlyFileIn(dir_.File("third")), StartsWith(line + "\r\n"));
    EXPECT_EQ(LockRow(), "0|" + me_);
}

// Where no live lock can be made beside the warehouse the lock works as it always
// did, and each run's log says once that a dead run's lock cannot be recognised.
TEST_F(VarnelCliTest, WithoutALiveLockTheLockWorksAsBeforeAndTheLogSaysSo) {
    std::filesystem::create_directory(LiveLockFilePath(warehouse_));  // cannot be opened as a file
    const std::string note =
        "A lock left by a run that ended without releasing it cannot be recognised here: cannot "
        "open " +
        LiveLockFilePath(warehouse_) + ": Is a directory";
    const auto notes = [&](const std::string& log) {
        const auto at = log.find(note);
        return at == std::string::npos ? 0 : log.find(note, at + 1) == std::string::npos ? 1 : 2;
    };
    ASSERT_EQ(OnWarehouse(dir_.File("1")), 0) << ReadFile(Err());
    EXPECT_EQ(notes(OnlyFileIn(dir_.File("1"))), 1);
    EXPECT_EQ(LockRow(), "0|" + me_);
    // A row left at 1: with nothing to tell a dead holder from a live one it stays held.
    testing::OpenSqlite(warehouse_)->Execute("update dwm_multiuse set lock = 1");
    EXPECT_EQ(OnWarehouse(dir_.File("2")), 1);
    EXPECT_EQ(notes(OnlyFileIn(dir_.File("2"))), 1);
    EXPECT_THAT(OnlyFileIn(dir_.File("2")), HasSubstr("currently locked by user " + me_));
    EXPECT_EQ(LockRow(), "1|" + me_);
}

}  // namespace
}  // namespace varnel
