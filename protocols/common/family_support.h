#pragma once

// Small pieces every family uses alike: how bytes and frequencies read for people, and how a
// reply's reading reaches the session.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "core/failure_policy.h"
#include "core/platform.h"
#include "core/radio_family.h"
#include "core/session_state.h"

namespace cat::family {

// "fe fe 5e e0 03 fd": binary bytes as the monitor shows them.
std::string HexBytes(std::string_view bytes);
// "IF;" as it is, "\x00?;" with what cannot be printed escaped: text commands as the monitor
// shows them.
std::string TextBytes(std::string_view bytes);
// "14.074000 MHz".
std::string Megahertz(std::int64_t hertz);
// "5E".
std::string Hex2(int value);
bool Printable(char c);

// The frequency a set command carries, in steps of 10 Hz, the sign ignored: 14074000 -> 1407400.
// A frequency 1 Hz short of a step counts as that step, as the display shows it, so a set command
// carries the digits the operator sees. Raises CatError from 1000 MHz up, where no family's
// command has the digits, so a family encodes nothing it cannot send whole.
std::int64_t SetFrequencyTens(std::int64_t hertz);
// 14074000 -> "00014074000": the frequency on the 10 Hz grid in eleven digits of hertz, as the
// text families' set commands carry it (the sign ignored; CatError from 1000 MHz up).
std::string HertzDigits(std::int64_t hertz);
// The four packed-decimal bytes of 10 Hz steps, most significant first: 14074000 -> 01 40 74 00,
// 144300000 -> 14 43 00 00. CatError for a negative frequency or one of 1000 MHz and above.
std::array<std::uint8_t, 4> FrequencyBytes(std::int64_t hertz);

// A reply's frequency, mode and transmit state, into the session the display reads.
void Apply(SessionState& state, const Piece& piece);

// Moves every byte the port holds onto the end of the receive buffer (state.received). ReadAll
// hands back every byte waiting, which can be more than were counted a moment ago or, on a
// failing port, fewer: all of them are kept, as a byte dropped here would cut a reply in two.
void TakeWaiting(SessionState& state, CommPort& port);

// Marks a receive pass as running (SessionState::parsingReplies) and clears the mark however the
// pass ends.
class ParsingGuard {
public:
    explicit ParsingGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~ParsingGuard() { flag_ = false; }
    ParsingGuard(const ParsingGuard&) = delete;
    ParsingGuard& operator=(const ParsingGuard&) = delete;

private:
    bool& flag_;
};

// How long a transmit read waits for its answer: longer than any of these radios takes to answer a
// read at 1200 baud, short enough to run several times within a second of Open.
inline constexpr Seconds kTransmitReadLimit{0.3};

// What a transmit read has heard so far: whether the radio answered, and what it said (nothing in
// it for a refusal or an answer that does not say).
struct TransmitAnswer {
    bool answered = false;
    std::optional<bool> transmitting;
    void Take(std::optional<bool> said) {
        answered = true;
        transmitting = said;
    }
};

// Blocks until more bytes arrive or `deadline` passes; false when the time is up, nothing came, or
// the port failed (a wait that returns empty-handed has used its time, so nobody spins on it).
bool AwaitMoreInput(Platform& platform, Seconds deadline);

// Runs `pass` (take in what arrived; true once the answer is among it) after each arrival, for at
// most kTransmitReadLimit from now. A line that keeps delivering bytes without the answer ends at
// the limit by the clock, or after a bounded number of passes when the clock cannot be read.
template <typename Pass>
bool UntilAnswered(Platform& platform, Pass pass) {
    constexpr int kMostPasses = 256;
    Seconds start{0};
    if (!SkipOnFailure([&] { start = platform.clock.Now(); })) return pass();
    for (int round = 0; round < kMostPasses; ++round) {
        if (pass()) return true;
        if (!AwaitMoreInput(platform, start + kTransmitReadLimit)) return false;
    }
    return false;
}

// Cuts all of `received` with `reader` and hands each piece with its bytes to `take`, until
// `take` returns true.
template <typename Take>
void ForEachPiece(LineReader& reader, std::string_view received, Take take) {
    for (std::size_t at = 0; at < received.size();) {
        const Piece piece = reader.Next(received.substr(at), true);
        const std::size_t length = piece.length > 0 ? piece.length : 1;
        if (take(piece, received.substr(at, length))) return;
        at += length;
    }
}

}  // namespace cat::family
