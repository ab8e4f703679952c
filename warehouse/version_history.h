#pragma once

// The versions of an element of a slowly changing dimension follow one convention:
// ordered by start_date, each version ends on the day the next one begins, and the
// latest one, alone, is current. The engine counts, per element, how far its
// versions stray from it, in one set-based query.

#include <array>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "warehouse/odbc.h"
#include "warehouse/sql_dialect.h"

namespace varnel {

//! The ways a history can stray from the convention, in the order the defect query
//! counts them.
enum class HistoryDefect : std::size_t {
    NoCurrentVersion,
    SeveralCurrentVersions,
    CurrentVersionNotLatest,
    GapOrOverlap,
    NoStartDate,
};
inline constexpr std::size_t kHistoryDefectKinds = 5;

//! How many defects of each kind one element has.
using HistoryDefectCounts = std::array<std::int64_t, kHistoryDefectKinds>;

//! The defect as the operator reads it after "element <key> would be left ".
std::string DefectDescription(HistoryDefect defect);

//! Which versions of the table the defect query looks at.
struct HistoryScope {
    //! The condition of the rows a deletion removes: only the elements with such a
    //! version are counted. Empty for every element of the table.
    std::string DeletedRows;
    //! Leaves those rows out, to count what the deletion leaves.
    bool WithoutDeletedVersions = false;
};

//! One row per element that has a defect, ordered by its key: the key columns (the
//! element key split at commas and trimmed), one count per kind of HistoryDefect,
//! then the number of such elements in the whole result. Consecutive versions
//! follow start_date, then end_date; days are compared as the engine computes them.
std::string HistoryDefectsQuery(const SqlDialect& dialect, const std::string& table,
                                const std::string& elementKey, const HistoryScope& scope = {});

//! The elements with defects, by key values (Null as nullopt), as the query reads them.
struct HistoryDefects {
    std::map<std::vector<std::optional<std::string>>, HistoryDefectCounts> Elements;
    //! Elements with a defect in the whole result, and the key of the first.
    std::int64_t DefectiveElements = 0;
    std::vector<std::optional<std::string>> FirstKey;
};

//! Runs the query of HistoryDefectsQuery; keyColumns is the number of key columns. Reads
//! every row when all is true, else only the first (enough for the count and an example).
HistoryDefects ReadHistoryDefects(Connection& connection, const std::string& query,
                                  std::size_t keyColumns, bool all);

//! An element's key as the operator reads it: its values joined by ", ", Null as Null.
std::string ElementKeyText(const std::vector<std::optional<std::string>>& key);

//! The first kind of defect that the element has more of after than before; nullopt
//! when it has no more of any kind.
std::optional<HistoryDefect> WorsenedDefect(const HistoryDefectCounts& before,
                                            const HistoryDefectCounts& after);

}  // namespace varnel
