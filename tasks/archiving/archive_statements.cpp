#include "tasks/archiving/archive_statements.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <utility>

#include "base/text.h"
#include "run/run_settings.h"
#include "warehouse/database_access.h"
#include "warehouse/sql_literal.h"

namespace varnel::archive_sql {

namespace {

// A name between brackets, as SQL Server quotes it, with ']' doubled.
std::string Bracketed(const std::string& name) {
    std::string quoted = "[";
    for (const char c : name) {
        quoted += c;
        if (c == ']') quoted += ']';
    }
    return quoted + "]";
}

// The copied columns as the INSERT lists them (the archive's names, then the date)
// and as the SELECT lists them (the fact table's names), each name quoted.
template <typename Quote>
std::pair<std::string, std::string> ColumnLists(const std::vector<CopiedColumn>& columns,
                                                Quote quote) {
    std::string target, source;
    for (const auto& column : columns) {
        target += quote(column.Archive) + ", ";
        source += (source.empty() ? "" : ", ") + quote(column.Warehouse);
    }
    return {target + "date_of_archiving", source};
}

Command ProcedureCall(const std::string& procedure) {
    Command command;
    command.Text = procedure;
    command.TimeoutSeconds = 15;
    command.StoredProcedure = true;
    return command;
}

void AddText(Command& command, const std::string& name, const std::string& value) {
    AddCommandParameter(command, name, AdoType::VarChar, ParameterDirection::Input, value.size(), 0,
                        0, value);
}

}  // namespace

std::string SelectFactConditions() {
    return "select distinct table_name, max(where_clause) as where_clause from dwm_tables "
           "where upper(table_type) = 'FACT' group by table_name";
}

std::string CountFactTables() {
    return "select count(distinct table_name) from dwm_tables where upper(table_type) = 'FACT'";
}

std::string ConditionTestStatement(const std::string& table, const std::string& condition) {
    return "select * from " + table + " where " + condition;
}

std::string ArchiveDateText(const Timestamp& date) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", date.Year, date.Month,
                  date.Day, date.Hour, date.Minute, date.Second);
    return text;
}

std::string DeleteArchivedRows(const std::string& table, const std::string& condition) {
    return "delete from " + table + " where " + condition;
}

std::vector<CopiedColumn> MatchArchiveColumns(const std::string& table,
                                              const std::vector<std::string>& factColumns,
                                              const std::vector<std::string>& archiveColumns) {
    std::vector<CopiedColumn> copied;
    for (const auto& fact : factColumns) {
        const auto archive =
            std::find_if(archiveColumns.begin(), archiveColumns.end(),
                         [&](const std::string& name) { return EqualsIgnoringCase(name, fact); });
        if (archive == archiveColumns.end())
            throw std::runtime_error("The archive table " + table + " has no column " + fact +
                                     " of the fact table; nothing was archived from " + table +
                                     ".");
        copied.push_back({fact, *archive});
    }
    return copied;
}

// ---------------------------------------------------------------- SQL Server

Command AddLinkedServer(const std::string& server) {
    Command command = ProcedureCall("sp_addlinkedserver");
    AddText(command, "@server", TrimBlanks(server));
    AddText(command, "@srvproduct", "SQL Server");
    return command;
}

Command AddLinkedServerLogin(const std::string& server) {
    Command command = ProcedureCall("sp_addlinkedsrvlogin");
    AddText(command, "@rmtsrvname", TrimBlanks(server));
    AddText(command, "@useself", "true");
    return command;
}

Command DropLinkedServer(Command added) {
    added.Text = "sp_dropserver";
    if (added.Parameters.size() > 1) added.Parameters.erase(added.Parameters.begin() + 1);
    return added;
}

std::string LinkedServerCopy(const std::string& server, const std::string& database,
                             const std::string& table, const std::vector<CopiedColumn>& columns,
                             const std::string& archiveDate, const std::string& condition) {
    const auto [target, source] = ColumnLists(columns, Bracketed);
    return "insert into \"" + server + "\".\"" + database + "\".dbo.\"" + table + "\" (" + target +
           ") select " + source + ", {ts " + SqlLiteral(archiveDate) + "} from \"" + table +
           "\" where " + condition;
}

std::string OpenRowsetCopy(const std::string& server, const std::string& user,
                           const std::string& password, const std::string& database,
                           const std::string& table, const std::vector<CopiedColumn>& columns,
                           const std::string& archiveDate, const std::string& condition) {
    const auto [target, source] = ColumnLists(columns, Bracketed);
    return "insert into OPENROWSET('SQLOLEDB', " + SqlLiteral(server) + "; " + SqlLiteral(user) +
           "; " + SqlLiteral(password) + ", " + database + ".dbo." + table + ") (" + target +
           ") select " + source + ", {ts " + SqlLiteral(archiveDate) + "} from " + table +
           " where " + condition;
}

