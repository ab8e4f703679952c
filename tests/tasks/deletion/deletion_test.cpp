#include "tasks/deletion/deletion.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "run/log_stream.h"
#include "run/process_state.h"
#include "run/progress_window.h"
#include "tasks/deletion/deletion_statements.h"
#include "tasks/deletion/reference_check.h"
#include "tests/support/job_history_reader.h"
#include "tests/support/matchers.h"
#include "tests/support/run_doubles.h"
#include "tests/support/sqlite_file.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::HistoryIs;
using testing::Null;

constexpr const char* kOpenEnd = "9999-12-31";

//! A dated version: id, code, region, start, end, current, marked.
testing::Version V(int id, testing::Cell code, testing::Cell region, const char* start,
                   const char* end, int current, int marked) {
    return testing::Version{.Values = {id, code, region},
                            .Start = start,
                            .End = end,
                            .Current = current,
                            .Deletable = marked};
}

class DeletionTaskTest : public testing::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        w_.Fact("fact_sales", {"id INTEGER", "customer_id INTEGER", "brand_id INTEGER"},
                {.PrimaryKey = "id"});
    }

    //! Runs the task on the warehouse with the connection and the window a run would own.
    bool Delete(bool atomic, LogStream* log = nullptr) {
        if (!state_.ActiveProgressWindow())
            state_.InstallProgressWindow(state_.MakeProgressWindow());
        state_.WarehouseConnection = w_.OpenConnection();
        taskSettings_.AtomicDelete = atomic;
        taskSettings_.JobId = "job-7";
        const bool done = DeleteMarkedElements(Context(taskSettings_, log, "/var/log/run.txt"));
        state_.WarehouseConnection.reset();
        return done;
    }

    //! A slowly changing dimension keyed by code and region, used by the fact table.
    void Customers(const std::vector<testing::Version>& versions) {
        w_.Dimension("dim_customer", {"id INTEGER", "code VARCHAR(20)", "region INTEGER"},
                     {.PrimaryKey = "id", .OrgPkey = "code, region", .SlowlyChanging = true});
        w_.Relation("dim_customer", "id", "fact_sales", "customer_id");
        w_.Versions("dim_customer", {"id", "code", "region"}, versions);
    }

    //! A plain dimension with the ids given, those in marked marked.
    void Brands(const std::vector<int>& ids, const std::vector<int>& marked) {
        w_.Dimension("dim_brand", {"id INTEGER"}, {.PrimaryKey = "id"});
        w_.Relation("dim_brand", "id", "fact_sales", "brand_id");
        for (int id : ids)
            w_.Rows("dim_brand", {"id", "is_deletable"},
                    {{id, std::count(marked.begin(), marked.end(), id) > 0 ? 1 : 0}});
    }

    //! "id|start day|end day|is_current" per version, in id order.
    testing::Texts Versions() {
        return w_.Lines(
            "SELECT id, substr(start_date, 1, 10), substr(end_date, 1, 10), is_current FROM "
            "dim_customer ORDER BY id");
    }

    std::vector<testing::JobHistoryEntry> History() {
        return testing::ReadJobHistory(HistoryPath());
    }

    testing::WarehouseBuilder w_;
};

TEST_F(DeletionTaskTest, MarkedRowsGoAndTheSurvivingVersionsCoverTheHistory) {
    Brands({1, 2, 3}, {2});
    Customers({
        // Two first versions marked: the current one takes over from day 1.
        V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 1),
        V(2, "A", 1, "2020-02-01", "2020-03-01", 0, 1),
        V(3, "A", 1, "2020-03-01", kOpenEnd, 1, 0),
        // The two last marked: the first one takes over to the end and becomes current.
        V(4, "B", 1, "2020-01-01", "2020-02-01", 0, 0),
        V(5, "B", 1, "2020-02-01", "2020-03-01", 0, 1),
        V(6, "B", 1, "2020-03-01", kOpenEnd, 1, 1),
        // A Null key part is matched as Null, and not with the element beside it.
        V(16, "G", Null, "2020-01-01", "2020-02-01", 0, 1),
        V(17, "G", Null, "2020-02-01", kOpenEnd, 1, 0),
        V(18, "G", 1, "2020-02-01", kOpenEnd, 1, 0),
    });
    w_.Dimension("dim_kept", {"id INTEGER"}, {.PrimaryKey = "id", .Selected = false});
    w_.Relation("dim_kept", "id", "fact_sales", "brand_id");
    w_.Rows("dim_kept", {"id", "is_deletable"}, {{1, 1}});

    ASSERT_TRUE(Delete(false)) << state_.MessageText;
    EXPECT_THAT(w_.Column("SELECT id FROM dim_brand ORDER BY id"), ElementsAre("1", "3"));
    EXPECT_EQ(w_.Count("dim_kept"), 1);
    EXPECT_THAT(Versions(),
                ElementsAre("3|2020-01-01|9999-12-31|1", "4|2020-01-01|9999-12-31|1",
                            "17|2020-01-01|9999-12-31|1", "18|2020-02-01|9999-12-31|1"));
    const auto history = History();
    EXPECT_THAT(history, ElementsAre(HistoryIs("Deleted dimensions|dim_brand|0|1"),
                                     HistoryIs("Deleted dimensions|dim_customer|0|5")));
    for (const auto& e : history)
        EXPECT_EQ(
            e.EntryKind + "|" + e.CountUnit + "|" + e.Remark + "|" + e.LogFile + "|" + e.JobId,
            "6|records deleted|Atomic deletion=no|/var/log/run.txt|job-7");
    EXPECT_EQ(state_.ActiveProgressWindow()->ProgressMax(), 2);
    EXPECT_EQ(state_.DeletionConnection, nullptr);
}

