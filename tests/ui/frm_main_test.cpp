#include "ui/frm_main.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>

#include "base/current_user.h"
#include "run/command_line.h"
#include "tests/support/run_doubles.h"
#include "tests/support/warehouse_builder.h"
#include "tests/ui/support/scripted_choosers.h"
#include "tests/ui/support/window_test.h"
#include "ui/connection_panel.h"
#include "ui/desktop.h"
#include "ui/frm_progress.h"
#include "warehouse/live_lock.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class FrmMainTest : public testing::RunTest {
  protected:
    void SetUp() override {
        testing::EnsureQtApplication();
        RunTest::SetUp();
        w_.OneUnusedProduct();
        logs_ = dir_.File("logs");
        std::filesystem::create_directories(logs_);
    }
    void TearDown() override {
        ReleaseLiveLock();
        window_.reset();
        RunTest::TearDown();
        testing::DeleteDeferredWidgets();
    }

    //! The warehouse and the log folder chosen, only the boxes given ticked.
    FrmMain& OpenChosen(std::initializer_list<int> ticked) {
        window_ = std::make_unique<FrmMain>(state_, choosers_);
        FrmMain& window = *window_;
        Choose(window);
        for (QCheckBox* box : window.chkOptions) box->setChecked(false);
        for (int i : ticked) window.chkOptions.at(static_cast<std::size_t>(i))->setChecked(true);
        return window;
    }
    void Choose(FrmMain& window) {
        window.uscConnectDW->SetServer("sqlite");
        window.uscConnectDW->SetDatabase(w_.Path());
        window.uscConnectDW->SetWindowsAuth(true);
        window.txtLogDir->setText(QString::fromStdString(logs_));
    }

    //! A window session as the desktop runs it, the operator's part done from its event loop;
    //! a session that never ends fails instead of hanging.
    int RunSession(const std::function<void(FrmMain&)>& operate) {
        QTimer::singleShot(0, [&] {
            auto* window = dynamic_cast<FrmMain*>(state_.MainWindow);
            ASSERT_NE(window, nullptr);
            operate(*window);
        });
        const QObject watchdog;
        QTimer::singleShot(30000, &watchdog, [] { QCoreApplication::exit(99); });
        return RunWindowSession(state_, choosers_);
    }

    std::string LockRow() { return w_.Value("select lock || '|' || user_name from dwm_multiuse"); }
    void SetLockRow(int lock, const std::string& user) {
        w_.Exec("drop table if exists dwm_multiuse");
        w_.Exec("create table dwm_multiuse( lock bit, user_name varchar(100))");
        w_.Exec("insert into dwm_multiuse values (" + std::to_string(lock) + ",'" + user + "')");
    }
    //! Whether some process holds the live lock: an exclusive flock of our own fails then.
    bool LiveLockHeld() {
        const int fd = open(LiveLockFilePath(w_.Path()).c_str(), O_RDWR | O_CREAT, 0600);
        const bool free = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (fd >= 0) close(fd);
        return !free;
    }
    void HoldLiveLockElsewhere() {
        liveFd_ = open(LiveLockFilePath(w_.Path()).c_str(), O_RDWR | O_CREAT, 0600);
        ASSERT_EQ(flock(liveFd_, LOCK_SH | LOCK_NB), 0);
    }
    void ReleaseLiveLock() {
        if (liveFd_ >= 0) close(liveFd_);
        liveFd_ = -1;
    }

    testing::WarehouseBuilder w_;
    testing::ScriptedChoosers choosers_;
    std::unique_ptr<FrmMain> window_;
    std::string logs_;
    const std::string me_ = CurrentUserName();
    int liveFd_ = -1;
};

