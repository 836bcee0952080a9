#pragma once

#include <cstdint>

#include "core/platform.h"
#include "core/session_state.h"

namespace cat {

// List position (ModeIndex) to the radio's own set-mode command: FT-817 "AM" 04 00 00 00 07,
// Kenwood "AM" MD5;, ICOM "FM" 06 with data 05. "PKT" is never sent on Kenwood or ICOM.
void SelectOpMode(SessionState& state, Platform& platform, std::int16_t i, std::int16_t ireverse);

}  // namespace cat