TEST_F(DeletionTaskTest, AtomicModeDeletesWholeElementsOnlyAndRepairsNothing) {
    Customers(
        {V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 1), V(2, "A", 1, "2020-02-01", kOpenEnd, 1, 1),
         // One unmarked version keeps the marked ones too, dates and marks untouched.
         V(4, "B", 1, "2020-01-01", "2020-02-01", 0, 1), V(5, "B", 1, "2020-02-01", kOpenEnd, 1, 0),
         V(8, "G", Null, "2020-01-01", kOpenEnd, 1, 1), V(10, "G", 1, "2020-01-01", kOpenEnd, 1, 0),
         V(11, "O'Hara", 1, "2020-01-01", kOpenEnd, 1, 1)});
    // A key with a date in it; a plain table is deleted plainly.
    w_.Dimension("dim_price", {"id INTEGER", "product VARCHAR(10)", "listed DATETIME"},
                 {.PrimaryKey = "id", .OrgPkey = "product,listed", .SlowlyChanging = true});
    w_.Relation("dim_price", "id", "fact_sales", "brand_id");
    w_.Versions("dim_price", {"id", "product", "listed"},
                {V(1, "p", "2021-06-01 00:00:00", "2021-01-01", kOpenEnd, 1, 1),
                 V(2, "p", "2021-07-01 00:00:00", "2021-01-01", kOpenEnd, 1, 0)});
    Brands({1, 2}, {2});

    ASSERT_TRUE(Delete(true)) << state_.MessageText;
    EXPECT_THAT(Versions(), ElementsAre("4|2020-01-01|2020-02-01|0", "5|2020-02-01|9999-12-31|1",
                                        "10|2020-01-01|9999-12-31|1"));
    EXPECT_THAT(w_.Marked("dim_customer", "id"), ElementsAre("4"));
    EXPECT_THAT(w_.Column("SELECT id FROM dim_price"), ElementsAre("2"));
    EXPECT_THAT(w_.Column("SELECT id FROM dim_brand"), ElementsAre("1"));
    std::vector<std::string> remarks;
    for (const auto& e : History()) remarks.push_back(Summary(e) + "|" + e.Remark);
    EXPECT_THAT(remarks, ElementsAre("Deleted dimensions|dim_brand|0|1|Atomic deletion=no",
                                     "Deleted dimensions|dim_customer|0|4|Atomic deletion=yes",
                                     "Deleted dimensions|dim_price|0|1|Atomic deletion=yes"));
}

// The driver hands real numbers over with 15 significant digits: atomic mode finds
// no such element again and refuses, leaving the table as it was.
TEST_F(DeletionTaskTest, AtomicModeRefusesARealKeyItCannotFindAgain) {
    w_.Dimension("dim_weight", {"id INTEGER", "grade REAL"},
                 {.PrimaryKey = "id", .OrgPkey = "grade", .SlowlyChanging = true});
    w_.Relation("dim_weight", "id", "fact_sales", "brand_id");
    w_.Exec(
        "INSERT INTO dim_weight (id, grade, start_date, end_date, is_current, is_deletable) "
        "VALUES (1, 0.1 + 0.2, '2020-01-01', '2020-02-01', 0, 1), "
        "(2, 0.1 + 0.2, '2020-02-01', '9999-12-31', 1, 1)");
    EXPECT_FALSE(Delete(true));
    EXPECT_THAT(state_.MessageText,
                HasSubstr("changed while it was being deleted (2 expected, 0 found); "
                          "nothing was deleted from the table."));
    EXPECT_EQ(w_.Count("dim_weight"), 2);
}

