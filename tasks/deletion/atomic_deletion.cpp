#include <cstdint>
#include <map>

#include "run/process_state.h"
#include "tasks/deletion/deletion.h"
#include "tasks/deletion/deletion_statements.h"
#include "tasks/deletion/deletion_steps.h"
#include "tasks/deletion/reference_check.h"

namespace varnel {

bool DeleteAtomically(TaskContext& context, const std::string& table, Connection& connection) {
    std::int64_t deleted = 0;
    try {
        const std::string elementKey =
            FirstElementKey(RunWarehouseConnection(context.State), AtomicElementKeyQuery(table));
        const auto keyColumns = KeyColumns(elementKey, table);

        // The elements are judged inside the table's own transaction, on the connection
        // that deletes: a judgement read elsewhere (an older snapshot, or rows another
        // process changed since) could take a version that is not marked with it. A
        // version that a row refers to loses its mark first, and so keeps its element.
        Transaction transaction(connection);
        const std::int64_t kept = KeepReferencedRows(table, connection);
        const std::int64_t keptToKeep = CountMarkedRowsToKeep(table, connection);
        struct Element {
            NullKeyParts NullParts;
            std::vector<Parameter> Values;
            std::int64_t Versions = 0;
        };
        std::vector<Element> elements;
        {
            auto groups = connection.Query(ElementGroupQuery(table, elementKey), 60);
            const std::size_t all = groups.IndexOf("CntAll");
            const std::size_t deletable = groups.IndexOf("CntDeletable");
            while (groups.Next()) {
                const std::int64_t versions = groups.GetInt(all).value_or(0);
                if (versions != groups.GetInt(deletable).value_or(0)) continue;
                Element element;
                element.Versions = versions;
                for (std::size_t i = 0; i < keyColumns.size(); ++i) {
                    element.NullParts.push_back(groups.IsNull(i));
                    if (!groups.IsNull(i))
                        element.Values.push_back(ColumnValueParameter(
                            groups.Column(i), groups.Get(i), connection.Dialect()));
                }
                elements.push_back(std::move(element));
            }
        }

        // Key values are bound, never pasted into the text; a key part that is Null
        // matches with IS NULL, so each pattern of Null parts has its own statement.
        std::map<NullKeyParts, PreparedStatement> statements;
        for (const auto& element : elements) {
            auto statement = statements.find(element.NullParts);
            if (statement == statements.end()) {
                statement =
                    statements
                        .emplace(
                            element.NullParts,
                            connection.Prepare(
                                DeleteElementStatement(table, keyColumns, element.NullParts), 60))
                        .first;
            }
            const std::int64_t count = statement->second.Execute(element.Values);
            if (count != element.Versions)
                throw std::runtime_error("The versions of an element of table " + table +
                                         " changed while it was being deleted (" +
                                         std::to_string(element.Versions) + " expected, " +
                                         std::to_string(count) +
                                         " found); nothing was deleted from the table.");
            deleted += count;
        }
        transaction.Commit();
        ReportKeptRows(context, table, kept, keptToKeep);
        WriteDeletionEntry(context, 0, "", deleted, true);
        return true;
    } catch (const std::exception& error) {
        ReportDeletionFailure(context, error.what(), deleted, true);
        return false;
    }
}

}  // namespace varnel
