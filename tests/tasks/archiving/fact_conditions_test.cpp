// The conditions dialog's data and the archive login.

#include "tasks/archiving/fact_conditions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/warehouse_builder.h"
#include "warehouse/tool_tables.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::Null;
using testing::WarehouseBuilder;

class FactConditionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        w_.Fact("fact_a", {"id INTEGER", "region TEXT"},
                {.PrimaryKey = "id", .WhereClause = "id > 1"});
        w_.Register({.Table = "fact_a", .Type = "Fact", .WhereClause = "id > 5"});
        w_.Fact("fact_b", {"id INTEGER"}, {.WhereClause = Null});
        w_.Register({.Table = "fact_gone", .Type = "FACT", .WhereClause = "id = 1"});
        w_.Rows("fact_a", {"id", "region"}, {{1, "North"}, {2, "South"}});
        db_ = w_.OpenConnection();
    }

    WarehouseBuilder w_;
    std::unique_ptr<Connection> db_;
    std::string message_;
};

TEST_F(FactConditionsTest, LoadOffersExistingTablesAndSaveStoresConditionsUnchanged) {
    ConditionRows rows;
    ASSERT_TRUE(LoadFactConditions(rows, *db_, message_)) << message_;
    // The greater condition of fact_a's two rows; fact_gone no longer exists.
    EXPECT_THAT(
        rows, ElementsAre(ConditionRow{"fact_a", "id > 5"}, ConditionRow{"fact_b", std::nullopt}));

    rows[0].WhereClause = "  region = 'North' or region = 'O''Brien''s'  ";
    rows[1].WhereClause = std::nullopt;
    ASSERT_TRUE(SaveFactConditions(rows, *db_, message_)) << message_;
    EXPECT_THAT(w_.Lines("SELECT table_name, where_clause FROM dwm_tables ORDER BY rowid"),
                ElementsAre("fact_a|region = 'North' or region = 'O''Brien''s'",
                            "fact_a|region = 'North' or region = 'O''Brien''s'", "fact_b|",
                            "fact_gone|id = 1"));
    ConditionRows again;
    w_.Exec("DROP TABLE dwm_tables");
    EXPECT_FALSE(LoadFactConditions(again, *db_, message_));
    EXPECT_THAT(message_, HasSubstr("no such table: dwm_tables"));
    EXPECT_TRUE(again.empty());
}

TEST_F(FactConditionsTest, SyntaxTestCompilesWithoutRunning) {
    EXPECT_FALSE(
        TestConditionSyntax("select * from fact_a where regoin = 'North'", *db_, message_));
    EXPECT_THAT(message_, HasSubstr("no such column: regoin"));
    // A statement that would change data is compiled, not run.
    EXPECT_TRUE(TestConditionSyntax("delete from fact_a where id > 0", *db_, message_));
    EXPECT_EQ(w_.Count("fact_a"), 2);

    // SQLite would compare a misspelt double-quoted column as a string.
    const struct {
        std::string Condition;
        std::string Message;
    } cases[] = {
        {R"("regoin" > '2020')", "no such column: regoin"},
        {R"("fact_a"."regoin" = 'x')", "no such column: fact_a.regoin"},
        {R"("region" = 'North')", ""},
        {R"("fact_a"."region" = 'say "North"')", ""},
    };
    for (const auto& c : cases) {
        message_.clear();
        EXPECT_EQ(TestConditionSyntax("select * from fact_a where " + c.Condition, *db_, message_),
                  c.Message.empty())
            << c.Condition;
        if (c.Message.empty())
            EXPECT_EQ(message_, "");
        else
            EXPECT_THAT(message_, HasSubstr(c.Message));
    }
}

TEST_F(FactConditionsTest, ArchiveLoginRoundTripsAndAMissingRowIsNoSilentSuccess) {
    ASSERT_TRUE(CreateArchiveLoginTable(*db_, message_)) << message_;
    ArchiveLogin login;
    const ArchiveLogin typed{"arch'srv", false, "o'neil", "p'w;}", "archive"};
    ASSERT_TRUE(WriteArchiveLogin(*db_, typed, message_)) << message_;
    ASSERT_TRUE(ReadArchiveLogin(*db_, login, message_));
    EXPECT_EQ(login, typed);

    w_.Exec("DELETE FROM dwm_archive");
    EXPECT_FALSE(WriteArchiveLogin(*db_, typed, message_));
    EXPECT_EQ(message_,
              "The archive login could not be saved: dwm_archive has no row with ID = 1.");
}

}  // namespace
}  // namespace varnel
