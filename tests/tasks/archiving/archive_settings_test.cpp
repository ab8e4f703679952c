// The archive settings: the rules they must pass, the stored login, and the
// conditions dialog's data, on real SQLite files.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tasks/archiving/archive_connection_rules.h"
#include "tasks/archiving/fact_conditions.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/temp_dir.h"
#include "tests/support/warehouse_builder.h"
#include "warehouse/tool_tables.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

const std::string kRealName = "Please specify the real name of the server.";
const std::string kBothWindows =
    "It is not possible to have both connections set to Windows authentication.\r\n"
    "Please select SQL Server authentication for either the data warehouse or the archive "
    "database";
const std::string kOwnDatabase =
    "You cannot archive the data warehouse to its own database. Please specify a different "
    "database.";

TEST(ArchiveSettingsTest, SettingsBreakingARuleGetItsMessage) {
    const ConnectionTarget warehouse{"DwServer", "Sales", false, "dw", "pw", 60};
    const ConnectionTarget windows{"DwServer", "Sales", true, "", "", 60};
    // The dialog's tests take the other rules' cases, SQLite files among them.
    const struct {
        ConnectionTarget Warehouse;
        ArchiveLogin Archive;
        std::string Message;
    } cases[] = {
        {warehouse, {".", false, "u", "p", "Arch"}, kRealName},
        {warehouse, {"ArchServer", true, "", "", "Arch"}, ""},
        {warehouse, {"dwserver", false, "u", "p", "SALES"}, kOwnDatabase},
        {warehouse, {"OtherServer", false, "u", "p", "Sales"}, ""},
        // The first rule broken is the one reported.
        {windows, {"(local)", true, "", "", "Sales"}, kRealName},
        {windows, {"DwServer", true, "", "", "Sales"}, kBothWindows},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ArchiveSettingsProblem(c.Warehouse, c.Archive), c.Message)
            << c.Archive.Server << "/" << c.Archive.Database;

    // A SQLite file name differing in letter case is another file.
    testing::TempDir dir;
    const ConnectionTarget file{
        "sqlite", testing::CreateSqliteFile(dir.File("W.db")), false, "", "", 60};
    const std::string lower = testing::CreateSqliteFile(dir.File("w.db"));
    EXPECT_EQ(ValidateArchiveConnection(file, {"sqlite", false, "", "", lower}), "");
}

class FactConditionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        w_.Fact("fact_a", {"id INTEGER", "region TEXT"}, {.WhereClause = "id > 1"});
        w_.Register({.Table = "fact_a", .Type = "Fact", .WhereClause = "id > 5"});
        w_.Fact("fact_b", {"id INTEGER"}, {.WhereClause = testing::Null});
        w_.Register({.Table = "fact_gone", .Type = "FACT", .WhereClause = "id = 1"});
        w_.Rows("fact_a", {"id", "region"}, {{1, "North"}, {2, "South"}});
    }

    testing::WarehouseBuilder w_;
    std::unique_ptr<Connection> db_ = w_.OpenConnection();
    std::string message_;
};

TEST_F(FactConditionsTest, LoadOffersExistingTablesAndSaveStoresConditionsUnchanged) {
    ConditionRows rows;
    ASSERT_TRUE(LoadFactConditions(rows, *db_, message_)) << message_;
    // The greater condition of fact_a's two rows; fact_gone no longer exists.
    EXPECT_THAT(
        rows, ElementsAre(ConditionRow{"fact_a", "id > 5"}, ConditionRow{"fact_b", std::nullopt}));
    rows[0].WhereClause = "  region = 'O''Brien''s'  ";
    ASSERT_TRUE(SaveFactConditions(rows, *db_, message_)) << message_;
    EXPECT_THAT(w_.Lines("SELECT table_name, where_clause FROM dwm_tables ORDER BY rowid"),
                ElementsAre("fact_a|region = 'O''Brien''s'", "fact_a|region = 'O''Brien''s'",
                            "fact_b|", "fact_gone|id = 1"));
}

TEST_F(FactConditionsTest, SyntaxTestCompilesWithoutRunning) {
    // A statement that would change data is compiled, not run.
    EXPECT_TRUE(TestConditionSyntax("delete from fact_a where id > 0", *db_, message_));
    EXPECT_EQ(w_.Count("fact_a"), 2);
    // SQLite would compare a misspelt double-quoted column as a string.
    const std::pair<std::string, std::string> cases[] = {
        {"regoin = 'North'", "no such column: regoin"},
        {R"("fact_a"."regoin" = 'x')", "no such column: fact_a.regoin"},
        {R"("fact_a"."region" = 'say "North"')", ""},
    };
    for (const auto& [condition, fault] : cases) {
        message_.clear();
        EXPECT_EQ(TestConditionSyntax("select * from fact_a where " + condition, *db_, message_),
                  fault.empty())
            << condition;
        EXPECT_THAT(message_, HasSubstr(fault));
    }
}

TEST_F(FactConditionsTest, ArchiveLoginRoundTripsKeepingNullsApartFromEmptyTexts) {
    ASSERT_TRUE(CreateArchiveLoginTable(*db_, message_)) << message_;
    const ArchiveLogin typed{"arch'srv", false, "o'neil", "p'w;}", "archive"};
    ASSERT_TRUE(WriteArchiveLogin(*db_, typed, message_)) << message_;
    ArchiveLogin login;
    ASSERT_TRUE(ReadArchiveLogin(*db_, login, message_));
    EXPECT_EQ(login, typed);
    w_.Exec("UPDATE dwm_archive SET Server = NULL, SecureLogin = NULL, SQLUserName = ''");
    StoredArchiveLogin stored;
    ASSERT_TRUE(ReadStoredArchiveLogin(*db_, stored, message_));
    EXPECT_EQ(stored,
              (StoredArchiveLogin{std::nullopt, std::nullopt, "", "p'w;}", "archive", true}));

    w_.Exec("DELETE FROM dwm_archive");
    ASSERT_TRUE(ReadStoredArchiveLogin(*db_, stored, message_));
    EXPECT_FALSE(stored.Found);
    EXPECT_FALSE(WriteArchiveLogin(*db_, typed, message_));
    EXPECT_EQ(message_,
              "The archive login could not be saved: dwm_archive has no row with ID = 1.");
}

}  // namespace
}  // namespace varnel
