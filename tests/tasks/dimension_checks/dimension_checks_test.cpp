// The dimension checks dialog's helpers: which values tick a record, the join test
// and the rebuild of the typed query, checked as exact texts. The dialog's tests
// run the list and the records on a real warehouse.

#include "tasks/dimension_checks/dimension_checks.h"

#include <gtest/gtest.h>

#include "tasks/dimension_checks/records_query.h"

namespace varnel {
namespace {

TEST(DimensionChecksTicksTest, AnyNonZeroValueTicks) {
    const struct {
        std::optional<std::string> Value;
        bool Ticked;
    } cases[] = {{"-1", true},   {"0", false}, {"0.0", false}, {" 2 ", true},
                 {"True", true}, {"x", false}, {"", false},    {std::nullopt, false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsTicked(c.Value), c.Ticked) << c.Value.value_or("<null>");
}

TEST(RecordsQueryTest, OnlyACommaInTheFromPartMakesAJoin) {
    const struct {
        std::string Query;
        bool Join;
    } cases[] = {
        {"select * from dim_a, dim_b where dim_a.id = dim_b.id", true},
        {"select * from dim_a d JOIN dim_b e ON d.id = e.id where d.x in (1, 2)", false},
        {"select code, name from dim_a where code in ('a', 'b')", false},
        {"select code from dim_a group by code, name", false},
        // The words are found inside longer words as well.
        {"select * from dim_somewhere, dim_b", false},
        {"select a, b", true},
    };
    for (const auto& c : cases) EXPECT_EQ(IsJoinQuery(c.Query), c.Join) << c.Query;
}

// A query whose words run out after TOP is refused with the word it stopped at.
TEST(RecordsQueryTest, TheTypedQueryIsRebuiltWithIsSustainableFirst) {
    const struct {
        std::string Typed;
        std::optional<std::string> Rebuilt;
        std::string Message = "";
    } cases[] = {
        {"select   *  from dim_a   where code = 'x'",
         "Select  is_sustainable, * from dim_a where code = 'x'  "},
        {"update * from dim_a", "Select  is_sustainable, * from dim_a  "},
        {"SELECT distinct code from dim_a", "Select distinct  is_sustainable, code from dim_a  "},
        {"select top 10 percent with ties code from dim_a order by code",
         "Select TOP 10 PERCENT WITH TIES  is_sustainable, code from dim_a order by code  "},
        {"select DISTINCT Top 5 * from dim_a",
         "Select DISTINCT TOP 5  is_sustainable, * from dim_a  "},
        // Tabs and line breaks are no separators.
        {"select *\tfrom dim_a\r\nwhere x = 1",
         "Select  is_sustainable, *\tfrom dim_a\r\nwhere x = 1  "},
        {"select", "Select  is_sustainable,  "},
        {"select top", std::nullopt, "nothing follows top."},
        {"select top 5 percent   ", std::nullopt, "nothing follows percent."},
        {"select top 5 with ties", std::nullopt, "nothing follows with ties."},
    };
    for (const auto& c : cases) {
        std::string message;
        EXPECT_EQ(RebuildRecordsQuery(c.Typed, message), c.Rebuilt) << c.Typed;
        EXPECT_EQ(message, c.Message.empty() ? "" : "The query cannot be run, because " + c.Message)
            << c.Typed;
    }
}

}  // namespace
}  // namespace varnel
