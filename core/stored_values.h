#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cat {

// The lenient reading used for stored values, radio digit texts and the speed text: skip
// leading blanks, read the longest leading decimal number ("." as the point), 0 when none.
// " 1200" -> 1200, "12abc" -> 12, "-3.5e2x" -> -350, "abc" -> 0.
double NumericValue(std::string_view text);

// Rounds half to even into a 16-bit integer; nothing when the value does not fit.
std::optional<std::int16_t> RoundToInt16(double value);

// Geometry as stored: one leading blank for values >= 0, "-" for negative (" 1200", "-15").
std::string GeometryText(long twips);

}  // namespace cat
