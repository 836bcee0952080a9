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
    std::array<std::int16_t, 5> bytes{};  // reply bytes 1..5; 0 for each byte not received
    std::int16_t count = 0;               // bytes waiting at the last check
};

// One exchange: discard waiting input, send `parameter` 00 00 00 `opcode`, wait at most
// replyLength x 10 ms + 0.25 s for replyLength reply bytes. Read frequency and mode:
// 00 00 00 00 03.
Ft817Reply Ft817Exchange(Platform& platform, std::int16_t replyLength, std::int16_t parameter,
                         std::int16_t opcode);

// The reading in a reply that can be one: packed-decimal digits, a mode byte the radio sends, a
// frequency it can tune; in units of 10 Hz. Nothing for line noise.
std::optional<long> PlausibleTensOfHertz(const Ft817Reply& reply);

// The transmit state in the one-byte answer to 00 00 00 00 f7: ff receiving, bit 7 clear
// transmitting; nothing for any other byte, which no radio of these sends there.
std::optional<bool> Ft817TransmitState(std::uint8_t status);

// Reply 01 42 34 56 01 -> 14234560 Hz, USB. Does nothing on a link of another protocol.
void PollFt817(SessionState& state, Platform& platform);

// Polls on every tick; sets with opcodes 01 and 07, reading nothing back.
const RadioFamily& Ft817Family();

}  // namespace cat
