#include "warehouse/editable_results.h"

#include <cctype>
#include <stdexcept>
#include <string_view>

#include "base/text.h"
#include "warehouse/column_values.h"
#include "warehouse/sql_dialect.h"

namespace varnel {

namespace {

// What the shape check needs of a statement: words, quoted names, brackets and
// commas, each with its nesting depth in parentheses. Literals and comments are
// skipped.
enum class TokenKind { Word, QuotedName, Open, Close, Comma, Dot, Other };

struct Token {
    TokenKind Kind;
    std::string Text;  // words in upper case, quoted names without their quotes
    std::size_t Start;
    std::size_t End;
    int Depth;
};

bool IsWordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) != 0 || c == '_' || c == '$' || c == '#' || c == '@';
}

// The position after a quoted run that opens at `from`; a doubled closing
// character stays inside. Appends the inner text, undoubled.
std::size_t ReadQuoted(std::string_view text, std::size_t from, char close, std::string& inner) {
    std::size_t i = from + 1;
    while (i < text.size()) {
        if (text[i] == close) {
            if (close != ']' && i + 1 < text.size() && text[i + 1] == close) {
                inner += close;
                i += 2;
                continue;
            }
            return i + 1;
        }
        inner += text[i++];
    }
    return i;
}

std::vector<Token> Tokens(std::string_view text) {
    std::vector<Token> tokens;
    int depth = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        const std::size_t start = i;
        if (std::isspace(static_cast<unsigned char>(c)) != 0) {
            ++i;
        } else if (text.substr(i, 2) == "--") {
            const std::size_t end = text.find('\n', i);
            i = end == std::string_view::npos ? text.size() : end;
        } else if (text.substr(i, 2) == "/*") {
            const std::size_t end = text.find("*/", i + 2);
            i = end == std::string_view::npos ? text.size() : end + 2;
        } else if (c == '\'') {
            std::string ignored;
            i = ReadQuoted(text, i, '\'', ignored);
        } else if (c == '"' || c == '[' || c == '`') {
            std::string inner;
            i = ReadQuoted(text, i, c == '[' ? ']' : c, inner);
            tokens.push_back({TokenKind::QuotedName, inner, start, i, depth});
        } else if (IsWordChar(c)) {
            while (i < text.size() && IsWordChar(text[i])) ++i;
            std::string word(text.substr(start, i - start));
            for (char& w : word) w = static_cast<char>(std::toupper(static_cast<unsigned char>(w)));
            tokens.push_back({TokenKind::Word, word, start, i, depth});
        } else if (c == '(') {
            tokens.push_back({TokenKind::Open, "(", start, ++i, depth++});
        } else if (c == ')') {
            if (depth > 0) --depth;
            tokens.push_back({TokenKind::Close, ")", start, ++i, depth});
        } else {
            const TokenKind kind =
                c == ',' ? TokenKind::Comma : (c == '.' ? TokenKind::Dot : TokenKind::Other);
            tokens.push_back({kind, std::string(1, c), start, ++i, depth});
        }
    }
    return tokens;
}

bool IsWord(const std::vector<Token>& tokens, std::size_t index, std::string_view word) {
    return index < tokens.size() && tokens[index].Kind == TokenKind::Word &&
           tokens[index].Text == word;
}

bool IsOneOf(const Token& token, std::initializer_list<std::string_view> words) {
    if (token.Kind != TokenKind::Word) return false;
    for (const auto word : words)
        if (token.Text == word) return true;
    return false;
}

// Words after which a FROM item's table name is followed by something that makes
// the query read more than that one table.
const std::initializer_list<std::string_view> kJoinWords = {
    "JOIN", "INNER", "LEFT", "RIGHT", "FULL", "CROSS", "OUTER", "NATURAL", "APPLY"};
const std::initializer_list<std::string_view> kClauseWords = {
    "WHERE",  "ORDER",     "GROUP", "HAVING", "UNION",
    "EXCEPT", "INTERSECT", "LIMIT", "OPTION", "WINDOW"};
const std::initializer_list<std::string_view> kAggregates = {
    "COUNT",        "COUNT_BIG",  "SUM",   "AVG",    "MIN", "MAX",  "TOTAL",
    "GROUP_CONCAT", "STRING_AGG", "STDEV", "STDEVP", "VAR", "VARP", "CHECKSUM_AGG"};

// Where a query's rows can be written back to, or why not.
struct QueryShape {
    std::string Table;      // as the query names it
    std::string TableName;  // the last part of that name, without quotes
    std::size_t SelectListStart = 0;
    std::string Refusal;
};

