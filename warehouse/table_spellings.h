#pragma once

// The tasks look relations up by the exact text of a table's name, so a table
// spelled one way in dwm_tables and another way in dwm_star_relations (another
// letter case, blanks, delimiters, a schema) is missed by every such look-up: its
// rows look unused. Each name is resolved to the table the engine would take for
// it, by the engine's own look-up, and one table must have one spelling.

#include <optional>
#include <string>
#include <vector>

namespace varnel {

class Connection;

//! What the check of spellings found.
struct SpellingCheck {
    //! The fault that stops the run; nullopt when every listed table has one spelling.
    std::optional<std::string> Fault;
    //! Lines for the run log: one per table that relations name and dwm_tables does
    //! not list, in the order first met.
    std::vector<std::string> Notes;
};

//! Resolves every table_name of dwm_tables and every primary_table and foreign_table
//! of dwm_star_relations. A fault when dwm_tables lists one table in two spellings,
//! or a relation names a listed table in a spelling other than the listed one. A
//! name the engine finds no table for is compared by its text alone. Missing
//! metadata tables, and Null names, are left to the tasks that read them.
SpellingCheck CheckTableSpellings(Connection& connection);

}  // namespace varnel
