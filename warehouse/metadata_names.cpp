#include "warehouse/metadata_names.h"

#include <array>
#include <vector>

#include "base/text.h"
#include "warehouse/database_access.h"
#include "warehouse/odbc.h"

namespace varnel {

namespace {

bool IsNameCharacter(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= '0' && byte <= '9') || byte == '_' || byte == '$' || byte == '#' ||
           byte >= 0x80;
}

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// Reads one part of a name from the position given: a plain name or a delimited
// one. Returns the position after it, or npos when no valid part starts there.
std::size_t ReadPart(std::string_view text, std::size_t at) {
    if (at >= text.size()) return std::string_view::npos;
    const char open = text[at];
    if (open == '[' || open == '"') {
        const char close = open == '[' ? ']' : '"';
        std::size_t i = at + 1;
        bool empty = true;
        while (i < text.size()) {
            const char c = text[i];
            if (c == close) {
                // A doubled delimiter stands for itself; a single one ends the name.
                if (i + 1 < text.size() && text[i + 1] == close) {
                    i += 2;
                    empty = false;
                    continue;
                }
                return empty ? std::string_view::npos : i + 1;
            }
            if (IsControl(c)) return std::string_view::npos;
            empty = false;
            ++i;
        }
        return std::string_view::npos;  // never closed
    }
    std::size_t i = at;
    while (i < text.size() && IsNameCharacter(text[i])) ++i;
    return i == at ? std::string_view::npos : i;
}

// One part as read by ReadPart, without its delimiters.
std::string Undelimited(std::string_view part) {
    if (part.empty() || (part.front() != '[' && part.front() != '"')) return std::string(part);
    const char close = part.front() == '[' ? ']' : '"';
    std::string name;
    for (std::size_t i = 1; i + 1 < part.size(); ++i) {
        name += part[i];
        if (part[i] == close) ++i;  // a doubled delimiter stands for one
    }
    return name;
}

}  // namespace

std::optional<NameParts> SplitIdentifier(std::string_view name) {
    const std::string_view text = TrimmedView(name);
    const std::size_t first = ReadPart(text, 0);
    if (first == std::string_view::npos) return std::nullopt;
    if (first == text.size()) return NameParts{"", Undelimited(text)};
    if (text[first] != '.') return std::nullopt;
    const std::size_t second = ReadPart(text, first + 1);
    if (second != text.size()) return std::nullopt;
    return NameParts{Undelimited(text.substr(0, first)),
                     Undelimited(text.substr(first + 1, second - first - 1))};
}

bool IsIdentifier(std::string_view name) {
    const std::string_view text = TrimmedView(name);
    std::size_t at = ReadPart(text, 0);
    if (at == std::string_view::npos) return false;
    if (at < text.size() && text[at] == '.') at = ReadPart(text, at + 1);
    return at == text.size();
}

bool IsIdentifierList(std::string_view list) {
    if (TrimmedView(list).empty()) return true;
    for (const auto& piece : SplitCommaList(list))
        if (!IsIdentifier(piece)) return false;
    return true;
}

std::string InvalidNameMessage(std::string_view table, std::string_view column,
                               std::string_view value) {
    return "The value '" + std::string(value) + "' in column " + std::string(column) + " of " +
           std::string(table) + " is not a valid name.";
}

namespace {

struct NameColumn {
    const char* Name;
    bool List;
};

// Position of a column in a result of SELECT *; npos when the table lacks it.
std::size_t PositionOf(const Result& result, std::string_view column) {
    for (std::size_t i = 0; i < result.ColumnCount(); ++i)
        if (EqualsIgnoringCase(result.Column(i).Name, column)) return i;
    return std::string_view::npos;
}

std::optional<std::string> CheckRelations(Connection& connection) {
    static constexpr std::array<NameColumn, 5> kColumns = {{{"foreign_table", false},
                                                            {"foreign_columns", true},
                                                            {"primary_table", false},
                                                            {"primary_columns", true},
                                                            {"original_primary_key", true}}};
    auto rows = connection.Query("SELECT * FROM dwm_star_relations");
    std::vector<std::pair<NameColumn, std::size_t>> present;
    for (const auto& column : kColumns) {
        const std::size_t position = PositionOf(rows, column.Name);
        if (position != std::string_view::npos) present.emplace_back(column, position);
    }
    while (rows.Next()) {
        for (const auto& [column, position] : present) {
            const auto& value = rows.Get(position);
            if (!value) continue;
            if (column.List ? IsIdentifierList(*value) : IsIdentifier(*value)) continue;
            return InvalidNameMessage("dwm_star_relations", column.Name, *value);
        }
    }
    return std::nullopt;
}

std::optional<std::string> CheckTables(Connection& connection) {
    auto rows = connection.Query("SELECT * FROM dwm_tables");
    const std::size_t name = PositionOf(rows, "table_name");
    const std::size_t type = PositionOf(rows, "table_type");
    // The key columns that the reports select from each dimension.
    const std::size_t keys = PositionOf(rows, "org_pkey");
    if (name == std::string_view::npos || type == std::string_view::npos) return std::nullopt;
    while (rows.Next()) {
        const auto& kind = rows.Get(type);
        const auto& value = rows.Get(name);
        if (!kind || !value) continue;
        // Only the rows the tasks read: dimensions and facts, of any letter case.
        const std::string lower = LowerCase(TrimmedView(*kind));
        if (lower != "dimension" && lower != "fact") continue;
        if (!IsIdentifier(*value)) return InvalidNameMessage("dwm_tables", "table_name", *value);
        if (keys == std::string_view::npos || lower != "dimension") continue;
        const auto& keyList = rows.Get(keys);
        if (keyList && !IsBlank(*keyList) && !IsIdentifierList(*keyList))
            return InvalidNameMessage("dwm_tables", "org_pkey", *keyList);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> FindInvalidMetadataName(Connection& connection) {
    if (TableExists(connection, "dwm_star_relations")) {
        if (auto fault = CheckRelations(connection)) return fault;
    }
    if (TableExists(connection, "dwm_tables")) return CheckTables(connection);
    return std::nullopt;
}

}  // namespace varnel
