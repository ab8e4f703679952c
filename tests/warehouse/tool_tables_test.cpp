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
        LockHeld = false;
        db_ = testing::OpenSqlite(testing::CreateSqliteFile(dir_.File("w.db")));
    }
    void TearDown() override { LockHeld = false; }

    testing::TempDir dir_;
    std::unique_ptr<Connection> db_;
};

TEST_F(ToolTablesTest, ArchiveLoginTableIsCreatedWithItsSeededRow) {
    std::string message;
    ASSERT_TRUE(CreateArchiveLoginTable(*db_, message)) << message;
    EXPECT_TRUE(TableExists(*db_, "dwm_archive"));
    auto row = db_->Query(sql::SelectArchiveLogin());
    ASSERT_TRUE(row.Next());
    EXPECT_EQ(row.Get(0), "");
    EXPECT_TRUE(row.GetBool(1));
    EXPECT_TRUE(row.IsNull(2));
    EXPECT_TRUE(row.IsNull(3));
    EXPECT_TRUE(row.IsNull(4));
    row.Close();

    // A second creation fails and says why.
    EXPECT_FALSE(CreateArchiveLoginTable(*db_, message));
    EXPECT_NE(message.find("already exists"), std::string::npos) << message;
}

TEST_F(ToolTablesTest, ArchiveLoginUpdateKeepsQuotesAsTyped) {
    std::string message;
    ASSERT_TRUE(CreateArchiveLoginTable(*db_, message));
    db_->Execute(sql::UpdateArchiveLogin("arch'srv", true, "o'neil", "pa''ss", "db"));
    auto row = db_->Query(sql::SelectArchiveLoginUpper());
    ASSERT_TRUE(row.Next());
    EXPECT_EQ(row.Get(0), "arch'srv");
    EXPECT_EQ(row.GetInt(1), -1);
    EXPECT_EQ(row.Get(2), "o'neil");
    EXPECT_EQ(row.Get(3), "pa''ss");
}

TEST_F(ToolTablesTest, LockTableIsCreatedLockedByTheCurrentUser) {
    CreateLockTable(*db_);
    EXPECT_TRUE(LockHeld);
    auto row = db_->Query(sql::SelectLockRow());
    ASSERT_TRUE(row.Next());
    EXPECT_TRUE(row.GetBool(0));
    EXPECT_EQ(row.Get(1), CurrentUserName());
    EXPECT_FALSE(row.Next());
    row.Close();
    EXPECT_THROW(CreateLockTable(*db_), OdbcError);  // the table exists already
}

TEST_F(ToolTablesTest, InsertingAFreeRowClearsTheFlagAndAFailedInsertChangesNothing) {
    db_->Execute(sql::CreateLockTable());
    LockHeld = true;
    InsertLockRow(*db_, false);
    EXPECT_FALSE(LockHeld);
    EXPECT_EQ(QueryValue(*db_, sql::SelectLockUser()), "");
    EXPECT_EQ(QueryValue(*db_, "select lock from dwm_multiuse"), "0");

    db_->Execute(sql::DropLockTable());
    EXPECT_THROW(InsertLockRow(*db_, true), OdbcError);
    EXPECT_FALSE(LockHeld);
}

