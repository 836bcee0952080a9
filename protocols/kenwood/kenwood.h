#pragma once

// Kenwood and the radios that speak its commands (Elecraft, the TS-480 subsets of small QRP
// radios, SDR programs and Flex radios emulating a TS-2000): ";"-terminated text commands, and
// the IF status reply that carries frequency and mode. Codes are named in kenwood_codes.h.
// Failure style of every routine here: ignore.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/mode.h"
#include "core/platform.h"
#include "core/radio_family.h"
#include "core/session_state.h"

namespace cat {

// "IF" goes out as IF; ; writes the command with its terminator, pauses 5 ms and runs one
// receive pass. Failures are skipped silently.
void SendKenwoodCommand(SessionState& state, Platform& platform, const std::string& command);

// Moves the waiting bytes from the port into the receive buffer, cuts it into ";"-terminated
// replies and takes frequency and mode out of the status, FA and MD replies, and whether the
// radio transmits out of the status reply.
void ReceiveKenwoodReplies(SessionState& state, CommPort& port);

struct KenwoodModeReading {
    ModeIndex mode;
    bool reversed;  // CW-R and FSK-R: the reverse variants of CW and FSK
};

// Mode digit 2 -> USB; 7 and 9 -> CW and FSK reversed; nothing for a digit with no mode.
std::optional<KenwoodModeReading> KenwoodModeOf(int digit);

// A whole IF reply (without its ";") that the display takes: IF, eleven frequency digits, and at
// least 37 characters (the TS-480 and its subsets leave blanks in the step field, SDR programs
// send longer replies; the mode digit stands at position 30 in all of them).
bool IsStatusReply(std::string_view reply);

// Polls with IF at most every 0.25 s (FA and MD for a radio whose IF reply cannot be read); sets
// with FA and MD.
const RadioFamily& KenwoodFamily();

}  // namespace cat
