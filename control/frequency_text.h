#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "core/session_state.h"

namespace cat {

// 14.074 -> 0 1 4 10 0 7 4 10 0 0 in digits[0..9]; 10 marks the two separator places.
// Raises CatError on a 16-bit overflow or an array shorter than 10.
void DisplayDigits(double megahertz, std::span<std::int16_t> digits);

// 14.074 -> "14.074.00", 7.074 -> " 7.074.00", 144.3 -> "144.300.0". On any failure `text` is
// left exactly as it was; a negative frequency has no display and leaves it as well.
void FrequencyDisplayText(const SessionState& state, double megahertz, std::string& text);

// 14.074 -> "00014074000": the frequency in hertz, 11 digits, the sign ignored.
// Raises CatError from 1000 MHz up, where the digits no longer fit.
std::string HertzDigits(double megahertz);

// The four packed-decimal frequency bytes B1..B4, most significant first:
// 14.074 -> 01 40 74 00, 144.3 -> 14 43 00 00. `megahertz` is not negative.
// Raises CatError when a digit falls outside 0..9 (1000 MHz and above), so no byte
// that is not packed decimal ever reaches a radio.
std::array<std::int16_t, 4> FrequencyBytes(double megahertz);

}  // namespace cat
