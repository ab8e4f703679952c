// What an unattended run does with the slips a scheduler line can hold: it refuses them
// before the warehouse, the archive or the job history change by a byte.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

#include "base/current_user.h"
#include "driver/output_guard.h"
#include "run/console_progress.h"
#include "tests/support/job_history_reader.h"
#include "tests/support/run_doubles.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using testing::ReadFile;
using Args = std::vector<std::string>;

class SchedulerLineTest : public testing::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        w_.OneUnusedProduct();
        w_.Close();
        archive_ = testing::CreateWarehouseFile(dir_.File("archive.db"));
        // The job history exists before the run, so that writing over it shows.
        testing::CreateWarehouseFile(HistoryPath());
    }

    //! A mark-and-delete run on the warehouse, without a login, and the words added.
    Args Run(const Args& more, const std::string& program = VARNEL_EXE) {
        Args args = {program, "-mac", "sqlite", "-db", w_.Path(), "-log", Logs(), "-mark"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    int Varnel(const Args& args) { return testing::RunChild(args, {.Err = Err()}).ExitCode; }
    std::string Logs() const { return dir_.File("logs"); }
    std::string Err() const { return dir_.File("err.txt"); }
    //! Every database file a refused run must leave as it was, with a hash of its content.
    //! (The job history takes the failed run's entry.)
    std::map<std::string, std::size_t> Kept() const {
        std::map<std::string, std::size_t> files;
        for (const std::string& path : {w_.Path(), archive_})
            for (const char* suffix : {"", "-wal", "-shm"})
                if (fs::exists(path + suffix))
                    files[path + suffix] = std::hash<std::string>{}(ReadFile(path + suffix));
        return files;
    }

    testing::WarehouseBuilder w_;
    std::string archive_;
};

// Every output named as a database or as another output, and every option name given as a
// value: the run is refused by name, and no database changes by a byte.
TEST_F(SchedulerLineTest, AnOutputOverADatabaseOrAnOptionAsAValueChangesNothing) {
    const std::string status = dir_.File("status.txt");
    const std::string link = dir_.File("link-to-warehouse");
    fs::create_symlink(w_.Path(), link);
    const std::string wal = w_.Path() + "-wal";
    const struct {
        Args Words;
        std::string Says;
    } cases[] = {
        {{"-logfile", archive_, "-bkmac", "sqlite", "-bkdb", archive_, "-clsf"},
         "The log copy \"" + archive_ + "\" is the same file as the archive"},
        {{"-logfile", w_.Path()},
         "The log copy \"" + w_.Path() + "\" is the same file as the warehouse"},
        {{"-statusfile", w_.Path()}, "is the same file as the warehouse \""},
        {{"-statusfile", link},
         "The status file \"" + link + "\" is the same file as the warehouse"},
        {{"-statusfile", wal}, "is the same file as the warehouse's journal \"" + wal + "\""},
        {{"-statusfile", HistoryPath()}, "is the same file as the job history \""},
        {{"-statusfile", status, "-logfile", status},
         "The status file \"" + status + "\" is the same file as the log copy"},
        {{"-log", "-del"}, "The option -log needs a value; -del is an option."},
        {{"-job_id", "-DEL"}, "The option -job_id needs a value; -DEL is an option."},
        {{"-statusfile", "-mark"}, "The option -statusfile needs a value; -mark is an option."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Says);
        testing::WriteFile(status, "ok\r\n");
        const auto before = Kept();
        EXPECT_EQ(Varnel(Run(c.Words)), 1);
        EXPECT_THAT(ReadFile(Err()), HasSubstr(c.Says));
        EXPECT_EQ(Kept(), before);
        EXPECT_FALSE(fs::exists(wal));
        EXPECT_FALSE(testing::ReadJobHistory(HistoryPath()).empty());
        // Never named, or named where it clashes: either way not written.
        EXPECT_EQ(ReadFile(status), "ok\r\n");
    }
    // A status file that is no database says what happened.
    EXPECT_EQ(Varnel(Run({"-statusfile", status, "-logfile", w_.Path()})), 1);
    EXPECT_EQ(ReadFile(status), "failure\r\n");
    EXPECT_EQ(w_.Marked("dim_product", "id"), testing::Texts{});
}

// What the file system cannot tell before the run starts is compared by path: the run's
// own log is found as the log copy, and a report page as the status file.
TEST(OutputGuardTest, OutputsAreComparedWithEachOtherAndByPathWhereNoFileExists) {
    testing::TempDir dir;
    RunSettings s;
    s.Server = "SQLite";
    s.Database = dir.File("w.db");
    s.LogDirectory = dir.File("logs");
    s.GenerateReports = true;
    const Timestamp start{2026, 12, 7, 6, 5, 4};
    const std::string log = dir.File("logs/Varnel_Log07-12-202606-05-04.txt");
    const std::string report = dir.File("logs/SummaryReport07-12-202606-05-04.html");
    const struct {
        std::string Copy, Status;
        bool Clash, StatusClashes;
    } cases[] = {
        {dir.File("logs/../logs/Varnel_Log07-12-202606-05-04.txt"), "", true, false},
        {"", report, true, true},
        {"", dir.File("w.db-journal"), true, true},
        {dir.File("copy.txt"), dir.File("status.txt"), false, false},
    };
    for (const auto& c : cases) {
        s.LogCopyRequested = !c.Copy.empty();
        s.LogCopyFile = c.Copy;
        s.StatusFileRequested = !c.Status.empty();
        s.StatusFile = c.Status;
        const auto clashes = FindOutputClashes(s, log, start, dir.File("history.db"));
        ASSERT_EQ(clashes.size(), c.Clash ? 1u : 0u) << c.Copy << c.Status;
        for (const auto& clash : clashes) {
            EXPECT_EQ(clash.Status, c.StatusClashes);
            EXPECT_EQ(clash.LogCopy, !c.Copy.empty());
        }
    }
}

// A log folder on a full file system: the run stops before it connects.
TEST_F(SchedulerLineTest, ALogThatCannotTakeWritesStopsTheRunBeforeItChangesAnything) {
    fs::create_directories(Logs());
    const Args args = Run({"-statusfile", dir_.File("status.txt")});
    const pid_t child = fork();
    if (child == 0) {
        // A small file system of its own, mounted in a namespace of the child alone and filled.
        if (unshare(CLONE_NEWNS) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) _exit(125);
        if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", Logs().c_str(), "tmpfs", 0, "size=64k") != 0)
            _exit(125);
        {
            std::ofstream filler(Logs() + "/filler", std::ios::binary);
            const std::string block(4096, 'x');
            for (int i = 0; i < 64 && filler; ++i) filler << block << std::flush;
        }
        std::vector<char*> argv;
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    const auto before = Kept();
    const auto end = testing::FinishChild(child);
    if (end.ExitCode == 125) GTEST_SKIP() << "no mount namespace could be made here";
    EXPECT_EQ(end.ExitCode, 1);
    EXPECT_EQ(Kept(), before);
    EXPECT_EQ(ReadFile(dir_.File("status.txt")), "failure\r\n");
    EXPECT_EQ(w_.Marked("dim_product", "id"), testing::Texts{});
}

// A signal after the last statement of the last task still makes the run a failure, and the
// log says that the work stands.
TEST_F(SchedulerLineTest, ASignalAfterTheLastTaskEndsTheRunWithFailureAndSaysTheWorkStands) {
    const std::string marker = dir_.File("paused");
    const std::string status = dir_.File("status.txt");
    Args args = Run({"-statusfile", status}, VARNEL_TEST_EXE);
    args.insert(args.begin() + 1, {"--pause-at", "after-tasks", marker});
    const pid_t child = testing::StartChild(args);
    for (int i = 0; i < 3000 && !fs::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(fs::exists(marker));
    const auto end = testing::FinishChild(child, 0, SIGTERM);
    EXPECT_EQ(end.ExitCode, 1);
    EXPECT_EQ(ReadFile(status), "failure\r\n");
    EXPECT_THAT(testing::OnlyFileIn(Logs()),
                HasSubstr("Varnel received SIGTERM after all its work was committed, which "
                          "stands; the run counts as a failure.\r\n"));
    EXPECT_EQ(w_.Marked("dim_product", "id"), testing::Texts{"2"});
}

// A SQLite file needs no login; the job history names whoever ran the tool. An empty or
// foreign file is no warehouse and stays as it was; an empty archive is a new one.
TEST_F(SchedulerLineTest, SqliteFilesNeedNoLoginAndOnlyAnArchiveMayStartEmpty) {
    EXPECT_EQ(Varnel(Run({"-bkmac", "sqlite", "-bkdb", archive_, "-clsf"})), 0) << ReadFile(Err());
    const auto history = testing::ReadJobHistory(HistoryPath());
    ASSERT_FALSE(history.empty());
    for (const auto& entry : history) EXPECT_EQ(entry.UserName, CurrentUserName());

    const std::string empty = dir_.File("empty.db"), text = dir_.File("notes.txt");
    testing::WriteFile(empty, "");
    testing::WriteFile(text, "not a database\n");
    for (const auto& [file, says] : {std::pair{empty, "is empty (0 bytes): it is not a warehouse"},
                                     std::pair{text, "is not a SQLite database"}}) {
        Args args = Run({});
        args[4] = file;
        EXPECT_EQ(Varnel(args), 1);
        EXPECT_THAT(ReadFile(Err()), HasSubstr(says));
        EXPECT_EQ(ReadFile(file), file == empty ? "" : "not a database\n");
        EXPECT_FALSE(fs::exists(file + "-wal"));
    }
    testing::WriteFile(empty, "");
    EXPECT_EQ(Varnel(Run({"-bkmac", "sqlite", "-bkdb", empty, "-clsf"})), 0) << ReadFile(Err());
}

}  // namespace
}  // namespace varnel
