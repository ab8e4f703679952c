// The ODBC layer and the connector against real SQLite files through the real driver.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/matchers.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/temp_dir.h"
#include "warehouse/connector.h"
#include "warehouse/database_access.h"
#include "warehouse/odbc.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;
using testing::QueryValue;
using testing::ThrowsWithMessage;

class SqliteConnectionTest : public ::testing::Test {
  protected:
    testing::TempDir dir_;
    const std::string path_ = testing::CreateSqliteFile(dir_.File("warehouse.db"));
    std::unique_ptr<Connection> db_ = testing::OpenSqlite(path_);
};

TEST_F(SqliteConnectionTest, AMissingFileOrAPathTheDriverCannotTakeIsRefusedClearly) {
    const std::string missing = dir_.File("no-such-warehouse.db");
    std::unique_ptr<Connection> connection;
    std::string message = "earlier text";
    EXPECT_FALSE(OpenWarehouseConnection("SQLite", missing, false, "", "", connection, message));
    EXPECT_EQ(connection, nullptr);
    EXPECT_THAT(message, ::testing::StartsWith("Error while connecting to : SQLite\r\n"));
    EXPECT_THAT(message, HasSubstr(missing));
    EXPECT_FALSE(std::filesystem::exists(missing));
    const std::string odd = testing::CreateSqliteFile(dir_.File("a;b.db"));
    EXPECT_FALSE(OpenWarehouseConnection("sqlite", odd, false, "", "", connection, message));
    EXPECT_THAT(message, HasSubstr("holds ';', '{' or '}'"));
    ASSERT_TRUE(OpenWarehouseConnection("sqlite", path_, false, "", "", connection, message));
    EXPECT_EQ(connection->GetEngine(), Engine::Sqlite);
}

TEST_F(SqliteConnectionTest, CatalogFindsTablesColumnsAndIndexesWithoutWildcards) {
    db_->Execute("create table dwm_tables (table_name varchar(100))");
    db_->Execute("create table fact_b (a_id integer)");
    EXPECT_TRUE(TableExists(*db_, "DWM_Tables"));
    EXPECT_FALSE(TableExists(*db_, "dwm_tab%"));
    std::string message;
    EXPECT_TRUE(ColumnExists(*db_, " dwm_tables ", " TABLE_NAME ", message));
    EXPECT_FALSE(ColumnExists(*db_, "dwm_tables", "is_deletable", message));
    EXPECT_FALSE(TableHasIndex(*db_, "fact_b", message));
    db_->Execute("create index ix_fact_b on fact_b (a_id)");
    EXPECT_TRUE(TableHasIndex(*db_, "fact_b ", message));
    EXPECT_EQ(message, "");
}

TEST_F(SqliteConnectionTest, ValuesOfEveryKindRoundTripByPositionAndNameWithNull) {
    db_->Execute("create table t (s varchar(50), n integer, r decimal(10,2), d datetime)");
    auto insert = db_->Prepare("insert into t values (?, ?, ?, ?)");
    const Timestamp when{2005, 3, 7, 23, 5, 9};
    const std::string text = "O'Brien; drop table t";
    EXPECT_EQ(insert.Execute({{"s", ValueType::Text, 0, 0, 0, text},
                              {"n", ValueType::Integer, 0, 0, 0, std::int64_t{-9000000000}},
                              {"r", ValueType::Double, 0, 0, 0, 2.25},
                              {"d", ValueType::Timestamp, 0, 0, 0, when}}),
              1);
    insert.Execute({{"s", ValueType::Text, 0, 0, 0, {}},
                    {"n", ValueType::Integer, 0, 0, 0, {}},
                    {"r", ValueType::Double, 0, 0, 0, {}},
                    {"d", ValueType::Timestamp, 0, 0, 0, {}}});
    auto result = db_->Query("select s, n, r, d from t order by n desc");
    ASSERT_EQ(result.ColumnCount(), 4u);
    EXPECT_EQ(result.Column(3).Kind, ColumnKind::Date);
    EXPECT_EQ(result.IndexOf("R"), 2u);
    EXPECT_THROW(result.IndexOf("nope"), std::runtime_error);
    ASSERT_TRUE(result.Next());
    EXPECT_EQ(result.Get("S"), text);
    EXPECT_EQ(result.GetInt(1), -9000000000);
    EXPECT_EQ(result.Get(2), "2.25");
    // Dates are bound as the ISO text the warehouse stores, so they compare equal.
    EXPECT_EQ(result.Get(3), "2005-03-07 23:05:09");
    ASSERT_TRUE(result.Next());
    EXPECT_TRUE(result.IsNull(0));
    EXPECT_EQ(result.GetInt(1), std::nullopt);
    EXPECT_FALSE(result.Next());
    result.Close();

    Command select{"select count(*) from t where d = ? and s = ?", {}, 60, false};
    AddCommandParameter(select, "d", AdoType::DbTimeStamp, ParameterDirection::Input, 0, 0, 0,
                        when);
    AddCommandParameter(select, "s", AdoType::VarChar, ParameterDirection::Input, 0, 0, 0, text);
    auto found = db_->Query(select);
    ASSERT_TRUE(found.Next());
    EXPECT_EQ(found.GetInt(0), 1);
    found.Close();
    const std::string big(20000, 'x');
    Command update{"update t set s = ?", {}, 60, false};
    AddCommandParameter(update, "v", AdoType::VarChar, ParameterDirection::Input, 0, 0, 0, big);
    EXPECT_EQ(db_->Execute(update), 2);
    EXPECT_EQ(QueryValue(*db_, "select s from t limit 1"), big);
    // The driver reports an update that touches nothing as "no data": still a success.
    EXPECT_EQ(db_->Execute("update t set n = 0 where n < -1e12"), 0);
    EXPECT_EQ(CountRows(*db_, "t"), 2);
    EXPECT_THROW(CountRows(*db_, "missing_table"), OdbcError);
}

