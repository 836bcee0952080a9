#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/session_state.h"

namespace cat {

// The operator's entry in megahertz, in whole hertz rounded to the nearest: 14.0745 -> 14074500.
// Nothing for an entry that is no number of hertz at all (not finite, 10^9 MHz and beyond).
std::optional<std::int64_t> HertzFromMegahertz(double megahertz);

// 200000000 -> "200", 14074500 -> "14.0745": megahertz as the operator types them, whatever the
// locale (a point always).
std::string MegahertzText(std::int64_t hertz);

// The display's own text typed back: "14.074.50" -> 14074500, " 7.074.00", "144.300.0" (100 Hz
// last), also with the mode after it ("14.074.00 USB"). Nothing for any other text.
std::optional<std::int64_t> HertzFromDisplayText(std::string_view text);

// 14074000 Hz -> 0 1 4 10 0 7 4 10 0 0 in digits[0..9]; 10 marks the two separator places.
// Digits are of 10 Hz steps; a frequency 1 Hz short of a step counts as that step.
// Raises CatError for a negative frequency, a 16-bit overflow or an array shorter than 10.
void DisplayDigits(std::int64_t hertz, std::span<std::int16_t> digits);

// 14074000 -> "14.074.00", 7074000 -> " 7.074.00", 144300000 -> "144.300.0". On any failure
// `text` is left exactly as it was; a negative frequency has no display and leaves it as well.
void FrequencyDisplayText(const SessionState& state, std::int64_t hertz, std::string& text);

}  // namespace cat
