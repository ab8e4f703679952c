#include "run/task_registry.h"

namespace varnel {

namespace {

// A task asked for before this build has it ends the run with a clear error:
// doing nothing must never pass for success.
std::function<bool(TaskContext&)> Unavailable(const std::string& name) {
    return [name](TaskContext&) {
        MessageText += "The task \"" + name + "\" is not available in this build of Varnel.\r\n";
        return false;
    };
}

}  // namespace

const std::vector<RunTask>& DefaultTaskTable() {
    static const std::vector<RunTask> tasks = {
        {&RunSettings::CheckMetadata, "Checking of metadata process cancelled by user.",
         "Error occured while checking metadata", Unavailable("Check metadata")},
        {&RunSettings::ArchiveFacts, "Archiving fact table process cancelled by user.",
         "Error occured in task:\tArchive fact table.\r\nProgram terminated.",
         Unavailable("Archive fact table elements")},
        {&RunSettings::MarkUnused, "Marking process cancelled by user.",
         "Error occured in task:\tDetect and mark.\r\nProgram terminated.",
         Unavailable("Detect and mark unused dimension elements")},
        {&RunSettings::GenerateReports, "Report generation process cancelled by user.",
         "Error occured in task:\tGenerate reports.\r\nProgram terminated.",
         Unavailable("Generate reports of marked unused dimension elements")},
        {&RunSettings::DeleteMarked, "Deletion process cancelled by user.",
         "Error occured in task:\tDelete records.\r\nProgram terminated.",
         Unavailable("Delete marked unused dimension elements")},
    };
    return tasks;
}

}  // namespace varnel
