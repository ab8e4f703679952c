#include "run/process_state.h"

#include <gtest/gtest.h>

#include <memory>

#include "run/console_progress.h"
#include "tests/support/run_doubles.h"
#include "tests/support/sqlite_file.h"

namespace varnel {
namespace {

// A window session runs many times in one process: Reset must leave nothing of a run behind.
TEST(ProcessStateTest, ResetLeavesNothingOfASessionBehind) {
    testing::TempDir dir;
    ProcessState state;
    testing::ScriptedPrompter prompter;
    auto record = std::make_shared<testing::WindowRecord>();
    struct Host : MainWindowHost {
        void ShowMainWindow() override {}
        void HideMainWindow() override {}
    } host;
    state.AppendMessageLine("one");
    state.WarehouseConnection = testing::OpenSqlite(testing::CreateWarehouseFile(dir.File("w.db")));
    state.ArchiveConnection = testing::OpenSqlite(dir.File("w.db"));
    state.DeletionConnection = testing::OpenSqlite(dir.File("w.db"));
    state.LockHeld = state.CommandLineMode = state.ConfigMode = true;
    state.LastLockUser = state.LockHolder = state.ConfigFileName = state.StatusFileName = "x";
    state.LockNotes = state.CommandLineFaults = {"x"};
    state.SavedSettings.Server = "m";
    state.RunStartDate = state.RunStartTime = state.ArchiveDate = Timestamp{2005, 3, 7, 1, 2, 3};
    state.InstalledTasks.push_back({&RunSettings::CheckMetadata, "", "", {}});
    state.MainWindow = &host;
    state.SetPrompter(&prompter);
    state.Clock = [] { return Timestamp{1999, 1, 1, 0, 0, 0}; };
    state.SetProgressWindowFactory(
        [record] { return std::make_unique<testing::TestProgressWindow>(record, -1); });
    state.InstallProgressWindow(state.MakeProgressWindow());

    state.Reset();

    EXPECT_TRUE(record->Unloaded && state.ActiveProgressWindow() == nullptr);
    EXPECT_NE(dynamic_cast<ConsoleProgressWindow*>(state.MakeProgressWindow().get()), nullptr);
    EXPECT_NE(&state.CurrentPrompter(), &prompter);
    EXPECT_NE(state.Now().Year, 1999);
    EXPECT_FALSE(state.WarehouseConnection || state.ArchiveConnection || state.DeletionConnection);
    EXPECT_FALSE(state.LockHeld || state.CommandLineMode || state.ConfigMode);
    EXPECT_EQ(state.MessageText + state.LastLockUser + state.LockHolder + state.ConfigFileName +
                  state.StatusFileName,
              "");
    EXPECT_TRUE(state.LockNotes.empty() && state.CommandLineFaults.empty());
    EXPECT_EQ(state.SavedSettings, RunSettings{});
    for (const Timestamp& t : {state.RunStartDate, state.RunStartTime, state.ArchiveDate})
        EXPECT_EQ(t, Timestamp{});
    EXPECT_TRUE(state.InstalledTasks.empty() && state.MainWindow == nullptr);
    EXPECT_EQ(state.HeldLiveLock, nullptr);
}

}  // namespace
}  // namespace varnel
