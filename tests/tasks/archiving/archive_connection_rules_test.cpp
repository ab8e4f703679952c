// The rules the archive settings must pass, with real SQLite files for the rule
// that the archive is not the warehouse itself and for the trial connection.

#include "tasks/archiving/archive_connection_rules.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/sqlite_file.h"
#include "tests/support/temp_dir.h"
#include "tests/support/warehouse_builder.h"
#include "warehouse/tool_tables.h"

namespace varnel {
namespace {

using ::testing::StartsWith;

const std::string kRealName = "Please specify the real name of the server.";
const std::string kBothWindows =
    "It is not possible to have both connections set to Windows authentication.\r\n"
    "Please select SQL Server authentication for either the data warehouse or the archive "
    "database";
const std::string kOwnDatabase =
    "You cannot archive the data warehouse to its own database. Please specify a different "
    "database.";

TEST(ArchiveConnectionRulesTest, SettingsBreakingARuleGetItsMessage) {
    const ConnectionTarget warehouse{"DwServer", "Sales", false, "dw", "pw", 60};
    const ConnectionTarget windowsWarehouse{"DwServer", "Sales", true, "", "", 60};
    const struct {
        ConnectionTarget Warehouse;
        ArchiveLogin Archive;
        std::string Message;
    } cases[] = {
        {warehouse, {"", false, "u", "p", "Arch"}, kRealName},
        {warehouse, {".", false, "u", "p", "Arch"}, kRealName},
        {warehouse, {"(local)", false, "u", "p", "Arch"}, kRealName},
        {warehouse, {"(LOCAL)", false, "u", "p", "Arch"}, ""},
        {warehouse, {" ", false, "u", "p", "Arch"}, ""},
        {windowsWarehouse, {"ArchServer", true, "", "", "Arch"}, kBothWindows},
        {windowsWarehouse, {"ArchServer", false, "u", "p", "Arch"}, ""},
        {warehouse, {"ArchServer", true, "", "", "Arch"}, ""},
        {warehouse, {"dwserver", false, "u", "p", "SALES"}, kOwnDatabase},
        {warehouse, {"dwserver", false, "u", "p", "Sales_Archive"}, ""},
        {warehouse, {"OtherServer", false, "u", "p", "Sales"}, ""},
        // The first rule broken is the one reported.
        {windowsWarehouse, {"(local)", true, "", "", "Sales"}, kRealName},
        {windowsWarehouse, {"DwServer", true, "", "", "Sales"}, kBothWindows},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ArchiveSettingsProblem(c.Warehouse, c.Archive), c.Message)
            << c.Archive.Server << "/" << c.Archive.Database;
}

TEST(ArchiveConnectionRulesTest, SqliteFilesAreComparedAsFiles) {
    testing::TempDir dir;
    const std::string upper = testing::CreateSqliteFile(dir.File("W.db"));
    const std::string lower = testing::CreateSqliteFile(dir.File("w.db"));
    const ConnectionTarget warehouse{"sqlite", upper, false, "", "", 60};
    const std::string dotted = (dir.Path() / "." / "W.db").string();

    EXPECT_EQ(ValidateArchiveConnection(warehouse, {"SQLite", false, "", "", dotted}),
              kOwnDatabase);
    EXPECT_EQ(ValidateArchiveConnection(warehouse, {"sqlite", false, "", "", upper}), kOwnDatabase);
    // Another file whose name differs in letter case only is another database.
    EXPECT_EQ(ValidateArchiveConnection(warehouse, {"sqlite", false, "", "", lower}), "");
    EXPECT_THAT(
        ValidateArchiveConnection(warehouse, {"sqlite", false, "", "", dir.File("missing.db")}),
        StartsWith("Error while connecting to : sqlite\r\n"));
}

TEST(ArchiveConnectionRulesTest, StoredLoginKeepsNullsApartFromEmptyTexts) {
    testing::WarehouseBuilder w;
    auto db = w.OpenConnection();
    std::string message;
    ASSERT_TRUE(CreateArchiveLoginTable(*db, message)) << message;
    StoredArchiveLogin login;
    ASSERT_TRUE(ReadStoredArchiveLogin(*db, login, message)) << message;
    EXPECT_EQ(login,
              (StoredArchiveLogin{"", true, std::nullopt, std::nullopt, std::nullopt, true}));

    w.Exec("UPDATE dwm_archive SET Server = NULL, SecureLogin = NULL, SQLUserName = '', DB = 'a'");
    ASSERT_TRUE(ReadStoredArchiveLogin(*db, login, message));
    EXPECT_EQ(login, (StoredArchiveLogin{std::nullopt, std::nullopt, "", std::nullopt, "a", true}));

    w.Exec("DELETE FROM dwm_archive");
    ASSERT_TRUE(ReadStoredArchiveLogin(*db, login, message));
    EXPECT_FALSE(login.Found);
    w.Exec("DROP TABLE dwm_archive");
    EXPECT_FALSE(ReadStoredArchiveLogin(*db, login, message));
    EXPECT_THAT(message, ::testing::HasSubstr("no such table: dwm_archive"));
}

}  // namespace
}  // namespace varnel
