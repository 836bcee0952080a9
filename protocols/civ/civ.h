#pragma once

// ICOM CI-V, and the radios of other makers that speak it: commands go out as frames built from
// hexadecimal text, replies are cut out of the received bytes by the frame cutter of civ_frame.h.
// Codes are named in civ_codes.h.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/platform.h"
#include "core/radio_family.h"
#include "core/session_state.h"

namespace cat {

// Read frequency to a radio at 5E: fe fe 5e e0 03 fd 00 (the trailing 00 sits outside the frame).
// Builds the frame from hexadecimal text, writes it in one Write, pauses 5 ms and runs one
// receive pass. Failure style: report. False when the port is closed (silently) or the write
// failed (the "Com error" box).
bool SendCivCommand(SessionState& state, Platform& platform, std::string_view command,
                    std::string_view subcommand, std::string_view data);

// fe fe 00 e0 19 00 fd 00: asks whichever radio is on the line for its address, so that one
// answering at another address than the chosen one shows. Sent and read like SendCivCommand.
bool AskEveryRadioItsAddress(SessionState& state, Platform& platform);

// "fe" -> 254, "7" -> 7, "1G" -> 16; anything else, empty or longer than two digits -> 0.
std::int16_t HexByteValue(std::string_view hex);

// One receive pass: takes the waiting bytes into the receive buffer and decodes the complete frames
// from the configured radio. Failure style: ignore; never raises.
void ReceiveCivReplies(SessionState& state, CommPort& port);

// Polls with 03 and 04, one frame at a time until the radio answered and then together (see
// civ_protocol.cpp for the pace); sets with 05 and 06.
const RadioFamily& CivFamily();

}  // namespace cat
