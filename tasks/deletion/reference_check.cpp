#include "tasks/deletion/reference_check.h"

#include <algorithm>
#include <stdexcept>

#include "base/text.h"
#include "run/run_settings.h"
#include "warehouse/sql_literal.h"

namespace varnel {

namespace {

std::string NameKey(const std::string& name) {
    return LowerCase(TrimBlanks(name));
}

// The alias must differ from the table's own name (its last part, without
// delimiters), or the table's columns in the condition would name the referring
// rows instead.
std::string ReferrerAlias(const std::string& table) {
    std::string name = NameKey(table);
    if (const auto dot = name.rfind('.'); dot != std::string::npos) name.erase(0, dot + 1);
    std::erase_if(name, [](char c) { return c == '[' || c == ']' || c == '"'; });
    std::string alias = "referrer";
    while (name == alias) alias += "_row";
    return alias;
}

}  // namespace

std::string RelationTablesQuery() {
    return "SELECT primary_table, foreign_table FROM dwm_star_relations";
}

std::string ReferringRelationsQuery(const std::string& table) {
    return "SELECT foreign_table, primary_columns, foreign_columns FROM dwm_star_relations WHERE "
           "primary_table = " +
           SqlLiteral(table);
}

std::string KeepReferencedRowsStatement(const SqlDialect& dialect, const std::string& table,
                                        const std::string& referrer,
                                        const std::string& primaryColumns,
                                        const std::string& foreignColumns) {
    const auto primary = SplitCommaList(primaryColumns, ListPieces::Trimmed);
    const auto foreign = SplitCommaList(foreignColumns, ListPieces::Trimmed);
    if (foreign.size() < primary.size())
        throw std::runtime_error("The relation of " + table + " and " + referrer +
                                 " lists fewer referring than referenced columns.");
    const std::string alias = ReferrerAlias(table);
    std::string pairs;
    for (std::size_t i = 0; i < primary.size(); ++i) {
        if (i > 0) pairs += " AND ";
        pairs += table + "." + primary[i] + " = " + alias + "." + foreign[i];
    }
    return "UPDATE " + table +
           " SET is_deletable = 0 WHERE is_deletable = 1 AND EXISTS (SELECT 1 FROM " +
           TrimBlanks(referrer) + " AS " + alias + dialect.HoldReadLocks() + " WHERE " + pairs +
           ")";
}

std::vector<std::string> ReferringFirst(
    const std::vector<std::string>& tables,
    const std::vector<std::pair<std::string, std::string>>& references) {
    std::vector<std::string> ordered;
    std::vector<bool> placed(tables.size(), false);
    const auto listed = [&](const std::string& name) {
        return std::any_of(tables.begin(), tables.end(),
                           [&](const std::string& t) { return NameKey(t) == NameKey(name); });
    };
    const auto isPlaced = [&](const std::string& name) {
        for (std::size_t i = 0; i < tables.size(); ++i)
            if (placed[i] && NameKey(tables[i]) == NameKey(name)) return true;
        return false;
    };
    // A table is ready when every listed table that refers to it has its place.
    const auto ready = [&](const std::string& table) {
        for (const auto& [referenced, referrer] : references) {
            if (NameKey(referenced) != NameKey(table) || NameKey(referrer) == NameKey(table))
                continue;
            if (listed(referrer) && !isPlaced(referrer)) return false;
        }
        return true;
    };
    bool progress = true;
    while (progress) {
        progress = false;
        for (std::size_t i = 0; i < tables.size(); ++i) {
            if (placed[i] || !ready(tables[i])) continue;
            placed[i] = true;
            ordered.push_back(tables[i]);
            progress = true;
            break;  // the first ready table in list order goes next
        }
    }
    for (std::size_t i = 0; i < tables.size(); ++i)
        if (!placed[i]) ordered.push_back(tables[i]);
    return ordered;
}

std::int64_t KeepReferencedRows(const std::string& table, Connection& connection) {
    struct Relation {
        std::string Referrer, PrimaryColumns, ForeignColumns;
    };
    std::vector<Relation> relations;
    {
        auto result = connection.Query(ReferringRelationsQuery(table), 60);
        while (result.Next())
            relations.push_back({result.Get(0).value_or(""), result.Get(1).value_or(""),
                                 result.Get(2).value_or("")});
    }
    // A row kept through one relation is no longer marked when the next one looks,
    // so each row counts once.
    std::int64_t kept = 0;
    for (const auto& relation : relations)
        kept += connection.Execute(
            KeepReferencedRowsStatement(connection.Dialect(), table, relation.Referrer,
                                        relation.PrimaryColumns, relation.ForeignColumns),
            60);
    return kept;
}

std::string KeptRowsLine(const std::string& table, std::int64_t kept) {
    return "Kept " + std::to_string(kept) + " marked rows of table " + table +
           " that rows of referring tables refer to.";
}

}  // namespace varnel
