// The varnel program as a scheduler starts it, a console run cancelled by SIGINT and
// the lock of a run that was killed.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
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
#include "tests/support/job_history_reader.h"
#include "tests/support/run_doubles.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/warehouse_builder.h"
#include "warehouse/live_lock.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using testing::ReadFile;

class VarnelCliTest : public testing::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        warehouse_ = testing::CreateSqliteFile(dir_.File("w.db"));
    }

    //! Runs varnel with the arguments (each quoted for the shell); returns its exit status
    //! (124 when it had to be stopped). Its output goes to stdout.txt and stderr.txt.
    int Varnel(const std::vector<std::string>& args) {
        std::string command =
            std::string("VARNEL_HISTORY='") + HistoryPath() + "' timeout 60 '" VARNEL_EXE "'";
        for (const auto& arg : args) command += " '" + arg + "'";
        command += " >'" + dir_.File("stdout.txt") + "' 2>'" + dir_.File("stderr.txt") + "'";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::vector<std::filesystem::path> Logs(const std::string& folder) {
        std::vector<std::filesystem::path> logs;
        if (std::filesystem::exists(folder))
            for (const auto& entry : std::filesystem::directory_iterator(folder))
                logs.push_back(entry.path());
        return logs;
    }

    std::string LogOf(const std::string& folder) {
        const auto files = Logs(folder);
        return files.size() == 1 ? ReadFile(files[0].string())
                                 : "<" + std::to_string(files.size()) + " logs>";
    }

    std::string LockRow() {
        return testing::QueryValue(*testing::OpenSqlite(warehouse_),
                                   "select lock || '|' || user_name from dwm_multiuse");
    }

    static std::size_t Occurrences(const std::string& text, const std::string& part) {
        std::size_t count = 0;
        for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++count;
        return count;
    }

    std::string warehouse_;
};

TEST_F(VarnelCliTest, UnattendedRunWithNoTaskSucceeds) {
    const std::string logs = dir_.File("logs");
    const std::string status = dir_.File("status.txt");
    ASSERT_EQ(Varnel({"-mac", "sqlite", "-db", warehouse_, "-ntaut", "-log", logs, "-statusfile",
                      status}),
              0)
        << ReadFile(dir_.File("stderr.txt"));
    EXPECT_EQ(ReadFile(status), "ok\r\n");
    const auto files = Logs(logs);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_THAT(
        files[0].filename().string(),
        MatchesRegex(
            "Varnel_Log[0-9][0-9]-[0-9][0-9]-[0-9]{4}[0-9][0-9]-[0-9][0-9]-[0-9][0-9]\\.txt"));
    const std::regex summary(
        "Varnel started on: [A-Z][a-z]+day, [A-Z][a-z][a-z] [0-9]{1,2} [0-9]{4} at: "
        "[0-9]{2}:[0-9]{2}:[0-9]{2}\r\n"
        "\r\n"
        "The following processes were completed by the tool :\r\n"
        "\r\n"
        "Varnel stopped on: [A-Z][a-z]+day, [A-Z][a-z][a-z] [0-9]{1,2} [0-9]{4} at: "
        "[0-9]{2}:[0-9]{2}:[0-9]{2}\r\n");
    EXPECT_TRUE(std::regex_match(ReadFile(files[0].string()), summary))
        << ReadFile(files[0].string());
    EXPECT_EQ(LockRow(), "0|" + CurrentUserName());
    EXPECT_TRUE(testing::ReadJobHistory(HistoryPath()).empty());
}

TEST_F(VarnelCliTest, ValidationErrorFailsWithStatusAndLogCopy) {
    const std::string status = dir_.File("status.txt");
    const std::string copy = dir_.File("copy.txt");
    EXPECT_EQ(Varnel({"-mac", "sqlite", "-db", warehouse_, "-ntaut", "-statusfile", status,
                      "-logfile", copy}),
              1);
    EXPECT_EQ(ReadFile(status), "failure\r\n");
    EXPECT_EQ(ReadFile(copy), "Log directory path for the Varnel was not specified.");
}

TEST_F(VarnelCliTest, SqlServerWhereNothingListensFailsWithTheConnectionMessage) {
    const std::string logs = dir_.File("logs");
    const std::string status = dir_.File("status.txt");
    setenv("VARNEL_ODBC_DRIVER", "FreeTDS", 1);
    EXPECT_EQ(Varnel({"-mac", "127.0.0.1", "-db", "dw", "-usr", "sa", "-password", "pw", "-log",
                      logs, "-statusfile", status, "-job_id", "nightly-7"}),
              1);
    unsetenv("VARNEL_ODBC_DRIVER");
    EXPECT_EQ(ReadFile(status), "failure\r\n");
    const auto files = Logs(logs);
    ASSERT_EQ(files.size(), 1u);
    const std::string log = ReadFile(files[0].string());
    EXPECT_THAT(log, ::testing::StartsWith("Error while connecting to : 127.0.0.1\r\n[FreeTDS]"));
    const auto history = testing::ReadJobHistory(HistoryPath());
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].Status, "3");
    EXPECT_EQ(history[0].JobId, "nightly-7");
    EXPECT_EQ(history[0].LogFile, files[0].string());
}

