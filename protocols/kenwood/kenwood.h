#pragma once

// Kenwood and the radios that speak its commands (Elecraft, the TS-480 subsets of small QRP
// radios, SDR programs and Flex radios emulating a TS-2000): ";"-terminated text commands, and
// the IF status reply that carries frequency and mode. Codes are named in kenwood_codes.h.
// Failure style of every routine here: ignore.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/platform.h"
#include "core/radio_family.h"
#include "core/session_state.h"

namespace cat {

// "IF" goes out as IF; ; writes the command with its terminator, pauses 5 ms and runs one
// receive pass. Always returns the empty text; failures are skipped silently.
std::string ComKenwood(SessionState& state, Platform& platform, const std::string& KC, int NByte);

// Cuts Buffer into ";"-terminated replies and takes frequency and mode out of the status, FA and
// MD replies. With Read, first moves the waiting bytes from the port into Buffer.
void ReadKenwoodBuffer(SessionState& state, CommPort& port, std::string& Buffer, bool Read);

// Mode digit 2 -> USB (1); 7 and 9 are the reverse variants of CW and FSK. YMode is left as it
// was for a digit with no mode.
void KenwoodMode(std::int16_t KMode, std::int16_t& YMode, std::int16_t& Reverse);

// A whole IF reply (without its ";") that the display takes: IF, eleven frequency digits, and at
// least 37 characters (the TS-480 and its subsets leave blanks in the step field, SDR programs
// send longer replies; the mode digit stands at position 30 in all of them).
bool IsStatusReply(std::string_view reply);

// Polls with IF at most every 0.25 s (FA and MD for a radio whose IF reply cannot be read); sets
// with FA and MD.
const RadioFamily& KenwoodFamily();

}  // namespace cat
