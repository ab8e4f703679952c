#include <map>
#include <optional>
#include <stdexcept>
#include <utility>

#include "run/run_settings.h"
#include "tasks/deletion/deletion.h"
#include "tasks/deletion/deletion_statements.h"
#include "tasks/deletion/deletion_steps.h"

namespace varnel {

namespace {

// The columns by which one version is found again.
std::vector<std::string> IdentityColumns(Connection& connection, const std::string& table) {
    if (connection.GetEngine() == Engine::Sqlite) return RowidIdentity();
    Command command{PrimaryKeyColumnsQuery(), {}, 60, false};
    command.Parameters.push_back({"table", ValueType::Text, 0, 0, 0, TrimBlanks(table)});
    std::vector<std::string> columns;
    auto result = connection.Query(command);
    while (result.Next()) columns.push_back(result.Get(0).value_or(""));
    if (columns.empty())
        throw std::runtime_error("The slowly changing dimension table " + table +
                                 " has no primary key by which its versions can be found.");
    return columns;
}

// The identities of the marked versions in the order of the repair, taken before the
// first update: a cursor left open would not see the dates that earlier repairs move.
struct MarkedVersions {
    std::vector<ColumnInfo> Columns;
    //! The identity values of every version, one after another.
    std::vector<std::optional<std::string>> Values;

    std::size_t Count() const { return Columns.empty() ? 0 : Values.size() / Columns.size(); }

    std::vector<Parameter> Identity(std::size_t version, Engine engine) const {
        std::vector<Parameter> parameters;
        for (std::size_t i = 0; i < Columns.size(); ++i)
            parameters.push_back(
                ColumnValueParameter(Columns[i], Values[version * Columns.size() + i], engine));
        return parameters;
    }
};

MarkedVersions ReadMarkedVersions(Connection& connection, const std::string& query) {
    MarkedVersions marked;
    auto result = connection.Query(query, 60);
    marked.Columns = result.Columns();
    while (result.Next())
        for (std::size_t i = 0; i < marked.Columns.size(); ++i)
            marked.Values.push_back(result.Get(i));
    return marked;
}

}  // namespace

bool RepairSlowlyChangingDimension(const std::string& table, Connection& connection) {
    try {
        const Engine engine = connection.GetEngine();
        const std::string elementKey =
            FirstElementKey(RunWarehouseConnection(), RepairElementKeyQuery(table));
        const auto keyColumns = KeyColumns(elementKey, table);
        const auto identity = IdentityColumns(connection, table);
        const MarkedVersions marked =
            ReadMarkedVersions(connection, MarkedVersionsQuery(table, elementKey, identity));

        auto readVersion = connection.Prepare(VersionQuery(table, keyColumns, identity), 60);
        // Prepared once per table for each form and each pattern of Null key parts
        // (a Null part matches with IS NULL and takes no marker).
        std::map<std::pair<bool, NullKeyParts>, PreparedStatement> updates;
        const std::size_t keyCount = keyColumns.size();
        for (std::size_t v = 0; v < marked.Count(); ++v) {
            auto version = readVersion.Query(marked.Identity(v, engine));
            // A version that cannot be found again (its key moved with a repaired
            // date) would be left unrepaired and cut the history: stop the table.
            if (!version.Next())
                throw std::runtime_error("A marked version of the slowly changing dimension table " +
                                         table + " could not be found again for its repair; "
                                         "nothing was deleted from the table.");
            NullKeyParts nullParts;
            std::vector<Parameter> keyValues;
            if (engine == Engine::Sqlite) {
                // The key parts are taken from the version's own row by its rowid.
                const auto rowid = marked.Identity(v, engine);
                for (std::size_t i = 0; i < keyCount; ++i) keyValues.push_back(rowid.front());
            } else {
                for (std::size_t i = 0; i < keyCount; ++i) {
                    nullParts.push_back(version.IsNull(i));
                    if (!version.IsNull(i))
                        keyValues.push_back(
                            ColumnValueParameter(version.Column(i), version.Get(i), engine));
                }
            }
            const Parameter start = DateValueParameter("start_date", version.Get(keyCount), engine);
            const Parameter end = DateValueParameter("end_date", version.Get(keyCount + 1), engine);
            const bool current = version.GetBool(keyCount + 2);
            version.Close();

            // Each form binds its own order: the date it sets, the key, the date it matches.
            std::vector<Parameter> parameters{current ? end : start};
            parameters.insert(parameters.end(), keyValues.begin(), keyValues.end());
            parameters.push_back(current ? start : end);

            auto update = updates.find({current, nullParts});
            if (update == updates.end()) {
                const std::string text =
                    current ? MovePredecessorEndStatement(engine, table, keyColumns, nullParts)
                            : MoveSuccessorStartStatement(engine, table, keyColumns, nullParts);
                update =
                    updates.emplace(std::pair{current, nullParts}, connection.Prepare(text, 60))
                        .first;
            }
            update->second.Execute(parameters);
        }
        return true;
    } catch (const std::exception& error) {
        MessageText += error.what();
        MessageText += "\r\n";
        return false;
    }
}

}  // namespace varnel
