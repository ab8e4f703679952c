#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/job_history_reader.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/temp_dir.h"
#include "warehouse/connector.h"
#include "warehouse/database_access.h"
#include "warehouse/job_history.h"
#include "warehouse/odbc.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;
using testing::QueryValue;

class SqliteConnectionTest : public ::testing::Test {
  protected:
    void SetUp() override { ClearPlannedFailures(); }
    void TearDown() override { ClearPlannedFailures(); }

    testing::TempDir dir_;
    const std::string path_ = testing::CreateWarehouseFile(dir_.File("warehouse.db"));
    std::unique_ptr<Connection> db_ = testing::OpenSqlite(path_);
};

TEST_F(SqliteConnectionTest, MissingFilesAreRefusedAndTheCatalogTakesNoWildcards) {
    const std::string missing = dir_.File("no-such-warehouse.db");
    std::unique_ptr<Connection> connection;
    std::string message;
    EXPECT_FALSE(OpenWarehouseConnection("SQLite", missing, false, "", "", connection, message));
    EXPECT_THAT(message, ::testing::StartsWith("Error while connecting to : SQLite\r\n"));
    EXPECT_FALSE(std::filesystem::exists(missing));
    const std::string odd = testing::CreateSqliteFile(dir_.File("a;b.db"));
    EXPECT_FALSE(OpenWarehouseConnection("sqlite", odd, false, "", "", connection, message));
    EXPECT_THAT(message, HasSubstr("holds ';', '{' or '}'"));

    db_->Execute("create table fact_b (a_id integer)");
    EXPECT_TRUE(TableExists(*db_, "FACT_b"));
    EXPECT_FALSE(TableExists(*db_, "fact_%"));
    EXPECT_TRUE(ColumnExists(*db_, " fact_b ", " A_ID ", message));
    EXPECT_FALSE(ColumnExists(*db_, "fact_b", "a_i_", message));
    EXPECT_FALSE(TableHasIndex(*db_, "fact_b", message));
    db_->Execute("create index ix_fact_b on fact_b (a_id)");
    EXPECT_TRUE(TableHasIndex(*db_, "fact_b ", message));

    // A delimited name is found as a statement would find it: metadata may hold it so.
    db_->Execute("create table \"s<&t\"\"x\" (\"a b\" integer)");
    db_->Execute("create index ix_st on [s<&t\"x] ([a b])");
    EXPECT_TRUE(TableExists(*db_, "`s<&t\"x`"));
    EXPECT_TRUE(ColumnExists(*db_, "[s<&t\"x]", "[a b]", message));
    EXPECT_TRUE(TableHasIndex(*db_, "[s<&t\"x]", message));
}

TEST_F(SqliteConnectionTest, ValuesOfEveryKindRoundTripExactly) {
    db_->Execute("create table t (s varchar(50), n integer, r double, d datetime)");
    auto insert = db_->Prepare("insert into t values (?, ?, ?, ?)");
    const Timestamp when{2005, 3, 7, 23, 5, 9};
    const std::string text = "O'Brien; drop table t";
    std::vector<Parameter> row = {{"s", ValueType::Text, 0, 0, 0, text},
                                  {"n", ValueType::Integer, 0, 0, 0, std::int64_t{-9000000000}},
                                  {"r", ValueType::Double, 0, 0, 0, 2.25},
                                  {"d", ValueType::Timestamp, 0, 0, 0, when}};
    insert.Execute(row);
    for (auto& parameter : row) parameter.Data = {};
    insert.Execute(row);
    auto result = db_->Query("select s, n, r, d from t order by n desc");
    EXPECT_EQ(result.Column(3).Kind, ColumnKind::Date);
    ASSERT_TRUE(result.Next());
    EXPECT_EQ(result.Get("S"), text);
    EXPECT_EQ(result.GetInt(1), -9000000000);
    EXPECT_EQ(result.Get(2), "2.25");
    // Dates are bound as the ISO text the warehouse stores, so they compare equal.
    EXPECT_EQ(result.Get(3), "2005-03-07 23:05:09");
    ASSERT_TRUE(result.Next());
    EXPECT_TRUE(result.IsNull(0));
    EXPECT_EQ(result.GetInt(1), std::nullopt);
    result.Close();
    // Whole numbers beyond 2^53 have no double; reals come as the shortest text that
    // reads back as the number, not as the driver prints them ("100.0", "1.0e+20").
    db_->Execute("create table v (whole bigint, real_value double)");
    const struct {
        std::string Whole, Real, RealRead;
    } cases[] = {{"9007199254740993", "0.1", "0.1"},
                 {"-9223372036854775807", "100.0", "100"},
                 {"123456789012345678", "1e20", "1e+20"}};
    for (const auto& c : cases) {
        db_->Execute("delete from v");
        db_->Execute("insert into v values (" + c.Whole + ", " + c.Real + ")");
        auto read = db_->Query("select whole, real_value from v");
        ASSERT_TRUE(read.Next());
        EXPECT_EQ(read.Get(0), c.Whole);
        EXPECT_EQ(read.GetInt(0), std::stoll(c.Whole));
        EXPECT_EQ(read.Get(1), c.RealRead);
    }
}

TEST_F(SqliteConnectionTest, TransactionsRollBackUnlessCommittedAndAFailedCommitToo) {
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
    PlanStatementFailure(PlannedFailure::Matching("COMMIT", "HY000", "disk I/O error"));
    {
        Transaction transaction(*db_);
        db_->Execute("insert into t values (3)");
        EXPECT_THROW(transaction.Commit(), OdbcError);
        EXPECT_FALSE(transaction.Active());
    }
    // Nothing stayed open: a new transaction begins and commits for other connections.
    Transaction again(*db_);
    db_->Execute("insert into t values (4)");
    again.Commit();
    EXPECT_EQ(QueryValue(*testing::OpenSqlite(path_), "select group_concat(n) from t"), "2,4");
    // A deferred transaction takes no lock up front: it reads while another writes.
    auto writer = OpenSecondConnection(*db_);
    Transaction held(*writer);
    Transaction deferred(*db_, Transaction::Start::Deferred);
    EXPECT_EQ(QueryValue(*db_, "select count(*) from t"), "2");
    deferred.Commit();
    held.Rollback();
}

TEST_F(SqliteConnectionTest, JobHistoryEntriesKeepTheirFields) {
    const std::string path = dir_.File("one/two/history.db");
    JobHistoryRecord record(path);
    record.ArchiveServerName = "archive-server";
    record.TableName = "fact_sales";
    record.Message = "Table 'fact_sales' isn't there; \"quoted\"\r\nsecond line";
    record.Status = 3;
    record.StartTime = Timestamp{2024, 2, 29, 23, 59, 58};
    record.EndTime = Timestamp{2024, 3, 1, 0, 0, 5};
    record.RecordCount = 9007199254740992.0;  // 2^53: sixteen digits
    record.JobId = "job-42";
    record.WriteEntry(6, "Varnel", "Archived fact tables");
    const auto e = testing::ReadJobHistory(path);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(testing::Summary(e[0]) + "|" + e[0].EntryKind + "|" + e[0].Application + "|" +
                  e[0].ArchiveServerName + "|" + e[0].JobId + "|" + *e[0].StartTime + "|" +
                  *e[0].EndTime,
              "Archived fact tables|fact_sales|3|9007199254740992|6|Varnel|archive-server|job-42|"
              "2024-02-29 23:59:58|2024-03-01 00:00:05");
    EXPECT_EQ(e[0].Message, record.Message);
}

}  // namespace
}  // namespace varnel
