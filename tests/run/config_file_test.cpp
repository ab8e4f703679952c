#include "run/config_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "run/command_line.h"
#include "run/process_state.h"
#include "tests/support/temp_dir.h"

namespace varnel {
namespace {

namespace fs = std::filesystem;

// The saved line is one option per setting, blank or unused values left out, and reads
// back as the settings it was built from.
TEST(ConfigFileTest, TheSavedLineReadsBackAndOnlyItsOwnerReadsIt) {
    const testing::TempDir dir;
    const std::string lines[] = {
        "-mac dwhost -db sales_dw -usr etl -password s3cret -chkmd -bkmac archost -bkdb "
        "sales_arch -bkusr arch -password_bk pw2 -clsf -mark -grep -del -datom -log "
        "\"/data/my logs\"",
        "-mac dwhost -db sales_dw -ntaut -bkmac archost -bkdb sales_arch -bkntaut -clsf -log "
        "\"/data/my logs\""};
    for (const auto& line : lines) {
        ProcessState state;
        RunSettings settings;
        SplitArguments(state, settings, "-usr u -password p -bkusr b " + line, 40);
        settings.LogDirectory = "  " + settings.LogDirectory + " ";
        EXPECT_EQ(BuildConfigurationLine(settings, settings), line);
    }

    // An old file readable by everyone is narrowed to its owner and its longer content replaced.
    const std::string path = dir.File("nightly.cmd");
    testing::WriteFile(path, std::string(5000, '#'));
    fs::permissions(path, fs::perms::all);
    std::string error;
    ASSERT_TRUE(WriteConfigurationFile(path, lines[0], error)) << error;
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(testing::ReadFile(path), lines[0] + "\r\n");
}

}  // namespace
}  // namespace varnel