TEST(StatementTextTest, ToolTablesMatchTheServerTexts) {
    EXPECT_EQ(sql::CreateArchiveLoginTable(),
              "create table dwm_archive( ID tinyint, Server varchar(100), SecureLogin bit, "
              "SQLUserName varchar(100), SQLPassword varchar(100),  DB varchar(100), constraint "
              "dwm_archive_pk primary key (ID))");
    EXPECT_EQ(sql::SeedArchiveLoginRow(),
              "insert into dwm_archive values (1, '', 1, null, null, null)");
    EXPECT_EQ(
        sql::SelectArchiveLogin(),
        "select Server, SecureLogin, SQLUserName, SQLPassword, DB from dwm_archive where ID = 1");
    EXPECT_EQ(
        sql::SelectArchiveLoginUpper(),
        "SELECT Server, SecureLogin, SQLUserName, SQLPassword, DB FROM dwm_archive WHERE ID = 1");
    EXPECT_EQ(sql::UpdateArchiveLogin("ARCH", true, "sa", "secret", "archive"),
              "update dwm_archive set Server = 'ARCH', SecureLogin = -1, SQLUserName = 'sa', "
              "SQLPassword = 'secret', DB = 'archive' where ID = 1");
    EXPECT_EQ(sql::UpdateArchiveLogin("ARCH", false, "", "", ""),
              "update dwm_archive set Server = 'ARCH', SecureLogin = 0, SQLUserName = '', "
              "SQLPassword = '', DB = '' where ID = 1");
    EXPECT_EQ(sql::CreateLockTable(),
              "create table dwm_multiuse( lock bit, user_name varchar(100))");
    EXPECT_EQ(sql::InsertLockRow(true, "jdoe"), "insert into dwm_multiuse values (1,'jdoe')");
    EXPECT_EQ(sql::InsertLockRow(false, "jdoe"), "insert into dwm_multiuse values (0,'')");
    EXPECT_EQ(sql::SelectLockRow(), "Select * from dwm_multiuse");
    EXPECT_EQ(sql::SelectLockUser(), "Select user_name from dwm_multiuse");
    EXPECT_EQ(sql::DropLockTable(), "drop table dwm_multiuse");
    EXPECT_EQ(sql::TakeLockRow("o'neil"),
              "update dwm_multiuse set lock = 1, user_name = 'o''neil'");
    EXPECT_EQ(sql::FreeLockRow(), "update dwm_multiuse set lock = 0");
}

TEST(StatementTextTest, MetadataWritesMatchTheServerTextsAndDoubleQuotes) {
    EXPECT_EQ(sql::UpdateDimensionSelection("dim_customer", true),
              "update dwm_tables set is_selected = 1 where table_name = 'dim_customer' and "
              "upper(table_type) = 'DIMENSION'");
    EXPECT_EQ(sql::UpdateDimensionSelection("dim_customer", false),
              "update dwm_tables set is_selected = 0 where table_name = 'dim_customer' and "
              "upper(table_type) = 'DIMENSION'");
    EXPECT_EQ(sql::UpdateFactCondition("fact_sales", "sale_date < '2004-01-01'"),
              "update dwm_tables set where_clause = 'sale_date < ''2004-01-01''' where table_name "
              "= 'fact_sales' and upper(table_type) = 'FACT'");
    EXPECT_EQ(SqlLiteral(""), "''");
    EXPECT_EQ(SqlLiteral("'"), "''''");
    EXPECT_EQ(SqlLiteral("a'b''c"), "'a''b''''c'");
}

TEST_F(ToolTablesTest, ConditionWithQuotesIsStoredUnchanged) {
    db_->Execute(
        "create table dwm_tables (table_name varchar(100), table_type varchar(20), "
        "where_clause varchar(1000), is_selected bit)");
    db_->Execute("insert into dwm_tables values ('fact_sales', 'Fact', null, 0)");
    db_->Execute("insert into dwm_tables values ('dim_x', 'dimension', null, 0)");
    const std::string condition = "region = 'O''Hara' or note like '%''%'";
    EXPECT_EQ(db_->Execute(sql::UpdateFactCondition("fact_sales", condition)), 1);
    EXPECT_EQ(
        QueryValue(*db_, "select where_clause from dwm_tables where table_name = 'fact_sales'"),
        condition);
    EXPECT_EQ(db_->Execute(sql::UpdateDimensionSelection("dim_x", true)), 1);
    EXPECT_EQ(QueryValue(*db_, "select is_selected from dwm_tables where table_name = 'dim_x'"),
              "1");
}

}  // namespace
}  // namespace varnel
