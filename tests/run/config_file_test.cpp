#include "run/config_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "run/command_line.h"
#include "run/status_file.h"
#include "tests/run/run_state_fixture.h"

namespace varnel {
namespace {

namespace fs = std::filesystem;
using ConfigFileTest = varnel::testing::RunStateTest;

//! A window record with SQL logins, archiving and every task ticked.
RunSettings FullRecord() {
    RunSettings s;
    s.Server = "dwhost";
    s.Database = "sales_dw";
    s.UserName = "etl";
    s.Password = "s3cret";
    s.ArchiveServer = "archost";
    s.ArchiveDatabase = "sales_arch";
    s.ArchiveUserName = "arch";
    s.ArchivePassword = "pw2";
    s.CheckMetadata = s.ArchiveFacts = s.MarkUnused = s.GenerateReports = s.DeleteMarked = true;
    s.AtomicDelete = s.LogRequested = true;
    s.LogDirectory = "/var/log/varnel";
    return s;
}

TEST(BuildConfigurationLineTest, EachSettingHasItsOptionAndBlankOrUnusedOnesAreLeftOut) {
    const RunSettings full = FullRecord();
    RunSettings windows;
    windows.Server = "dwhost";
    windows.Database = "sales_dw";
    windows.WindowsAuth = true;
    windows.UserName = windows.Password = "ignored";
    windows.AtomicDelete = true;  // counts only together with deletion
    windows.LogDirectory = "  /data/my logs ";
    RunSettings blankPassword = windows;
    blankPassword.WindowsAuth = false;
    blankPassword.Password = "   ";
    blankPassword.ArchiveFacts = true;
    RunSettings archiveWindows;
    archiveWindows.ArchiveServer = "archost";
    archiveWindows.ArchiveDatabase = "sales_arch";
    archiveWindows.ArchiveWindowsAuth = true;
    archiveWindows.ArchiveUserName = "ignored";
    RunSettings archiveBlank = archiveWindows;
    archiveBlank.ArchiveWindowsAuth = false;
    archiveBlank.ArchiveUserName = "arch";
    archiveBlank.ArchivePassword = " ";
    const struct {
        RunSettings Record, Archive;
        std::string Expected;
    } cases[] = {
        {full, full,
         "-mac dwhost -db sales_dw -usr etl -password s3cret -chkmd -bkmac archost -bkdb "
         "sales_arch -bkusr arch -password_bk pw2 -clsf -mark -grep -del -datom -log "
         "\"/var/log/varnel\""},
        {windows, full, "-mac dwhost -db sales_dw -ntaut -log \"/data/my logs\""},
        {blankPassword, archiveWindows,
         "-mac dwhost -db sales_dw -usr ignored -bkmac archost -bkdb sales_arch -bkntaut -clsf "
         "-log \"/data/my logs\""},
        {blankPassword, archiveBlank,
         "-mac dwhost -db sales_dw -usr ignored -bkmac archost -bkdb sales_arch -bkusr arch "
         "-clsf -log \"/data/my logs\""},
    };
    for (const auto& c : cases) EXPECT_EQ(BuildConfigurationLine(c.Record, c.Archive), c.Expected);
}

TEST_F(ConfigFileTest, SavedLineRunsAsTheSameSettingsAndTheFileIsForItsOwnerOnly) {
    RunSettings record = FullRecord();
    record.LogDirectory = "/data/my logs";
    const auto path = Dir() / "nightly.cmd";
    // An old file readable by everyone is narrowed and its longer content replaced.
    std::ofstream(path, std::ios::binary) << std::string(5000, '#') << "\r\n";
    fs::permissions(path, fs::perms::all);
    std::string error;
    const std::string saved = BuildConfigurationLine(record, record);
    ASSERT_TRUE(WriteConfigurationFile(path.string(), saved, error)) << error;
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadFile(path), saved + "\r\n");

    std::string line;
    ASSERT_TRUE(ReadCommandFile(path.string(), line, error)) << error;
    RunSettings parsed;
    SplitArguments(state_, parsed, line, MaxCommandLineArguments);
    EXPECT_EQ(parsed, record);
}

// Nothing but a regular file is read, and nothing waits for a writer.
TEST_F(ConfigFileTest, ACommandFileThatIsNoRegularFileIsRefusedAtOnce) {
    const auto fifo = Dir() / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<fs::path, std::string> cases[] = {
        {Dir() / "missing.cfg", "does not exist."},
        {Dir(), "is a directory."},
        {fifo, "is not a regular file."},
    };
    for (const auto& [path, reason] : cases) {
        std::string line, error;
        EXPECT_FALSE(ReadCommandFile(path.string(), line, error));
        EXPECT_EQ(error, "The command file \"" + path.string() + "\" " + reason);
    }
}

TEST_F(ConfigFileTest, EachStatusWordReplacesTheLastAndAFileThatCannotBeWrittenFailsQuietly) {
    EXPECT_FALSE(WriteJobStatus(state_, "failure"));  // no name: no file
    EXPECT_TRUE(fs::is_empty(Dir()));
    const auto path = Dir() / "job.status";
    EXPECT_TRUE(SetStatusFileName(state_, path.string()));
    for (const std::string word : {"running", "failure"}) {
        EXPECT_TRUE(WriteJobStatus(state_, word));
        EXPECT_EQ(ReadFile(path), word + "\r\n");
    }
    const auto missing = Dir() / "missing";
    for (const auto& unwritable : {missing / "job.status", Dir()}) {
        SetStatusFileName(state_, unwritable.string());
        EXPECT_FALSE(WriteJobStatus(state_, "ok"));
    }
    EXPECT_FALSE(fs::exists(missing));
}

}  // namespace
}  // namespace varnel
