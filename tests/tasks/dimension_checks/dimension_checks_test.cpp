#include <gtest/gtest.h>

#include "tasks/dimension_checks/records_query.h"

namespace varnel {
namespace {

// A query whose words run out after TOP is refused with the word it stopped at.
TEST(RecordsQueryTest, TheTypedQueryIsRebuiltWithIsSustainableFirst) {
    const struct {
        std::string Typed;
        std::optional<std::string> Rebuilt;
        std::string Message = "";
    } cases[] = {
        {"select   *  from dim_a   where code = 'x'",
         "Select  is_sustainable, * from dim_a where code = 'x'  "},
        {"select top 10 percent with ties code from dim_a order by code",
         "Select TOP 10 PERCENT WITH TIES  is_sustainable, code from dim_a order by code  "},
        {"select DISTINCT Top 5 * from dim_a",
         "Select DISTINCT TOP 5  is_sustainable, * from dim_a  "},
        // Tabs and line breaks are no separators.
        {"select *\tfrom dim_a\r\nwhere x = 1",
         "Select  is_sustainable, *\tfrom dim_a\r\nwhere x = 1  "},
        {"select top 5 percent   ", std::nullopt, "nothing follows percent."},
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
