// The tool's own tables and the statement texts on the metadata tables.

#include "warehouse/tool_tables.h"

#include <gtest/gtest.h>

#include "base/current_user.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/temp_dir.h"
#include "warehouse/database_access.h"
#include "warehouse/metadata_statements.h"
#include "warehouse/sql_literal.h"

namespace varnel {
namespace {

using testing::QueryValue;

class ToolTablesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        db_ = testing::OpenSqlite(testing::CreateSqliteFile(dir_.File("w.db")));
    }

    testing::TempDir dir_;
    std::unique_ptr<Connection> db_;
    bool lockHeld_ = false;
};

TEST_F(ToolTablesTest, ArchiveLoginTableIsSeededOnceAndUpdatesKeepQuotesAsTyped) {
    std::string message;
    ASSERT_TRUE(CreateArchiveLoginTable(*db_, message)) << message;
    {
        auto row = db_->Query(sql::SelectArchiveLogin());
        ASSERT_TRUE(row.Next());
        EXPECT_EQ(row.Get(0), "");
        EXPECT_TRUE(row.GetBool(1));
        EXPECT_TRUE(row.IsNull(2));
        EXPECT_TRUE(row.IsNull(4));
    }
    EXPECT_FALSE(CreateArchiveLoginTable(*db_, message));
    EXPECT_NE(message.find("already exists"), std::string::npos) << message;

    db_->Execute(sql::UpdateArchiveLogin("arch'srv", true, "o'neil", "pa''ss", "db"));
    auto row = db_->Query(sql::SelectArchiveLoginUpper());
    ASSERT_TRUE(row.Next());
    EXPECT_EQ(row.Get(0), "arch'srv");
    EXPECT_EQ(row.GetInt(1), -1);
    EXPECT_EQ(row.Get(2), "o'neil");
    EXPECT_EQ(row.Get(3), "pa''ss");
}

TEST_F(ToolTablesTest, LockTableIsCreatedLockedByTheCurrentUserAndAFreeRowClearsTheFlag) {
    CreateLockTable(*db_, lockHeld_);
    EXPECT_TRUE(lockHeld_);
    EXPECT_EQ(QueryValue(*db_, "select lock || '|' || user_name from dwm_multiuse"),
              "1|" + CurrentUserName());
    EXPECT_THROW(CreateLockTable(*db_, lockHeld_), OdbcError);  // the table exists already

    db_->Execute(sql::DropLockTable());
    db_->Execute(sql::CreateLockTable());
    InsertLockRow(*db_, false, lockHeld_);
    EXPECT_FALSE(lockHeld_);
    EXPECT_EQ(QueryValue(*db_, "select lock || '|' || user_name from dwm_multiuse"), "0|");

    db_->Execute(sql::DropLockTable());
    EXPECT_THROW(InsertLockRow(*db_, true, lockHeld_), OdbcError);
    EXPECT_FALSE(lockHeld_);  // a failed insert changes nothing
}

TEST(StatementTextTest, TextsMatchTheServerTextsAndDoubleQuotes) {
    const std::pair<std::string, std::string> cases[] = {
        {sql::CreateArchiveLoginTable(),
         "create table dwm_archive( ID tinyint, Server varchar(100), SecureLogin bit, "
         "SQLUserName varchar(100), SQLPassword varchar(100),  DB varchar(100), constraint "
         "dwm_archive_pk primary key (ID))"},
        {sql::SeedArchiveLoginRow(), "insert into dwm_archive values (1, '', 1, null, null, null)"},
        {sql::SelectArchiveLogin(),
         "select Server, SecureLogin, SQLUserName, SQLPassword, DB from dwm_archive where ID = 1"},
        {sql::SelectArchiveLoginUpper(),
         "SELECT Server, SecureLogin, SQLUserName, SQLPassword, DB FROM dwm_archive WHERE ID = 1"},
        {sql::UpdateArchiveLogin("ARCH", true, "sa", "secret", "archive"),
         "update dwm_archive set Server = 'ARCH', SecureLogin = -1, SQLUserName = 'sa', "
         "SQLPassword = 'secret', DB = 'archive' where ID = 1"},
        {sql::UpdateArchiveLogin("ARCH", false, "", "", ""),
         "update dwm_archive set Server = 'ARCH', SecureLogin = 0, SQLUserName = '', "
         "SQLPassword = '', DB = '' where ID = 1"},
        {sql::CreateLockTable(), "create table dwm_multiuse( lock bit, user_name varchar(100))"},
        {sql::InsertLockRow(true, "jdoe"), "insert into dwm_multiuse values (1,'jdoe')"},
        {sql::InsertLockRow(false, "jdoe"), "insert into dwm_multiuse values (0,'')"},
        {sql::SelectLockRow(), "Select * from dwm_multiuse"},
        {sql::SelectLockUser(), "Select user_name from dwm_multiuse"},
        {sql::DropLockTable(), "drop table dwm_multiuse"},
        {sql::TakeLockRow("o'neil"), "update dwm_multiuse set lock = 1, user_name = 'o''neil'"},
        {sql::FreeLockRow(), "update dwm_multiuse set lock = 0"},
        {sql::UpdateDimensionSelection("dim_customer", true),
         "update dwm_tables set is_selected = 1 where table_name = 'dim_customer' and "
         "upper(table_type) = 'DIMENSION'"},
        {sql::UpdateDimensionSelection("dim_customer", false),
         "update dwm_tables set is_selected = 0 where table_name = 'dim_customer' and "
         "upper(table_type) = 'DIMENSION'"},
        {sql::UpdateFactCondition("fact_sales", "sale_date < '2004-01-01'"),
         "update dwm_tables set where_clause = 'sale_date < ''2004-01-01''' where table_name "
         "= 'fact_sales' and upper(table_type) = 'FACT'"},
        {SqlLiteral(""), "''"},
        {SqlLiteral("a'b''c"), "'a''b''''c'"},
    };
    for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
}

TEST_F(ToolTablesTest, ConditionWithQuotesIsStoredUnchanged) {
    db_->Execute(
        "create table dwm_tables (table_name varchar(100), table_type varchar(20), "
        "where_clause varchar(1000), is_selected bit)");
    db_->Execute("insert into dwm_tables values ('fact_sales', 'Fact', null, 0)");
    const std::string condition = "region = 'O''Hara' or note like '%''%'";
    EXPECT_EQ(db_->Execute(sql::UpdateFactCondition("fact_sales", condition)), 1);
    EXPECT_EQ(QueryValue(*db_, "select where_clause from dwm_tables"), condition);
}

}  // namespace
}  // namespace varnel
