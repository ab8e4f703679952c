#pragma once

// The repair of one element of a slowly changing dimension, worked out in memory:
// the versions of the element as read, in the order of the repair, and the dates
// and current flag each one ends up with. The engine computes the days, so dates
// are compared as the engine compares them and written back as they were read.

#include <optional>
#include <string>
#include <vector>

namespace varnel {

//! A date of a version: the value as read, and its calendar day as the engine
//! computes it (nullopt for Null or a value the engine reads as no date).
struct VersionDate {
    std::optional<std::string> Value;
    std::optional<std::string> Day;
};

//! The validity of a version: its period and whether it is the current one.
struct VersionPeriod {
    VersionDate Start;
    VersionDate End;
    bool Current = false;
};

//! One version of an element, as read and as the repair leaves it.
struct ElementVersion {
    VersionPeriod Read;
    //! Marked for deletion (is_deletable = 1).
    bool Marked = false;
    //! is_current as read holds exactly 1 (a repair that makes it current writes 1).
    bool CurrentIsOne = false;

    //! Filled in by RepairElement.
    VersionPeriod Repaired;
    //! A current version that was marked handed its period to this one, which was
    //! set current.
    bool MadeCurrent = false;
};

//! What the repair changed in one version.
struct VersionChange {
    bool Start = false;
    bool End = false;
    bool Current = false;

    bool Any() const { return Start || End || Current; }
};

//! Repairs the neighbours of every marked version of one element, in the order
//! given (start_date as read). A marked version is taken as it stands when its
//! turn comes, so a date that an earlier step moved is seen:
//! - one that is not current hands its start to every version that starts on the
//!   day it ends;
//! - a current one hands its end to every version that ends on the day it starts,
//!   and each of them becomes current.
//! A Null day matches nothing.
void RepairElement(std::vector<ElementVersion>& versions);

//! The columns whose stored value the repair changed.
VersionChange ChangeOf(const ElementVersion& version);

}  // namespace varnel