// A failure undoes its own table's deletion and keeps the tables before.
TEST_F(DeletionTaskTest, AFailureKeepsTheTablesBeforeAndEndsTheRun) {
    Brands({1, 2}, {1, 2});
    Customers({V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 1),
               V(2, "A", 1, "2020-02-01", kOpenEnd, 1, 0),
               V(3, "Z", 1, "2020-01-01", "2020-02-01", 0, 1),
               V(4, "Z", 1, "2020-02-01", kOpenEnd, 1, 0)});
    w_.Exec("UPDATE dim_customer SET is_deletable = 1");
    // Element A is deleted first; then Z fails.
    w_.Exec(
        "CREATE TRIGGER no_z_delete BEFORE DELETE ON dim_customer WHEN OLD.code = 'Z' "
        "BEGIN SELECT RAISE(ABORT, 'deletion refused'); END");
    const auto before = Versions();
    EXPECT_FALSE(Delete(true));
    EXPECT_EQ(w_.Count("dim_brand"), 0);
    EXPECT_THAT(state_.MessageText, HasSubstr("deletion refused"));
    EXPECT_EQ(Versions(), before);
    // The count is of the rows deleted before the failure, then undone.
    EXPECT_EQ(History().back().Status + "|" + History().back().RecordCount, "3|2");
    EXPECT_EQ(state_.DeletionConnection, nullptr);
}

