#pragma once

#include <cstdint>

#include "core/platform.h"
#include "core/session_state.h"

namespace cat {

// One exchange: discard waiting input, send Param 00 00 00 opcode, wait at most
// NData x 10 ms + 0.25 s for NData reply bytes. Read frequency and mode: 00 00 00 00 03.
void ReadDATA(Platform& platform, std::int16_t& Data1, std::int16_t& Data2, std::int16_t& Data3,
              std::int16_t& Data4, std::int16_t& Data5, std::int16_t& NData, std::int16_t Param,
              std::int16_t opcode);

// Reply 01 42 34 56 01 -> CurFreq 14.23456, CurMode 1 (USB). Does nothing unless ProtocolCode
// is 10.
void Poll817(SessionState& state, Platform& platform);

}  // namespace cat
