// A table spelled one way in dwm_tables and another in a relation is missed by every look-up
// by name: its rows look unused. Such metadata stops a run that marks, reports or deletes
// before anything changes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/run_doubles.h"
#include "tests/support/varnel_process.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

using ::testing::HasSubstr;

class TableSpellingsTest : public testing::RunTest {
  protected:
    //! Store 2 is used only by f_returns, through the relation of row 2.
    void SetUp() override {
        RunTest::SetUp();
        w_.Dimension("d_store", {"store_id INTEGER"},
                     {.PrimaryKey = "store_id", .OrgPkey = "store_id"});
        w_.Table("d_region", {"region_id INTEGER"});
        for (const char* fact : {"f_sales", "f_returns"}) {
            w_.Fact(fact, {"id INTEGER", "store_id INTEGER"}, {.PrimaryKey = "id"});
            w_.Relation("d_store", "store_id", fact, "store_id");
            w_.Rows(fact, {"id", "store_id"}, {{1, std::string(fact) == "f_sales" ? 1 : 2}});
        }
        w_.Rows("d_store", {"store_id"}, {{1}, {2}});
        w_.Close();
    }

    //! Runs varnel with the tasks given on a copy spoilt by the statements; returns the exit
    //! code, and the log in log.
    int Run(const std::string& name, const std::vector<std::string>& spoil,
            const std::vector<std::string>& tasks, std::string& log, bool& unchanged) {
        const std::string path = dir_.File(name + ".db");
        std::filesystem::copy_file(w_.Path(), path);
        for (const auto& sql : spoil) testing::OpenSqlite(path)->Execute(sql);
        const auto before = testing::TableContents(path);
        auto args = testing::SqliteRun(VARNEL_EXE, path, dir_.File(name));
        args.insert(args.end(), tasks.begin(), tasks.end());
        const int exitCode = testing::RunChild(args).ExitCode;
        log = testing::FilesIn(dir_.File(name), ".txt");
        unchanged = testing::TableContents(path) == before;
        return exitCode;
    }

    testing::WarehouseBuilder w_;
};

TEST_F(TableSpellingsTest, AnotherSpellingOfAListedTableStopsTheRunBeforeAnythingChanges) {
    const auto fault = [](const std::string& row, const std::string& spelling,
                          const std::string& column, const std::string& listed) {
        const bool primary = column == "primary_table";
        return "Row " + row + " of dwm_star_relations (" +
               (primary ? "f_returns to " + spelling : spelling + " to d_store") +
               ") names table '" + spelling + "' in " + column + ", which dwm_tables spells '" +
               listed + "'. Spell each table as dwm_tables does; nothing was changed.";
    };
    const struct {
        std::string Spoil, Fault;
    } cases[] = {
        {"D_STORE", ""},
        {" d_store", ""},
        {"d_store ", ""},
        {"[d_store]", ""},
        {"\"d_store\"", ""},
        {"main.d_store", ""},
        {"UPDATE dwm_star_relations SET foreign_table = 'MAIN.[F_Sales]' WHERE foreign_table = "
         "'f_sales'",
         fault("1", "MAIN.[F_Sales]", "foreign_table", "f_sales")},
        {"INSERT INTO dwm_tables VALUES ('D_Store', 'DIMENSION', NULL, 1, NULL)",
         "Table dwm_tables lists one table in two spellings, 'd_store' and 'D_Store'. Spell "
         "each table one way; nothing was changed."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Spoil);
        // A bare spelling names the dimension in the relation of f_returns.
        const std::string spoil = c.Fault.empty()
                                      ? "UPDATE dwm_star_relations SET primary_table = '" +
                                            c.Spoil + "' WHERE foreign_table = 'f_returns'"
                                      : c.Spoil;
        std::string log;
        bool unchanged = false;
        EXPECT_EQ(
            Run(std::to_string(&c - cases), {spoil}, {"-mark", "-grep", "-del"}, log, unchanged),
            1);
        EXPECT_TRUE(unchanged);
        EXPECT_THAT(log, HasSubstr(c.Fault.empty() ? fault("2", c.Spoil, "primary_table", "d_store")
                                                   : c.Fault))
            << log;
    }
}

// A relation that names an unlisted table keeps working as before; the log says so once.
TEST_F(TableSpellingsTest, AnUnlistedTableIsNotedOnceAndTheRunGoesOn) {
    std::string log;
    bool unchanged = false;
    const std::string relation =
        "INSERT INTO dwm_star_relations VALUES (1, 'd_region', 'region_id', 'f_sales', "
        "'store_id', 0, NULL)";
    // Store 3 is used by nothing: it goes.
    EXPECT_EQ(Run("unlisted", {relation, relation, "INSERT INTO d_store VALUES (3, 0, 0)"},
                  {"-mark", "-grep", "-del"}, log, unchanged),
              0)
        << log;
    EXPECT_EQ(testing::QueryValue(*testing::OpenSqlite(dir_.File("unlisted.db")),
                                  "SELECT group_concat(store_id) FROM d_store"),
              "1,2");
    const std::string note = "Table 'd_region' of dwm_star_relations is not listed in dwm_tables.";
    EXPECT_EQ(log.find(note), log.rfind(note));
    EXPECT_THAT(log, HasSubstr(note));
}

}  // namespace
}  // namespace varnel
