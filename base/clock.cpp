#include "base/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace varnel {

namespace {

std::string Printf(const char* format, int a, int b, int c) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

}  // namespace

Timestamp SystemNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return Timestamp{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string FormatLongDate(const Timestamp& t) {
    static const char* const kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    using namespace std::chrono;
    const year_month_day day{year{t.Year}, month{static_cast<unsigned>(t.Month)},
                             std::chrono::day{static_cast<unsigned>(t.Day)}};
    const weekday weekDay{sys_days{day}};
    const int month = (t.Month >= 1 && t.Month <= 12) ? t.Month : 1;
    return std::string(kDays[weekDay.c_encoding()]) + ", " + kMonths[month - 1] + " " +
           std::to_string(t.Day) + " " + std::to_string(t.Year);
}

std::string FormatLongTime(const Timestamp& t) {
    return Printf("%02d:%02d:%02d", t.Hour, t.Minute, t.Second);
}

std::string FormatGeneralDate(const Timestamp& t) {
    const std::string date = Printf("%04d-%02d-%02d", t.Year, t.Month, t.Day);
    if (t.Hour == 0 && t.Minute == 0 && t.Second == 0) return date;
    return date + " " + FormatLongTime(t);
}

std::string FormatFileDate(const Timestamp& t) {
    return Printf("%02d-%02d-%04d", t.Day, t.Month, t.Year);
}

std::string FormatFileTime(const Timestamp& t) {
    return Printf("%02d-%02d-%02d", t.Hour, t.Minute, t.Second);
}

}  // namespace varnel
