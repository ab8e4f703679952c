// The connection panel, with scripted choosers in place of the operator.

#include "ui/connection_panel.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include "tests/support/sqlite_file.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/support/qt_application.h"
#include "tests/ui/support/scripted_choosers.h"

namespace varnel {
namespace {

class ConnectionPanelTest : public ::testing::Test {
  protected:
    const bool application_ = (testing::EnsureQtApplication(), true);
    testing::TempDir dir_;
    testing::ScriptedChoosers choosers_;
    ConnectionPanel panel_{choosers_};
};

TEST_F(ConnectionPanelTest, EveryValueChangeIsSignalledAndDropsTheDataSource) {
    int changes = 0;
    QObject::connect(&panel_, &ConnectionPanel::SettingsChanged, [&] { ++changes; });
    const std::string other = testing::CreateSqliteFile(dir_.File("other.db"));
    const std::function<void()> cases[] = {
        [this] { panel_.SetServer("SQLite"); },          [&] { panel_.SetDatabase(other); },
        [this] { panel_.SetWindowsAuth(false); },        [this] { panel_.SetUserName("sa"); },
        [this] { panel_.txtPassword->setText("x;y}"); },
    };
    panel_.SetServer("sqlite");
    panel_.SetDatabase(testing::CreateSqliteFile(dir_.File("w.db")));
    panel_.SetWindowsAuth(true);
    for (const auto& change : cases) {
        std::string message;
        ASSERT_TRUE(panel_.OpenDataSource(message)) << message;
        const int before = changes;
        change();
        EXPECT_EQ(changes, before + 1);
        EXPECT_EQ(panel_.DataSource(), nullptr);
    }
}

TEST_F(ConnectionPanelTest, BrowseOffersTheSqliteFileOnlyForTheSqliteServer) {
    const std::string existing = testing::CreateSqliteFile(dir_.File("old.db"));
    const struct {
        const char* Server;
        std::string Database, Picked, ExpectedStart, ExpectedDatabase;
    } cases[] = {
        {"sqlite", existing, dir_.File("new.db"), existing, dir_.File("new.db")},
        {" SQLite ", dir_.File("gone/x.db"), "", dir_.Path().string(), dir_.File("gone/x.db")},
        {"dwserver01", "Sales", dir_.File("new.db"), "", "Sales"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Server);
        choosers_.Starts.clear();
        choosers_.Paths = {c.Picked};
        panel_.SetServer(c.Server);
        panel_.SetDatabase(c.Database);
        panel_.cmdBrowseDatabase_Click();
        const bool offered = !c.ExpectedStart.empty();
        EXPECT_EQ(panel_.cmdBrowseDatabase->isEnabled(), offered);
        ASSERT_EQ(choosers_.Starts.size(), offered ? 1u : 0u);
        for (const auto& start : choosers_.Starts) EXPECT_EQ(start, c.ExpectedStart);
        EXPECT_EQ(panel_.Database(), c.ExpectedDatabase);
    }
}

}  // namespace
}  // namespace varnel
