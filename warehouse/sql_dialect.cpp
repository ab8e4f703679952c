#include "warehouse/sql_dialect.h"

#include <string_view>

#include "base/text.h"
#include "warehouse/live_lock.h"
#include "warehouse/metadata_names.h"

namespace varnel {

namespace {

// Copies a quoted run that starts at `from` (its opening character) up to and
// including its closing character; a doubled closing character, where the quote
// allows one, stays inside. Returns the position after the run.
std::size_t CopyQuoted(const std::string& text, std::size_t from, char close, bool doubles,
                       std::string& out) {
    std::size_t i = from + 1;
    while (i < text.size()) {
        if (text[i] == close) {
            if (doubles && i + 1 < text.size() && text[i + 1] == close) {
                i += 2;
                continue;
            }
            ++i;
            break;
        }
        ++i;
    }
    out.append(text, from, i - from);
    return i;
}

// The end of a comment that starts at `from`, or of the text.
std::size_t CommentEnd(const std::string& text, std::size_t from) {
    if (text.compare(from, 2, "--") == 0) {
        const std::size_t lineEnd = text.find('\n', from);
        return lineEnd == std::string::npos ? text.size() : lineEnd;
    }
    const std::size_t close = text.find("*/", from + 2);
    return close == std::string::npos ? text.size() : close + 2;
}

// The statement with every double-quoted word written as a name that cannot fall
// back to a string: in brackets, or in backquotes when it holds a closing bracket.
// Literals, other quoted names and comments stay as they are; an unclosed double
// quote is left for the engine to report.
std::string DoubleQuotedAsNames(const std::string& statement) {
    std::string out;
    out.reserve(statement.size() + 8);
    std::size_t i = 0;
    while (i < statement.size()) {
        const char c = statement[i];
        if (c == '\'' || c == '`') {
            i = CopyQuoted(statement, i, c, true, out);
        } else if (c == '[') {
            i = CopyQuoted(statement, i, ']', false, out);
        } else if (statement.compare(i, 2, "--") == 0 || statement.compare(i, 2, "/*") == 0) {
            const std::size_t end = CommentEnd(statement, i);
            out.append(statement, i, end - i);
            i = end;
        } else if (c == '"') {
            std::string name;
            std::size_t j = i + 1;
            bool closed = false;
            while (j < statement.size()) {
                if (statement[j] == '"') {
                    if (j + 1 < statement.size() && statement[j + 1] == '"') {
                        name += '"';
                        j += 2;
                        continue;
                    }
                    closed = true;
                    ++j;
                    break;
                }
                name += statement[j++];
            }
            if (!closed) {
                out.append(statement, i, std::string::npos);
                break;
            }
            if (name.find(']') == std::string::npos) {
                out += "[" + name + "]";
            } else {
                out += '`';
                for (const char n : name) {
                    if (n == '`') out += '`';
                    out += n;
                }
                out += '`';
            }
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

// The text of one line of an error without the driver's leading "[...]" tags.
std::string_view WithoutDriverTags(std::string_view line) {
    while (!line.empty() && line.front() == '[') {
        const std::size_t close = line.find(']');
        if (close == std::string_view::npos) break;
        line.remove_prefix(close + 1);
    }
    return line;
}

// The part of the text between a fixed opening and a fixed closing text.
std::optional<std::string> Between(std::string_view text, std::string_view opening,
                                   std::string_view closing) {
    if (text.size() < opening.size() + closing.size() || !text.starts_with(opening) ||
        !text.ends_with(closing))
        return std::nullopt;
    text.remove_prefix(opening.size());
    text.remove_suffix(closing.size());
    return std::string(text);
}

}  // namespace

std::string SqlServerDialect::IntOfBit(const std::string& expression) const {
    return "CONVERT(int, " + expression + ")";
}

std::string SqlServerDialect::DayOf(const std::string& expression) const {
    return "CONVERT(date, " + expression + ")";
}

std::string SqlServerDialect::TableExistsQuery() const {
    return "SELECT 1 FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = ?";
}

std::string SqlServerDialect::ColumnExistsQuery() const {
    return "SELECT 1 FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = ? AND COLUMN_NAME = ?";
}

std::string SqlServerDialect::TableHasIndexQuery() const {
    return "SELECT 1 FROM sys.indexes i JOIN sys.objects o ON o.object_id = i.object_id"
           " WHERE o.name = ? AND i.type > 0";
}

// OBJECT_ID resolves the name as a statement would: delimiters, the schema (the
// user's default one when none is named) and the database's collation.
std::optional<Command> SqlServerDialect::ResolveTableQuery(const std::string& name) const {
    return Command{
        "SELECT QUOTENAME(s.name) + '.' + QUOTENAME(o.name) FROM sys.objects o JOIN "
        "sys.schemas s ON s.schema_id = o.schema_id WHERE o.object_id = OBJECT_ID(?) "
        "AND o.type IN ('U', 'V')",
        {{"name", ValueType::Text, 0, 0, 0, TrimBlanks(name)}},
        60,
        false};
}

std::string SqlServerDialect::SelectLockRowForUpdate() const {
    return "Select * from dwm_multiuse WITH (UPDLOCK, HOLDLOCK)";
}

// An empty table offers no row to lock: the whole (one-row) table is held instead.
std::string SqlServerDialect::CountLockRowsForUpdate() const {
    return "select count(*) from dwm_multiuse WITH (TABLOCKX, HOLDLOCK)";
}

std::string SqlServerDialect::HoldReadLocks() const {
    return " WITH (HOLDLOCK)";
}

TransactionTexts SqlServerDialect::Transactions() const {
    return {};
}

std::string SqlServerDialect::JoinedUpdate(const std::string& table, const std::string& assignment,
                                           const std::string& joined,
                                           const std::string& condition) const {
    return "UPDATE " + table + " SET " + assignment + " FROM " + table + "," + joined + " WHERE " +
           condition;
}

std::vector<std::string> SqlServerDialect::CompileOnly(const std::string& statement) const {
    return {"Set NOEXEC ON", statement, "Set NOEXEC OFF"};
}

std::string SqlServerDialect::CompileOnlyReset() const {
    return "Set NOEXEC OFF";
}

std::optional<std::vector<std::string>> SqlServerDialect::RowIdColumns() const {
    return std::nullopt;
}

std::string SqlServerDialect::PrimaryKeyColumnsQuery() const {
    return "SELECT kcu.COLUMN_NAME FROM INFORMATION_SCHEMA.TABLE_CONSTRAINTS tc"
           " JOIN INFORMATION_SCHEMA.KEY_COLUMN_USAGE kcu"
           " ON kcu.CONSTRAINT_SCHEMA = tc.CONSTRAINT_SCHEMA AND kcu.CONSTRAINT_NAME = "
           "tc.CONSTRAINT_NAME"
           " WHERE tc.CONSTRAINT_TYPE = 'PRIMARY KEY' AND tc.TABLE_NAME = ?"
           " ORDER BY kcu.ORDINAL_POSITION";
}

bool SqlServerDialect::KeepsDatesAsText() const {
    return false;
}

bool SqlServerDialect::ComparesRowValues() const {
    return false;
}

bool SqlServerDialect::SelectsDatabaseByCatalog() const {
    return true;
}

CopyRoute SqlServerDialect::RouteBetweenDatabases() const {
    return CopyRoute::ThroughServer;
}

std::unique_ptr<LiveLock> SqlServerDialect::NewLiveLock(const Connection& connection) const {
    return NewSessionLiveLock(connection.Property("Data Source").value_or("") + "/" +
                              connection.DefaultDatabase());
}

std::string SqliteDialect::IntOfBit(const std::string& expression) const {
    return "CAST(" + expression + " AS INTEGER)";
}

std::string SqliteDialect::DayOf(const std::string& expression) const {
    return "date(" + expression + ")";
}

// SQLite resolves table and column names without regard to case, so the
// catalog does too; views count as tables, as they do for the server's catalog.
std::string SqliteDialect::TableExistsQuery() const {
    return "SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view')"
           " AND name = ? COLLATE NOCASE";
}

std::string SqliteDialect::ColumnExistsQuery() const {
    return "SELECT 1 FROM pragma_table_info(?) WHERE name = ? COLLATE NOCASE";
}

std::string SqliteDialect::TableHasIndexQuery() const {
    return "SELECT 1 FROM pragma_index_list(?)";
}

// SQLite looks a table up in the schema by its name without delimiters, ASCII letter
// case ignored; main is the warehouse file, any other schema is not.
std::optional<Command> SqliteDialect::ResolveTableQuery(const std::string& name) const {
    const auto parts = SplitIdentifier(name);
    if (!parts || (!parts->Schema.empty() && !EqualsIgnoringCase(parts->Schema, "main")))
        return std::nullopt;
    return Command{
        "SELECT name FROM sqlite_master WHERE type IN ('table', 'view') AND name = ? "
        "COLLATE NOCASE",
        {{"name", ValueType::Text, 0, 0, 0, parts->Name}},
        60,
        false};
}

// BEGIN IMMEDIATE has taken the file's write lock already.
std::string SqliteDialect::SelectLockRowForUpdate() const {
    return "Select * from dwm_multiuse";
}

std::string SqliteDialect::CountLockRowsForUpdate() const {
    return "select count(*) from dwm_multiuse";
}

// Transactions begin IMMEDIATE: the write lock on the file keeps every other writer
// out until they end.
std::string SqliteDialect::HoldReadLocks() const {
    return "";
}

// NOTE: with autocommit off the SQLite driver keeps a transaction open even after
// a plain SELECT, holding read locks that block other writers, and COMMIT sent as
// text confuses SQLEndTran. So autocommit stays on and transactions run as text.
TransactionTexts SqliteDialect::Transactions() const {
    return {"BEGIN IMMEDIATE", "BEGIN", "COMMIT", "ROLLBACK"};
}

// SQLite has no joined UPDATE; EXISTS matches each row once, as the join does.
std::string SqliteDialect::JoinedUpdate(const std::string& table, const std::string& assignment,
                                        const std::string& joined,
                                        const std::string& condition) const {
    return "UPDATE " + table + " SET " + assignment + " WHERE EXISTS (SELECT 1 FROM " + joined +
           " WHERE " + condition + ")";
}

// NOTE: the SQLite driver's SQLPrepare does not report errors in an UPDATE, INSERT
// or DELETE; EXPLAIN compiles the statement, reporting them, and runs nothing.
// SQLite reads a double-quoted word that names no column as a string, so
// "sale_dat" > '2020' would compile; the test sends such words as names, as SQL
// Server reads them, and a misspelt one fails with "no such column".
std::vector<std::string> SqliteDialect::CompileOnly(const std::string& statement) const {
    return {"EXPLAIN " + DoubleQuotedAsNames(statement)};
}

std::string SqliteDialect::CompileOnlyReset() const {
    return "";
}

std::optional<std::vector<std::string>> SqliteDialect::RowIdColumns() const {
    return std::vector<std::string>{"rowid"};
}

std::string SqliteDialect::PrimaryKeyColumnsQuery() const {
    return "SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk";
}

bool SqliteDialect::KeepsDatesAsText() const {
    return true;
}

bool SqliteDialect::ComparesRowValues() const {
    return true;
}

bool SqliteDialect::SelectsDatabaseByCatalog() const {
    return false;
}

CopyRoute SqliteDialect::RouteBetweenDatabases() const {
    return CopyRoute::AttachedFile;
}

std::unique_ptr<LiveLock> SqliteDialect::NewLiveLock(const Connection& connection) const {
    return NewFileLiveLock(LiveLockFilePath(connection.DefaultDatabase()));
}

std::string SqlServerDialect::TableColumnsQuery() const {
    return "SELECT COLUMN_NAME FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = ?"
           " ORDER BY ORDINAL_POSITION";
}

std::optional<std::string> SqlServerDialect::MissingColumnName(const std::string& errorLine) const {
    return Between(WithoutDriverTags(errorLine), "Invalid column name '", "'.");
}

std::string SqliteDialect::TableColumnsQuery() const {
    return "SELECT name FROM pragma_table_info(?) ORDER BY cid";
}

// The driver ends each message with SQLite's result code: "... (1)".
std::optional<std::string> SqliteDialect::MissingColumnName(const std::string& errorLine) const {
    std::string_view text = WithoutDriverTags(errorLine);
    const std::size_t open = text.rfind(" (");
    if (open != std::string_view::npos && open + 3 < text.size() && text.ends_with(")") &&
        text.find_first_not_of("0123456789", open + 2) == text.size() - 1)
        text = text.substr(0, open);
    return Between(text, "no such column: ", "");
}

const SqlDialect& DialectFor(Engine engine) {
    static const SqlServerDialect sqlServer;
    static const SqliteDialect sqlite;
    if (engine == Engine::SqlServer) return sqlServer;
    return sqlite;
}

}  // namespace varnel
