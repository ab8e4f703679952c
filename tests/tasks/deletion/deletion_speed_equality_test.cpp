// The versions the repair reads on SQLite come as from the window form: the same
// rows, order and elements, whatever the keys' types, case, Nulls and collation.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tasks/deletion/deletion_statements.h"
#include "tests/support/warehouse_builder.h"

namespace varnel {
namespace {

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
