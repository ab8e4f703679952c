// The main window on Qt's offscreen platform against real SQLite warehouses, with a
// scripted prompter and scripted choosers in place of the operator: its enabling
// rules, the lock questions, configuration mode and an interactive run inside a
// running event loop.

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
#include "tests/ui/support/layout_check.h"
#include "tests/ui/support/qt_application.h"
#include "tests/ui/support/scripted_choosers.h"
#include "ui/connection_panel.h"
#include "ui/desktop.h"
#include "ui/frm_progress.h"
#include "warehouse/live_lock.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class FrmMainTest : public testing::RunTest {
  protected:
    void SetUp() override {
        testing::EnsureQtApplication();
        RunTest::SetUp();
        w_.Dimension("dim_product", {"id INTEGER", "code VARCHAR(10)"},
                     {.PrimaryKey = "id", .OrgPkey = "code"});
        w_.Fact("fact_sales", {"id INTEGER", "product_id INTEGER"}, {.PrimaryKey = "id"});
        w_.Relation("dim_product", "id", "fact_sales", "product_id");
        w_.Rows("dim_product", {"id", "code"}, {{1, "A"}, {2, "B"}});
        w_.Rows("fact_sales", {"id", "product_id"}, {{1, 1}});
        logs_ = dir_.File("logs");
        std::filesystem::create_directories(logs_);
    }
    void TearDown() override {
        if (liveFd_ >= 0) close(liveFd_);
        window_.reset();
        RunTest::TearDown();
        testing::DeleteDeferredWidgets();
    }

    FrmMain& Open() {
        window_ = std::make_unique<FrmMain>(state_, choosers_);
        return *window_;
    }
    //! The warehouse and the log folder chosen, the boxes ticked as given (all others not).
    FrmMain& OpenChosen(std::initializer_list<int> ticked) {
        FrmMain& window = Open();
        Choose(window);
        for (QCheckBox* box : window.chkOptions) box->setChecked(false);
        for (int index : ticked)
            window.chkOptions.at(static_cast<std::size_t>(index))->setChecked(true);
        return window;
    }
    void Choose(FrmMain& window) {
        window.uscConnectDW->SetServer("sqlite");
        window.uscConnectDW->SetDatabase(w_.Path());
        window.uscConnectDW->SetWindowsAuth(true);
        window.txtLogDir->setText(QString::fromStdString(logs_));
    }

    std::string LockRow() { return w_.Value("select lock || '|' || user_name from dwm_multiuse"); }
    void SetLockRow(int lock, const std::string& user) {
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
    //! Another live process holds the live lock for the rest of the test.
    void HoldLiveLockElsewhere() {
        liveFd_ = open(LiveLockFilePath(w_.Path()).c_str(), O_RDWR | O_CREAT, 0600);
        ASSERT_EQ(flock(liveFd_, LOCK_SH | LOCK_NB), 0);
    }
    std::vector<std::string> Questions() const {
        std::vector<std::string> titles;
        for (const auto& box : prompter_.Boxes)
            if (box.Question) titles.push_back(box.Title + ": " + box.Text);
        return titles;
    }

    testing::WarehouseBuilder w_;
    testing::ScriptedChoosers choosers_;
    std::unique_ptr<FrmMain> window_;
    std::string logs_;
    const std::string me_ = CurrentUserName();
    int liveFd_ = -1;
};

