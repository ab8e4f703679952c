#include <array>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "base/text.h"
#include "run/process_state.h"
#include "run/run_settings.h"
#include "tasks/deletion/deletion.h"
#include "tasks/deletion/deletion_statements.h"
#include "tasks/deletion/deletion_steps.h"
#include "tasks/deletion/scd_repair_plan.h"
#include "warehouse/engine_error.h"

namespace varnel {

namespace {

// The columns by which one version is found again.
std::vector<std::string> IdentityColumns(Connection& connection, const std::string& table) {
    const SqlDialect& dialect = connection.Dialect();
    if (auto rowid = dialect.RowIdColumns()) return std::move(*rowid);
    Command command{dialect.PrimaryKeyColumnsQuery(), {}, 60, false};
    command.Parameters.push_back({"table", ValueType::Text, 0, 0, 0, TrimBlanks(table)});
    std::vector<std::string> columns;
    auto result = connection.Query(command);
    while (result.Next()) columns.push_back(result.Get(0).value_or(""));
    if (columns.empty())
        throw std::runtime_error("The slowly changing dimension table " + table +
                                 " has no primary key by which its versions can be found.");
    return columns;
}

// Column positions of ElementVersionsQuery after the identity's columns.
enum ElementColumn : std::size_t {
    ElementNumber,
    StartValue,
    EndValue,
    StartDay,
    EndDay,
    CurrentValue,
    MarkedValue
};

// Writes each repaired version once, by its identity, with a statement prepared once
// for each set of columns it changes. Where the identity is a row id the versions
// go in batches, many to a statement; the result is the same, as every version is
// written once and no write depends on another.
class RepairWriter {
  public:
    RepairWriter(Connection& connection, std::string table, std::vector<std::string> identity)
        : connection_(connection),
          table_(std::move(table)),
          identity_(std::move(identity)),
          batched_(identity_.size() == 1 && connection_.Dialect().RowIdColumns()) {}

    void Write(const ElementVersion& version, std::vector<Parameter> identityValues) {
        const VersionChange change = ChangeOf(version);
        if (version.Marked || !change.Any()) return;
        const SqlDialect& dialect = connection_.Dialect();
        std::vector<Parameter> parameters;
        if (change.Start)
            parameters.push_back(
                DateValueParameter("start_date", version.Repaired.Start.Value, dialect));
        if (change.End)
            parameters.push_back(
                DateValueParameter("end_date", version.Repaired.End.Value, dialect));
        parameters.insert(parameters.end(), std::make_move_iterator(identityValues.begin()),
                          std::make_move_iterator(identityValues.end()));
        const Form form{change.Start, change.End, change.Current};
        if (!batched_) {
            Statement(form, 0).Execute(parameters);
            return;
        }
        Batch& batch = batches_[form];
        batch.Parameters.insert(batch.Parameters.end(), std::make_move_iterator(parameters.begin()),
                                std::make_move_iterator(parameters.end()));
        if (++batch.Versions == kBatchVersions) Flush(form, batch);
    }

    //! Writes the versions still waiting in a batch.
    void Finish() {
        for (auto& [form, batch] : batches_)
            if (batch.Versions > 0) Flush(form, batch);
    }

  private:
    // Which of start_date, end_date and is_current a statement writes.
    using Form = std::array<bool, 3>;
    // At most three markers a version: within the 999 markers older SQLite builds allow.
    static constexpr std::size_t kBatchVersions = 200;

    struct Batch {
        std::vector<Parameter> Parameters;
        std::size_t Versions = 0;
    };

    // The statement of a form, for so many versions (0: one version, unbatched).
    PreparedStatement& Statement(const Form& form, std::size_t versions) {
        auto statement = statements_.find({form, versions});
        if (statement == statements_.end()) {
            const std::string text =
                versions == 0
                    ? RepairedVersionStatement(table_, identity_, form[0], form[1], form[2])
                    : RepairedVersionsBatchStatement(table_, identity_.front(), form[0], form[1],
                                                     form[2], versions);
            statement =
                statements_.emplace(std::pair{form, versions}, connection_.Prepare(text, 60)).first;
        }
        return statement->second;
    }

    void Flush(const Form& form, Batch& batch) {
        Statement(form, batch.Versions).Execute(batch.Parameters);
        batch.Parameters.clear();
        batch.Versions = 0;
    }

    Connection& connection_;
    std::string table_;
    std::vector<std::string> identity_;
    bool batched_;
    std::map<Form, Batch> batches_;
    std::map<std::pair<Form, std::size_t>, PreparedStatement> statements_;
};

// The versions of one element as they are read, with the identity of each.
struct Element {
    std::vector<ElementVersion> Versions;
    std::vector<std::vector<Parameter>> Identities;

    void Repair(RepairWriter& writer) {
        RepairElement(Versions);
        for (std::size_t i = 0; i < Versions.size(); ++i)
            writer.Write(Versions[i], std::move(Identities[i]));
        Versions.clear();
        Identities.clear();
    }
};

}  // namespace

// The versions of every element that has a marked one come in one stream, element
// by element; each element is repaired in memory and its changed versions are
// written by their identity, so no statement looks for an element by its key.
bool RepairSlowlyChangingDimension(ProcessState& state, const std::string& table,
                                   Connection& connection) {
    try {
        const SqlDialect& dialect = connection.Dialect();
        const std::string elementKey =
            FirstElementKey(RunWarehouseConnection(state), RepairElementKeyQuery(table));
        KeyColumns(elementKey, table);  // a blank key or a column named twice ends here
        const auto identity = IdentityColumns(connection, table);
        RepairWriter writer(connection, table, identity);

        // NOTE: the outer ORDER BY sorts the whole result (SQLite: a temporary b-tree)
        // before its first row comes, so the table is read in full before the first
        // write and the writes made while the result is open do not disturb it.
        auto rows =
            connection.Query(ElementVersionsQuery(dialect, table, elementKey, identity), 60);
        const std::size_t n = identity.size();
        Element element;
        std::optional<std::string> number;
        while (rows.Next()) {
            if (rows.Get(n + ElementNumber) != number) {
                element.Repair(writer);
                number = rows.Get(n + ElementNumber);
            }
            ElementVersion version;
            version.Read.Start = {rows.Get(n + StartValue), rows.Get(n + StartDay)};
            version.Read.End = {rows.Get(n + EndValue), rows.Get(n + EndDay)};
            version.Read.Current = rows.GetBool(n + CurrentValue);
            version.CurrentIsOne = rows.Get(n + CurrentValue) == std::optional<std::string>("1");
            version.Marked = rows.GetBool(n + MarkedValue);
            element.Versions.push_back(std::move(version));
            std::vector<Parameter> identityValues;
            for (std::size_t i = 0; i < n; ++i)
                identityValues.push_back(
                    ColumnValueParameter(rows.Column(i), rows.Get(i), dialect));
            element.Identities.push_back(std::move(identityValues));
        }
        element.Repair(writer);
        writer.Finish();
        return true;
    } catch (const std::exception& error) {
        state.MessageText += DescribeStepError(error, "Repairing the versions of table " + table);
        state.MessageText += "\r\n";
        return false;
    }
}

}  // namespace varnel
