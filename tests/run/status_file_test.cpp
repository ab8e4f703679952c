#include "run/status_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/run/run_state_fixture.h"

namespace varnel {
namespace {

using StatusFileTest = varnel::testing::RunStateTest;

TEST_F(StatusFileTest, EachWordReplacesTheLastOne) {
    const auto path = Dir() / "job.status";
    EXPECT_TRUE(SetStatusFileName(path.string()));
    EXPECT_TRUE(WriteJobStatus("running"));
    EXPECT_EQ(ReadFile(path), "running\r\n");
    EXPECT_TRUE(WriteJobStatus("failure"));
    EXPECT_EQ(ReadFile(path), "failure\r\n");
}

TEST_F(StatusFileTest, NoNameTouchesNoFile) {
    EXPECT_FALSE(WriteJobStatus("failure"));
    EXPECT_TRUE(std::filesystem::is_empty(Dir()));
}

TEST_F(StatusFileTest, UnwritablePathFailsQuietly) {
    const auto missing = Dir() / "missing";
    SetStatusFileName((missing / "job.status").string());
    EXPECT_FALSE(WriteJobStatus("running"));
    EXPECT_FALSE(std::filesystem::exists(missing));

    SetStatusFileName(Dir().string());  // a folder cannot be opened as a file
    EXPECT_FALSE(WriteJobStatus("ok"));
}

}  // namespace
}  // namespace varnel
