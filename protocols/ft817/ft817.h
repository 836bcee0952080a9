#pragma once

// The FT-817: five-byte commands, and a bounded wait for the five-byte reply of the read. Codes are
// named in ft817_codes.h. Failure style of every routine here: ignore.

#include <array>
#include <cstdint>
#include <optional>

#include "core/platform.h"
#include "core/radio_family.h"
#include "core/session_state.h"

namespace cat {

struct Ft817Reply {
    std::array<std::int16_t, 5> Data{};  // reply bytes 1..5; 0 for each byte not received
    std::int16_t NData = 0;              // bytes waiting at the last check
};

// One exchange: discard waiting input, send Param 00 00 00 opcode, wait at most
// NData x 10 ms + 0.25 s for NData reply bytes. Read frequency and mode: 00 00 00 00 03.
Ft817Reply ReadDATA(Platform& platform, std::int16_t NData, std::int16_t Param,
                    std::int16_t opcode);

// The reading in a reply that can be one: packed-decimal digits, a mode byte the radio sends, a
// frequency it can tune; in units of 10 Hz. Nothing for line noise.
std::optional<long> PlausibleTensOfHertz(const Ft817Reply& reply);

// Reply 01 42 34 56 01 -> CurFreq 14.23456, CurMode 1 (USB). Does nothing unless ProtocolCode
// is 10.
void Poll817(SessionState& state, Platform& platform);

// Polls on every tick; sets with opcodes 01 and 07, reading nothing back.
const RadioFamily& Ft817Family();

}  // namespace cat