TEST_F(VarnelCliTest, CommandFileRunsTheSavedLineAndAMissingOneIsAnError) {
    const std::string logs = dir_.File("log dir");
    testing::WriteFile(dir_.File("nightly.cfg"),
                       "-mac sqlite -db " + warehouse_ + " -ntaut -log \"" + logs + "\"\r\n");
    EXPECT_EQ(Varnel({"@" + dir_.File("nightly.cfg")}), 0) << ReadFile(dir_.File("stderr.txt"));
    EXPECT_EQ(Logs(logs).size(), 1u);
    // A file without run options is no run, and no success.
    testing::WriteFile(dir_.File("empty.cfg"), "-logfile " + dir_.File("x.txt") + "\r\n");
    EXPECT_EQ(Varnel({"@" + dir_.File("empty.cfg")}), 1);
    EXPECT_THAT(ReadFile(dir_.File("stderr.txt")), HasSubstr("holds no run options"));
}

// Nothing but a small regular file is read, and nothing waits for a writer or an end.
TEST_F(VarnelCliTest, CommandFileThatIsNoSmallRegularFileEndsAtOnce) {
    const std::string fifo = dir_.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string large = dir_.File("large.cfg");
    testing::WriteFile(large, "-mac sqlite -db " + warehouse_ + " -ntaut -log " + dir_.File("l") +
                                  "\r\n" + std::string(70000, '#'));
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {dir_.File("missing.cfg"), "does not exist"},
        {dir_.File(""), "is a directory"},
        {fifo, "is not a regular file"},
        {large, "is larger than 64 KiB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Varnel({"@" + c.path}), 1);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_THAT(ReadFile(dir_.File("stderr.txt")), HasSubstr(c.path + "\" " + c.reason));
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.File("l")));
}

// What a person at a terminal sees: why nothing ran, on standard error; the usage
// text asked for with --help on standard output.
TEST_F(VarnelCliTest, StandardErrorSaysWhyNothingRan) {
    const std::string noWindow =
        "Varnel: the main window cannot open: this build has no main window.";
    const struct {
        std::vector<std::string> args;
        int exit;
        std::vector<std::string> err;
        std::string out;
    } cases[] = {
        {{"-help"}, 1, {UsageText(), "Varnel: failure\n"}, ""},
        {{"-mac", "sqlite", "-db", warehouse_, "-ntaut", "-Xyz", "-log", dir_.File("l")},
         1,
         {"Unknown option \"-Xyz\"\n" + UsageText() + "\nVarnel: failure\n"},
         ""},
        {{"-mac", "sqlite", "-db", warehouse_, "-ntaut"},
         1,
         {"Log Directory name must be specified\n" + UsageText()},
         ""},
        {{"--help"}, 0, {}, UsageText() + "\n"},
        {{}, 1, {noWindow}, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "no arguments" : c.args.back());
        EXPECT_EQ(Varnel(c.args), c.exit);
        const std::string err = ReadFile(dir_.File("stderr.txt"));
        if (c.err.empty()) {
            EXPECT_EQ(err, "");
        }
        for (const auto& part : c.err) EXPECT_THAT(err, HasSubstr(part));
        const std::string out = ReadFile(dir_.File("stdout.txt"));
        if (c.out.empty()) {
            EXPECT_EQ(out, "");
        } else {
            EXPECT_THAT(out, ::testing::StartsWith(c.out));
        }
    }
    // The log keeps the usage text and says nothing more about the terminal.
    const auto files = Logs(dir_.File("l"));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_THAT(ReadFile(files[0].string()),
                ::testing::StartsWith("\r\nUnknown option \"-Xyz\"\r\n" + UsageText() + "\r\n"));
}

