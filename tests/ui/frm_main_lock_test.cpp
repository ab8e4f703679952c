// The main window's hold on the tool lock: whose lock it counts as its own, what
// the operator is asked and told, and that its lock lives on across the window's
// reconnections while another process tries to take it.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

#include "base/current_user.h"
#include "tests/support/run_doubles.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"
#include "tests/ui/support/qt_application.h"
#include "tests/ui/support/scripted_choosers.h"
#include "ui/connection_panel.h"
#include "ui/frm_main.h"
#include "warehouse/live_lock.h"
#include "warehouse/odbc.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class FrmMainLockTest : public testing::RunTest {
  protected:
    void SetUp() override {
        testing::EnsureQtApplication();
        RunTest::SetUp();
        w_.Dimension("dim_product", {"id INTEGER", "code VARCHAR(10)"},
                     {.PrimaryKey = "id", .OrgPkey = "code"});
        logs_ = dir_.File("logs");
        std::filesystem::create_directories(logs_);
    }
    void TearDown() override {
        if (liveFd_ >= 0) close(liveFd_);
        window_.reset();
        RunTest::TearDown();
        testing::DeleteDeferredWidgets();
    }

    //! A window on the warehouse with only the dimension checks ticked: its button
    //! connects, takes the lock and opens a dialog that closes at once.
    FrmMain& Open() {
        window_ = std::make_unique<FrmMain>(state_, choosers_);
        window_->uscConnectDW->SetServer("sqlite");
        window_->uscConnectDW->SetDatabase(w_.Path());
        window_->uscConnectDW->SetWindowsAuth(true);
        window_->txtLogDir->setText(QString::fromStdString(logs_));
        for (QCheckBox* box : window_->chkOptions) box->setChecked(false);
        window_->chkOptions[2]->setChecked(true);
        return *window_;
    }
    void SetLockRow(int lock, const std::string& user) {
        w_.Exec("drop table if exists dwm_multiuse");
        w_.Exec("create table dwm_multiuse( lock bit, user_name varchar(100))");
        w_.Exec("insert into dwm_multiuse values (" + std::to_string(lock) + ",'" + user + "')");
    }
    std::string LockRow() { return w_.Value("select lock || '|' || user_name from dwm_multiuse"); }
    void HoldLiveLockElsewhere() {
        liveFd_ = open(LiveLockFilePath(w_.Path()).c_str(), O_RDWR | O_CREAT, 0600);
        ASSERT_EQ(flock(liveFd_, LOCK_SH | LOCK_NB), 0);
    }
    std::vector<std::string> Boxes() const {
        std::vector<std::string> boxes;
        for (const auto& box : prompter_.Boxes) boxes.push_back(box.Title + ": " + box.Text);
        return boxes;
    }

    testing::WarehouseBuilder w_;
    testing::ScriptedChoosers choosers_;
    std::unique_ptr<FrmMain> window_;
    std::string logs_;
    const std::string me_ = CurrentUserName();
    int liveFd_ = -1;
};

TEST_F(FrmMainLockTest, WindowAsksBeforeTakingALockItDoesNotHold) {
    const auto profile = [](const std::string& user) {
        return "Lock Profile: The machine is currently locked by user " + user +
               ". Do you wish to continue?";
    };
    const std::string takenOver =
        "Varnel: The lock left by user other, whose run ended without releasing it, was taken "
        "over.";
    const struct {
        const char* Name;
        std::string User;
        bool HolderLives;
        bool Yes;
        std::vector<std::string> Boxes;
        std::string Row;
    } cases[] = {
        // Another user's run that ended: the operator decides, and is told what was taken.
        {"another user's dead run, No", "other", false, false, {profile("other")}, "1|other"},
        {"another user's dead run, Yes",
         "other",
         false,
         true,
         {profile("other"), takenOver},
         "1|" + me_},
        // A lock of this user that another live process of the user holds.
        {"this user's live run, No", me_, true, false, {profile(me_)}, "1|" + me_},
        {"this user's dead run", me_, false, false, {}, "1|" + me_},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        SetLockRow(1, c.User);
        if (c.HolderLives) HoldLiveLockElsewhere();
        prompter_.Boxes.clear();
        prompter_.Answers = {c.Yes};
        FrmMain& window = Open();
        window.cmdDimensions->click();
        EXPECT_EQ(Boxes(), c.Boxes);
        EXPECT_EQ(LockRow(), c.Row);
        const bool held = c.Boxes.empty() || c.Yes;
        EXPECT_EQ(state_.LockHeld, held);
        EXPECT_EQ(choosers_.Requests.size(), held ? 1u : 0u);  // the dialog opened
        choosers_.Requests.clear();
        window.cmdClose->click();
        if (liveFd_ >= 0) close(liveFd_);
        liveFd_ = -1;
    }
}

TEST_F(FrmMainLockTest, WindowKeepsItsLockAcrossReconnectsAgainstAnUnattendedRun) {
    FrmMain& window = Open();
    // Every click connects anew; the second finds the lock its own and asks nothing.
    window.cmdDimensions->click();
    window.cmdDimensions->click();
    EXPECT_THAT(prompter_.Boxes, IsEmpty());
    ASSERT_TRUE(state_.LockHeld);
    ASSERT_EQ(LockRow(), "1|" + me_);

    auto run = testing::SqliteRun(VARNEL_EXE, w_.Path(), dir_.File("run-logs"));
    run.push_back("-chkmd");
    const testing::ChildEnd end = testing::RunChild(run, {.Err = dir_.File("err.txt")});
    EXPECT_NE(end.ExitCode, 0);
    EXPECT_THAT(testing::ReadFile(dir_.File("err.txt")),
                ::testing::HasSubstr("The machine is currently locked by user " + me_));
    EXPECT_EQ(LockRow(), "1|" + me_);

    window.cmdClose->click();
    EXPECT_EQ(LockRow(), "0|" + me_);
}

TEST_F(FrmMainLockTest, MessageShowsOnlyWhatTheActionItselfSaid) {
    struct Forget {
        ~Forget() { ClearPlannedFailures(); }
    } forget;
    const struct {
        const char* Name;
        std::function<void(FrmMain&)> Act;
    } cases[] = {
        {"dimension checks", [](FrmMain& w) { w.cmdDimensions->click(); }},
        {"process", [](FrmMain& w) { w.cmdProcess->click(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        prompter_.Boxes.clear();
        FrmMain& window = Open();
        state_.MessageText = "Error in an earlier run.\r\n";
        PlanStatementFailure(
            PlannedFailure::Matching("sqlite_master", "HY000", "database is locked", 0));
        c.Act(window);
        ClearPlannedFailures();
        EXPECT_THAT(Boxes(), ElementsAre("Varnel: database is locked\r\n"));
        window.cmdClose->click();
    }
}

}  // namespace
}  // namespace varnel
