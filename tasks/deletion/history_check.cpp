#include "tasks/deletion/history_check.h"

#include "base/text.h"
#include "tasks/deletion/deletion_statements.h"

namespace varnel {

HistoryCheck::HistoryCheck(Connection& connection, std::string table, const std::string& elementKey)
    : connection_(connection),
      table_(std::move(table)),
      elementKey_(elementKey),
      keyColumns_(SplitCommaList(elementKey, ListPieces::Trimmed).size()) {
    before_ = ReadHistoryDefects(connection_,
                                 HistoryDefectsQuery(connection_.Dialect(), table_, elementKey_,
                                                     {.DeletedRows = DeletedRowsCondition()}),
                                 keyColumns_, true);
}

std::optional<std::string> HistoryCheck::Refusal() {
    const HistoryDefects after = ReadHistoryDefects(
        connection_,
        HistoryDefectsQuery(
            connection_.Dialect(), table_, elementKey_,
            {.DeletedRows = DeletedRowsCondition(), .WithoutDeletedVersions = true}),
        keyColumns_, true);
    for (const auto& [key, counts] : after.Elements) {
        const auto found = before_.Elements.find(key);
        const HistoryDefectCounts none{};
        if (auto defect =
                WorsenedDefect(found == before_.Elements.end() ? none : found->second, counts))
            return BrokenConventionMessage(table_, ElementKeyText(key), *defect);
    }
    return std::nullopt;
}

std::string BrokenConventionMessage(const std::string& table, const std::string& element,
                                    HistoryDefect defect) {
    return "The versions of table " + table +
           " do not follow the validity convention (a version ends on the day the next "
           "begins); element " +
           element + " would be left " + DefectDescription(defect) + ". Nothing was deleted from " +
           table + ".";
}

}  // namespace varnel
