#include "run/config_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace varnel {
namespace {

namespace fs = std::filesystem;

// That the saved line reads back as the window's settings, the window's tests show.
TEST(ConfigFileTest, TheSavedLineHasAnOptionPerSettingAndOnlyItsOwnerReadsIt) {
    const testing::TempDir dir;
    RunSettings full;
    full.Server = "dwhost";
    full.Database = "sales_dw";
    full.UserName = "etl";
    full.Password = "s3cret";
    full.ArchiveServer = "archost";
    full.ArchiveDatabase = "sales_arch";
    full.ArchiveUserName = "arch";
    full.ArchivePassword = "pw2";
    full.CheckMetadata = full.ArchiveFacts = full.MarkUnused = full.GenerateReports = true;
    full.DeleteMarked = full.AtomicDelete = full.LogRequested = true;
    full.LogDirectory = "/data/my logs";
    // Blank or unused values are left out.
    RunSettings windows = full;
    windows.WindowsAuth = windows.ArchiveWindowsAuth = true;
    windows.DeleteMarked = windows.GenerateReports = false;
    windows.CheckMetadata = windows.MarkUnused = false;
    windows.LogDirectory = "  /data/my logs ";
    const struct {
        RunSettings Record, Archive;
        std::string Expected;
    } cases[] = {
        {full, full,
         "-mac dwhost -db sales_dw -usr etl -password s3cret -chkmd -bkmac archost -bkdb "
         "sales_arch -bkusr arch -password_bk pw2 -clsf -mark -grep -del -datom -log "
         "\"/data/my logs\""},
        {windows, windows,
         "-mac dwhost -db sales_dw -ntaut -bkmac archost -bkdb sales_arch -bkntaut -clsf -log "
         "\"/data/my logs\""},
    };
    for (const auto& c : cases) EXPECT_EQ(BuildConfigurationLine(c.Record, c.Archive), c.Expected);

    // An old file readable by everyone is narrowed to its owner and its longer content replaced.
    const std::string path = dir.File("nightly.cmd");
    testing::WriteFile(path, std::string(5000, '#'));
    fs::permissions(path, fs::perms::all);
    const std::string saved = BuildConfigurationLine(full, full);
    std::string error;
    ASSERT_TRUE(WriteConfigurationFile(path, saved, error)) << error;
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(testing::ReadFile(path), saved + "\r\n");
}

}  // namespace
}  // namespace varnel