TEST(ReferenceCheckTextTest, ReferringTablesComeFirst) {
    using Tables = std::vector<std::string>;
    const struct {
        Tables Listed;
        std::vector<std::pair<std::string, std::string>> References;  // referenced, referring
        Tables Expected;
    } cases[] = {
        {{"a", "b", "c"}, {{"a", "b"}, {"b", "c"}}, {"c", "b", "a"}},
        {{"Dim_A", "dim_b"}, {{"dim_a ", " DIM_B"}, {"dim_b", "dim_b"}}, {"dim_b", "Dim_A"}},
        {{"e", "a", "b", "c", "d"},
         {{"a", "b"}, {"b", "a"}, {"c", "d"}, {"e", "a"}},
         {"d", "c", "e", "a", "b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReferringFirst(c.Listed, c.References), c.Expected) << c.Listed[0];
}

class ReferenceCheckTest : public DeletionTaskTest {
  protected:
    //! Runs the task with a log of its own and returns the log's text.
    std::string DeleteWithLog(bool atomic) {
        const std::string path = dir_.File("run.txt");
        {
            LogStream log(path);
            EXPECT_TRUE(Delete(atomic, &log)) << state_.MessageText;
        }
        return testing::ReadFile(path);
    }
};

// Every referring row counts, whatever its mark, in a fact, an unselected dimension and the
// table itself; pairs of columns match as pairs.
TEST_F(ReferenceCheckTest, RowsReferredToThroughAnyRelationAreKeptAndCountedOnce) {
    w_.Dimension("dim_store", {"id INTEGER", "code VARCHAR(9)", "region INTEGER", "parent INTEGER"},
                 {.PrimaryKey = "id"});
    w_.Fact("fact_visits", {"id INTEGER", "store_code VARCHAR(9)", "store_region INTEGER"});
    w_.Dimension("dim_kiosk", {"id INTEGER", "store_code VARCHAR(9)", "store_region INTEGER"},
                 {.PrimaryKey = "id", .Selected = false});
    w_.Relation("dim_store", "code, region", "fact_visits", " store_code ,store_region");
    w_.Relation("dim_store", "code,region", "dim_kiosk", "store_code, store_region");
    w_.Relation("dim_store", "id", "dim_store", "parent");
    w_.Rows("dim_store", {"id", "code", "region", "parent", "is_deletable"},
            {{1, "A", 1, Null, 1},
             {2, "A", 2, Null, 1},
             {3, "B", 1, Null, 1},
             {4, "C", 1, 5, 1},
             {5, "D", 1, 6, 1},
             {6, "E", 1, Null, 1},
             {7, "F", 1, 7, 1}});
    w_.Rows("fact_visits", {"id", "store_code", "store_region"}, {{1, "A", 1}});
    w_.Rows("dim_kiosk", {"id", "store_code", "store_region", "is_deletable"},
            {{1, "A", 1, 1}, {2, "B", 1, 1}});

    EXPECT_EQ(DeleteWithLog(false),
              "Kept 5 marked rows of table dim_store that rows of referring tables refer to.\r\n");
    EXPECT_THAT(w_.Column("SELECT id FROM dim_store ORDER BY id"),
                ElementsAre("1", "3", "5", "6", "7"));
    EXPECT_THAT(History(), ElementsAre(HistoryIs("Deleted dimensions|dim_store|0|2")));
}

std::string KeptLine(const std::string& table, int kept) {
    return "Kept " + std::to_string(kept) + " marked rows of table " + table +
           " that rows of referring tables refer to.\r\n";
}

class ReferenceCheckModeTest : public ReferenceCheckTest,
                               public ::testing::WithParamInterface<bool> {};

// A fact loaded after marking keeps its version (made current) or, if atomic, its element.
TEST_P(ReferenceCheckModeTest, AFactLoadedAfterMarkingKeepsItsRows) {
    const bool atomic = GetParam();
    Brands({1, 2, 3}, {1, 2, 3});
    Customers({V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 1),
               V(2, "A", 1, "2020-02-01", kOpenEnd, 1, 1),
               V(3, "B", 1, "2020-01-01", kOpenEnd, 1, 1)});
    w_.Rows("fact_sales", {"id", "customer_id", "brand_id"}, {{1, 1, 2}});

    EXPECT_EQ(DeleteWithLog(atomic), KeptLine("dim_brand", 1) + KeptLine("dim_customer", 1));
    EXPECT_THAT(w_.Column("SELECT id FROM dim_brand"), ElementsAre("2"));
    const testing::Texts expected =
        atomic ? testing::Texts{"1|2020-01-01|2020-02-01|0", "2|2020-02-01|9999-12-31|1"}
               : testing::Texts{"1|2020-01-01|9999-12-31|1"};
    EXPECT_EQ(Versions(), expected);
    EXPECT_THAT(History(), ElementsAre(HistoryIs("Deleted dimensions|dim_brand|0|2"),
                                       HistoryIs(atomic ? "Deleted dimensions|dim_customer|0|1"
                                                        : "Deleted dimensions|dim_customer|0|2")));
}

INSTANTIATE_TEST_SUITE_P(Modes, ReferenceCheckModeTest, ::testing::Bool());

// Rows set to keep after the marking stay: a plain row, a version (which the repair then
// takes as one that survives) and, in atomic mode, the whole element.
TEST_P(ReferenceCheckModeTest, RowsSetToKeepAfterMarkingStay) {
    const bool atomic = GetParam();
    Brands({1, 2}, {1, 2});
    w_.Exec("UPDATE dim_brand SET is_sustainable = 1 WHERE id = 2");
    Customers({V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 1),
               V(2, "A", 1, "2020-02-01", kOpenEnd, 1, 1),
               V(3, "B", 1, "2020-01-01", "2020-02-01", 0, 0),
               V(4, "B", 1, "2020-02-01", kOpenEnd, 1, 1)});
    w_.Exec("UPDATE dim_customer SET is_sustainable = 1 WHERE id IN (2, 4)");

    EXPECT_EQ(DeleteWithLog(atomic),
              "Kept 1 marked rows of table dim_brand that are marked to keep.\r\n"
              "Kept 2 marked rows of table dim_customer that are marked to keep.\r\n");
    EXPECT_THAT(w_.Column("SELECT id FROM dim_brand"), ElementsAre("2"));
    // B's kept current version hands nothing to its predecessor.
    const testing::Texts expected =
        atomic ? testing::Texts{"1|2020-01-01|2020-02-01|0", "2|2020-02-01|9999-12-31|1",
                                "3|2020-01-01|2020-02-01|0", "4|2020-02-01|9999-12-31|1"}
               : testing::Texts{"2|2020-01-01|9999-12-31|1", "3|2020-01-01|2020-02-01|0",
                                "4|2020-02-01|9999-12-31|1"};
    EXPECT_EQ(Versions(), expected);
}

// Versions that end the day before the next begins: the repair finds no neighbour.
// The table is left as it was, the others are deleted, and the task fails saying why.
TEST_F(ReferenceCheckTest, AHistoryTheRepairWouldBreakLeavesItsTableAsItWas) {
    Brands({1, 2}, {2});
    const struct {
        std::vector<testing::Version> Versions;
        std::string LeftWith;  // empty: the table is deleted
    } cases[] = {
        {{V(1, "A", 1, "2020-01-01", "2020-01-31", 0, 0),
          V(2, "A", 1, "2020-02-01", kOpenEnd, 1, 1)},
         "element A, 1 would be left without a current version"},
        // Two versions end where the current one begins: both would become current.
        {{V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 0),
          V(2, "A", 1, "2020-01-15", "2020-02-01", 0, 0),
          V(3, "A", 1, "2020-02-01", kOpenEnd, 1, 1)},
         "element A, 1 would be left with more than one current version"},
        // Damaged already (a gap, a missing start) and no worse after: deleted.
        {{V(1, "B", 1, "2020-01-01", "2020-01-15", 0, 0),
          V(2, "B", 1, "2020-02-01", "2020-03-01", 0, 0),
          V(3, "B", 1, "2020-03-01", kOpenEnd, 1, 1),
          testing::Version{.Values = {4, "C", 1}, .Start = Null, .End = "2020-02-01"},
          V(5, "C", 1, "2020-02-01", kOpenEnd, 1, 1),
          // The first or a middle version of the day-before convention goes without harm.
          V(6, "D", 1, "2020-01-01", "2020-01-31", 0, 1),
          V(7, "D", 1, "2020-02-01", "2020-02-28", 0, 0),
          V(8, "D", 1, "2020-03-01", "2020-03-31", 0, 1),
          V(9, "D", 1, "2020-04-01", kOpenEnd, 1, 0)},
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.LeftWith);
        w_.Exec("DROP TABLE IF EXISTS dim_customer");
        w_.Exec("DELETE FROM dwm_tables WHERE table_name = 'dim_customer'");
        w_.Exec("DELETE FROM dwm_star_relations WHERE primary_table = 'dim_customer'");
        w_.Exec("DELETE FROM dim_brand");
        w_.Rows("dim_brand", {"id", "is_deletable"}, {{1, 0}, {2, 1}});
        Customers(c.Versions);
        const auto before = Versions();
        state_.MessageText.clear();
        EXPECT_EQ(Delete(false), c.LeftWith.empty());
        EXPECT_THAT(w_.Column("SELECT id FROM dim_brand"), ElementsAre("1"));
        if (c.LeftWith.empty()) {
            EXPECT_EQ(w_.Count("dim_customer"), static_cast<std::int64_t>(before.size()) - 4);
            continue;
        }
        const std::string message =
            "The versions of table dim_customer do not follow the validity convention (a "
            "version ends on the day the next begins); " +
            c.LeftWith + ". Nothing was deleted from dim_customer.";
        EXPECT_EQ(state_.MessageText, message + "\r\n");
        EXPECT_EQ(Versions(), before);
        EXPECT_EQ(History().back().Status + "|" + History().back().Message, "3|" + message);
    }
}

