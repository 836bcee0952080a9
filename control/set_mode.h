#pragma once

#include "core/mode.h"
#include "core/platform.h"
#include "core/session_state.h"

namespace cat {

// The mode list's entry to the radio's own set-mode command: FT-817 "AM" 04 00 00 00 07,
// Kenwood "AM" MD5;, ICOM "FM" 06 with data 05. "PKT" is never sent on Kenwood or ICOM.
// `reversed` asks for the reverse sideband variant (CW-R) where the radio has one.
void SetRadioMode(SessionState& state, Platform& platform, ModeIndex mode, bool reversed);

}  // namespace cat