TEST_F(SqliteConnectionTest, TransactionRollsBackUnlessCommittedAndDeferredOnesWaitForNoWriter) {
    db_->Execute("create table t (n integer)");
    {
        Transaction transaction(*db_);
        db_->Execute("insert into t values (1)");
    }
    {
        Transaction transaction(*db_);
        db_->Execute("insert into t values (2)");
        transaction.Commit();
    }
    {
        Transaction transaction(*db_);
        db_->Execute("delete from t");
        transaction.Rollback();
        EXPECT_FALSE(transaction.Active());
    }
    EXPECT_EQ(QueryValue(*db_, "select group_concat(n) from t"), "2");
    // A deferred transaction takes no lock up front, so it begins and reads while
    // another connection holds the write lock.
    auto writer = OpenSecondConnection(*db_);
    Transaction held(*writer);
    Transaction deferred(*db_, Transaction::Start::Deferred);
    EXPECT_EQ(QueryValue(*db_, "select n from t"), "2");
    deferred.Commit();
    held.Rollback();
}

TEST_F(SqliteConnectionTest, OpenCursorOnOneConnectionWhileAnotherCommits) {
    db_->Execute("create table t (n integer)");
    for (int i = 0; i < 10; ++i) db_->Execute("insert into t values (" + std::to_string(i) + ")");
    auto second = OpenSecondConnection(*db_);
    auto cursor = db_->Query("select n from t order by n");
    int seen = 0;
    for (; cursor.Next(); ++seen) {
        Transaction transaction(*second);
        second->Execute("delete from t where n = " + *cursor.Get(0));
        transaction.Commit();
    }
    cursor.Close();
    EXPECT_EQ(seen, 10);
    EXPECT_EQ(CountRows(*db_, "t"), 0);
}

TEST_F(SqliteConnectionTest, DriverErrorsCarryStateTextAndStatement) {
    const std::string sql = "select nope from nowhere";
    EXPECT_THAT([&] { db_->Execute(sql); }, ThrowsWithMessage<OdbcError>("no such table: nowhere"));
    try {
        db_->Execute(sql);
    } catch (const OdbcError& error) {
        EXPECT_EQ(error.SqlState() + "|" + error.Sql(), "HY000|" + sql);
    }
    db_->Close();
    EXPECT_THROW(db_->Execute("select 1"), std::runtime_error);
}

// A cancel request that comes between two statements stops the next one before it
// starts, once; none stops a statement while cancelling is not allowed.
TEST_F(SqliteConnectionTest, ACancelBetweenStatementsStopsTheNextOneOnce) {
    db_->Execute("create table t (a integer)");
    RequestStatementCancel();
    db_->Execute("insert into t values (1)");  // not allowed: the request is dropped
    AllowStatementCancel(true);
    RequestStatementCancel();
    CancelRequestedStatement();  // the watcher finds nothing executing: it waits
    try {
        db_->Execute("insert into t values (2)");
        ADD_FAILURE() << "the statement ran after the cancel request";
    } catch (const OdbcError& error) {
        EXPECT_EQ(error.SqlState(), "HY008");
    }
    db_->Execute("insert into t values (3)");
    AllowStatementCancel(false);
    EXPECT_EQ(QueryValue(*db_, "select group_concat(a) from t"), "1,3");
}

TEST(FolderAndTimestampTest, FoldersAreMadeAtEveryLevelAndTimestampsReadIsoText) {
    testing::TempDir dir;
    const std::string deep = dir.File("a/b/c");
    CreateFolderPath(deep);
    CreateFolderPath(deep);  // already there: nothing happens
    EXPECT_TRUE(FolderExists(deep));
    EXPECT_EQ(Timestamp::FromIsoText("2005-03-07 23:05:09.000"), (Timestamp{2005, 3, 7, 23, 5, 9}));
    EXPECT_EQ(Timestamp::FromIsoText("2005-03-07")->ToIsoText(), "2005-03-07 00:00:00");
    EXPECT_EQ(Timestamp::FromIsoText("07/03/2005"), std::nullopt);
}

}  // namespace
}  // namespace varnel