// The sqlite3 shell inserts facts using marked rows throughout the run: an orphan is its fault.
TEST_F(ReferenceCheckTest, AWriterThroughoutADeletionRunLeavesNoOrphan) {
    const std::vector<std::string> keys = {"store_id", "product_id", "day_id"};
    const std::string rows = "40000";
    w_.Fact("f_sales", {"store_id INTEGER", "product_id INTEGER", "day_id INTEGER"});
    std::string picks;
    for (const auto& key : keys) {
        const std::string table = "d_" + key;
        w_.Dimension(table, {key + " INTEGER"}, {.PrimaryKey = key});
        w_.Relation(table, key, "f_sales", key);
        w_.Exec("INSERT INTO " + table + " (" + key + ", is_deletable) WITH RECURSIVE n(i) AS " +
                "(SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + rows +
                ") SELECT i, 1 FROM n");
        picks += (picks.empty() ? "(SELECT " : ", (SELECT ") + key + " FROM " + table +
                 " WHERE is_deletable = 1 AND " + key + " >= abs(random()) % " + rows + " LIMIT 1)";
    }
    w_.Close();
    const std::string stop = dir_.File("stop");
    std::ofstream(dir_.File("writer.sh"))
        << "while [ ! -e '" << stop << "' ]; do echo 'INSERT INTO f_sales SELECT " << picks
        << ";'; done | sqlite3 -cmd '.timeout 60000' '" << w_.Path() << "' 2>/dev/null\n";
    const pid_t writer = testing::StartChild({"/bin/sh", dir_.File("writer.sh")});
    std::int64_t before = 0;
    for (int i = 0; i < 2000 && (before = w_.Count("f_sales")) < 20; ++i) usleep(10000);
    w_.Close();
    auto args = testing::SqliteRun(VARNEL_EXE, w_.Path(), dir_.File("del"));
    args.push_back("-del");
    const int status = testing::RunChild(args).ExitCode;
    const std::int64_t during = w_.Count("f_sales") - before;
    std::ofstream(stop).put('\n');
    testing::FinishChild(writer);

    ASSERT_EQ(status, 0) << testing::OnlyFileIn(dir_.File("del"));
    EXPECT_GT(during, 0) << "the writer and the run did not overlap";
    for (const auto& key : keys) {
        EXPECT_EQ(w_.Count("f_sales", key + " NOT IN (SELECT " + key + " FROM d_" + key + ")"), 0)
            << key;
        EXPECT_LT(w_.Count("d_" + key), 40000) << key << ": nothing was deleted";
    }
}

