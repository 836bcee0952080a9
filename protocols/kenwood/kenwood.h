#pragma once

// Kenwood: ";"-terminated text commands, and the IF status reply that carries frequency and mode.
// Codes are named in kenwood_codes.h. Failure style of every routine here: ignore.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/platform.h"
#include "core/radio_protocol.h"
#include "core/session_state.h"

namespace cat {

// "IF" goes out as IF; ; writes the command with its terminator, pauses 5 ms and runs one
// receive pass. Always returns the empty text; failures are skipped silently.
std::string ComKenwood(SessionState& state, Platform& platform, const std::string& KC, int NByte);

// Cuts Buffer into ";"-terminated replies and takes frequency and mode out of each 37-character
// "IF" reply. With Read, first moves the waiting bytes from the port into Buffer.
void ReadKenwoodBuffer(SessionState& state, CommPort& port, std::string& Buffer, bool Read);

// Mode digit 2 -> USB (1); 7 and 9 are the reverse variants of CW and FSK. YMode is left as it
// was for a digit with no mode.
void KenwoodMode(std::int16_t KMode, std::int16_t& YMode, std::int16_t& Reverse);

// A whole IF reply (without its ";") that the display would take: IF, eleven frequency digits, and
// 37 characters in all.
bool IsStatusReply(std::string_view reply);

// Polls with IF at most every 0.25 s; sets with FA and MD.
const RadioProtocol& KenwoodProtocol();

}  // namespace cat
