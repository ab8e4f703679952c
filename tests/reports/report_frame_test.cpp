// File names, escaping, the report file writer and the statement texts of the
// report task.

#include "reports/report_frame.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "reports/report_statements.h"
#include "tests/support/temp_dir.h"

namespace varnel {
namespace {

using testing::ReadFile;

const Timestamp kStart{2005, 3, 7, 9, 5, 3};

TEST(ReportFileTest, FileIsEmptiedWhenItExistsAndEveryPieceEndsInCrLf) {
    const testing::TempDir dir;
    const std::string path = dir.File("page.html");
    testing::WriteFile(path, "an older and longer page of the same name\r\n");
    {
        ReportFile file(path);
        file.Write("one");
        file.Write("two\r\nlines");
        file.Close();
    }
    EXPECT_EQ(ReadFile(path), "one\r\ntwo\r\nlines\r\n");
}

TEST(ReportTexts, FileNamesEscapesAndStatementsAreExact) {
    const std::pair<std::string, std::string> cases[] = {
        {ReportLinkTarget(ReportKind::TableFilter, kStart, kStart),
         "TableFilterReport07-03-200509-05-03.html"},
        // One separator is always added, also after a trailing one.
        {ReportFilePath("/var/log/varnel/", ReportKind::Detailed, kStart, kStart),
         "/var/log/varnel//DetailedReport07-03-200509-05-03.html"},
        // The four special characters only.
        {HtmlEscape("qty < 10 & price > 2 AND note = \"x\""),
         "qty &lt; 10 &amp; price &gt; 2 AND note = &quot;x&quot;"},
        {DimensionCountStatement(),
         "Select COUNT(*) from dwm_tables where Upper(table_type) = 'DIMENSION'"},
        {ReportedTableCountStatement(),
         "Select COUNT(*) from dwm_tables where (Upper(table_type) = 'DIMENSION' AND "
         "is_selected = 1) OR UPPER(table_type)='FACT'"},
        {DimensionTableListStatement(),
         "Select distinct table_name from dwm_tables where Upper(table_type) = 'DIMENSION'"},
        {CountUnusedRecordsStatement("dim_product"),
         "Select Count(*) As CntUnusedRecords from dim_product where is_deletable=1"},
        {KeyColumnsStatement("dim_o'neil"),
         "SELECT DISTINCT org_pkey FROM dwm_tables WHERE table_name = 'dim_o''neil'"},
        {MarkedRecordsStatement("dim_store", {"region", "store_no", "surkey"}),
         "SELECT region,store_no,surkey FROM dim_store WHERE is_deletable=1 ORDER BY "
         "region,store_no,surkey"},
        {FactFiltersStatement(),
         "SELECT DISTINCT table_name, max(where_clause) FROM dwm_tables WHERE "
         "UPPER(table_type)='FACT' GROUP BY table_name"},
        {SelectedDimensionsStatement(),
         "SELECT DISTINCT table_name FROM dwm_tables WHERE UPPER(table_type)='DIMENSION' AND "
         "is_selected = 1"},
    };
    for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);
}

}  // namespace
}  // namespace varnel