TEST_F(FrmMainTest, ButtonsAreEnabledOnlyForAChosenWarehouseAndAnExistingFolder) {
    const struct {
        const char* Name;
        std::string Server, Database, Folder;
        bool Process;
    } cases[] = {
        {"a database of blanks", "sqlite", "   ", logs_, false},
        {"a folder that does not exist", "sqlite", w_.Path(), logs_ + "/missing", false},
        // The folder as typed: a trailing blank names another folder.
        {"a folder with a trailing blank", "sqlite", w_.Path(), logs_ + " ", false},
        {"warehouse and folder", "sqlite", w_.Path(), logs_, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        FrmMain& window = Open();
        window.uscConnectDW->SetServer(c.Server);
        window.uscConnectDW->SetDatabase(c.Database);
        window.txtLogDir->setText(QString::fromStdString(c.Folder));
        EXPECT_EQ(window.cmdProcess->isEnabled(), c.Process);
        // Each dialog button goes with its box and the warehouse, never with the folder.
        for (const bool tick : {true, false}) {
            window.chkOptions[1]->setChecked(tick);
            window.chkOptions[2]->setChecked(tick);
            EXPECT_EQ(window.cmdFacts->isEnabled(), tick && window.WarehouseChosen());
            EXPECT_EQ(window.cmdDimensions->isEnabled(), tick && window.WarehouseChosen());
        }
    }
}

TEST_F(FrmMainTest, AtomicDeletionBoxFollowsTheDeletionBox) {
    FrmMain& window = Open();
    QCheckBox* deletion = window.chkOptions[4];
    QCheckBox* atomic = window.chkOptions[5];
    // A new interactive window: only the metadata check is ticked.
    EXPECT_TRUE(window.chkOptions[0]->isChecked());
    EXPECT_FALSE(atomic->isEnabled());
    const struct {
        const char* Step;
        std::function<void()> Do;
        bool AtomicEnabled, AtomicTicked;
    } steps[] = {
        {"tick deletion", [&] { deletion->setChecked(true); }, true, false},
        {"tick atomic", [&] { atomic->setChecked(true); }, true, true},
        {"untick deletion", [&] { deletion->setChecked(false); }, false, false},
        {"tick deletion again", [&] { deletion->setChecked(true); }, true, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.Step);
        step.Do();
        EXPECT_EQ(atomic->isEnabled(), step.AtomicEnabled);
        EXPECT_EQ(atomic->isChecked(), step.AtomicTicked);
    }
}

TEST_F(FrmMainTest, LockOfAnotherUserIsAskedAboutAndOwnLockIsHeldLive) {
    const std::string history =
        "Lock History: Varnel Tool was last used by -- other\r\nDo you "
        "wish to continue?";
    const std::string profile =
        "Lock Profile: The machine is currently locked by user other. Do "
        "you wish to continue?";
    const struct {
        const char* Name;
        int Lock;
        std::string User;
        bool HolderLives;
        std::deque<bool> Answers;
        std::vector<std::string> Questions;
        std::string RowAfterProcess;
        bool Ran;
    } cases[] = {
        {"free, last used by another, No", 0, "other", false, {false}, {history}, "0|other", false},
        {"free, last used by another, Yes", 0, "other", false, {true}, {history}, "0|" + me_, true},
        {"held by another live user, No",
         1,
         "other",
         true,
         {true, false},
         {history, profile},
         "1|other",
         false},
        {"held by another live user, Yes",
         1,
         "other",
         true,
         {true, true},
         {history, profile},
         "0|" + me_,
         true},
        // The operator decides about another user's lock even when its holder died.
        {"left by another user's dead run",
         1,
         "other",
         false,
         {true, true},
         {history, profile},
         "0|" + me_,
         true},
        {"held by this user", 1, me_, false, {}, {}, "0|" + me_, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        w_.Exec("drop table if exists dwm_multiuse");
        SetLockRow(c.Lock, c.User);
        if (c.HolderLives) HoldLiveLockElsewhere();
        prompter_.Boxes.clear();
        prompter_.Answers = c.Answers;
        FrmMain& window = OpenChosen({});
        window.cmdProcess->click();
        EXPECT_EQ(Questions(), c.Questions);
        EXPECT_EQ(LockRow(), c.RowAfterProcess);
        EXPECT_EQ(std::filesystem::exists(logs_) && !std::filesystem::is_empty(logs_), c.Ran);
        std::filesystem::remove_all(logs_);
        std::filesystem::create_directories(logs_);
        window.cmdClose->click();
        if (liveFd_ >= 0) close(liveFd_);
        liveFd_ = -1;
    }
}

TEST_F(FrmMainTest, OwnLockFoundInTheTableIsHeldLiveUntilClose) {
    SetLockRow(1, me_);
    ASSERT_FALSE(LiveLockHeld());
    FrmMain& window = OpenChosen({2});
    window.cmdDimensions->click();  // the dialog is scripted to close at once
    ASSERT_EQ(choosers_.Requests.size(), 1u);
    EXPECT_EQ(choosers_.Requests[0].Title, "Dimension Checks");
    EXPECT_THAT(prompter_.Boxes, IsEmpty());
    EXPECT_TRUE(state_.LockHeld);
    EXPECT_TRUE(LiveLockHeld());
    // The title-bar close releases both.
    window.close();
    EXPECT_TRUE(window.IsUnloaded());
    EXPECT_EQ(LockRow(), "0|" + me_);
    EXPECT_FALSE(LiveLockHeld());
}

TEST_F(FrmMainTest, ArchiveLoginIsReadFromTheWarehouseWithItsQuestions) {
    const std::string setNow = "\r\nDo you want to set them now?";
    const struct {
        std::string Row;  // values of the dwm_archive row; empty: no table
        bool Question;
        std::string Text;
    } cases[] = {
        {"", true, "Login details for archive database not found." + setNow},
        {"1, null, 1, null, null, 'a.db'", true,
         "Login details for archive database not found or not correct." + setNow},
        {"1, 'sqlite', 0, null, 'pw', 'a.db'", true,
         "Login details for archive database not correct." + setNow},
        {"1, 'sqlite', 1, null, null, 'a.db'", false,
         "It is not possible to use Windows NT Authentication for both the Data Warehouse "
         "database and the archive database."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        w_.Exec("drop table if exists dwm_archive");
        if (!c.Row.empty()) {
            w_.Exec(
                "create table dwm_archive( ID tinyint, Server varchar(100), SecureLogin bit, "
                "SQLUserName varchar(100), SQLPassword varchar(100), DB varchar(100))");
            w_.Exec("insert into dwm_archive values (" + c.Row + ")");
        }
        prompter_.Boxes.clear();
        FrmMain& window = OpenChosen({1});
        window.cmdProcess->click();  // every question answered No
        ASSERT_EQ(prompter_.Boxes.size(), 1u);
        EXPECT_EQ(prompter_.Boxes[0].Question, c.Question);
        EXPECT_EQ(prompter_.Boxes[0].Text, c.Text);
        EXPECT_TRUE(std::filesystem::is_empty(logs_));  // nothing ran
        window.cmdClose->click();
    }
}

TEST_F(FrmMainTest, RuntimeErrorOfProcessReleasesTheLockAndUnloads) {
    // A login table without its columns: reading it fails.
    w_.Exec("create table dwm_archive (ID INTEGER)");
    w_.Exec("insert into dwm_archive values (1)");
    FrmMain& window = OpenChosen({1});
    window.cmdProcess->click();
    EXPECT_TRUE(window.IsUnloaded());
    EXPECT_EQ(LockRow(), "0|" + me_);
    EXPECT_FALSE(LiveLockHeld());
    EXPECT_EQ(state_.WarehouseConnection, nullptr);
    ASSERT_EQ(prompter_.Boxes.size(), 1u);
    EXPECT_THAT(prompter_.Boxes[0].Text, HasSubstr("Server"));
}

class ConfigModeTest : public FrmMainTest {
  protected:
    void SetUp() override {
        FrmMainTest::SetUp();
        config_ = dir_.File("nightly.cmd");
        RunSettings saved;
        ResetRunSettings(state_, saved);
        SplitArguments(state_, saved,
                       "-mac sqlite -db " + w_.Path() +
                           " -usr \"etl user\" -password s3cret -chkmd -bkmac sqlite -bkdb "
                           "/data/arch.db -bkntaut -clsf -mark -del -datom -log " +
                           logs_ + " -config " + config_,
                       MaxCommandLineArguments);
        state_.SavedSettings = saved;
    }
    //! The record that the window builds from what the command line gave.
    RunSettings Expected() const {
        RunSettings r;
        r.Server = "sqlite";
        r.Database = w_.Path();
        r.UserName = "etl user";
        r.Password = "s3cret";
        r.ArchiveServer = "sqlite";
        r.ArchiveDatabase = "/data/arch.db";
        r.ArchiveWindowsAuth = r.ArchiveFacts = true;
        r.MarkUnused = r.DeleteMarked = r.AtomicDelete = true;
        r.LogRequested = true;
        r.LogDirectory = logs_;
        return r;
    }

    std::string config_;
};

TEST_F(ConfigModeTest, WindowStartsFromTheCommandLineWithoutTheMetadataCheck) {
    ASSERT_TRUE(state_.ConfigMode);
    FrmMain& window = Open();
    EXPECT_EQ(window.uscConnectDW->UserName(), "etl user");
    std::vector<bool> ticks;
    for (QCheckBox* box : window.chkOptions) ticks.push_back(box->isChecked());
    EXPECT_THAT(ticks, ElementsAre(false, true, true, false, true, true));
    // The saved warehouse answered: the buttons follow the boxes.
    EXPECT_TRUE(window.cmdProcess->isEnabled());
    EXPECT_TRUE(window.cmdFacts->isEnabled());

    // Archiving without an archive database cannot be saved until the dialog gives one.
    state_.SavedSettings.ArchiveDatabase = " ";
    FrmMain& without = Open();
    EXPECT_FALSE(without.cmdProcess->isEnabled());
    without.chkOptions[1]->setChecked(false);
    EXPECT_TRUE(without.cmdProcess->isEnabled());
}

TEST_F(ConfigModeTest, SaveWritesTheLineThatReadsBackAsTheSameRecord) {
    const std::string expectedLine = "-mac sqlite -db " + w_.Path() +
                                     " -usr \"etl user\" -password s3cret -bkmac sqlite -bkdb "
                                     "/data/arch.db -bkntaut -clsf -mark -del -datom -log \"" +
                                     logs_ + "\"";
    const struct {
        const char* Name;
        std::function<void(FrmMain&)> Change;
        bool Saved;
        std::string Message;  // the start of the one message; empty when none
        bool Closes;
    } cases[] = {
        {"as given", [](FrmMain&) {}, true, "", true},
        {"a user that starts with a dash", [](FrmMain& w) { w.uscConnectDW->SetUserName("-etl"); },
         false, "The user name cannot be saved: it starts with \"-\"", false},
        {"a password with a quotation mark",
         [](FrmMain& w) { w.uscConnectDW->SetPassword("pa\"ss"); }, false,
         "The password cannot be saved: it holds a quotation mark", false},
        {"no user name", [](FrmMain& w) { w.uscConnectDW->SetUserName(""); }, false,
         "\r\nUser name must be specified for connecting to the database\r\nUsage: Varnel", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove(config_);
        prompter_.Boxes.clear();
        FrmMain& window = Open();
        c.Change(window);
        window.cmdProcess->click();
        EXPECT_EQ(window.IsUnloaded(), c.Closes);
        EXPECT_EQ(std::filesystem::exists(config_), c.Saved);
        if (c.Message.empty()) {
            EXPECT_THAT(prompter_.Boxes, IsEmpty());
        } else {
            ASSERT_EQ(prompter_.Boxes.size(), 1u);
            EXPECT_THAT(prompter_.Boxes[0].Text, StartsWith(c.Message));
            EXPECT_EQ(prompter_.Boxes[0].Style, kStyleCritical);
        }
        if (!window.IsUnloaded()) window.cmdClose->click();
        // Saved or not, the lock goes with the window.
        EXPECT_EQ(LockRow(), "0|" + me_);
        if (!c.Saved) continue;

        EXPECT_EQ(testing::ReadFile(config_), expectedLine + "\r\n");
        ProcessState later;
        RunSettings parsed;
        ResetRunSettings(later, parsed);
        SplitArguments(later, parsed, expectedLine, MaxCommandLineArguments);
        EXPECT_EQ(parsed, Expected());
    }
}

TEST_F(FrmMainTest, NoCaptionIsClippedAndNoControlsOverlapInEitherMode) {
    for (const bool configMode : {false, true}) {
        SCOPED_TRACE(configMode ? "configuration mode" : "interactive");
        state_.ConfigMode = configMode;
        FrmMain& window = Open();
        EXPECT_THAT(testing::LayoutFaults(window), IsEmpty());
        window.chkOptions[4]->setChecked(true);
        EXPECT_THAT(testing::LayoutFaults(window), IsEmpty());
    }
}

// The session as the desktop runs it: the real progress window, the event loop of
// the application, and the main window away while the tasks run.
TEST_F(FrmMainTest, SessionRunsTheTasksAndLastsUntilTheMainWindowUnloads) {
    struct {
        bool HiddenDuringRun = false;
        bool OkOffered = false;
        bool ShownAfterOk = false;
        bool SurvivedAnotherClose = false;
    } seen;
    QTimer::singleShot(0, [&] {
        auto* window = dynamic_cast<FrmMain*>(state_.MainWindow);
        ASSERT_NE(window, nullptr);
        Choose(*window);
        window->chkOptions[2]->setChecked(true);
        window->chkOptions[4]->setChecked(true);
        window->cmdProcess->click();  // the run is done when the click returns
        seen.HiddenDuringRun = window->isHidden();
        auto* progress = dynamic_cast<FrmProgress*>(state_.ActiveProgressWindow());
        ASSERT_NE(progress, nullptr) << state_.MessageText;
        seen.OkOffered = progress->cmdOK->isEnabled() && progress->Form()->isVisible();
        progress->cmdOK->click();
        seen.ShownAfterOk = window->isVisible() && state_.ActiveProgressWindow() == nullptr;

        // Any other window that closes while the main window is away ends nothing.
        window->HideMainWindow();
        auto* other = new QWidget;
        other->setAttribute(Qt::WA_DeleteOnClose);
        other->show();
        other->close();
        QTimer::singleShot(50, window, [&seen, window] {
            seen.SurvivedAnotherClose = true;
            window->ShowMainWindow();
            window->cmdClose->click();
        });
    });
    // A session that never ends fails here instead of hanging.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(30000);
    EXPECT_EQ(RunWindowSession(state_, choosers_), 0);
    EXPECT_TRUE(seen.HiddenDuringRun);
    EXPECT_TRUE(seen.OkOffered);
    EXPECT_TRUE(seen.ShownAfterOk);
    EXPECT_TRUE(seen.SurvivedAnotherClose);
    EXPECT_EQ(state_.MainWindow, nullptr);
    EXPECT_THAT(prompter_.Boxes, IsEmpty());
    EXPECT_THAT(w_.Column("SELECT code FROM dim_product"), ElementsAre("A"));
    EXPECT_EQ(LockRow(), "0|" + me_);
}

}  // namespace
}  // namespace varnel
