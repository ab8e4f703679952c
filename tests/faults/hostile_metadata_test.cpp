// Metadata that no one should write, read by every task: quotes, markup, statement
// ends, comments, very long and non-ASCII texts and Nulls. Each run either refuses
// with a message in its log or does the right thing; none crashes, hangs or touches
// a table it has no business with.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/run_doubles.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"
#include "warehouse/sql_literal.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

const std::string kLong(10000, 'x');

struct HostileCase {
    std::string Name;
    //! Statements that spoil the metadata.
    std::vector<std::string> Spoil;
    //! Rows left in the fact table and rows archived when archiving succeeds.
    std::string Archived = "1+2";
};

const std::vector<HostileCase> kCases = {
    {"statement end in a name",
     {"UPDATE dwm_tables SET table_name = 'd_store; DELETE FROM victim' WHERE table_name = "
      "'d_store'"}},
    {"quote and comment in a name",
     {"UPDATE dwm_tables SET table_name = 'd_store'' --' WHERE table_name = 'd_store'"}},
    {"block comment in a column list",
     {"UPDATE dwm_star_relations SET foreign_columns = 'store_id /*'"}},
    {"long name",
     {"UPDATE dwm_tables SET table_name = '" + kLong + "' WHERE table_name = 'd_store'"}},
    {"non-ASCII name",
     {"CREATE TABLE \"d_störe\" (id INTEGER PRIMARY KEY, is_deletable bit DEFAULT 0, "
      "is_sustainable bit DEFAULT 0)",
      "INSERT INTO dwm_tables VALUES ('d_störe', 'DIMENSION', NULL, 1, NULL)"}},
    {"Null key and condition",
     {"UPDATE dwm_tables SET org_pkey = NULL, where_clause = NULL"},
     "3+0"},
    {"Null type and selection",
     {"UPDATE dwm_tables SET table_type = NULL, is_selected = NULL"},
     "3+0"},
    {"Null relation",
     {"UPDATE dwm_star_relations SET primary_table = NULL, primary_columns = NULL, "
      "foreign_columns = NULL, slow_moving_dim = NULL, selected = NULL"}},
    {"quote in the original key", {"UPDATE dwm_star_relations SET original_primary_key = 'id'''"}},
    {"statement end in a condition",
     {"UPDATE dwm_tables SET where_clause = 'amount < 0; DELETE FROM victim' WHERE table_name = "
      "'f_sales'"}},
    {"line comment in a condition",
     {"UPDATE dwm_tables SET where_clause = 'amount < 15 -- small' WHERE table_name = "
      "'f_sales'"}},
    {"open block comment in a condition",
     {"UPDATE dwm_tables SET where_clause = 'amount < 15 /*' WHERE table_name = 'f_sales'"}},
    {"quotes and markup in a condition",
     {"UPDATE dwm_tables SET where_clause = 'note <> ''a&b'' AND amount < 15' WHERE table_name "
      "= 'f_sales'"},
     "2+1"},
    {"long condition",
     {"UPDATE dwm_tables SET where_clause = 'amount < 15 AND note <> ''" + kLong +
      "''' WHERE table_name = 'f_sales'"}},
    {"markup in a table name",
     {"CREATE TABLE \"s<&t\" (id INTEGER PRIMARY KEY, is_deletable bit DEFAULT 0, "
      "is_sustainable bit DEFAULT 0)",
      "INSERT INTO dwm_tables VALUES ('\"s<&t\"', 'DIMENSION', 'id < 3 & 1', 1, NULL)"}},
};

const std::vector<std::string> kTasks = {"-chkmd", "-clsf", "-mark", "-grep", "-del"};

class HostileMetadataTest : public testing::RunTest {
  protected:
    void SetUp() override {
        RunTest::SetUp();
        w_.Dimension("d_store", {"store_id INTEGER", "name VARCHAR(20)"},
                     {.PrimaryKey = "store_id"});
        w_.Fact("f_sales", {"id INTEGER", "store_id INTEGER", "amount INTEGER", "note TEXT"},
                {.PrimaryKey = "id", .WhereClause = "amount < 15"});
        w_.Relation("d_store", "store_id", "f_sales", "store_id");
        w_.Rows("d_store", {"store_id", "name"}, {{1, "north"}, {2, "south"}, {3, "east"}});
        w_.Rows("f_sales", {"id", "store_id", "amount", "note"},
                {{1, 2, 10, "a&b"}, {2, 2, 20, "c"}, {3, 1, 12, "d"}});
        w_.Table("victim", {"v INTEGER"});
        w_.Rows("victim", {"v"}, {{7}});
        w_.Close();
    }

