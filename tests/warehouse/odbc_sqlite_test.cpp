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
    connector.UserName = "operator";
    connector.Password = "p;w}d";
    connector.WindowsAuth = true;
    auto connection = connector.Connect(7);
    ASSERT_TRUE(connection);
    EXPECT_TRUE(connection->IsOpen());
    EXPECT_EQ(connection->GetEngine(), Engine::Sqlite);
    EXPECT_EQ(connection->Property("Data Source"), "SQLite");
    EXPECT_EQ(connection->Property("Server Name"), "sqlite");
    EXPECT_EQ(connection->Property("Integrated Security"), "SSPI");
    EXPECT_EQ(connection->Property("User ID"), "operator");
    EXPECT_EQ(connection->Property("Password"), "p;w}d");
    EXPECT_EQ(connection->Property("Connect Timeout"), "7");
    EXPECT_EQ(connection->Property("No Such Property"), std::nullopt);
    EXPECT_EQ(connection->DefaultDatabase(), path_);
    EXPECT_THAT(connector.ConnectionString(),
                AllOf(HasSubstr("NoCreat=1"), HasSubstr("StepAPI=1"), HasSubstr("JournalMode=WAL"),
                      HasSubstr("Timeout=")));
}

TEST_F(SqliteConnectionTest, MissingFileIsAnErrorThatNamesItAndIsNotCreated) {
    const std::string missing = dir_.File("no-such-warehouse.db");
    std::unique_ptr<Connection> connection;
    std::string message = "earlier text";
    EXPECT_FALSE(OpenWarehouseConnection("sqlite", missing, false, "", "", connection, message));
    EXPECT_EQ(connection, nullptr);
    EXPECT_THAT(message, StartsWith("Error while connecting to : sqlite\r\n"));
    EXPECT_THAT(message, HasSubstr(missing));
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(SqliteConnectionTest, PathThatTheDriverCannotTakeIsRefusedClearly) {
    const std::string odd = dir_.File("a;b.db");
    CreateSqliteFile(odd);
    std::unique_ptr<Connection> connection;
    std::string message;
    EXPECT_FALSE(OpenWarehouseConnection("sqlite", odd, false, "", "", connection, message));
    EXPECT_THAT(message, HasSubstr("holds ';', '{' or '}'"));
}

TEST_F(SqliteConnectionTest, TableExistsFollowsTheEngineAndTakesNoWildcards) {
    db_->Execute("create table dwm_tables (table_name varchar(100))");
    db_->Execute("create view v_tables as select * from dwm_tables");
    EXPECT_TRUE(TableExists(*db_, "dwm_tables"));
    EXPECT_TRUE(TableExists(*db_, "DWM_Tables"));  // SQLite resolves names without regard to case
    EXPECT_TRUE(TableExists(*db_, "v_tables"));
    EXPECT_FALSE(TableExists(*db_, "dwmXtables"));
    EXPECT_FALSE(TableExists(*db_, "dwm_tab%"));
    EXPECT_FALSE(TableExists(*db_, "dwm_archive"));
}

TEST_F(SqliteConnectionTest, CountRowsCountsAndAFailedCountIsAnErrorNeverZero) {
    db_->Execute("create table t (a int)");
    EXPECT_EQ(CountRows(*db_, "t"), 0);
    db_->Execute("insert into t values (1)");
    db_->Execute("insert into t values (2)");
    EXPECT_EQ(CountRows(*db_, "t"), 2);
    EXPECT_THROW(CountRows(*db_, "missing_table"), OdbcError);
}

TEST_F(SqliteConnectionTest, AffectedRowCountsIncludingNoRowAtAll) {
    db_->Execute("create table t (a int)");
    EXPECT_EQ(db_->Execute("insert into t values (1)"), 1);
    EXPECT_EQ(db_->Execute("insert into t select a + 1 from t"), 1);
    EXPECT_EQ(db_->Execute("update t set a = a * 10"), 2);
    // The driver reports an update that touches nothing as "no data": still a success.
    EXPECT_EQ(db_->Execute("update t set a = 0 where a < 0"), 0);
    EXPECT_EQ(db_->Execute("delete from t where a < 0"), 0);
    EXPECT_EQ(db_->Execute("delete from t"), 2);
}

TEST_F(SqliteConnectionTest, ResultsReadByPositionAndNameWithNullAndTypes) {
    db_->Execute("create table t (id integer, name varchar(20), price decimal(10,2), d datetime)");
    db_->Execute("insert into t values (1, 'one', 1.5, '2005-03-07 00:00:00')");
    db_->Execute("insert into t values (2, null, null, null)");
    auto result = db_->Query("select id, name, price, d from t order by id");
    ASSERT_EQ(result.ColumnCount(), 4u);
    EXPECT_EQ(result.Column(1).Name, "name");
    EXPECT_EQ(result.Column(0).Kind, ColumnKind::Whole);
    EXPECT_EQ(result.Column(1).Kind, ColumnKind::Text);
    EXPECT_EQ(result.Column(3).Kind, ColumnKind::Date);
    EXPECT_EQ(result.IndexOf("PRICE"), 2u);
    ASSERT_TRUE(result.Next());
    EXPECT_EQ(result.GetInt(0), 1);
    EXPECT_EQ(result.Get("Name"), "one");
    EXPECT_EQ(result.Get(3), "2005-03-07 00:00:00");
    ASSERT_TRUE(result.Next());
    EXPECT_TRUE(result.IsNull(1));
    EXPECT_EQ(NullToText(result.Get(1), "(none)"), "(none)");
    EXPECT_EQ(result.GetInt(2), std::nullopt);
    EXPECT_FALSE(result.Next());
    EXPECT_THROW(result.IndexOf("nope"), std::runtime_error);
}

TEST_F(SqliteConnectionTest, LongTextIsReadWhole) {
    db_->Execute("create table t (v text)");
    const std::string big(20000, 'x');
    Command insert{"insert into t values (?)", {}, 60, false};
    AddCommandParameter(insert, "v", AdoType::VarChar, ParameterDirection::Input, 0, 0, 0, big);
    db_->Execute(insert);
    EXPECT_EQ(QueryValue(*db_, "select v from t"), big);
}

TEST_F(SqliteConnectionTest, ParametersOfEveryKindRoundTripIncludingNull) {
    db_->Execute("create table t (s varchar(50), n integer, r double, d datetime)");
    auto insert = db_->Prepare("insert into t values (?, ?, ?, ?)");
    const Timestamp when{2005, 3, 7, 23, 5, 9};
    insert.Execute({{"s", ValueType::Text, 0, 0, 0, std::string("O'Brien; drop table t")},
                    {"n", ValueType::Integer, 0, 0, 0, std::int64_t{-9000000000}},
                    {"r", ValueType::Double, 0, 0, 0, 2.25},
                    {"d", ValueType::Timestamp, 0, 0, 0, when}});
    insert.Execute({{"s", ValueType::Text, 0, 0, 0, {}},
                    {"n", ValueType::Integer, 0, 0, 0, {}},
                    {"r", ValueType::Double, 0, 0, 0, {}},
                    {"d", ValueType::Timestamp, 0, 0, 0, {}}});
    EXPECT_EQ(CountRows(*db_, "t"), 2);
    EXPECT_EQ(QueryValue(*db_, "select s from t where n is not null"), "O'Brien; drop table t");
    EXPECT_EQ(QueryValue(*db_, "select n from t where n is not null"), "-9000000000");
    EXPECT_EQ(QueryValue(*db_, "select r from t where n is not null"), "2.25");
    // Dates are bound as the ISO text the warehouse stores, so they compare equal.
    EXPECT_EQ(QueryValue(*db_, "select d from t where n is not null"), "2005-03-07 23:05:09");
    EXPECT_EQ(QueryValue(*db_,
                         "select count(*) from t where s is null and n is null and r is null "
                         "and d is null"),
              "1");

    Command select{"select count(*) from t where d = ? and s = ?", {}, 60, false};
    AddCommandParameter(select, "d", AdoType::DbTimeStamp, ParameterDirection::Input, 0, 0, 0,
                        when);
    AddCommandParameter(select, "s", AdoType::VarChar, ParameterDirection::Input, 0, 0, 0,
                        std::string("O'Brien; drop table t"));
    auto result = db_->Query(select);
    ASSERT_TRUE(result.Next());
    EXPECT_EQ(result.GetInt(0), 1);
}

TEST_F(SqliteConnectionTest, PreparedStatementRunsRepeatedly) {
    db_->Execute("create table t (n integer)");
    auto insert = db_->Prepare("insert into t values (?)");
    for (std::int64_t i = 0; i < 100; ++i)
        EXPECT_EQ(insert.Execute({{"n", ValueType::Integer, 0, 0, 0, i}}), 1);
    EXPECT_EQ(QueryValue(*db_, "select sum(n) from t"), "4950");
}

TEST_F(SqliteConnectionTest, TransactionRollsBackUnlessCommitted) {
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
    EXPECT_EQ(QueryValue(*db_, "select n from t"), "2");
    {
        Transaction transaction(*db_);
        db_->Execute("delete from t");
        transaction.Rollback();
        EXPECT_FALSE(transaction.Active());
    }
    EXPECT_EQ(CountRows(*db_, "t"), 1);
}

// A deferred transaction takes no lock up front, so it begins and reads while
// another connection holds the write lock.
TEST_F(SqliteConnectionTest, DeferredTransactionBeginsUnderAnotherWriter) {
    db_->Execute("create table t (n integer)");
    db_->Execute("insert into t values (1)");
    auto writer = OpenSecondConnection(*db_);
    Transaction held(*writer);
    {
        Transaction transaction(*db_, Transaction::Start::Deferred);
        EXPECT_EQ(QueryValue(*db_, "select n from t"), "1");
        transaction.Commit();
        EXPECT_FALSE(transaction.Active());
    }
    held.Rollback();
}

TEST_F(SqliteConnectionTest, OpenCursorOnOneConnectionWhileAnotherCommits) {
    db_->Execute("create table t (n integer)");
    for (int i = 0; i < 10; ++i) db_->Execute("insert into t values (" + std::to_string(i) + ")");
    auto second = OpenSecondConnection(*db_);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->DefaultDatabase(), path_);
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
        ASSERT_EQ(error.Records().size(), 1u);
    }
    db_->Close();
    EXPECT_FALSE(db_->IsOpen());
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