// The reference: each marked version in repair order moves its neighbours, then marked rows go.
void ReferenceRepairAndDelete(Connection& db, const std::string& table, const std::string& key,
                              const std::vector<std::string>& keyColumns) {
    std::vector<std::int64_t> marked;
    auto rows = db.Query("SELECT rowid FROM " + table + " WHERE is_deletable = 1 ORDER BY " + key +
                         ", start_date, rowid");
    while (rows.Next()) marked.push_back(*rows.GetInt(0));
    rows.Close();

    const auto of = [&](const std::string& column) {
        return "(SELECT " + column + " FROM " + table + " WHERE rowid = ?)";
    };
    std::string sameElement;
    for (const auto& column : keyColumns) sameElement += column + " IS " + of(column) + " AND ";
    const std::string moveStart = "UPDATE " + table + " SET start_date = " + of("start_date") +
                                  " WHERE " + sameElement + "date(start_date) = date(" +
                                  of("end_date") + ")";
    const std::string moveEnd = "UPDATE " + table + " SET end_date = " + of("end_date") +
                                ", is_current = 1 WHERE " + sameElement + "date(end_date) = date(" +
                                of("start_date") + ")";
    const std::size_t markers = keyColumns.size() + 2;
    for (const auto rowid : marked) {
        const Parameter version{.Name = "rowid", .Type = ValueType::Integer, .Data = rowid};
        const bool isCurrent =
            testing::QueryValue(db, "SELECT is_current FROM " + table +
                                        " WHERE rowid = " + std::to_string(rowid)) == "1";
        db.Prepare(isCurrent ? moveEnd : moveStart)
            .Execute(std::vector<Parameter>(markers, version));
    }
    db.Execute("DELETE FROM " + table + " WHERE is_deletable = 1");
}

// Generated versions as SQL values: mixed-type and Null keys (7 and 7.0 are one element, '7'
// another), same-day versions, gaps, times, Null dates, several or no current, marked runs.
// Clean histories follow the convention: each version ends on the day the next begins,
// later, and the last alone is current, with dates throughout.
std::string GeneratedRows(std::mt19937& random, int elements, bool twoPartKey, int& id,
                          bool clean = false) {
    const auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    const auto pick = [&](const std::vector<std::string>& from) {
        return from[static_cast<std::size_t>(below(static_cast<int>(from.size())))];
    };
    const auto date = [&](int day, const char* time) {
        return "date('2020-01-01', '+" + std::to_string(day) + " days')" +
               (below(6) == 0 ? "" : std::string(" || ' ") + time + "'");
    };
    std::string values;
    for (int e = 0; e < elements; ++e) {
        // A clean element has a key of its own: versions of two elements under one key would
        // not follow each other.
        std::string key = clean ? "'E" + std::to_string(e) + "'"
                                : pick({"'A'", "'B'", "'a'", "7", "7.0", "'7'", "NULL", "'O''Hara'",
                                        "0.1 + 0.2", "0.3"});
        if (twoPartKey) key += ", " + pick({"1", "2.5", "NULL", "0.1 + 0.2", "0.3"});
        int day = below(400);
        const int versions = 1 + below(5);
        bool marked = below(2) == 0;
        for (int v = 0; v < versions; ++v) {
            const bool last = v == versions - 1;
            const int next = day + (below(4) == 0 && !clean ? 0 : 1 + below(60));
            const std::string start = below(15) == 0 && !clean
                                          ? "NULL"
                                          : date(day, below(3) == 0 ? "09:00:00" : "00:00:00");
            const std::string end = below(15) == 0 && !clean ? "NULL"
                                    : last                   ? "'9999-12-31 00:00:00'"
                                           : date(next - (below(8) == 0 && !clean ? 1 : 0),
                                                  below(3) == 0 ? "18:30:00.500" : "00:00:00");
            const bool current = clean ? last : last ? below(10) != 0 : below(10) == 0;
            if (below(3) == 0) marked = !marked;
            values += std::string(values.empty() ? "" : ", ") + "(" + std::to_string(++id) + ", " +
                      key + ", " + start + ", " + end + (current ? ", 1, " : ", 0, ") +
                      (marked ? "1)" : "0)");
            day = next;
        }
    }
    return values;
}

