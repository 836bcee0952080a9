#pragma once

// What the link and the set commands need of a radio protocol. protocols/ implements it once per
// family (CI-V, Kenwood, FT-817) and ProtocolFor picks the one for a ProtocolCode, so the callers
// hold a single dispatch instead of one chain of family tests each.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/mode.h"
#include "core/platform.h"
#include "core/session_state.h"

namespace cat {

// One frequency, as the set commands carry it, at 10 Hz resolution below 1000 MHz.
struct FrequencyCommand {
    std::string hertzDigits;          // 14.074 MHz: "00014074000", eleven digits in hertz
    std::array<std::uint8_t, 4> bcd;  // 14.074 MHz: 01 40 74 00, packed decimal of 10 Hz
};

class RadioProtocol {
public:
    virtual ~RadioProtocol() = default;

    // Seconds between polls, measured from the end of the last one; nothing when the protocol
    // polls on every tick (and then LastPoll is not kept).
    virtual std::optional<float> PollPeriod() const = 0;

    // Asks the radio for its frequency and mode, and takes in whatever answer is already there.
    virtual void Poll(SessionState& state, Platform& platform) const = 0;

    // The one extra read a link makes the moment it opens, beside the polls, so that what is
    // wrong shows at once. Nothing by default.
    virtual void ReadAtOpen(SessionState&, Platform&) const {}

    // The port's receive notification: parses replies that came in after a command returned.
    virtual void Receive(SessionState& state, CommPort& port) const = 0;

    virtual void SetFrequency(SessionState& state, Platform& platform,
                              const FrequencyCommand& frequency) const = 0;

    // `mode` is the mode list's position; one the list does not have is sent as the radio's
    // plain code for that number, as the list position has always been.
    virtual void SetMode(SessionState& state, Platform& platform, ModeIndex mode,
                         bool reversed) const = 0;
};

}  // namespace cat
