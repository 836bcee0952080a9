#include "protocols/ft817/ft817.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "core/failure_policy.h"
#include "core/lookup.h"
#include "protocols/ft817/ft817_codes.h"

namespace cat {

namespace {

bool IsByte(std::int16_t value) { return value >= 0 && value <= 0xFF; }

std::int16_t Saturate16(std::size_t value) {
    return static_cast<std::int16_t>(
        std::min<std::size_t>(value, std::numeric_limits<std::int16_t>::max()));
}

// Packed decimal, the earlier digit in the high half-byte; a half-byte above 9 is not a digit.
std::optional<int> PackedDecimal(std::int16_t byte) {
    const int high = (byte >> 4) & 0x0F;
    const int low = byte & 0x0F;
    if (!IsByte(byte) || high > 9 || low > 9) return std::nullopt;
    return high * 10 + low;
}

std::string Command(std::int16_t P1, std::uint8_t opcode) {
    return std::string{static_cast<char>(P1), '\0', '\0', '\0', static_cast<char>(opcode)};
}

// Whatever the radio sent since the last exchange (answers to set commands, line noise) must not
// be taken for this reply.
void DiscardWaiting(CommPort& port) {
    SkipOnFailure([&] {
        if (port.InBufferCount() > 0) port.Input();
    });
}

// Takes the first `expected` bytes of what is waiting, then drops the rest.
Ft817Reply TakeReply(CommPort& port, int expected, int waiting) {
    Ft817Reply reply;
    std::string bytes;
    SkipOnFailure([&] { bytes = port.Input(); });
    // A port that hands back fewer bytes than it counted has not delivered the reply; the count
    // returned says so, and the bytes it did deliver are all that is read.
    const std::size_t got = std::min(bytes.size(), static_cast<std::size_t>(waiting));
    const std::size_t take = std::min<std::size_t>(
        {got, reply.Data.size(), static_cast<std::size_t>(std::max(expected, 0))});
    for (std::size_t i = 0; i < take; ++i) reply.Data[i] = static_cast<unsigned char>(bytes[i]);
    SkipOnFailure([&] { port.ClearInBuffer(); });
    reply.NData = Saturate16(got);
    return reply;
}

// Waits for `expected` bytes under two bounds, whichever ends first: the clock, and the time
// already spent blocked in the port. The clock restarts at midnight; the absolute difference
// makes a wait that spans it end at once instead of lasting a day. Near midnight a
// single-precision clock moves in steps of about 8 ms, which the blocked-time budget does not
// depend on.
Ft817Reply WaitForReply(Platform& platform, int expected) {
    CommPort& port = platform.comCAT;
    float t0 = 0.0f;
    SkipOnFailure([&] { t0 = platform.clock.SecondsSinceMidnight(); });
    const float limit = static_cast<float>(expected) * 0.01f + 0.25f;
    const long limitMs = std::lround(static_cast<double>(limit) * 1000.0);
    long blockedMs = 0;

    int waiting = 0;
    for (;;) {
        SkipOnFailure([&] { waiting = port.InBufferCount(); });
        if (waiting >= expected) return TakeReply(port, expected, waiting);

        float now = t0;
        const bool clockRead = SkipOnFailure([&] { now = platform.clock.SecondsSinceMidnight(); });
        const long byClock = std::lround(static_cast<double>(limit - std::fabs(now - t0)) * 1000.0);
        const long remainingMs = std::min(byClock, limitMs - blockedMs);
        bool waited = false;
        // Less than half a millisecond left counts as elapsed.
        if (clockRead && remainingMs > 0) {
            // A port that cannot wait cannot deliver either: treat the wait as elapsed rather
            // than spin on a failing call for the rest of the limit.
            waited = SkipOnFailure(
                [&] { port.WaitForInput(expected, std::chrono::milliseconds(remainingMs)); });
            blockedMs += remainingMs;
        }
        if (!waited) {
            SkipOnFailure([&] { port.ClearInBuffer(); });
            Ft817Reply timedOut;
            timedOut.NData = Saturate16(static_cast<std::size_t>(std::max(waiting, 0)));
            return timedOut;
        }
    }
}

class Ft817 final : public RadioProtocol {
public:
    // The exchange waits for its own reply, so every tick polls and nothing is left for later.
    std::optional<float> PollPeriod() const override { return std::nullopt; }

    void Poll(SessionState& state, Platform& platform) const override { Poll817(state, platform); }

    void Receive(SessionState&, CommPort&) const override {}

    void SetFrequency(SessionState&, Platform& platform,
                      const FrequencyCommand& frequency) const override {
        std::string command;
        for (const std::uint8_t b : frequency.bcd) command.push_back(static_cast<char>(b));
        command.push_back(static_cast<char>(ft817::kSetFrequency));
        SkipOnFailure([&] { platform.comCAT.Output(command); });
    }

    void SetMode(SessionState&, Platform& platform, ModeIndex mode, bool reversed) const override {
        std::optional<std::int16_t> k;
        if (reversed) k = Lookup(ft817::kSentReverseModes, mode);
        if (!k) k = Lookup(ft817::kSentModes, mode);
        const std::int16_t code = k.value_or(ToInt(mode));
        if (!IsByte(code)) return;  // no byte to send
        // A closed port: the radio keeps its mode and the operator sees no message.
        SkipOnFailure([&] { platform.comCAT.Output(Command(code, ft817::kSetMode)); });
    }
};

}  // namespace

Ft817Reply ReadDATA(Platform& platform, std::int16_t NData, std::int16_t Param,
                    std::int16_t opcode) {
    DiscardWaiting(platform.comCAT);
    // A parameter that is no byte cannot be sent; that step is skipped like any failing one.
    if (IsByte(Param) && IsByte(opcode)) {
        SkipOnFailure(
            [&] { platform.comCAT.Output(Command(Param, static_cast<std::uint8_t>(opcode))); });
    }
    return WaitForReply(platform, NData);
}

void Poll817(SessionState& state, Platform& platform) {
    if (!IsFT817(state.ProtocolCode)) return;

    const Ft817Reply reply = ReadDATA(platform, 5, 0, ft817::kReadFrequencyMode);
    // A late, short or over-long reply (an echoing interface returns ten bytes) is dropped.
    if (reply.NData != 5) return;

    // Eight digits in units of 10 Hz, most significant byte first: 01 42 34 56 is 14.23456 MHz.
    long tensOfHertz = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const auto pair = PackedDecimal(reply.Data[i]);
        if (!pair) return;  // not a frequency: the whole reply is line noise
        tensOfHertz = tensOfHertz * 100 + *pair;
    }
    state.CurFreq = static_cast<double>(tensOfHertz) / 100000.0;
    state.RadioReported = true;
    // A mode byte not listed leaves the mode as it was.
    if (const auto mode = Lookup(ft817::kReceivedModes, reply.Data[4])) {
        state.CurMode = ToInt(*mode);
        state.ModeReported = true;
    }
}

const RadioProtocol& Ft817Protocol() {
    static const Ft817 protocol;
    return protocol;
}

}  // namespace cat