QueryShape ShapeOf(const std::string& query) {
    const auto tokens = Tokens(query);
    QueryShape shape;
    auto refuse = [&](const std::string& why) {
        shape.Refusal = "These records cannot be saved, because the query " + why + ".";
        return shape;
    };
    if (!IsWord(tokens, 0, "SELECT")) return refuse("is no SELECT");
    std::size_t i = 1;
    if (IsWord(tokens, i, "DISTINCT")) return refuse("uses DISTINCT");
    if (IsWord(tokens, i, "ALL")) ++i;
    if (IsWord(tokens, i, "TOP")) {
        ++i;
        if (i < tokens.size() && tokens[i].Kind == TokenKind::Open) {
            const int depth = tokens[i].Depth;
            while (++i < tokens.size() &&
                   !(tokens[i].Kind == TokenKind::Close && tokens[i].Depth == depth)) {
            }
        }
        ++i;
        if (IsWord(tokens, i, "PERCENT")) ++i;
        if (IsWord(tokens, i, "WITH") && IsWord(tokens, i + 1, "TIES")) i += 2;
    }
    if (i >= tokens.size()) return refuse("has no select list");
    shape.SelectListStart = tokens[i].Start;

    std::size_t from = i;
    for (; from < tokens.size(); ++from) {
        const Token& token = tokens[from];
        if (token.Depth != 0) continue;
        if (IsWord(tokens, from, "FROM")) break;
        if (IsOneOf(token, kAggregates) && from + 1 < tokens.size() &&
            tokens[from + 1].Kind == TokenKind::Open)
            return refuse("sums up rows (" + token.Text + ")");
    }
    std::size_t k = from + 1;
    if (k >= tokens.size() ||
        (tokens[k].Kind != TokenKind::Word && tokens[k].Kind != TokenKind::QuotedName))
        return refuse("reads no table by its name");
    // The table's name, with its schema prefix when there is one.
    const std::size_t nameStart = tokens[k].Start;
    shape.TableName = tokens[k].Kind == TokenKind::Word
                          ? query.substr(tokens[k].Start, tokens[k].End - tokens[k].Start)
                          : tokens[k].Text;
    std::size_t nameEnd = tokens[k].End;
    while (k + 2 < tokens.size() && tokens[k + 1].Kind == TokenKind::Dot &&
           (tokens[k + 2].Kind == TokenKind::Word || tokens[k + 2].Kind == TokenKind::QuotedName)) {
        k += 2;
        nameEnd = tokens[k].End;
        shape.TableName = tokens[k].Kind == TokenKind::Word
                              ? query.substr(tokens[k].Start, tokens[k].End - tokens[k].Start)
                              : tokens[k].Text;
    }
    shape.Table = query.substr(nameStart, nameEnd - nameStart);
    ++k;
    // An alias, with or without AS.
    if (IsWord(tokens, k, "AS")) {
        k += 2;
    } else if (k < tokens.size() &&
               (tokens[k].Kind == TokenKind::QuotedName ||
                (tokens[k].Kind == TokenKind::Word && !IsOneOf(tokens[k], kJoinWords) &&
                 !IsOneOf(tokens[k], kClauseWords)))) {
        ++k;
    }
    if (k < tokens.size() && tokens[k].Kind == TokenKind::Comma) return refuse("joins tables");
    for (; k < tokens.size(); ++k) {
        const Token& token = tokens[k];
        if (token.Depth != 0) continue;
        if (IsOneOf(token, kJoinWords)) return refuse("joins tables");
        if (IsOneOf(token, {"GROUP", "HAVING"})) return refuse("groups rows (" + token.Text + ")");
        if (IsOneOf(token, {"UNION", "EXCEPT", "INTERSECT"}))
            return refuse("combines queries (" + token.Text + ")");
    }
    return shape;
}

// The columns that find a row of the table again; none when it has no identity.
std::vector<std::string> IdentityColumnsOf(Connection& connection, const std::string& tableName) {
    const SqlDialect& dialect = connection.Dialect();
    if (auto rowid = dialect.RowIdColumns()) return std::move(*rowid);
    Command command{dialect.PrimaryKeyColumnsQuery(), {}, 60, false};
    command.Parameters.push_back({"table", ValueType::Text, 0, 0, 0, tableName});
    auto result = connection.Query(command);
    std::vector<std::string> columns;
    while (result.Next()) columns.push_back(result.Get(0).value_or(""));
    return columns;
}

// The identity's columns go first, under names of their own: the query's own
// columns may name them again, and ORDER BY must still find those unambiguously.
std::string WithIdentity(const std::string& query, const QueryShape& shape,
                         const std::vector<std::string>& identity) {
    std::string columns;
    for (std::size_t i = 0; i < identity.size(); ++i)
        columns += identity[i] + " AS varnel_identity_" + std::to_string(i + 1) + ", ";
    return query.substr(0, shape.SelectListStart) + columns + query.substr(shape.SelectListStart);
}

