// The ODBC layer and the connector against real SQLite files through the real driver.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/sqlite_file.h"
#include "tests/support/temp_dir.h"
#include "warehouse/connector.h"
#include "warehouse/database_access.h"
#include "warehouse/odbc.h"

namespace varnel {
namespace {

using testing::CreateSqliteFile;
using ::testing::HasSubstr;
using testing::OpenSqlite;
using testing::QueryValue;
using ::testing::StartsWith;

class SqliteConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        path_ = CreateSqliteFile(dir_.File("warehouse.db"));
        db_ = OpenSqlite(path_);
    }

    testing::TempDir dir_;
    std::string path_;
    std::unique_ptr<Connection> db_;
};

TEST_F(SqliteConnectionTest, OpensWithItsPropertiesReadableByName) {
    Connector connector;
    connector.Server = "SQLite";
    connector.Database = path_;
    connector.Password = "p;w}d";
    connector.WindowsAuth = true;
    auto connection = connector.Connect(7);
    ASSERT_TRUE(connection);
    EXPECT_EQ(connection->GetEngine(), Engine::Sqlite);
    EXPECT_EQ(connection->Property("Password"), "p;w}d");
    EXPECT_EQ(connection->Property("Connect Timeout"), "7");
    EXPECT_EQ(connection->DefaultDatabase(), path_);
}

