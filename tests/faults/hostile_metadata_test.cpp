// Metadata that no one should write (quotes, markup, statement ends, comments, long and
// non-ASCII texts, Nulls), read by every task: each run refuses with a message in its log
// or does the right thing; none crashes, hangs or touches a table it has no business with.

#include <gmock/gmock.h>

#include "tests/support/run_doubles.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"
#include "warehouse/sql_literal.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;
using testing::QueryValue;

const std::string kLong(10000, 'x');

//! Statements that give d_store another name, f_sales another condition, or add a dimension.
std::string Name(const std::string& name) {
    return "UPDATE dwm_tables SET table_name = '" + name + "' WHERE table_name = 'd_store'";
}
std::string Condition(const std::string& condition) {
    return "UPDATE dwm_tables SET where_clause = '" + condition + "' WHERE table_name = 'f_sales'";
}
std::vector<std::string> Added(const std::string& quoted, const std::string& entry,
                               const std::string& where = "NULL") {
    return {
        "CREATE TABLE " + quoted +
            " (id INTEGER PRIMARY KEY, is_deletable bit DEFAULT 0, is_sustainable bit DEFAULT 0)",
        "INSERT INTO dwm_tables VALUES (" + entry + ", 'DIMENSION', " + where + ", 1, NULL)"};
}

struct HostileCase {
    std::string Name;
    //! Spoil: statements that spoil the metadata. Archived: rows left in the fact table and rows
    //! archived when archiving succeeds. Listed: texts the report shows, markup escaped.
    std::vector<std::string> Spoil;
    std::string Archived = "1+2";
    std::vector<std::string> Listed{};
};

const std::vector<HostileCase> kCases = {
    {"statement end in a name", {Name("d_store; DELETE FROM victim")}},
    {"quote and comment in a name", {Name("d_store'' --")}},
    {"block comment in a column list",
     {"UPDATE dwm_star_relations SET foreign_columns = 'store_id /*'"}},
    {"long name", {Name(kLong)}},
    {"non-ASCII name", Added("\"d_störe\"", "'d_störe'")},
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
    {"statement end in a condition", {Condition("amount < 0; DELETE FROM victim")}},
    {"line comment in a condition", {Condition("amount < 15 -- small")}},
    {"open block comment in a condition", {Condition("amount < 15 /*")}},
    {"quotes and markup in a condition",
     {Condition("note <> ''a&b'' AND amount < 15")},
     "2+1",
     {"note &lt;&gt; ", "a&amp;b"}},
    {"long condition", {Condition("amount < 15 AND note <> ''" + kLong + "''")}},
    {"markup in a table name",
     Added("\"s<&t\"", "'\"s<&t\"'", "'id < 3 & 1'"),
     "1+2",
     {"s&lt;&amp;t"}},
};

class HostileMetadataTest : public testing::RunTest {};

TEST_F(HostileMetadataTest, EveryTaskRefusesClearlyOrWorksAndNeverHarmsAnUnnamedTable) {
    testing::WarehouseBuilder w;
    w.Dimension("d_store", {"store_id INTEGER", "name VARCHAR(20)"}, {.PrimaryKey = "store_id"});
    w.Fact("f_sales", {"id INTEGER", "store_id INTEGER", "amount INTEGER", "note TEXT"},
           {.PrimaryKey = "id", .WhereClause = "amount < 15"});
    w.Relation("d_store", "store_id", "f_sales", "store_id");
    w.Rows("d_store", {"store_id", "name"}, {{1, "north"}, {2, "south"}, {3, "east"}});
    w.Rows("f_sales", {"id", "store_id", "amount", "note"},
           {{1, 2, 10, "a&b"}, {2, 2, 20, "c"}, {3, 1, 12, "d"}});
    w.Table("victim", {"v INTEGER"});
    w.Rows("victim", {"v"}, {{7}});
    w.Close();
    int refused = 0;
    for (const auto& c : kCases) {
        for (const std::string task : {"-chkmd", "-clsf", "-mark", "-grep", "-del"}) {
            SCOPED_TRACE(c.Name + ", " + task);
            const std::string name = std::to_string(&c - kCases.data()) + task,
                              path = dir_.File(name + ".db");
            std::filesystem::copy_file(w.Path(), path);
            const std::string archive = testing::CreateSqliteFile(path + ".archive");
            for (const auto& sql : c.Spoil) testing::OpenSqlite(path)->Execute(sql);
            const auto before = testing::TableContents(path);
            auto args = testing::SqliteRun(VARNEL_EXE, path, dir_.File(name), archive);
            args.push_back(task);
            const int exitCode = testing::RunChild(args).ExitCode;  // -1 when killed by a signal
            ASSERT_THAT(exitCode, ::testing::AnyOf(0, 1));
            const std::string log = testing::FilesIn(dir_.File(name), ".txt"),
                              reports = testing::FilesIn(dir_.File(name), ".html");
            auto db = testing::OpenSqlite(path);
            EXPECT_EQ(QueryValue(*db, "SELECT group_concat(v) FROM victim"), "7");
            if (exitCode == 1) {
                ++refused;
                EXPECT_THAT(log, HasSubstr("Error occured")) << log;
                EXPECT_EQ(testing::TableContents(path), before);
                continue;
            }
            if (task == "-clsf") {
                db->Execute("ATTACH DATABASE " + SqlLiteral(archive) + " AS ar");
                const bool made =
                    QueryValue(*db, "SELECT 1 FROM ar.sqlite_master WHERE name = 'f_sales'") == "1";
                EXPECT_EQ(QueryValue(*db, "SELECT count(*) FROM f_sales") + "+" +
                              (made ? QueryValue(*db, "SELECT count(*) FROM ar.f_sales") : "0"),
                          c.Archived);
            }
            for (const char* raw : {"s<&t", "a&b", "3 & 1"})
                EXPECT_THAT(reports, ::testing::Not(HasSubstr(raw)));
            if (task == "-grep") {
                for (const auto& text : c.Listed) EXPECT_THAT(reports, HasSubstr(text));
            }
        }
    }
    EXPECT_GT(refused, 0);
}

}  // namespace
}  // namespace varnel