void ReadRows(Result& source, std::size_t identityCount, std::vector<ColumnInfo>& identityColumns,
              std::vector<ColumnInfo>& columns,
              std::vector<std::vector<std::optional<std::string>>>& identities,
              std::vector<std::vector<std::optional<std::string>>>& values) {
    const auto& all = source.Columns();
    identityColumns.assign(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(identityCount));
    columns.assign(all.begin() + static_cast<std::ptrdiff_t>(identityCount), all.end());
    while (source.Next()) {
        std::vector<std::optional<std::string>> identity;
        std::vector<std::optional<std::string>> row;
        for (std::size_t i = 0; i < all.size(); ++i)
            (i < identityCount ? identity : row).push_back(source.Get(i));
        identities.push_back(std::move(identity));
        values.push_back(std::move(row));
    }
}

}  // namespace

const std::optional<std::string>& EditableResult::Value(std::size_t row, std::size_t column) const {
    return rows_.at(row).Now.at(column);
}

const std::optional<std::string>& EditableResult::ReadValue(std::size_t row,
                                                            std::size_t column) const {
    return rows_.at(row).Read.at(column);
}

void EditableResult::SetValue(std::size_t row, std::size_t column,
                              std::optional<std::string> value) {
    rows_.at(row).Now.at(column) = std::move(value);
}

bool EditableResult::RowChanged(std::size_t row) const {
    return rows_.at(row).Now != rows_.at(row).Read;
}

std::size_t EditableResult::ChangedRowCount() const {
    std::size_t count = 0;
    for (std::size_t row = 0; row < rows_.size(); ++row)
        if (RowChanged(row)) ++count;
    return count;
}

EditableResult OpenEditableResult(Connection& connection, const std::string& query) {
    EditableResult result;
    const QueryShape shape = ShapeOf(query);
    std::vector<std::string> identity;
    if (shape.Refusal.empty()) {
        identity = IdentityColumnsOf(connection, shape.TableName);
        if (identity.empty())
            result.readOnlyReason_ = "These records cannot be saved, because table " +
                                     shape.TableName + " has no primary key.";
    } else {
        result.readOnlyReason_ = shape.Refusal;
    }

    std::optional<Result> source;
    if (!identity.empty()) {
        try {
            source.emplace(connection.Query(WithIdentity(query, shape, identity)));
            result.table_ = shape.Table;
        } catch (const OdbcError&) {
            // A view or a table without rowid: the query as typed tells whether it
            // fails for a reason of its own.
            identity.clear();
            result.readOnlyReason_ = "These records cannot be saved, because " + shape.TableName +
                                     " has no row identity.";
        }
    }
    if (!source) source.emplace(connection.Query(query));

    std::vector<std::vector<std::optional<std::string>>> identities;
    std::vector<std::vector<std::optional<std::string>>> values;
    ReadRows(*source, identity.size(), result.identityColumns_, result.columns_, identities,
             values);
    for (std::size_t i = 0; i < values.size(); ++i)
        result.rows_.push_back({std::move(identities[i]), values[i], values[i]});
    // NOTE: SQLite gives a view's rows a rowid of Null rather than refusing it.
    for (const auto& row : identities)
        for (const auto& value : row)
            if (!value && !identity.empty()) {
                identity.clear();
                result.table_.clear();
                result.readOnlyReason_ = "These records cannot be saved, because " +
                                         shape.TableName + " has no row identity.";
            }
    if (!identity.empty()) {
        // The names of the identity columns as the table knows them.
        for (std::size_t i = 0; i < identity.size(); ++i)
            result.identityColumns_[i].Name = identity[i];
        result.readOnlyReason_.clear();
    }
    return result;
}

std::size_t SaveEditableChanges(Connection& connection, EditableResult& result) {
    if (!result.readOnlyReason_.empty()) throw std::runtime_error(result.readOnlyReason_);
    const SqlDialect& dialect = connection.Dialect();
    std::size_t written = 0;
    Transaction transaction(connection);
    for (auto& row : result.rows_) {
        if (row.Now == row.Read) continue;
        Command update{"UPDATE " + result.table_ + " SET ", {}, 60, false};
        bool first = true;
        for (std::size_t c = 0; c < row.Now.size(); ++c) {
            if (row.Now[c] == row.Read[c]) continue;
            update.Text += (first ? "" : ", ") + result.columns_[c].Name + " = ?";
            update.Parameters.push_back(
                ColumnValueParameter(result.columns_[c], row.Now[c], dialect));
            first = false;
        }
        for (std::size_t i = 0; i < row.Identity.size(); ++i) {
            update.Text +=
                (i == 0 ? " WHERE " : " AND ") + result.identityColumns_[i].Name + " = ?";
            update.Parameters.push_back(
                ColumnValueParameter(result.identityColumns_[i], row.Identity[i], dialect));
        }
        const std::int64_t touched = connection.Execute(update);
        if (touched != 1)
            throw std::runtime_error("Nothing was saved: the update of one record of " +
                                     result.table_ + " touched " + std::to_string(touched) +
                                     " rows instead of exactly one.");
        ++written;
    }
    transaction.Commit();
    for (auto& row : result.rows_) row.Read = row.Now;
    return written;
}

}  // namespace varnel