// A 26th argument is no longer dropped: the line is refused whole, nothing is
// connected to or deleted, and the log, status file and terminal say why.
TEST_F(VarnelCliTest, TooManyArgumentsRunNothing) {
    testing::WarehouseBuilder w(dir_.File("dw.db"));
    w.Dimension("d_customer", {"id INTEGER"}, {.PrimaryKey = "id"});
    w.Rows("d_customer", {"id", "is_deletable"}, {{1, 1}, {2, 1}, {3, 0}});
    w.Close();
    const std::string logs = dir_.File("logs");
    const std::string status = dir_.File("status.txt");
    std::vector<std::string> args = {"-mac", "sqlite", "-db",         w.Path(), "-ntaut",
                                     "-log", logs,     "-statusfile", status,   "-mark"};
    while (args.size() < 24) args.insert(args.end(), {"-job_id", "nightly"});
    args.insert(args.end(), {"-del", "-datom"});
    ASSERT_EQ(args.size(), 26u);

    EXPECT_EQ(Varnel(args), 1);
    const std::string message =
        "Too many arguments: at most 25 are allowed and the command line has 26; nothing was "
        "done.";
    EXPECT_THAT(ReadFile(dir_.File("stderr.txt")), HasSubstr(message + "\n" + UsageText()));
    EXPECT_EQ(ReadFile(status), "failure\r\n");
    const auto files = Logs(logs);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_THAT(ReadFile(files[0].string()), ::testing::StartsWith("\r\n" + message + "\r\n"));
    EXPECT_EQ(w.Count("d_customer"), 3);
    EXPECT_EQ(w.Value("select count(*) from sqlite_master where name = 'dwm_multiuse'"), "0");
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
        settings.WindowsAuth = true;
        settings.MarkUnused = true;
        settings.LogRequested = true;
        settings.LogDirectory = logs;
        _exit(ExecuteRun(state_, settings) ? 0 : 1);
    }
    for (int i = 0; i < 1000 && !std::filesystem::exists(ready); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(std::filesystem::exists(ready));
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const auto files = Logs(logs);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_THAT(ReadFile(files[0].string()), ::testing::StartsWith("poll cancelled.\r\n"));
    EXPECT_EQ(
        testing::QueryValue(*testing::OpenSqlite(warehouse_), "select lock from dwm_multiuse"),
        "0");
}

// A run killed while it holds the lock: while it lives a second run is refused as
// before; once it is dead the same user's next run takes the lock over and says so.
TEST_F(VarnelCliTest, TheLockOfAKilledRunIsTakenOverByTheNextRun) {
    const std::string marker = dir_.File("locked");
    const std::string logs = dir_.File("logs");
    const pid_t first = fork();
    ASSERT_GE(first, 0);
    if (first == 0) {
        std::freopen("/dev/null", "w", stderr);
        execl(VARNEL_TEST_EXE, VARNEL_TEST_EXE, "--pause-at", "after-lock", marker.c_str(), "-mac",
              "sqlite", "-db", warehouse_.c_str(), "-ntaut", "-log", (logs + "/first").c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 600 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(std::filesystem::exists(marker));
    const std::string me = CurrentUserName();

    EXPECT_EQ(Varnel({"-mac", "sqlite", "-db", warehouse_, "-ntaut", "-log", logs + "/second"}), 1);
    EXPECT_THAT(LogOf(logs + "/second"),
                HasSubstr("The machine is currently locked by user " + me + ". Nothing was done."));

    kill(first, SIGKILL);
    int status = 0;
    waitpid(first, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(LockRow(), "1|" + me);

    const std::string line =
        "The lock left by user " + me + ", whose run ended without releasing it, was taken over.";
    EXPECT_EQ(Varnel({"-mac", "sqlite", "-db", warehouse_, "-ntaut", "-log", logs + "/third"}), 0);
    EXPECT_EQ(ReadFile(dir_.File("stderr.txt")), line + "\n");
    EXPECT_THAT(LogOf(logs + "/third"), ::testing::StartsWith(line + "\r\n"));
    EXPECT_EQ(LockRow(), "0|" + me);
}

// Where no live lock can be made beside the warehouse the lock works as it always
// did, and each run's log says once that a dead run's lock cannot be recognised.
TEST_F(VarnelCliTest, WithoutALiveLockTheLockWorksAsBeforeAndTheLogSaysSo) {
    std::filesystem::create_directory(LiveLockFilePath(warehouse_));  // cannot be opened as a file
    const std::string note =
        "A lock left by a run that ended without releasing it cannot be "
        "recognised here: cannot open " +
        LiveLockFilePath(warehouse_) + ": Is a directory";
    const std::string logs = dir_.File("logs");
    ASSERT_EQ(Varnel({"-mac", "sqlite", "-db", warehouse_, "-ntaut", "-log", logs + "/1"}), 0)
        << ReadFile(dir_.File("stderr.txt"));
    EXPECT_EQ(Occurrences(LogOf(logs + "/1"), note), 1u);
    EXPECT_EQ(LockRow(), "0|" + CurrentUserName());

    // A row left at 1: with nothing to tell a dead holder from a live one it stays held.
    testing::OpenSqlite(warehouse_)->Execute("update dwm_multiuse set lock = 1");
    EXPECT_EQ(Varnel({"-mac", "sqlite", "-db", warehouse_, "-ntaut", "-log", logs + "/2"}), 1);
    const std::string log = LogOf(logs + "/2");
    EXPECT_EQ(Occurrences(log, note), 1u);
    EXPECT_THAT(log, HasSubstr("The machine is currently locked by user " + CurrentUserName()));
    EXPECT_EQ(LockRow(), "1|" + CurrentUserName());
}

}  // namespace
}  // namespace varnel
