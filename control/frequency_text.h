#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "app/session_state.h"

namespace cat {

// 14.074 -> 0 1 4 10 0 7 4 10 0 0 in iq[0..9]; 10 marks the two separator places.
// Raises CatError on a 16-bit overflow or an array shorter than 10.
void Decompose(double Qrg, std::span<std::int16_t> iq);

// 14.074 -> "14.074.00", 7.074 -> " 7.074.00", 144.3 -> "144.300.0". On any failure strF is
// left exactly as it was.
void EcriF(const SessionState& state, double f, std::string& strF);

// 14.074 -> "00014074000": the frequency in hertz, 11 digits, the sign ignored.
std::string SFreq(double Freq);

}  // namespace cat
