// Rows that referring rows use when the deletion runs are kept, whatever the marks say.

#include "tasks/deletion/reference_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/tasks/deletion/deletion_fixture.h"

namespace varnel {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::Null;
using testing::V;

constexpr const char* kOpen = "9999-12-31";

std::string KeptLine(const std::string& table, int kept) {
    return "Kept " + std::to_string(kept) + " marked rows of table " + table +
           " that rows of referring tables refer to.\r\n";
}

TEST(ReferenceCheckTextTest, StatementsReadTheReferringTableUnderAnAlias) {
    const SqlServerDialect server;
    const SqliteDialect sqlite;
    const struct {
        const SqlDialect& Dialect;
        std::string Expected;
    } cases[] = {
        {server,
         "UPDATE dim_store SET is_deletable = 0 WHERE is_deletable = 1 AND EXISTS (SELECT 1 FROM "
         "fact_sales AS referrer WITH (HOLDLOCK) WHERE dim_store.code = referrer.store_code AND "
         "dim_store.region = referrer.store_region)"},
        {sqlite,
         "UPDATE dim_store SET is_deletable = 0 WHERE is_deletable = 1 AND EXISTS (SELECT 1 FROM "
         "fact_sales AS referrer WHERE dim_store.code = referrer.store_code AND "
         "dim_store.region = referrer.store_region)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KeepReferencedRowsStatement(c.Dialect, "dim_store", "fact_sales", "code, region",
                                              " store_code ,store_region"),
                  c.Expected);
        EXPECT_THROW(KeepReferencedRowsStatement(c.Dialect, "d", "f", "a,b", "x"),
                     std::runtime_error);
    }
    EXPECT_THAT(KeepReferencedRowsStatement(sqlite, "dbo.[Referrer]", "f", "id", "r_id"),
                HasSubstr("FROM f AS referrer_row WHERE dbo.[Referrer].id = referrer_row.r_id)"));
}

TEST(ReferenceCheckTextTest, ReferringTablesComeFirst) {
    using Tables = std::vector<std::string>;
    const struct {
        Tables Listed;
        std::vector<std::pair<std::string, std::string>> References;  // referenced, referring
        Tables Expected;
    } cases[] = {
        {{"a", "b", "c"}, {{"a", "b"}, {"b", "c"}}, {"c", "b", "a"}},
        {{"a", "b"}, {{"a", "a"}, {"b", "fact"}}, {"a", "b"}},  // itself, an unlisted table
        {{"Dim_A", "dim_b"}, {{"dim_a ", " DIM_B"}}, {"dim_b", "Dim_A"}},
        // A cycle, and a table it refers to, follow the rest in list order.
        {{"e", "a", "b", "c", "d"},
         {{"a", "b"}, {"b", "a"}, {"c", "d"}, {"e", "a"}},
         {"d", "c", "e", "a", "b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReferringFirst(c.Listed, c.References), c.Expected) << c.Listed[0];
}

class ReferenceCheckTest : public testing::DeletionTest {
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

    //! Runs varnel with logs in <name> and standard error in <name>.err; returns the status.
    int RunVarnel(const std::string& name, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {VARNEL_EXE, "-mac", "sqlite", "-db", w_.Path(),
                                             "-ntaut", "-log", dir_.File(name)});
        const std::string errors = dir_.File(name + ".err");
        const pid_t child = fork();
        if (child == 0) {
            if (!std::freopen(errors.c_str(), "w", stderr)) _exit(126);
            std::vector<char*> argv;
            for (auto& argument : arguments) argv.push_back(argument.data());
            argv.push_back(nullptr);
            execv(VARNEL_EXE, argv.data());
            _exit(127);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Log(const std::string& name) {
        for (const auto& file : std::filesystem::directory_iterator(dir_.File(name)))
            if (file.path().extension() == ".txt") return testing::ReadFile(file.path().string());
        return "";
    }
};

// Every referring row counts, whatever its mark, in a fact table, in an unselected
// dimension and in the table itself; pairs of columns match as pairs.
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

    EXPECT_EQ(DeleteWithLog(false), KeptLine("dim_store", 5));
    EXPECT_THAT(w_.Column("SELECT id FROM dim_store ORDER BY id"),
                ElementsAre("1", "3", "5", "6", "7"));
    const auto history = History();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].RecordCount, "2");  // the rows deleted, not the rows kept
}

// The child goes first: its partly marked element keeps the parent row that a
// marked version uses; the parent of its deleted element goes too.
TEST_F(ReferenceCheckTest, AtomicSnowflakeKeepsTheParentOfAPartlyMarkedChildElement) {
    w_.Dimension("dim_category", {"id INTEGER"}, {.PrimaryKey = "id"});
    w_.Dimension("dim_product", {"id INTEGER", "code VARCHAR(9)", "category_id INTEGER"},
                 {.PrimaryKey = "id", .OrgPkey = "code", .SlowlyChanging = true});
    w_.Relation("dim_product", "id", "fact_sales", "brand_id");
    w_.Relation("dim_category", "id", "dim_product", "category_id");
    w_.Versions("dim_product", {"id", "code", "category_id"},
                {V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 1),
                 V(2, "A", 2, "2020-02-01", kOpen, 1, 0), V(3, "B", 3, "2020-01-01", kOpen, 1, 1)});
    w_.Rows("dim_category", {"id", "is_deletable"}, {{1, 1}, {2, 0}, {3, 1}, {4, 1}});

    EXPECT_EQ(DeleteWithLog(true), KeptLine("dim_category", 1));
    EXPECT_THAT(w_.Column("SELECT id FROM dim_product ORDER BY id"), ElementsAre("1", "2"));
    EXPECT_THAT(w_.Column("SELECT id FROM dim_category ORDER BY id"), ElementsAre("1", "2"));
}

