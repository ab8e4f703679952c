#include "warehouse/table_spellings.h"

#include <map>
#include <set>

#include "warehouse/database_access.h"
#include "warehouse/odbc.h"
#include "warehouse/sql_dialect.h"

namespace varnel {

namespace {

// The table the engine takes for the name, as it names it; nullopt when none.
std::optional<std::string> ResolvedTable(Connection& connection, const std::string& name) {
    const auto query = connection.Dialect().ResolveTableQuery(name);
    if (!query) return std::nullopt;
    auto result = connection.Query(*query);
    if (!result.Next()) return std::nullopt;
    return result.Get(0);
}

std::string Quoted(const std::string& name) {
    return "'" + name + "'";
}

}  // namespace

SpellingCheck CheckTableSpellings(Connection& connection) {
    SpellingCheck check;
    if (!TableExists(connection, "dwm_tables") || !TableExists(connection, "dwm_star_relations"))
        return check;

    std::set<std::string> listed;                   // every spelling, as it stands
    std::map<std::string, std::string> spellingOf;  // resolved table -> its listed spelling
    {
        std::vector<std::string> names;
        {
            auto rows = connection.Query("SELECT table_name FROM dwm_tables");
            while (rows.Next())
                if (const auto& name = rows.Get(0)) names.push_back(*name);
        }
        for (const auto& name : names) {
            if (!listed.insert(name).second) continue;  // the same spelling twice is one
            const auto table = ResolvedTable(connection, name);
            if (!table) continue;
            const auto [known, added] = spellingOf.emplace(*table, name);
            if (!added) {
                check.Fault = "Table dwm_tables lists one table in two spellings, " +
                              Quoted(known->second) + " and " + Quoted(name) +
                              ". Spell each table one way; nothing was changed.";
                return check;
            }
        }
    }

    struct Relation {
        std::optional<std::string> Primary, Foreign;
    };
    std::vector<Relation> relations;
    {
        auto rows = connection.Query("SELECT primary_table, foreign_table FROM dwm_star_relations");
        while (rows.Next()) relations.push_back({rows.Get(0), rows.Get(1)});
    }
    std::set<std::string> noted;
    for (std::size_t row = 0; row < relations.size(); ++row) {
        const Relation& relation = relations[row];
        for (const auto& [column, value] :
             {std::pair{"primary_table", relation.Primary}, {"foreign_table", relation.Foreign}}) {
            if (!value || listed.contains(*value)) continue;
            const auto table = ResolvedTable(connection, *value);
            const auto known = table ? spellingOf.find(*table) : spellingOf.end();
            if (known != spellingOf.end()) {
                check.Fault = "Row " + std::to_string(row + 1) + " of dwm_star_relations (" +
                              relation.Foreign.value_or("") + " to " +
                              relation.Primary.value_or("") + ") names table " + Quoted(*value) +
                              " in " + column + ", which dwm_tables spells " +
                              Quoted(known->second) +
                              ". Spell each table as dwm_tables does; nothing was changed.";
                return check;
            }
            if (noted.insert(table.value_or(*value)).second)
                check.Notes.push_back("Table " + Quoted(*value) +
                                      " of dwm_star_relations is not listed in dwm_tables.");
        }
    }
    return check;
}

}  // namespace varnel
