#pragma once

// Text on radiosim's own channels (options, control lines, report lines): hexadecimal bytes,
// megahertz and small numbers. Never the locale's conversions: "7.074" means the same everywhere.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace radiosim {

// "fe fe 5e e0 03 fd": lower case, one space between bytes.
std::string Hex(std::string_view bytes);

// Text as a report line can carry it: printable ASCII as it is, any other byte as "\xNN", so
// that bytes a text radio took in whole never break the line.
std::string Printable(std::string_view text);

// Hertz as a text radio sends them: `width` decimal digits, zeros in front ("00014074000").
std::string HertzDigits(std::int64_t hz, std::size_t width);

// "fe fe e0 5e fb fd" or "fefee05efbfd"; nullopt on anything else, such as an odd digit.
std::optional<std::string> ParseHexBytes(std::string_view text);

// Megahertz with '.' as decimal point ("14.074") to whole hertz; nullopt when finer than 1 Hz.
std::optional<std::int64_t> ParseMegahertz(std::string_view text);

// Decimal digits only, within [low, high].
std::optional<int> ParseInt(std::string_view text, int low, int high);

// Seconds with an optional fraction ("2", "0.5"), up to a day, to milliseconds.
std::optional<std::int64_t> ParseSeconds(std::string_view text);

std::optional<bool> ParseOnOff(std::string_view text);

// 0..15, or -1 when `c` is no hexadecimal digit.
int HexDigit(char c);

}  // namespace radiosim
