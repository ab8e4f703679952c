#include "run/config_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "run/command_line.h"
#include "tests/run/run_state_fixture.h"

namespace varnel {
namespace {

namespace fs = std::filesystem;
using ConfigFileTest = varnel::testing::RunStateTest;

//! A window record with SQL logins, archiving and every task ticked.
RunSettings FullRecord() {
    RunSettings settings;
    settings.Server = "dwhost";
    settings.Database = "sales_dw";
    settings.UserName = "etl";
    settings.Password = "s3cret";
    settings.CheckMetadata = true;
    settings.ArchiveFacts = true;
    settings.ArchiveServer = "archost";
    settings.ArchiveDatabase = "sales_arch";
    settings.ArchiveUserName = "arch";
    settings.ArchivePassword = "pw2";
    settings.MarkUnused = true;
    settings.GenerateReports = true;
    settings.DeleteMarked = true;
    settings.AtomicDelete = true;
    settings.LogRequested = true;
    settings.LogDirectory = "/var/log/varnel";
    return settings;
}

TEST(BuildConfigurationLineTest, SqlLoginsWithEveryTask) {
    const RunSettings record = FullRecord();
    EXPECT_EQ(BuildConfigurationLine(record, record),
              "-mac dwhost -db sales_dw -usr etl -password s3cret -chkmd -bkmac archost "
              "-bkdb sales_arch -bkusr arch -password_bk pw2 -clsf -mark -grep -del -datom "
              "-log \"/var/log/varnel\"");
}

TEST(BuildConfigurationLineTest, WindowsLoginsAndLeftOutPieces) {
    RunSettings record;
    record.Server = "dwhost";
    record.Database = "sales_dw";
    record.WindowsAuth = true;
    record.UserName = "ignored";
    record.Password = "ignored";
    record.AtomicDelete = true;  // counts only together with deletion
    record.LogDirectory = "  /data/my logs ";
    EXPECT_EQ(BuildConfigurationLine(record, FullRecord()),
              "-mac dwhost -db sales_dw -ntaut -log \"/data/my logs\"");

    record.WindowsAuth = false;
    record.Password = "   ";
    record.ArchiveFacts = true;
    RunSettings archive;
    archive.ArchiveServer = "archost";
    archive.ArchiveDatabase = "sales_arch";
    archive.ArchiveWindowsAuth = true;
    archive.ArchiveUserName = "ignored";
    EXPECT_EQ(BuildConfigurationLine(record, archive),
              "-mac dwhost -db sales_dw -usr ignored -bkmac archost -bkdb sales_arch -bkntaut "
              "-clsf -log \"/data/my logs\"");
    archive.ArchiveWindowsAuth = false;
    archive.ArchiveUserName = "arch";
    archive.ArchivePassword = " ";
    EXPECT_EQ(BuildConfigurationLine(record, archive),
              "-mac dwhost -db sales_dw -usr ignored -bkmac archost -bkdb sales_arch -bkusr arch "
              "-clsf -log \"/data/my logs\"");
}

TEST_F(ConfigFileTest, SavedLineRunsAsTheSameSettings) {
    RunSettings record = FullRecord();
    record.LogDirectory = "/data/my logs";
    const auto path = Dir() / "nightly.cmd";
    std::string error;
    ASSERT_TRUE(
        WriteConfigurationFile(path.string(), BuildConfigurationLine(record, record), error))
        << error;
    EXPECT_EQ(ReadFile(path), BuildConfigurationLine(record, record) + "\r\n");

    std::string line;
    ASSERT_TRUE(ReadCommandFile(path.string(), line, error)) << error;
    RunSettings parsed;
    SplitArguments(state_, parsed, line, MaxCommandLineArguments);
    EXPECT_EQ(parsed, record);
}

TEST_F(ConfigFileTest, FileIsForItsOwnerOnly) {
    const auto path = Dir() / "saved.cmd";
    std::string error;
    ASSERT_TRUE(WriteConfigurationFile(path.string(), "-mac a", error)) << error;
    // An old file readable by everyone is narrowed and its longer content replaced.
    std::ofstream(path, std::ios::binary) << "-mac old -password old -db old\r\n";
    fs::permissions(path, fs::perms::all);
    ASSERT_TRUE(WriteConfigurationFile(path.string(), "-mac new", error)) << error;
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadFile(path), "-mac new\r\n");
}

}  // namespace
}  // namespace varnel
