#include <cstdint>
#include <map>

#include "tasks/deletion/deletion.h"
#include "tasks/deletion/deletion_statements.h"
#include "tasks/deletion/deletion_steps.h"

namespace varnel {

bool DeleteAtomically(const std::string& table, Connection& connection) {
    std::int64_t deleted = 0;
    try {
        Connection& warehouse = RunWarehouseConnection();
        const std::string elementKey = FirstElementKey(warehouse, AtomicElementKeyQuery(table));
        const auto keyColumns = KeyColumns(elementKey, table);
        auto groups = warehouse.Query(ElementGroupQuery(table, elementKey), 60);
        const std::size_t all = groups.IndexOf("CntAll");
        const std::size_t deletable = groups.IndexOf("CntDeletable");

        // Key values are bound, never pasted into the text; a key part that is Null
        // matches with IS NULL, so each pattern of Null parts has its own statement.
        std::map<NullKeyParts, PreparedStatement> statements;
        Transaction transaction(connection);
        while (groups.Next()) {
            if (static_cast<std::int32_t>(groups.GetInt(all).value_or(0)) !=
                static_cast<std::int32_t>(groups.GetInt(deletable).value_or(0)))
                continue;
            NullKeyParts nullParts;
            std::vector<Parameter> values;
            for (std::size_t i = 0; i < keyColumns.size(); ++i) {
                nullParts.push_back(groups.IsNull(i));
                if (!groups.IsNull(i))
                    values.push_back(ColumnValueParameter(groups.Column(i), groups.Get(i),
                                                          connection.GetEngine()));
            }
            auto statement = statements.find(nullParts);
            if (statement == statements.end()) {
                statement =
                    statements
                        .emplace(nullParts,
                                 connection.Prepare(
                                     DeleteElementStatement(table, keyColumns, nullParts), 60))
                        .first;
            }
            deleted += statement->second.Execute(values);
        }
        groups.Close();
        transaction.Commit();
        WriteDeletionEntry(0, "", deleted, true);
        return true;
    } catch (const std::exception& error) {
        ReportDeletionFailure(error.what(), deleted, true);
        return false;
    }
}

}  // namespace varnel
