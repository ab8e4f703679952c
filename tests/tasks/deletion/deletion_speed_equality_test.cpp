// The versions the repair reads: the form that SQLite gets returns the same
// rows, in the same order and split into the same elements, as the window form,
// on generated tables whose keys mix types, case, Nulls and collations.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tasks/deletion/deletion_statements.h"
#include "tests/support/warehouse_builder.h"
#include "tests/tasks/deletion/deletion_fixture.h"

namespace varnel {
namespace {

const SqliteDialect kSqlite;

using DeletionSpeedTest = testing::DeletionTest;

// A day of January 2020 with two digits.
std::string Day(int day) {
    return (day < 10 ? "0" : "") + std::to_string(day);
}

// Rows as "(id, k1, k2, start_date, end_date, is_current, is_deletable)" literals:
// a few versions per element, dates that meet, overlap or are Null, runs of marks.
std::string GeneratedRows(unsigned seed) {
    static const std::vector<std::string> firstParts{"'A'", "'a'",  "'B'",  "7",  "7.0",
                                                     "'7'", "NULL", "'b '", "'b'"};
    static const std::vector<std::string> secondParts{"1", "2.5", "NULL"};
    std::mt19937 random(seed);
    const auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    const auto pick = [&](const std::vector<std::string>& from) {
        return from[static_cast<std::size_t>(below(static_cast<int>(from.size())))];
    };
    std::string rows;
    int id = 0;
    for (int element = 0; element < 60; ++element) {
        const std::string key = pick(firstParts) + ", " + pick(secondParts);
        int day = 1 + below(15);
        bool marked = below(2) == 0;
        for (int version = 0, versions = 1 + below(4); version < versions; ++version) {
            const int next = day + below(3);
            const std::string start = below(12) == 0 ? "NULL" : "'2020-01-" + Day(day) + "'";
            const std::string end =
                below(12) == 0 ? "NULL" : "'2020-01-" + Day(next) + " 10:00:00'";
            if (below(3) == 0) marked = !marked;
            rows += std::string(rows.empty() ? "" : ", ") + "(" + std::to_string(++id) + ", " +
                    key + ", " + start + ", " + end + ", " + (version + 1 == versions ? "1" : "0") +
                    ", " + (marked ? "1" : "0") + ")";
            day = next;
        }
    }
    return rows;
}

// The rows of a versions query, element by element, with each element named by the
// position of its first row so that the two forms' numberings compare. An element
// without a marked version changes nothing in the repair and is left out.
testing::Texts ReadVersions(Connection& connection, const std::string& query) {
    std::vector<testing::Texts> elements;
    std::vector<bool> marked;
    std::optional<std::string> element;
    auto rows = connection.Query(query);
    while (rows.Next()) {
        if (elements.empty() || rows.Get(1) != element) {
            elements.emplace_back();
            marked.push_back(false);
            element = rows.Get(1);
        }
        std::string line;
        for (const std::size_t column : {0u, 2u, 3u, 4u, 5u, 6u, 7u})
            line += "|" + rows.Get(column).value_or("<null>");
        elements.back().push_back(line);
        marked.back() = marked.back() || rows.Get(7) == std::optional<std::string>("1");
    }
    testing::Texts lines;
    for (std::size_t e = 0; e < elements.size(); ++e) {
        if (!marked[e]) continue;
        const std::string first = std::to_string(lines.size());
        for (const auto& line : elements[e]) lines.push_back(first + line);
    }
    return lines;
}

TEST(DeletionSpeedEqualityTest, RestrictedVersionsQueryReadsAsTheWindowForm) {
    const struct {
        std::string Table, FirstPart, Key, Index;
    } cases[] = {
        {"dim_plain", "k1", "k1", ""},
        {"dim_nocase", "k1 TEXT COLLATE NOCASE", "k1", "k1"},
        {"dim_two", "k1", "k1, k2", ""},
        {"dim_two_nocase", "k1 COLLATE NOCASE", " k1 ,k2", "k1, k2"},
        // The query's own aliases as table names.
        {"marked", "k1", "k1,k2", ""},
        {"versions", "k1", "k2, k1", "k2"},
    };
    testing::WarehouseBuilder w;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Table);
        w.Exec("CREATE TABLE " + c.Table + " (id INTEGER PRIMARY KEY, " + c.FirstPart +
               ", k2 REAL, start_date DATETIME, end_date DATETIME, is_current bit, "
               "is_deletable bit)");
        if (!c.Index.empty())
            w.Exec("CREATE INDEX ix_" + c.Table + " ON " + c.Table + " (" + c.Index + ")");
        for (unsigned seed = 1; seed <= 3; ++seed) {
            w.Exec("DELETE FROM " + c.Table);
            w.Exec("INSERT INTO " + c.Table + " VALUES " + GeneratedRows(seed));
            const auto restricted = ReadVersions(
                w.Connection(), ElementVersionsQuery(kSqlite, c.Table, c.Key, {"rowid"}));
            const auto windowed = ReadVersions(
                w.Connection(), WindowedElementVersionsQuery(kSqlite, c.Table, c.Key, {"rowid"}));
            EXPECT_EQ(restricted, windowed) << "seed " << seed;
            EXPECT_GT(restricted.size(), 20u);
        }
    }
    // Versions are joined by row id, never by a scan per element, with or without an
    // index on the key.
    EXPECT_THAT(w.Lines("EXPLAIN QUERY PLAN " +
                        ElementVersionsQuery(kSqlite, "dim_plain", "k1", {"rowid"})),
                ::testing::Contains(
                    ::testing::HasSubstr("SEARCH versions USING INTEGER PRIMARY KEY (rowid=?)")));
    // An identity of several columns keeps the window form.
    EXPECT_EQ(ElementVersionsQuery(kSqlite, "d", "k1", {"id", "start_date"}),
              WindowedElementVersionsQuery(kSqlite, "d", "k1", {"id", "start_date"}));
}

// Enough changed versions of each form for full batches and a remainder: every
// element loses its first version to its second and its current one to the one
// before, which takes over the end and becomes current.
TEST_F(DeletionSpeedTest, ManyRepairedVersionsAreAllWritten) {
    constexpr int kElements = 450;
    std::vector<testing::Version> versions;
    testing::Texts expected;
    for (int e = 0; e < kElements; ++e) {
        const int id = 4 * e;
        const std::string code = "c" + std::to_string(e);
        versions.push_back(testing::V(id + 1, code, 1, "2020-01-01", "2020-02-01", 0, 1));
        versions.push_back(testing::V(id + 2, code, 1, "2020-02-01", "2020-03-01", 0, 0));
        versions.push_back(testing::V(id + 3, code, 1, "2020-03-01", "2020-04-01", 0, 0));
        versions.push_back(testing::V(id + 4, code, 1, "2020-04-01", testing::kOpenEnd, 1, 1));
        expected.push_back(std::to_string(id + 2) + "|2020-01-01|2020-03-01|0");
        expected.push_back(std::to_string(id + 3) + "|2020-03-01|" + testing::kOpenEnd + "|1");
    }
    Customers(versions);
    ASSERT_TRUE(Delete(false)) << state_.MessageText;
    auto actual = Versions();
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(actual, expected);
}

}  // namespace
}  // namespace varnel
