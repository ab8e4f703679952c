// Failures planned in the ODBC layer, and the paths they reach that the real
// driver seldom takes: a failed COMMIT, a failing statement in the middle of a run
// of statements; and numbers read back exactly as stored.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/sqlite_file.h"
#include "tests/support/temp_dir.h"
#include "warehouse/database_access.h"
#include "warehouse/odbc.h"

namespace varnel {
namespace {

using testing::QueryValue;

class PlannedFailureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearPlannedFailures();
        db_->Execute("create table t (n integer)");
    }
    void TearDown() override { ClearPlannedFailures(); }

    //! The SQLSTATE and message of the error a statement throws; empty when none.
    std::string FailureOf(const std::string& sql) {
        try {
            db_->Execute(sql);
            return "";
        } catch (const OdbcError& error) {
            EXPECT_EQ(error.Sql(), sql);
            return error.SqlState() + " " + error.what();
        }
    }

    testing::TempDir dir_;
    std::unique_ptr<Connection> db_ =
        testing::OpenSqlite(testing::CreateSqliteFile(dir_.File("w.db")));
};

TEST_F(PlannedFailureTest, TheNthStatementOrAMatchingOneFailsAsTheDriverWould) {
    PlanStatementFailure(PlannedFailure::Nth(2, "08S01", "Link failure"));
    EXPECT_EQ(FailureOf("insert into t values (1)"), "");
    EXPECT_EQ(FailureOf("insert into t values (2)"), "08S01 Link failure");
    EXPECT_EQ(FailureOf("insert into t values (3)"), "");
    // The failed statement never reached the driver.
    EXPECT_EQ(QueryValue(*db_, "select group_concat(n) from t"), "1,3");
    PlanStatementFailure(PlannedFailure::Matching("values (4)", "40001", "Deadlock", 2));
    EXPECT_EQ(FailureOf("insert into t values (4)"), "40001 Deadlock");
    EXPECT_EQ(FailureOf("insert into t values (5)"), "");
    EXPECT_EQ(FailureOf("insert into t values (4)"), "40001 Deadlock");
    EXPECT_EQ(FailureOf("insert into t values (4)"), "");  // planned twice only
    // Prepared statements and queries count as well.
    auto insert = db_->Prepare("insert into t values (?)");
    PlanStatementFailure(PlannedFailure::Nth(1, "HY000", "Prepared failure"));
    EXPECT_THROW(insert.Execute({{"n", ValueType::Integer, 0, 0, 0, std::int64_t{6}}}), OdbcError);
    EXPECT_EQ(insert.Execute({{"n", ValueType::Integer, 0, 0, 0, std::int64_t{7}}}), 1);
    PlanStatementFailure(PlannedFailure::Matching("count(*)", "HY000", "Count failure"));
    EXPECT_THROW(CountRows(*db_, "t"), OdbcError);
    EXPECT_EQ(CountRows(*db_, "t"), 5);
}

TEST_F(PlannedFailureTest, AFailedCommitRollsTheTransactionBack) {
    PlanStatementFailure(PlannedFailure::Matching("COMMIT", "HY000", "disk I/O error"));
    {
        Transaction transaction(*db_);
        db_->Execute("insert into t values (1)");
        EXPECT_THROW(transaction.Commit(), OdbcError);
        EXPECT_FALSE(transaction.Active());
    }
    // Nothing stayed open: the row is gone and a new transaction begins and commits.
    EXPECT_EQ(CountRows(*db_, "t"), 0);
    Transaction again(*db_);
    db_->Execute("insert into t values (2)");
    again.Commit();
    EXPECT_EQ(QueryValue(*testing::OpenSqlite(db_->DefaultDatabase()), "select n from t"), "2");
}

TEST_F(PlannedFailureTest, WholeAndRealNumbersReadBackExactly) {
    db_->Execute("create table v (whole bigint, real_value double)");
    // Whole numbers beyond 2^53 have no double; reals come as the shortest text that
    // reads back as the number, not as the driver prints them ("100.0", "1.0e+20").
    const struct {
        std::string Whole, Real, RealRead;
    } cases[] = {
        {"9007199254740993", "0.1", "0.1"},
        {"-9223372036854775807", "100.0", "100"},
        {"123456789012345678", "1e20", "1e+20"},
    };
    for (const auto& c : cases) {
        db_->Execute("delete from v");
        db_->Execute("insert into v values (" + c.Whole + ", " + c.Real + ")");
        auto result = db_->Query("select whole, real_value from v");
        ASSERT_TRUE(result.Next());
        EXPECT_EQ(result.Get(0), c.Whole);
        EXPECT_EQ(result.GetInt(0), std::stoll(c.Whole));
        EXPECT_EQ(result.Get(1), c.RealRead);
    }
}

}  // namespace
}  // namespace varnel