TEST_F(FrmMainTest, LockTheWindowDoesNotHoldIsAskedAbout) {
    const auto profile = [](const std::string& user) {
        return "Lock Profile: The machine is currently locked by user " + user +
               ". Do you wish to continue?";
    };
    const std::string h =
        "Lock History: Varnel Tool was last used by -- other\r\nDo you wish to continue?";
    const std::string taken =
        "Varnel: The lock left by user other, whose run ended without releasing it, was taken "
        "over.";
    const std::string failed =
        "Varnel: Reading the lock in dwm_multiuse failed:\r\ndatabase is locked\r\n";
    const std::string p = profile("other");
    const std::string mine = "0|" + me_;
    const struct {
        bool Process, Fails;  // else the dimension checks' dialog; the warehouse locked by a writer
        int Lock;
        std::string User;
        bool HolderLives;
        std::deque<bool> Answers;
        std::vector<std::string> Boxes;
        std::string RowAfter;
    } cases[] = {
        {true, false, 0, "other", false, {true}, {h}, mine},
        {true, false, 1, "other", true, {true, false}, {h, p}, "1|other"},
        {true, false, 1, "other", true, {true, true}, {h, p}, mine},
        {true, false, 1, "other", false, {true, true}, {h, p, taken}, mine},
        {true, false, 1, me_, false, {}, {}, mine},
        {false, false, 1, "other", false, {false}, {p}, "1|other"},
        {false, false, 1, me_, true, {false}, {profile(me_)}, "1|" + me_},  // another live run
        // Only what the action itself said shows, never an earlier run's message.
        {true, true, 0, me_, false, {}, {failed}, mine},
        {false, true, 0, me_, false, {}, {failed}, mine},
    };
    for (const auto& c : cases) {
        SetLockRow(c.Lock, c.User);
        if (c.HolderLives) HoldLiveLockElsewhere();
        prompter_.Boxes.clear();
        prompter_.Answers = c.Answers;
        choosers_.Starts.clear();
        FrmMain& window = OpenChosen({});
        window.chkOptions[2]->setChecked(!c.Process);
        state_.MessageText = "Error in an earlier run.\r\n";
        if (c.Fails)
            PlanStatementFailure(
                PlannedFailure::Matching("sqlite_master", "HY000", "database is locked", 0));
        (c.Process ? window.cmdProcess : window.cmdDimensions)->click();
        ClearPlannedFailures();
        std::vector<std::string> boxes;
        for (const auto& box : prompter_.Boxes) boxes.push_back(box.Title + ": " + box.Text);
        EXPECT_EQ(boxes, c.Boxes) << &c - cases;
        EXPECT_EQ(LockRow(), c.RowAfter);
        const bool proceeded =
            c.Process ? !std::filesystem::is_empty(logs_) : !choosers_.Starts.empty();
        EXPECT_EQ(proceeded, !c.Fails && (c.Answers.empty() || c.Answers.back()));
        std::filesystem::remove_all(logs_);
        std::filesystem::create_directories(logs_);
        window.cmdClose->click();
        ReleaseLiveLock();
    }
}

TEST_F(FrmMainTest, OwnLockIsHeldLiveAcrossReconnectsUntilClose) {
    SetLockRow(1, me_);
    ASSERT_FALSE(LiveLockHeld());
    FrmMain& window = OpenChosen({2});
    // Every click connects anew; the second finds the lock its own and asks nothing.
    window.cmdDimensions->click();  // the dialog is scripted to close at once
    window.cmdDimensions->click();
    EXPECT_EQ(choosers_.Starts.size(), 2u);
    EXPECT_THAT(prompter_.Boxes, IsEmpty());
    EXPECT_TRUE(LiveLockHeld());
    EXPECT_EQ(LockRow(), "1|" + me_);
    window.close();  // the title-bar close releases both
    EXPECT_TRUE(window.IsUnloaded());
    EXPECT_EQ(LockRow(), "0|" + me_);
    EXPECT_FALSE(LiveLockHeld());
}

