// The connection panel, the folder chooser and the prompter's message boxes, with
// scripted choosers in place of the operator.

#include "ui/connection_panel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>

#include "tests/support/sqlite_file.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/support/layout_check.h"
#include "tests/ui/support/qt_application.h"
#include "tests/ui/support/scripted_choosers.h"
#include "ui/folder_chooser.h"
#include "ui/qt_prompter.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

class ConnectionPanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        QObject::connect(&panel_, &ConnectionPanel::SettingsChanged, [this] { ++changes_; });
    }

    // Widgets need the application before they are made.
    const bool application_ = (testing::EnsureQtApplication(), true);
    testing::TempDir dir_;
    testing::ScriptedChoosers choosers_;
    ConnectionPanel panel_{choosers_};
    int changes_ = 0;
};

TEST_F(ConnectionPanelTest, EveryValueChangeIsSignalledAndDropsTheDataSource) {
    const std::string file = testing::CreateSqliteFile(dir_.File("w.db"));
    const std::string other = testing::CreateSqliteFile(dir_.File("other.db"));
    const struct {
        const char* Name;
        std::function<void()> Change;
    } cases[] = {
        {"server", [this] { panel_.SetServer("SQLite"); }},
        {"database", [&] { panel_.SetDatabase(other); }},
        {"windows authentication", [this] { panel_.SetWindowsAuth(false); }},
        {"user", [this] { panel_.SetUserName("sa"); }},
        {"password", [this] { panel_.txtPassword->setText("x;y}"); }},
    };
    panel_.SetServer("sqlite");
    panel_.SetDatabase(file);
    panel_.SetWindowsAuth(true);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        std::string message;
        ASSERT_TRUE(panel_.OpenDataSource(message)) << message;
        ASSERT_NE(panel_.DataSource(), nullptr);
        EXPECT_TRUE(panel_.DataSource()->IsOpen());
        const int before = changes_;
        c.Change();
        EXPECT_EQ(changes_, before + 1);
        EXPECT_EQ(panel_.DataSource(), nullptr);
    }
    EXPECT_EQ(panel_.Server(), "SQLite");
    EXPECT_EQ(panel_.UserName(), "sa");
    EXPECT_EQ(panel_.Password(), "x;y}");
    EXPECT_FALSE(panel_.WindowsAuth());
}

TEST_F(ConnectionPanelTest, MissingFileGivesTheConnectionErrorAndNoDataSource) {
    panel_.SetServer("sqlite");
    panel_.SetDatabase(dir_.File("missing.db"));
    std::string message;
    EXPECT_FALSE(panel_.OpenDataSource(message));
    EXPECT_THAT(message, StartsWith("Error while connecting to : sqlite\r\n"));
    EXPECT_THAT(message, HasSubstr("missing.db"));
    EXPECT_EQ(panel_.DataSource(), nullptr);
    EXPECT_FALSE(std::filesystem::exists(dir_.File("missing.db")));
}

TEST_F(ConnectionPanelTest, BrowseOffersTheSqliteFileOnlyForTheSqliteServer) {
    const std::string existing = testing::CreateSqliteFile(dir_.File("old.db"));
    const struct {
        const char* Server;
        std::string Database;
        std::string Picked;
        bool Enabled;
        std::string ExpectedStart;
        std::string ExpectedDatabase;
    } cases[] = {
        {"sqlite", existing, dir_.File("new.db"), true, existing, dir_.File("new.db")},
        {" SQLite ", dir_.File("gone/x.db"), "", true, dir_.Path().string(),
         dir_.File("gone/x.db")},
        {"dwserver01", "Sales", dir_.File("new.db"), false, "", "Sales"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Server);
        choosers_.Requests.clear();
        choosers_.Paths = {c.Picked};
        panel_.SetServer(c.Server);
        panel_.SetDatabase(c.Database);
        EXPECT_EQ(panel_.cmdBrowseDatabase->isEnabled(), c.Enabled);
        panel_.cmdBrowseDatabase_Click();
        ASSERT_EQ(choosers_.Requests.size(), c.Enabled ? 1u : 0u);
        if (c.Enabled) {
            EXPECT_EQ(choosers_.Requests[0].Kind, "file");
            EXPECT_EQ(choosers_.Requests[0].Start, c.ExpectedStart);
            EXPECT_EQ(choosers_.Requests[0].Owner, &panel_);
        }
        EXPECT_EQ(panel_.Database(), c.ExpectedDatabase);
    }
}

