#include "driver/task_registry.h"

#include "reports/reports.h"
#include "tasks/archiving/archiving.h"
#include "tasks/deletion/deletion.h"
#include "tasks/marking/marking.h"
#include "tasks/metadata_check/metadata_check.h"

namespace varnel {

const std::vector<RunTask>& DefaultTaskTable() {
    static const std::vector<RunTask> tasks = {
        {&RunSettings::CheckMetadata, "Checking of metadata process cancelled by user.",
         "Error occured while checking metadata",
         [](TaskContext& c) { return RunMetadataCheck(c); }},
        {&RunSettings::ArchiveFacts, "Archiving fact table process cancelled by user.",
         "Error occured in task:\tArchive fact table.\r\nProgram terminated.",
         [](TaskContext& c) { return ArchiveFactTables(c); }},
        {&RunSettings::MarkUnused, "Marking process cancelled by user.",
         "Error occured in task:\tDetect and mark.\r\nProgram terminated.",
         [](TaskContext& c) { return DetectUnusedElements(c); }},
        {&RunSettings::GenerateReports, "Report generation process cancelled by user.",
         "Error occured in task:\tGenerate reports.\r\nProgram terminated.",
         [](TaskContext& c) { return WriteReports(c); }},
        {&RunSettings::DeleteMarked, "Deletion process cancelled by user.",
         "Error occured in task:\tDelete records.\r\nProgram terminated.",
         [](TaskContext& c) { return DeleteMarkedElements(c); }},
    };
    return tasks;
}

}  // namespace varnel