// The window is filled from the command line: an unchanged save writes the line it was given.
TEST_F(FrmMainTest, ConfigModeSessionEndsWithSuccessOnlyWhenTheLineWasWritten) {
    const std::string config = dir_.File("nightly.cmd");
    const std::string line = "-mac sqlite -db " + w_.Path() +
                             " -bkmac sqlite -bkdb /data/arch.db -clsf -mark -del -datom -log \"" +
                             logs_ + "\"";
    const struct {
        std::string File;
        std::function<void(FrmMain&)> Change;
        bool Save;
        std::string Message;  // the start of the one message
    } cases[] = {
        {config, [](FrmMain&) {}, true, ""},
        {config, [](FrmMain&) {}, false, ""},
        // A folder "-del" beside the test: the window saves only a folder that exists.
        {config,
         [this](FrmMain& w) {
             std::filesystem::current_path(dir_.Path());
             std::filesystem::create_directory("-del");
             w.txtLogDir->setText("-del");
         },
         true,
         "The log directory cannot be saved: \"-del\" would be read back as the option -del."},
        // The file cannot be written: the lock goes with the window all the same.
        {dir_.File("missing/nightly.cmd"), [](FrmMain&) {}, true,
         "Cannot write the configuration file"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(c.File);
        prompter_.Boxes.clear();
        RunSettings saved;
        ResetRunSettings(state_, saved);
        SplitArguments(state_, saved, line + " -config " + c.File, MaxCommandLineArguments);
        state_.SavedSettings = saved;
        const bool written = c.Save && c.Message.empty();
        const int status = RunSession([&](FrmMain& window) {
            c.Change(window);
            (c.Save ? window.cmdProcess : window.cmdClose)->click();
            if (!window.IsUnloaded()) window.cmdClose->click();  // after a refusal
        });
        EXPECT_EQ(status, written ? 0 : 1) << c.File << c.Message;
        EXPECT_EQ(std::filesystem::exists(c.File), written);
        EXPECT_EQ(written ? testing::ReadFile(c.File) : "", written ? line + "\r\n" : "");
        ASSERT_EQ(prompter_.Boxes.size(), c.Message.empty() ? 0u : 1u);
        for (const auto& box : prompter_.Boxes) EXPECT_THAT(box.Text, StartsWith(c.Message));
    }
    EXPECT_EQ(LockRow(), "0|" + me_);
}

// The session as the desktop runs it, the main window away while the real progress window shows.
TEST_F(FrmMainTest, SessionRunsTheTasksAndLastsUntilTheMainWindowUnloads) {
    std::vector<std::string> seen;
    const int status = RunSession([&](FrmMain& window) {
        Choose(window);
        window.chkOptions[2]->setChecked(true);
        window.chkOptions[4]->setChecked(true);
        window.cmdProcess->click();  // the run is done when the click returns
        if (window.isHidden()) seen.push_back("hidden");
        auto* progress = dynamic_cast<FrmProgress*>(state_.ActiveProgressWindow());
        ASSERT_NE(progress, nullptr) << state_.MessageText;
        progress->cmdOK->click();
        if (window.isVisible() && !state_.ActiveProgressWindow()) seen.push_back("back");
        // Any other window that closes while the main window is away ends nothing.
        window.HideMainWindow();
        auto* other = new QWidget;
        other->setAttribute(Qt::WA_DeleteOnClose);
        other->show();
        other->close();
        QTimer::singleShot(50, &window, [&seen, &window] {
            seen.push_back("alive");
            window.ShowMainWindow();
            window.cmdClose->click();
        });
    });
    EXPECT_EQ(status, 0);
    EXPECT_THAT(seen, ElementsAre("hidden", "back", "alive"));
    EXPECT_EQ(state_.MainWindow, nullptr);
    EXPECT_THAT(prompter_.Boxes, IsEmpty());
    EXPECT_THAT(w_.Column("SELECT code FROM dim_product"), ElementsAre("A"));
    EXPECT_EQ(LockRow(), "0|" + me_);
}

}  // namespace
}  // namespace varnel
