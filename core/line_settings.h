#pragma once

// The serial line's settings as the port component takes them: "9600,n,8,2" is 9600 baud, no
// parity, 8 data bits, 2 stop bits. A value type, so each port implementation maps it onto its
// own library's terms.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cat {

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

struct LineSettings {
    std::int32_t speed = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
    std::string text = "9600,n,8,1";  // as given, for messages

    // 8 data bits, no parity and 2 stop bits at `speed` ("9600,n,8,2"): the line the program opens
    // to every radio. A speed outside 50..4000000 raises the port's "line settings are not valid"
    // error, as ParseLineSettings refuses it.
    static LineSettings TwoStopBits(std::int64_t speed);
};

// Speed 50..4000000 in digits only, parity n/e/o/m/s in either case, data bits 5..8, stop bits
// 1, 1.5 or 2; exactly four comma-separated fields, no blanks. Nothing for anything else.
std::optional<LineSettings> ParseLineSettings(std::string_view text);

// As ParseLineSettings, for text from outside that must be valid (a stored setting, a command
// line): anything invalid is raised as the port's "line settings are not valid" error, naming it.
LineSettings RequireLineSettings(std::string_view text);

}  // namespace cat
