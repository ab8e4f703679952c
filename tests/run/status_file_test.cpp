#include "run/status_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/run/run_state_fixture.h"

namespace varnel {
namespace {

using StatusFileTest = varnel::testing::RunStateTest;

TEST_F(StatusFileTest, EachWordReplacesTheLastOne) {
    const auto path = Dir() / "job.status";
    EXPECT_TRUE(SetStatusFileName(state_, path.string()));
    EXPECT_TRUE(WriteJobStatus(state_, "running"));
    EXPECT_EQ(ReadFile(path), "running\r\n");
    EXPECT_TRUE(WriteJobStatus(state_, "failure"));
    EXPECT_EQ(ReadFile(path), "failure\r\n");
}

TEST_F(StatusFileTest, NoNameTouchesNoFile) {
    EXPECT_FALSE(WriteJobStatus(state_, "failure"));
    EXPECT_TRUE(std::filesystem::is_empty(Dir()));
}

TEST_F(StatusFileTest, UnwritablePathFailsQuietly) {
    const auto missing = Dir() / "missing";
    SetStatusFileName(state_, (missing / "job.status").string());
    EXPECT_FALSE(WriteJobStatus(state_, "running"));
    EXPECT_FALSE(std::filesystem::exists(missing));

    SetStatusFileName(state_, Dir().string());  // a folder cannot be opened as a file
    EXPECT_FALSE(WriteJobStatus(state_, "ok"));
}

}  // namespace
}  // namespace varnel
