#pragma once

// The time on a report line. A change of the control lines or of the transmitter, and a client's
// coming and going, are printed with when they happened, so that a test can tell how long a
// radio was keyed: "transmit on (rts) t=0.512345", seconds on a steady clock since radiosim
// started, to the microsecond. The suffix is the line's last word; nothing else ends so.

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace radiosim {

inline constexpr std::string_view kTimeMark = " t=";

inline std::string TimeSuffix(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", seconds);
    return std::string(kTimeMark) + text;
}

// Takes the time off `line` and returns it; nothing (and `line` unchanged) on an untimed line.
inline std::optional<double> TakeTime(std::string& line) {
    const std::size_t at = line.rfind(kTimeMark);
    if (at == std::string::npos) return std::nullopt;
    const std::string number = line.substr(at + kTimeMark.size());
    if (number.empty() || number.find_first_not_of("0123456789.") != std::string::npos)
        return std::nullopt;
    double seconds = 0;
    double scale = 0;  // 0 before the point, then the place of the next digit
    for (char c : number) {
        if (c == '.') {
            if (scale != 0) return std::nullopt;
            scale = 0.1;
        } else if (scale == 0) {
            seconds = seconds * 10 + (c - '0');
        } else {
            seconds += (c - '0') * scale;
            scale /= 10;
        }
    }
    line.erase(at);
    return seconds;
}

}  // namespace radiosim