TEST(FolderHelpersTest, CreatesEveryMissingLevel) {
    testing::TempDir dir;
    const std::string deep = dir.File("a/b/c");
    EXPECT_FALSE(FolderExists(deep));
    CreateFolderPath(deep);
    EXPECT_TRUE(FolderExists(deep));
    CreateFolderPath(deep);  // already there: nothing happens
    EXPECT_TRUE(FolderExists(deep));
}

TEST(TimestampTest, IsoTextBothWays) {
    EXPECT_EQ((Timestamp{2005, 3, 7, 0, 0, 0}.ToIsoText()), "2005-03-07 00:00:00");
    EXPECT_EQ(Timestamp::FromIsoText("2005-03-07 23:05:09.000"), (Timestamp{2005, 3, 7, 23, 5, 9}));
    EXPECT_EQ(Timestamp::FromIsoText("2005-03-07"), (Timestamp{2005, 3, 7, 0, 0, 0}));
    EXPECT_EQ(Timestamp::FromIsoText("07/03/2005"), std::nullopt);
}

}  // namespace
}  // namespace varnel

namespace varnel {
namespace {

TEST_F(SqliteConnectionTest, CatalogFindsColumnsAndIndexes) {
    db_->Execute("create table dim_a (id integer, code varchar(10))");
    db_->Execute("create table fact_b (a_id integer)");
    EXPECT_TRUE(ColumnExists(*db_, " dim_a ", " CODE "));
    EXPECT_FALSE(ColumnExists(*db_, "dim_a", "is_deletable"));
    EXPECT_FALSE(ColumnExists(*db_, "no_table", "id"));
    EXPECT_FALSE(TableHasIndex(*db_, "fact_b"));
    db_->Execute("create index ix_fact_b on fact_b (a_id)");
    EXPECT_TRUE(TableHasIndex(*db_, "fact_b "));
}

}  // namespace
}  // namespace varnel