    //! Every table but the lock's, row by row.
    static std::string Everything(const std::string& path) {
        auto db = testing::OpenSqlite(path);
        std::vector<std::string> tables;
        auto names = db->Query(
            "SELECT name FROM sqlite_master WHERE type = 'table' AND name <> 'dwm_multiuse'");
        while (names.Next()) tables.push_back(*names.Get(0));
        std::string all;
        for (const auto& table : tables) {
            auto rows = db->Query("SELECT * FROM \"" + table + "\" ORDER BY rowid");
            while (rows.Next())
                for (std::size_t i = 0; i < rows.ColumnCount(); ++i)
                    all += rows.Get(i).value_or("<null>") + "|";
        }
        return all;
    }

    //! The log and the reports of a run.
    static std::pair<std::string, std::string> LogAndReports(const std::string& folder) {
        std::pair<std::string, std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            (entry.path().extension() == ".html" ? found.second : found.first) +=
                testing::ReadFile(entry.path().string());
        return found;
    }

    testing::WarehouseBuilder w_;
};

TEST_F(HostileMetadataTest, EveryTaskRefusesClearlyOrWorksAndNeverHarmsAnUnnamedTable) {
    int refused = 0;
    for (const auto& c : kCases) {
        for (const auto& task : kTasks) {
            SCOPED_TRACE(c.Name + ", " + task);
            const std::string name = std::to_string(&c - kCases.data()) + task;
            const std::string path = dir_.File(name + ".db");
            std::filesystem::copy_file(w_.Path(), path);
            const std::string archive = testing::CreateSqliteFile(path + ".archive");
            {
                auto db = testing::OpenSqlite(path);
                for (const auto& sql : c.Spoil) db->Execute(sql);
            }
            const std::string before = Everything(path);
            auto args = testing::SqliteRun(VARNEL_EXE, path, dir_.File(name));
            args.insert(args.end(), {"-bkmac", "sqlite", "-bkdb", archive, "-bkusr", "a", task});
            const auto end = testing::RunChild(args);
            ASSERT_FALSE(end.Signalled);
            ASSERT_THAT(end.ExitCode, ::testing::AnyOf(0, 1));
            const auto [log, reports] = LogAndReports(dir_.File(name));
            auto db = testing::OpenSqlite(path);
            EXPECT_EQ(testing::QueryValue(*db, "SELECT group_concat(v) FROM victim"), "7");
            if (end.ExitCode == 1) {
                ++refused;
                EXPECT_THAT(log, HasSubstr("Error occured")) << log;
                EXPECT_EQ(Everything(path), before);
                continue;
            }
            if (task == "-clsf") {
                db->Execute("ATTACH DATABASE " + SqlLiteral(archive) + " AS ar");
                const bool made = testing::QueryValue(*db,
                                                      "SELECT count(*) FROM ar.sqlite_master "
                                                      "WHERE name = 'f_sales'") == "1";
                EXPECT_EQ(
                    testing::QueryValue(*db, "SELECT count(*) FROM f_sales") + "+" +
                        (made ? testing::QueryValue(*db, "SELECT count(*) FROM ar.f_sales") : "0"),
                    c.Archived);
            }
            EXPECT_THAT(reports, Not(HasSubstr("s<&t")));
            EXPECT_THAT(reports, Not(HasSubstr("a&b")));
            EXPECT_THAT(reports, Not(HasSubstr("3 & 1")));
            // A delimited name with markup is found and listed, escaped.
            if (task == "-grep" && c.Name == "markup in a table name") {
                EXPECT_THAT(reports, HasSubstr("s&lt;&amp;t"));
            }
            if (task == "-grep" && c.Name == "quotes and markup in a condition") {
                EXPECT_THAT(reports, HasSubstr("note &lt;&gt; "));
                EXPECT_THAT(reports, HasSubstr("a&amp;b"));
            }
        }
    }
    EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace varnel
