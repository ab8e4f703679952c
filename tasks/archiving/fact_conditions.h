#pragma once

// The archiving conditions of the fact tables and the archive login, as the
// conditions dialog loads, tests and saves them. Plain rows and records: the
// dialog's grid shows and edits them.

#include <optional>
#include <string>
#include <vector>

#include "warehouse/odbc.h"

namespace varnel {

//! One editable row: a fact table (column table_name) and its archiving condition
//! (column where_clause). Either may be Null, as the stored rows may.
struct ConditionRow {
    std::optional<std::string> TableName{};
    std::optional<std::string> WhereClause{};

    bool operator==(const ConditionRow&) const = default;
};

using ConditionRows = std::vector<ConditionRow>;

//! Loads one row per FACT table that exists in the warehouse, with the greatest of
//! its stored conditions. On failure the message text receives the error's
//! description and the rows are left empty.
bool LoadFactConditions(ConditionRows& rows, Connection& warehouse, std::string& messageText);

//! The editable copy of the grouped fact table list: the rows whose table exists
//! in the warehouse, values as read. Errors are thrown to the caller.
ConditionRows BuildConditionRows(Result& source, Connection& warehouse);

//! True when the server compiles the statement without running it (an empty
//! statement passes untested); False with the server's message otherwise. The
//! connection runs statements again afterwards, on either path.
bool TestConditionSyntax(const std::string& statement, Connection& connection,
                         std::string& messageText);

//! Stores each row's trimmed condition (Null as empty) in every FACT row of its
//! table, one statement per row. On failure the message text receives the error's
//! description; earlier rows stay written.
bool SaveFactConditions(const ConditionRows& rows, Connection& warehouse, std::string& messageText);

//! The login to the archive database as dwm_archive keeps it.
struct ArchiveLogin {
    std::string Server{};
    //! Windows authentication to the archive.
    bool SecureLogin = false;
    std::string UserName{};
    std::string Password{};
    std::string Database{};

    bool operator==(const ArchiveLogin&) const = default;
};

//! Reads the archive login (Null texts as empty, a Null SecureLogin as False).
//! On failure the message text receives the error's description.
bool ReadArchiveLogin(Connection& warehouse, ArchiveLogin& login, std::string& messageText);

//! Stores the archive login. Fails, with a message, when there is no row to store it in.
bool WriteArchiveLogin(Connection& warehouse, const ArchiveLogin& login, std::string& messageText);

}  // namespace varnel