TEST_F(SqliteConnectionTest, MissingFileOrAPathTheDriverCannotTakeIsRefusedClearly) {
    const std::string missing = dir_.File("no-such-warehouse.db");
    std::unique_ptr<Connection> connection;
    std::string message = "earlier text";
    EXPECT_FALSE(OpenWarehouseConnection("sqlite", missing, false, "", "", connection, message));
    EXPECT_EQ(connection, nullptr);
    EXPECT_THAT(message, StartsWith("Error while connecting to : sqlite\r\n"));
    EXPECT_THAT(message, HasSubstr(missing));
    EXPECT_FALSE(std::filesystem::exists(missing));

    const std::string odd = CreateSqliteFile(dir_.File("a;b.db"));
    EXPECT_FALSE(OpenWarehouseConnection("sqlite", odd, false, "", "", connection, message));
    EXPECT_THAT(message, HasSubstr("holds ';', '{' or '}'"));
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

TEST_F(SqliteConnectionTest, CountsAndAffectedRowsIncludingNoRowAndAFailedCount) {
    db_->Execute("create table t (a int)");
    EXPECT_EQ(CountRows(*db_, "t"), 0);
    EXPECT_EQ(db_->Execute("insert into t values (1)"), 1);
    EXPECT_EQ(db_->Execute("insert into t values (2)"), 1);
    // The driver reports an update that touches nothing as "no data": still a success.
    EXPECT_EQ(db_->Execute("update t set a = 0 where a < 0"), 0);
    EXPECT_EQ(CountRows(*db_, "t"), 2);
    EXPECT_EQ(db_->Execute("delete from t"), 2);
    EXPECT_THROW(CountRows(*db_, "missing_table"), OdbcError);
}

TEST_F(SqliteConnectionTest, ResultsReadByPositionAndNameWithNullAndTypes) {
    db_->Execute("create table t (id integer, name varchar(20), price decimal(10,2), d datetime)");
    db_->Execute("insert into t values (1, 'one', 1.5, '2005-03-07 00:00:00')");
    db_->Execute("insert into t values (2, null, null, null)");
    auto result = db_->Query("select id, name, price, d from t order by id");
    ASSERT_EQ(result.ColumnCount(), 4u);
    EXPECT_EQ(result.Column(3).Kind, ColumnKind::Date);
    EXPECT_EQ(result.IndexOf("PRICE"), 2u);
    ASSERT_TRUE(result.Next());
    EXPECT_EQ(result.Get("Name"), "one");
    EXPECT_EQ(result.Get(3), "2005-03-07 00:00:00");
    ASSERT_TRUE(result.Next());
    EXPECT_TRUE(result.IsNull(1));
    EXPECT_EQ(result.GetInt(2), std::nullopt);
    EXPECT_FALSE(result.Next());
    EXPECT_THROW(result.IndexOf("nope"), std::runtime_error);
}

TEST_F(SqliteConnectionTest, ParametersOfEveryKindRoundTripIncludingNullAndLongText) {
    db_->Execute("create table t (s varchar(50), n integer, r double, d datetime)");
    auto insert = db_->Prepare("insert into t values (?, ?, ?, ?)");
    const Timestamp when{2005, 3, 7, 23, 5, 9};
    const std::string text = "O'Brien; drop table t";
    insert.Execute({{"s", ValueType::Text, 0, 0, 0, text},
                    {"n", ValueType::Integer, 0, 0, 0, std::int64_t{-9000000000}},
                    {"r", ValueType::Double, 0, 0, 0, 2.25},
                    {"d", ValueType::Timestamp, 0, 0, 0, when}});
    insert.Execute({{"s", ValueType::Text, 0, 0, 0, {}},
                    {"n", ValueType::Integer, 0, 0, 0, {}},
                    {"r", ValueType::Double, 0, 0, 0, {}},
                    {"d", ValueType::Timestamp, 0, 0, 0, {}}});
    // Dates are bound as the ISO text the warehouse stores, so they compare equal.
    EXPECT_EQ(QueryValue(*db_,
                         "select s || '|' || n || '|' || r || '|' || d from t "
                         "where n is not null"),
              text + "|-9000000000|2.25|2005-03-07 23:05:09");
    EXPECT_EQ(QueryValue(*db_, "select count(*) from t where coalesce(s, n, r, d) is null"), "1");

    Command select{"select count(*) from t where d = ? and s = ?", {}, 60, false};
    AddCommandParameter(select, "d", AdoType::DbTimeStamp, ParameterDirection::Input, 0, 0, 0,
                        when);
    AddCommandParameter(select, "s", AdoType::VarChar, ParameterDirection::Input, 0, 0, 0, text);
    auto result = db_->Query(select);
    ASSERT_TRUE(result.Next());
    EXPECT_EQ(result.GetInt(0), 1);
    result.Close();

    const std::string big(20000, 'x');
    Command insertBig{"update t set s = ?", {}, 60, false};
    AddCommandParameter(insertBig, "v", AdoType::VarChar, ParameterDirection::Input, 0, 0, 0, big);
    db_->Execute(insertBig);
    EXPECT_EQ(QueryValue(*db_, "select s from t limit 1"), big);
}

TEST_F(SqliteConnectionTest, TransactionRollsBackUnlessCommittedAndDeferredOnesWaitForNoWriter) {
    db_->Execute("create table t (n integer)");
    {
        Transaction transaction(*db_);
        db_->Execute("insert into t values (1)");
    }
    EXPECT_EQ(CountRows(*db_, "t"), 0);
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
    EXPECT_EQ(QueryValue(*db_, "select n from t"), "2");
    // A deferred transaction takes no lock up front, so it begins and reads while
    // another connection holds the write lock.
    auto writer = OpenSecondConnection(*db_);
    Transaction held(*writer);
    {
        Transaction transaction(*db_, Transaction::Start::Deferred);
        EXPECT_EQ(QueryValue(*db_, "select n from t"), "2");
        transaction.Commit();
    }
    held.Rollback();
}

TEST_F(SqliteConnectionTest, OpenCursorOnOneConnectionWhileAnotherCommits) {
    db_->Execute("create table t (n integer)");
    for (int i = 0; i < 10; ++i) db_->Execute("insert into t values (" + std::to_string(i) + ")");
    auto second = OpenSecondConnection(*db_);
    ASSERT_TRUE(second);
    auto cursor = db_->Query("select n from t order by n");
    int seen = 0;
    while (cursor.Next()) {
        Transaction transaction(*second);
        second->Execute("delete from t where n = " + *cursor.Get(0));
        transaction.Commit();
        ++seen;
    }
    cursor.Close();
    EXPECT_EQ(seen, 10);
    EXPECT_EQ(CountRows(*db_, "t"), 0);
}

TEST_F(SqliteConnectionTest, DriverErrorsCarryStateTextAndStatement) {
    try {
        db_->Execute("select nope from nowhere");
        FAIL() << "no error";
    } catch (const OdbcError& error) {
        EXPECT_EQ(error.SqlState(), "HY000");
        EXPECT_THAT(error.what(), HasSubstr("no such table: nowhere"));
        EXPECT_EQ(error.Sql(), "select nope from nowhere");
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
    EXPECT_EQ(testing::QueryValue(*db_, "select group_concat(a) from t"), "1,3");
}

TEST(FolderAndTimestampTest, FoldersAreMadeAtEveryLevelAndTimestampsReadIsoText) {
    testing::TempDir dir;
    const std::string deep = dir.File("a/b/c");
    CreateFolderPath(deep);
    CreateFolderPath(deep);  // already there: nothing happens
    EXPECT_TRUE(FolderExists(deep));
    EXPECT_EQ((Timestamp{2005, 3, 7, 0, 0, 0}.ToIsoText()), "2005-03-07 00:00:00");
    EXPECT_EQ(Timestamp::FromIsoText("2005-03-07 23:05:09.000"), (Timestamp{2005, 3, 7, 23, 5, 9}));
    EXPECT_EQ(Timestamp::FromIsoText("2005-03-07"), (Timestamp{2005, 3, 7, 0, 0, 0}));
    EXPECT_EQ(Timestamp::FromIsoText("07/03/2005"), std::nullopt);
}

}  // namespace
}  // namespace varnel