class ScdRepairTest : public DeletionTaskTest, public ::testing::WithParamInterface<unsigned> {
  protected:
    //! The table under test, its unregistered reference copy and a copy for the repair alone.
    void Tables(const std::string& name, const std::string& key, const std::string& columns,
                const std::string& rows, const std::string& referring) {
        for (const std::string& table : {name, "ref_" + name, "rep_" + name}) {
            w_.Dimension(table, {"id INTEGER", "k1", "k2 REAL"},
                         {.PrimaryKey = "id",
                          .OrgPkey = key,
                          .SlowlyChanging = true,
                          .Registered = table == name});
            w_.Exec("INSERT INTO " + table + " (" + columns +
                    ", start_date, end_date, is_current, is_deletable) VALUES " + rows);
        }
        w_.Relation(name, "id", "fact_sales", referring);
        w_.Relation("rep_" + name, "id", "fact_sales", referring);
    }

    //! The repair and the deletion of the marked rows, without the task around them.
    void RepairAndDelete(const std::string& table) {
        state_.WarehouseConnection = w_.OpenConnection();
        auto connection = w_.OpenConnection();
        Transaction transaction(*connection);
        ASSERT_TRUE(RepairSlowlyChangingDimension(state_, table, *connection))
            << state_.MessageText;
        connection->Execute(DeleteMarkedRowsStatement(table));
        transaction.Commit();
        state_.WarehouseConnection.reset();
    }

    testing::Texts Contents(const std::string& table) {
        return w_.Lines(
            "SELECT id, quote(k1), quote(k2), quote(start_date), quote(end_date), "
            "quote(is_current) FROM " +
            table + " ORDER BY id");
    }
};

TEST_P(ScdRepairTest, GeneratedTablesComeOutAsFromTheReference) {
    std::mt19937 random(GetParam());
    int id = 0;
    // Enough elements in the first table for full batches of repaired versions and a remainder.
    Tables("dim_one", "k1", "id, k1", GeneratedRows(random, 1000, false, id), "customer_id");
    Tables("dim_two", "k1, k2", "id, k1, k2", GeneratedRows(random, 40, true, id), "brand_id");
    Tables("dim_clean", "k1, k2", "id, k1, k2", GeneratedRows(random, 300, true, id, true),
           "brand_id");
    const testing::Texts beforeOne = Contents("dim_one"), beforeTwo = Contents("dim_two");

    ReferenceRepairAndDelete(w_.Connection(), "ref_dim_one", "k1", {"k1"});
    ReferenceRepairAndDelete(w_.Connection(), "ref_dim_two", "k1, k2", {"k1", "k2"});
    ReferenceRepairAndDelete(w_.Connection(), "ref_dim_clean", "k1, k2", {"k1", "k2"});
    RepairAndDelete("rep_dim_one");
    RepairAndDelete("rep_dim_two");
    EXPECT_EQ(Contents("rep_dim_one"), Contents("ref_dim_one"));
    EXPECT_EQ(Contents("rep_dim_two"), Contents("ref_dim_two"));
    EXPECT_NE(Contents("rep_dim_two"), beforeTwo);

    // The task deletes as the reference does, or, where the repair would leave an element
    // worse, leaves the table as it was; a history that follows the convention stays whole.
    Delete(false);
    const auto refused = [&](const std::string& table) {
        return state_.MessageText.find("The versions of table " + table + " ") != std::string::npos;
    };
    EXPECT_EQ(Contents("dim_one"), refused("dim_one") ? beforeOne : Contents("ref_dim_one"));
    EXPECT_EQ(Contents("dim_two"), refused("dim_two") ? beforeTwo : Contents("ref_dim_two"));
    EXPECT_FALSE(refused("dim_clean")) << state_.MessageText;
    EXPECT_EQ(Contents("dim_clean"), Contents("ref_dim_clean"));
}