TEST_F(ConnectionPanelTest, WindowsAuthenticationDisablesUserAndPasswordAndLayoutIsClean) {
    panel_.SetWindowsAuth(true);
    EXPECT_FALSE(panel_.txtUserName->isEnabled());
    EXPECT_FALSE(panel_.txtPassword->isEnabled());
    EXPECT_THAT(testing::LayoutFaults(panel_), IsEmpty());
    panel_.SetWindowsAuth(false);
    EXPECT_TRUE(panel_.txtUserName->isEnabled());
    EXPECT_EQ(panel_.txtPassword->echoMode(), QLineEdit::Password);
}

TEST(FolderChooserTest, StartsInTheNearestExistingFolderAndGivesWhatWasPicked) {
    testing::EnsureQtApplication();
    testing::TempDir dir;
    std::filesystem::create_directories(dir.File("logs"));
    const struct {
        std::string Start;
        std::string Picked;
        std::string ExpectedStart;
    } cases[] = {
        {dir.File("logs"), dir.File("logs"), dir.File("logs")},
        {dir.File("logs/2024/march"), "", dir.File("logs")},
        {"", dir.File("x"), ""},
        {"no-such-relative-folder", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Start);
        testing::ScriptedChoosers choosers;
        choosers.Paths = {c.Picked};
        QWidget owner;
        EXPECT_EQ(FolderChooser(choosers).Browse(&owner, c.Start, "Select log directory"),
                  c.Picked);
        ASSERT_EQ(choosers.Requests.size(), 1u);
        EXPECT_EQ(choosers.Requests[0].Start, c.ExpectedStart);
        EXPECT_EQ(choosers.Requests[0].Title, "Select log directory");
        EXPECT_EQ(choosers.Requests[0].Owner, &owner);
    }
}

TEST(MessageBoxTest, TitleIconTextAndButtonsFollowTheCaller) {
    testing::EnsureQtApplication();
    const struct {
        std::string Text;
        int Style;
        std::string Title;
        BoxButtons Buttons;
        QString ExpectedTitle;
        QMessageBox::Icon ExpectedIcon;
        QString ExpectedText;
        QMessageBox::StandardButtons ExpectedButtons;
    } cases[] = {
        {"Error in creating Log File\r\nError Number: 13", 16, "Varnel", BoxButtons::Ok, "Varnel",
         QMessageBox::Critical, "Error in creating Log File\nError Number: 13", QMessageBox::Ok},
        {"Varnel Tool was last used by -- bob\r\nDo you wish to continue?", 32, "Lock History",
         BoxButtons::YesNo, "Lock History", QMessageBox::Question,
         "Varnel Tool was last used by -- bob\nDo you wish to continue?",
         QMessageBox::Yes | QMessageBox::No},
        {"table <dim_a> & co", 48, "Parse Condition", BoxButtons::Ok, "Parse Condition",
         QMessageBox::Warning, "table <dim_a> & co", QMessageBox::Ok},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        const auto box = MakeMessageBox(c.Text, c.Style, c.Title, c.Buttons, nullptr);
        EXPECT_EQ(box->windowTitle(), c.ExpectedTitle);
        EXPECT_EQ(box->icon(), c.ExpectedIcon);
        EXPECT_EQ(box->text(), c.ExpectedText);
        EXPECT_EQ(box->textFormat(), Qt::PlainText);
        EXPECT_EQ(box->standardButtons(), c.ExpectedButtons);
    }
}

}  // namespace
}  // namespace varnel
