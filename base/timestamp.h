#pragma once

#include <optional>
#include <string>

namespace varnel {

//! A date and time without time zone, as ODBC's timestamp structure holds it.
struct Timestamp {
    int Year = 1900;
    int Month = 1;
    int Day = 1;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    //! Fraction of the second in nanoseconds.
    int Fraction = 0;

    bool operator==(const Timestamp&) const = default;
    auto operator<=>(const Timestamp&) const = default;

    //! "YYYY-MM-DD HH:MM:SS", the form in which SQLite warehouses hold dates (with
    //! ".fff" milliseconds when the fraction is not 0).
    std::string ToIsoText() const;
    //! Parses "YYYY-MM-DD[ HH:MM[:SS[.fff]]]" (also with 'T'); nullopt when it is no date.
    static std::optional<Timestamp> FromIsoText(const std::string& text);
};

}  // namespace varnel