INSTANTIATE_TEST_SUITE_P(Seeds, ScdRepairTest, ::testing::Range(1u, 5u));

const SqliteDialect kSqlite;

// Per row: position of its element's first row, then the columns the repair reads.
// Elements without a marked version change nothing and are left out.
testing::Texts ReadVersions(Connection& connection, const std::string& query) {
    testing::Texts lines, element;
    std::optional<std::string> number;
    bool marked = false;
    const auto close = [&] {
        const std::string first = std::to_string(lines.size());
        for (const auto& line : marked ? element : testing::Texts{}) lines.push_back(first + line);
        element.clear();
        marked = false;
    };
    auto rows = connection.Query(query);
    while (rows.Next()) {
        if (rows.Get(1) != number) close();
        number = rows.Get(1);
        std::string line;
        for (const std::size_t column : {0u, 2u, 3u, 4u, 5u, 6u, 7u})
            line += "|" + rows.Get(column).value_or("<null>");
        element.push_back(line);
        marked = marked || rows.Get(7) == std::optional<std::string>("1");
    }
    close();
    return lines;
}

// 'A' and 'a' are one element under NOCASE only; 7 and 7.0 are one, '7' another;
// Null parts group with each other.
TEST(DeletionSpeedEqualityTest, VersionsReadAsFromTheWindowForm) {
    const struct {
        std::string Table, FirstPart, Key, Index;
    } cases[] = {
        {"dim_plain", "k1", "k1", ""},
        {"dim_nocase", "k1 COLLATE NOCASE", " k1 ,k2", "k1, k2"},
        {"versions", "k1", "k2, k1", "k2"},  // the query's own aliases as table names
        {"elements", "k1 COLLATE NOCASE", "k1", "k1"},
    };
    testing::WarehouseBuilder w;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Table);
        w.Exec("CREATE TABLE " + c.Table + " (id INTEGER PRIMARY KEY, " + c.FirstPart +
               ", k2 REAL, start_date, end_date, is_current, is_deletable)");
        if (!c.Index.empty())
            w.Exec("CREATE INDEX ix_" + c.Table + " ON " + c.Table + " (" + c.Index + ")");
        w.Exec("INSERT INTO " + c.Table +
               " VALUES (1, 'A', 1, '2020-01-01', '2020-01-05', 0, 1), (2, 'A', 1, '2020-01-05', "
               "'2020-01-09', 1, 0), (3, 'a', 1, '2020-01-02', '2020-01-06', 0, 0), (4, 'a', 1, "
               "'2020-01-06', '2020-01-08', 1, 1), (5, 7, 1, '2020-01-01', '2020-01-03', 0, 0), "
               "(6, 7.0, 1, '2020-01-03 10:00', '2020-01-04', 1, 1), (7, '7', 1, '2020-01-01', "
               "'2020-01-02', 1, 0), (8, NULL, 1, '2020-01-01', '2020-01-04', 0, 1), (9, NULL, 1, "
               "'2020-01-04', NULL, 1, 0), (10, NULL, NULL, '2020-01-02', '2020-01-03', 1, 0), "
               "(11, 'B', NULL, '2020-01-01', '2020-01-02', 0, 0), (12, 'B', NULL, '2020-01-02', "
               "'2020-01-03', 1, 1), (13, 'C', 2.5, NULL, '2020-01-02', 1, 0), (14, 'b', NULL, "
               "NULL, '2020-01-01', 1, 1)");
        w.Exec("ALTER TABLE " + c.Table + " ADD COLUMN is_sustainable bit DEFAULT 0");
        const auto read =
            ReadVersions(w.Connection(), ElementVersionsQuery(kSqlite, c.Table, c.Key, {"rowid"}));
        EXPECT_EQ(read, ReadVersions(w.Connection(), WindowedElementVersionsQuery(
                                                         kSqlite, c.Table, c.Key, {"rowid"})));
        EXPECT_GE(read.size(), 9u);
        // Versions are found by row id, never by a scan per element.
        EXPECT_THAT(
            w.Lines("EXPLAIN QUERY PLAN " +
                    ElementVersionsQuery(kSqlite, c.Table, c.Key, {"rowid"})),
            ::testing::Contains(::testing::HasSubstr("USING INTEGER PRIMARY KEY (rowid=?)")));
    }
}

}  // namespace
}  // namespace varnel