class ReferenceCheckModeTest : public ReferenceCheckTest,
                               public ::testing::WithParamInterface<bool> {};

// The first relation works and clears a mark, the second names a missing column:
// the table stays as it was, marks included, and the task ends there.
TEST_P(ReferenceCheckModeTest, ACheckThatCannotRunLeavesItsTableAsItWas) {
    Brands({1, 2}, {1, 2});
    Customers({V(1, "A", 1, "2020-01-01", kOpen, 1, 1), V(2, "B", 1, "2020-01-01", kOpen, 1, 1)},
              "dim_zone");
    w_.Table("zone_links", {"id INTEGER"});
    w_.Relation("dim_zone", "id", "zone_links", "zone_id");
    w_.Rows("fact_sales", {"id", "customer_id"}, {{1, 1}});

    EXPECT_FALSE(Delete(GetParam()));
    EXPECT_THAT(state_.MessageText,
                HasSubstr("no such column: referrer.zone_id (1)\r\nTable concerned: dim_zone\r\n"));
    EXPECT_EQ(w_.Count("dim_brand"), 0);  // deleted before it
    EXPECT_THAT(w_.Marked("dim_zone", "id"), ElementsAre("1", "2"));
    const auto history = History();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[1].TableName + "|" + history[1].Status + "|" + history[1].RecordCount,
              "dim_zone|3|0");
}

// A fact loaded after marking keeps its version (made current by the repair) or, in
// atomic mode, its whole element.
TEST_P(ReferenceCheckModeTest, AFactLoadedAfterMarkingKeepsItsRows) {
    const bool atomic = GetParam();
    Brands({1, 2, 3}, {});
    Customers({V(1, "A", 1, "2020-01-01", "2020-02-01", 0, 0),
               V(2, "A", 1, "2020-02-01", kOpen, 1, 0), V(3, "B", 1, "2020-01-01", kOpen, 1, 0)});
    w_.Close();
    ASSERT_EQ(RunVarnel("mark", {"-mark"}), 0) << Log("mark");
    ASSERT_EQ(w_.Count("dim_customer", "is_deletable = 1"), 3);
    w_.Rows("fact_sales", {"id", "customer_id", "brand_id"}, {{1, 1, 2}});
    w_.Close();
    ASSERT_EQ(RunVarnel("del", atomic ? std::vector<std::string>{"-del", "-datom"}
                                      : std::vector<std::string>{"-del"}),
              0)
        << Log("del");

    EXPECT_THAT(w_.Column("SELECT id FROM dim_brand"), ElementsAre("2"));
    const testing::Texts versions =
        atomic ? testing::Texts{"1|2020-01-01|2020-02-01|0", "2|2020-02-01|9999-12-31|1"}
               : testing::Texts{"1|2020-01-01|9999-12-31|1"};
    EXPECT_EQ(Versions(), versions);
    const std::string kept = KeptLine("dim_brand", 1) + KeptLine("dim_customer", 1);
    EXPECT_THAT(Log("del"), ::testing::StartsWith(kept + "Varnel started on: "));
    std::string errors = kept;
    std::erase(errors, '\r');
    EXPECT_EQ(testing::ReadFile(dir_.File("del.err")), errors);
    std::vector<std::string> deleted;
    for (const auto& entry : History())
        if (entry.Category == "Deleted dimensions")
            deleted.push_back(entry.TableName + "|" + entry.RecordCount);
    EXPECT_THAT(deleted, ElementsAre("dim_brand|2", atomic ? "dim_customer|1" : "dim_customer|2"));
}

INSTANTIATE_TEST_SUITE_P(Modes, ReferenceCheckModeTest, ::testing::Bool());

// The sqlite3 shell inserts facts referring to existing marked rows for as long as
// varnel deletes: an orphan could only be the deletion's fault.
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
    const pid_t writer = fork();
    if (writer == 0) {
        execl("/bin/sh", "sh", dir_.File("writer.sh").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    std::int64_t before = 0;
    for (int i = 0; i < 2000 && (before = w_.Count("f_sales")) < 20; ++i) usleep(10000);
    w_.Close();
    const int status = RunVarnel("del", {"-del"});
    const std::int64_t during = w_.Count("f_sales") - before;
    std::ofstream(stop).put('\n');
    waitpid(writer, nullptr, 0);

    ASSERT_EQ(status, 0) << Log("del");
    std::printf("the writer inserted %lld facts before the run and %lld during it\n",
                static_cast<long long>(before), static_cast<long long>(during));
    EXPECT_GT(during, 0) << "the writer and the run did not overlap";
    for (const auto& key : keys) {
        EXPECT_EQ(w_.Count("f_sales", key + " NOT IN (SELECT " + key + " FROM d_" + key + ")"), 0)
            << key;
        EXPECT_LT(w_.Count("d_" + key), 40000) << key << ": nothing was deleted";
    }
}

}  // namespace
}  // namespace varnel
