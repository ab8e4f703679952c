// The repair of slowly changing dimensions against a plain SQL reference, on
// generated tables of several seeds; and the versions the repair reads on SQLite come
// as from the window form: the same rows, order and elements, whatever the keys'
// types, case, Nulls and collation.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tasks/deletion/deletion_statements.h"
#include "tests/support/sqlite_file.h"
#include "tests/tasks/deletion/deletion_fixture.h"

namespace varnel {
namespace {

// The reference: each marked version in repair order moves its neighbours with values
// read from the row as it stands, then the marked rows go.
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
    // Every marker of both forms takes the version's rowid.
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

// Generated versions as SQL values: mixed-type and Null keys (7 and 7.0 are one
// element, '7' another), same-day versions, gaps, times (with milliseconds), Null dates, several or
// no current, runs of marked versions.
std::string GeneratedRows(std::mt19937& random, int elements, bool twoPartKey, int& id) {
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
        std::string key =
            pick({"'A'", "'B'", "'a'", "7", "7.0", "'7'", "NULL", "'O''Hara'", "0.1 + 0.2", "0.3"});
        if (twoPartKey) key += ", " + pick({"1", "2.5", "NULL", "0.1 + 0.2", "0.3"});
        int day = below(400);
        const int versions = 1 + below(5);
        bool marked = below(2) == 0;
        for (int v = 0; v < versions; ++v) {
            const bool last = v == versions - 1;
            const int next = day + (below(4) == 0 ? 0 : 1 + below(60));
            const std::string start =
                below(15) == 0 ? "NULL" : date(day, below(3) == 0 ? "09:00:00" : "00:00:00");
            const std::string end = below(15) == 0 ? "NULL"
                                    : last         ? "'9999-12-31 00:00:00'"
                                                   : date(next - (below(8) == 0 ? 1 : 0),
                                                  below(3) == 0 ? "18:30:00.500" : "00:00:00");
            const bool current = last ? below(10) != 0 : below(10) == 0;
            if (below(3) == 0) marked = !marked;
            values += std::string(values.empty() ? "" : ", ") + "(" + std::to_string(++id) + ", " +
                      key + ", " + start + ", " + end + (current ? ", 1, " : ", 0, ") +
                      (marked ? "1)" : "0)");
            day = next;
        }
    }
    return values;
}

class ScdRepairTest : public testing::DeletionTest, public ::testing::WithParamInterface<unsigned> {
  protected:
    //! The table under test and its unregistered reference copy.
    void Tables(const std::string& name, const std::string& key, const std::string& columns,
                const std::string& rows, const std::string& referring) {
        for (const std::string& table : {name, "ref_" + name}) {
            w_.Dimension(table, {"id INTEGER", "k1", "k2 REAL"},
                         {.PrimaryKey = "id",
                          .OrgPkey = key,
                          .SlowlyChanging = true,
                          .Registered = table == name});
            w_.Exec("INSERT INTO " + table + " (" + columns +
                    ", start_date, end_date, is_current, is_deletable) VALUES " + rows);
        }
        w_.Relation(name, "id", "fact_sales", referring);
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
    const testing::Texts before = Contents("dim_two");

    ReferenceRepairAndDelete(w_.Connection(), "ref_dim_one", "k1", {"k1"});
    ReferenceRepairAndDelete(w_.Connection(), "ref_dim_two", "k1, k2", {"k1", "k2"});
    ASSERT_TRUE(Delete(false)) << state_.MessageText;

    EXPECT_EQ(Contents("dim_one"), Contents("ref_dim_one"));
    EXPECT_EQ(Contents("dim_two"), Contents("ref_dim_two"));
    EXPECT_NE(Contents("dim_two"), before);
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
