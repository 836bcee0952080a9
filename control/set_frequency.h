#pragma once

#include <cstdint>

#include "core/platform.h"
#include "core/session_state.h"

namespace cat {

// Sends the set-frequency command of the open link's protocol for 14074000 Hz: Kenwood
// FA00014074000;, ICOM 05 with data 00 40 07 14 00, FT-817 01 40 74 00 01. The sign is
// ignored; from 1000 MHz up nothing is sent. Polling is off while it sends.
// Failure style: ignore; the poll timer always comes back on.
void SetRadioFrequency(SessionState& state, Platform& platform, std::int64_t hertz);

}  // namespace cat
