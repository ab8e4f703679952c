#pragma once

// The repair keeps a history whole only where it follows the validity convention (a
// version ends on the day the next begins). Inside a slowly changing table's
// transaction the elements with a version to delete are counted for defects before
// the repair and again for what the repair and the deletion leave; an element left
// with more defects of any kind refuses the table. An element damaged already is no
// reason to refuse, as long as the deletion does not make it worse.

#include <optional>
#include <string>

#include "warehouse/odbc.h"
#include "warehouse/version_history.h"

namespace varnel {

class HistoryCheck {
  public:
    //! Counts the defects of the elements with a version to delete, as they stand.
    HistoryCheck(Connection& connection, std::string table, const std::string& elementKey);

    //! Counts them again for the versions the deletion leaves, after the repair and
    //! before the deletion, in the same transaction; the message that refuses the
    //! table when an element would be left worse, nullopt when none would.
    std::optional<std::string> Refusal();

  private:
    Connection& connection_;
    std::string table_;
    std::string elementKey_;
    std::size_t keyColumns_;
    HistoryDefects before_;
};

//! The message that refuses a table whose element would be left with a defect.
std::string BrokenConventionMessage(const std::string& table, const std::string& element,
                                    HistoryDefect defect);

}  // namespace varnel
