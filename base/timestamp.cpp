#include "base/timestamp.h"

#include <cstdio>

namespace varnel {

std::string Timestamp::ToIsoText() const {
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", Year, Month, Day, Hour,
                  Minute, Second);
    std::string iso = text;
    if (Fraction > 0) {
        std::snprintf(text, sizeof text, ".%03d", Fraction / 1000000);
        iso += text;
    }
    return iso;
}

std::optional<Timestamp> Timestamp::FromIsoText(const std::string& text) {
    Timestamp t;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &t.Year, &t.Month, &t.Day, &consumed) != 3)
        return std::nullopt;
    if (static_cast<std::size_t>(consumed) < text.size()) {
        const char separator = text[static_cast<std::size_t>(consumed)];
        if (separator != ' ' && separator != 'T') return std::nullopt;
        int timeConsumed = 0;
        const char* time = text.c_str() + consumed + 1;
        if (std::sscanf(time, "%2d:%2d%n:%2d%n", &t.Hour, &t.Minute, &timeConsumed, &t.Second,
                        &timeConsumed) < 2)
            return std::nullopt;
        const char* rest = time + timeConsumed;
        if (*rest == '.') {
            int scale = 100000000;
            for (++rest; *rest >= '0' && *rest <= '9'; ++rest, scale /= 10)
                if (scale > 0) t.Fraction += (*rest - '0') * scale;
        }
    }
    if (t.Month < 1 || t.Month > 12 || t.Day < 1 || t.Day > 31 || t.Hour > 23 || t.Minute > 59 ||
        t.Second > 60)
        return std::nullopt;
    return t;
}

}  // namespace varnel
