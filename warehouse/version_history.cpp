#include "warehouse/version_history.h"

#include "base/text.h"

namespace varnel {

namespace {

std::string Joined(const std::vector<std::string>& items, const std::string& separator,
                   const std::string& prefix = "") {
    std::string joined;
    for (const auto& item : items) joined += (joined.empty() ? "" : separator) + prefix + item;
    return joined;
}

// The versions of the elements that have a version the deletion removes. IN builds
// the set of their keys once; where the engine compares no row values, a key of
// several columns is matched by EXISTS. Neither matches a key with a Null part, so
// such versions are all taken: an element among them without a deleted version is
// counted the same before and after and changes nothing.
std::string ElementsWithDeletedVersions(const SqlDialect& dialect, const std::string& table,
                                        const std::vector<std::string>& keys,
                                        const std::string& deletedRows) {
    std::string condition;
    if (keys.size() == 1 || dialect.ComparesRowValues()) {
        const std::string list = keys.size() == 1 ? keys.front() : "(" + Joined(keys, ", ") + ")";
        condition = list + " IN (SELECT " + Joined(keys, ", ") + " FROM " + table + " WHERE " +
                    deletedRows + ")";
    } else {
        std::string pairs;
        for (const auto& key : keys)
            pairs += "history_deleted." + key + " = history_versions." + key + " AND ";
        condition = "EXISTS (SELECT 1 FROM " + table + " AS history_deleted WHERE " + pairs + "(" +
                    deletedRows + "))";
    }
    for (const auto& key : keys) condition += " OR history_versions." + key + " IS NULL";
    return "(" + condition + ")";
}

}  // namespace

std::string DefectDescription(HistoryDefect defect) {
    switch (defect) {
        case HistoryDefect::NoCurrentVersion:
            return "without a current version";
        case HistoryDefect::SeveralCurrentVersions:
            return "with more than one current version";
        case HistoryDefect::CurrentVersionNotLatest:
            return "with a current version that is not the latest";
        case HistoryDefect::GapOrOverlap:
            return "with a gap or an overlap between two versions";
        case HistoryDefect::NoStartDate:
            return "with a version that has no start_date";
    }
    return "";
}

std::string HistoryDefectsQuery(const SqlDialect& dialect, const std::string& table,
                                const std::string& elementKey, const HistoryScope& scope) {
    const auto keys = SplitCommaList(elementKey, ListPieces::Trimmed);
    const std::string keyList = Joined(keys, ", ");
    const std::string keyColumns = Joined(keys, ", ", "history_versions.");
    const std::string window =
        " OVER (PARTITION BY " + keyColumns + " ORDER BY start_date, end_date)";
    std::vector<std::string> conditions;
    if (!scope.DeletedRows.empty()) {
        conditions.push_back(ElementsWithDeletedVersions(dialect, table, keys, scope.DeletedRows));
        // A Null mark is no mark: CASE keeps such a version, where NOT (...) would drop it.
        if (scope.WithoutDeletedVersions)
            conditions.push_back("CASE WHEN " + scope.DeletedRows + " THEN 1 ELSE 0 END = 0");
    }
    const std::string where = conditions.empty() ? "" : " WHERE " + Joined(conditions, " AND ");

    const std::string currents = "SUM(history_current)";
    const std::array<std::string, kHistoryDefectKinds> counts = {
        "CASE WHEN " + currents + " = 0 THEN 1 ELSE 0 END",
        "CASE WHEN " + currents + " > 1 THEN " + currents + " - 1 ELSE 0 END",
        "SUM(CASE WHEN history_current = 1 AND history_has_next = 1 THEN 1 ELSE 0 END)",
        "SUM(CASE WHEN history_has_next = 1 AND (history_end_day IS NULL OR "
        "history_next_start_day IS NULL OR history_end_day <> history_next_start_day) THEN 1 "
        "ELSE 0 END)",
        "SUM(CASE WHEN history_start IS NULL THEN 1 ELSE 0 END)",
    };
    static const std::array<const char*, kHistoryDefectKinds> names = {
        "no_current", "several_current", "current_not_latest", "gaps", "no_start"};
    std::string select, total;
    for (std::size_t i = 0; i < counts.size(); ++i) {
        select += ", " + counts[i] + " AS " + names[i];
        total += (i > 0 ? " + " : "") + counts[i];
    }
    return "SELECT " + keyList + select + ", COUNT(*) OVER () AS defective_elements FROM (SELECT " +
           keyColumns + ", history_versions.start_date AS history_start, " +
           dialect.DayOf("history_versions.end_date") + " AS history_end_day, LEAD(" +
           dialect.DayOf("history_versions.start_date") + ")" + window +
           " AS history_next_start_day, LEAD(1, 1, 0)" + window +
           " AS history_has_next, CASE WHEN history_versions.is_current <> 0 THEN 1 ELSE 0 END "
           "AS history_current FROM " +
           table + " AS history_versions" + where + ") history GROUP BY " + keyList + " HAVING " +
           total + " > 0 ORDER BY " + keyList;
}

HistoryDefects ReadHistoryDefects(Connection& connection, const std::string& query,
                                  std::size_t keyColumns, bool all) {
    HistoryDefects defects;
    auto rows = connection.Query(query, 60);
    while (rows.Next()) {
        std::vector<std::optional<std::string>> key;
        for (std::size_t i = 0; i < keyColumns; ++i) key.push_back(rows.Get(i));
        HistoryDefectCounts counts{};
        for (std::size_t i = 0; i < kHistoryDefectKinds; ++i)
            counts[i] = rows.GetInt(keyColumns + i).value_or(0);
        if (defects.Elements.empty()) {
            defects.DefectiveElements = rows.GetInt(keyColumns + kHistoryDefectKinds).value_or(0);
            defects.FirstKey = key;
        }
        defects.Elements.emplace(std::move(key), counts);
        if (!all) break;
    }
    return defects;
}

std::string ElementKeyText(const std::vector<std::optional<std::string>>& key) {
    std::string text;
    for (const auto& part : key) text += (text.empty() ? "" : ", ") + part.value_or("Null");
    return text;
}

std::optional<HistoryDefect> WorsenedDefect(const HistoryDefectCounts& before,
                                            const HistoryDefectCounts& after) {
    for (std::size_t i = 0; i < kHistoryDefectKinds; ++i)
        if (after[i] > before[i]) return static_cast<HistoryDefect>(i);
    return std::nullopt;
}

}  // namespace varnel