std::string SqlServerColumnsQuery() {
    // Alias types are written as their system type; CLR types by their own name.
    return "SELECT c.name, CASE WHEN t.is_assembly_type = 1 THEN TYPE_NAME(c.user_type_id)"
           " ELSE TYPE_NAME(c.system_type_id) END AS type_name, c.max_length, c.precision,"
           " c.scale, c.is_nullable, c.is_identity, c.is_computed"
           " FROM sys.columns c JOIN sys.types t ON t.user_type_id = c.user_type_id"
           " WHERE c.object_id = OBJECT_ID(?) ORDER BY c.column_id";
}

std::string SqlServerPrimaryKeyQuery() {
    return "SELECT k.name, c.name FROM sys.key_constraints k"
           " JOIN sys.index_columns ic ON ic.object_id = k.parent_object_id"
           " AND ic.index_id = k.unique_index_id"
           " JOIN sys.columns c ON c.object_id = ic.object_id AND c.column_id = ic.column_id"
           " WHERE k.parent_object_id = OBJECT_ID(?) AND k.type = 'PK' ORDER BY ic.key_ordinal";
}

std::string SqlServerColumnType(const SqlServerColumn& column) {
    const std::string type = LowerCase(column.TypeName);
    const auto length = [&](int bytesPerCharacter) {
        if (column.MaxLength < 0) return type + "(max)";
        return type + "(" + std::to_string(column.MaxLength / bytesPerCharacter) + ")";
    };
    // A rowversion column refuses explicit values; its eight bytes are kept as they are.
    if (type == "timestamp" || type == "rowversion") return "binary(8)";
    if (type == "char" || type == "varchar" || type == "binary" || type == "varbinary")
        return length(1);
    if (type == "nchar" || type == "nvarchar") return length(2);
    if (type == "decimal" || type == "numeric")
        return type + "(" + std::to_string(column.Precision) + ", " + std::to_string(column.Scale) +
               ")";
    if (type == "datetime2" || type == "time" || type == "datetimeoffset")
        return type + "(" + std::to_string(column.Scale) + ")";
    if (type == "float") return type + "(" + std::to_string(column.Precision) + ")";
    return type;
}

std::string SqlServerArchiveTable(const std::string& table,
                                  const std::vector<SqlServerColumn>& columns,
                                  const std::optional<TableKey>& key) {
    // Identity and computed columns become plain columns: the copy inserts every
    // column's value, which neither kind accepts.
    std::string text = "CREATE TABLE [dbo]." + Bracketed(table) + " (";
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i > 0) text += ", ";
        text += Bracketed(columns[i].Name) + " " + SqlServerColumnType(columns[i]) +
                (columns[i].Nullable ? " NULL" : " NOT NULL");
    }
    if (key && !key->Columns.empty()) {
        text += ", ";
        if (!key->ConstraintName.empty())
            text += "CONSTRAINT " + Bracketed(key->ConstraintName) + " ";
        text += "PRIMARY KEY (";
        for (std::size_t i = 0; i < key->Columns.size(); ++i)
            text += (i > 0 ? ", " : "") + Bracketed(key->Columns[i]);
        text += ")";
    }
    return text + ")";
}

std::string AddArchiveDateColumn(const std::string& table) {
    return "ALTER TABLE " + table +
           " ADD date_of_archiving datetime NOT NULL DEFAULT getdate() WITH VALUES";
}

std::string DropKeyConstraint(const std::string& table, const std::string& constraintName) {
    return "ALTER TABLE " + table + " DROP CONSTRAINT " + constraintName;
}

std::string AddArchiveKey(const std::string& table, const TableKey& key) {
    std::string text = "ALTER TABLE " + table + " ADD CONSTRAINT " + key.ConstraintName +
                       " PRIMARY KEY CLUSTERED (";
    for (const auto& column : key.Columns) text += column + ", ";
    return text + "date_of_archiving) ON [PRIMARY]";
}

// ---------------------------------------------------------------- SQLite

// Generated columns are listed too (table_info leaves them out): they are copied
// with the rest, so the archive table needs them as plain columns. The schema is
// named because a temporary view of the same name would otherwise come first.
std::string SqliteColumnsQuery() {
    return "SELECT name, type, \"notnull\", pk FROM pragma_table_xinfo(?, 'main') "
           "WHERE hidden <> 1 ORDER BY cid";
}

std::string SqliteTableSqlQuery() {
    return "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE";
}

namespace {

enum class TokenKind { Word, QuotedName, Other };

struct Token {
    TokenKind Kind;
    std::string Text;
};

// Reads a quoted run that ends at `close`, a doubled `close` standing for itself.
std::string ReadQuoted(const std::string& sql, std::size_t& i, char close) {
    std::string text;
    ++i;
    while (i < sql.size()) {
        if (sql[i] == close) {
            if (i + 1 < sql.size() && sql[i + 1] == close && close != ']') {
                text += close;
                i += 2;
                continue;
            }
            ++i;
            return text;
        }
        text += sql[i++];
    }
    return text;
}

// The tokens of a statement as far as names and keywords go: comments dropped,
// string literals and punctuation kept apart from names.
std::vector<Token> Tokens(const std::string& sql) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    const auto isWordChar = [](unsigned char c) {
        return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80;
    };
    while (i < sql.size()) {
        const auto c = static_cast<unsigned char>(sql[i]);
        if (std::isspace(c)) {
            ++i;
        } else if (sql.compare(i, 2, "--") == 0) {
            const auto end = sql.find('\n', i);
            i = end == std::string::npos ? sql.size() : end + 1;
        } else if (sql.compare(i, 2, "/*") == 0) {
            const auto end = sql.find("*/", i + 2);
            i = end == std::string::npos ? sql.size() : end + 2;
        } else if (c == '"' || c == '`') {
            tokens.push_back({TokenKind::QuotedName, ReadQuoted(sql, i, static_cast<char>(c))});
        } else if (c == '[') {
            tokens.push_back({TokenKind::QuotedName, ReadQuoted(sql, i, ']')});
        } else if (c == '\'') {
            tokens.push_back({TokenKind::Other, ReadQuoted(sql, i, '\'')});
        } else if (isWordChar(c)) {
            const std::size_t start = i;
            while (i < sql.size() && isWordChar(static_cast<unsigned char>(sql[i]))) ++i;
            tokens.push_back({TokenKind::Word, sql.substr(start, i - start)});
        } else {
            tokens.push_back({TokenKind::Other, std::string(1, sql[i++])});
        }
    }
    return tokens;
}

bool IsKeyword(const Token& token, const char* keyword) {
    return token.Kind == TokenKind::Word && LowerCase(token.Text) == keyword;
}

}  // namespace

std::optional<std::string> SqliteKeyConstraintName(const std::string& createSql) {
    const auto tokens = Tokens(createSql);
    for (std::size_t i = 0; i + 2 < tokens.size(); ++i) {
        if (IsKeyword(tokens[i], "constraint") && tokens[i + 1].Kind != TokenKind::Other &&
            IsKeyword(tokens[i + 2], "primary"))
            return tokens[i + 1].Text;
    }
    return std::nullopt;
}

std::string QuotedName(const std::string& name) {
    std::string quoted = "\"";
    for (const char c : name) {
        quoted += c;
        if (c == '"') quoted += '"';
    }
    return quoted + "\"";
}

std::string SqliteArchiveTable(const std::string& table, const std::vector<SqliteColumn>& columns,
                               const std::optional<std::string>& keyConstraint) {
    std::string text = "CREATE TABLE " + QuotedName(table) + " (";
    std::vector<const SqliteColumn*> key;
    for (const auto& column : columns) {
        text += QuotedName(column.Name);
        if (!column.Type.empty()) text += " " + column.Type;
        if (column.NotNull) text += " NOT NULL";
        text += ", ";
        if (column.KeyPosition > 0) key.push_back(&column);
    }
    text += "date_of_archiving DATETIME NOT NULL DEFAULT CURRENT_TIMESTAMP";
    if (!key.empty()) {
        std::sort(key.begin(), key.end(), [](const SqliteColumn* a, const SqliteColumn* b) {
            return a->KeyPosition < b->KeyPosition;
        });
        text += ", ";
        if (keyConstraint) text += "CONSTRAINT " + QuotedName(*keyConstraint) + " ";
        text += "PRIMARY KEY (";
        for (const auto* column : key) text += QuotedName(column->Name) + ", ";
        text += "date_of_archiving)";
    }
    return text + ")";
}

std::string AttachWarehouse(const std::string& path) {
    return "ATTACH DATABASE " + SqlLiteral(path) + " AS wh";
}

std::string DetachWarehouse() {
    return "DETACH DATABASE wh";
}

// SQLite's own tables (sqlite_stat1, sqlite_sequence) are left out: no view may take
// their names, and no condition needs them.
std::string SqliteShadowedTables() {
    return "SELECT name FROM main.sqlite_master WHERE type IN ('table', 'view') AND name NOT LIKE "
           "'sqlite\\_%' ESCAPE '\\' AND lower(name) IN (SELECT lower(name) FROM wh.sqlite_master "
           "WHERE type IN ('table', 'view'))";
}

std::string ShadowWithWarehouseTable(const std::string& table) {
    return "CREATE TEMP VIEW " + QuotedName(table) + " AS SELECT * FROM wh." + QuotedName(table);
}

std::string DropShadow(const std::string& table) {
    return "DROP VIEW IF EXISTS temp." + QuotedName(table);
}

std::string SqliteCopy(const std::string& table, const std::vector<CopiedColumn>& columns,
                       const std::string& archiveDate, const std::string& condition) {
    const auto [target, source] = ColumnLists(columns, QuotedName);
    return "INSERT INTO main." + QuotedName(table) + " (" + target + ") SELECT " + source + ", " +
           SqlLiteral(archiveDate) + " FROM wh." + QuotedName(table) + " WHERE " + condition;
}

}  // namespace varnel::archive_sql
