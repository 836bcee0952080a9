#include "protocols/ft817/ft817.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "core/cat_error.h"

namespace cat {

namespace {

// The FT-817 routines never stop on a port failure and never tell the operator: a step that
// raises is skipped, whatever it would have produced keeps its previous value, and the routine
// goes on with its next step.
template <typename Step>
bool SkipOnFailure(Step&& step) {
    try {
        step();
        return true;
    } catch (const CatError&) {
        return false;
    }
}

bool IsByte(std::int16_t value) { return value >= 0 && value <= 0xFF; }

std::int16_t Saturate16(std::size_t value) {
    return static_cast<std::int16_t>(
        std::min<std::size_t>(value, std::numeric_limits<std::int16_t>::max()));
}

struct ModeByte {
    std::uint8_t code;
    std::int16_t mode;  // ModeIndex
};

// Reply 01 42 34 56 01: the last byte is the mode. Bit 7 marks the radio's narrow filter, so
// 82/83/88/8A are the narrow variants of CW/CW/FM/FSK. 06 (wide FM), 84 (narrow AM) and 8C
// (narrow PKT) follow the same pattern; any byte not listed leaves the mode as it was.
constexpr std::array<ModeByte, 15> kModeBytes{{
    {0x00, 0},  // LSB
    {0x01, 1},  // USB
    {0x02, 2},  // CW
    {0x03, 2},  // CW reverse
    {0x04, 3},  // AM
    {0x06, 4},  // wide FM
    {0x08, 4},  // FM
    {0x0A, 5},  // FSK (DIG)
    {0x0C, 6},  // PKT
    {0x82, 2},
    {0x83, 2},
    {0x84, 3},
    {0x88, 4},
    {0x8A, 5},
    {0x8C, 6},
}};

std::optional<std::int16_t> ModeOfByte(std::int16_t code) {
    for (const ModeByte& row : kModeBytes)
        if (row.code == code) return row.mode;
    return std::nullopt;
}

// Packed decimal, the earlier digit in the high half-byte; a half-byte above 9 is not a digit.
std::optional<int> PackedDecimal(std::int16_t byte) {
    const int high = (byte >> 4) & 0x0F;
    const int low = byte & 0x0F;
    if (!IsByte(byte) || high > 9 || low > 9) return std::nullopt;
    return high * 10 + low;
}

}  // namespace

void ReadDATA(Platform& platform, std::int16_t& Data1, std::int16_t& Data2, std::int16_t& Data3,
              std::int16_t& Data4, std::int16_t& Data5, std::int16_t& NData, std::int16_t Param,
              std::int16_t opcode) {
    CommPort& port = platform.comCAT;
    const int expected = NData;
    std::array<std::int16_t*, 5> data{&Data1, &Data2, &Data3, &Data4, &Data5};
    for (std::int16_t* d : data) *d = 0;

    // Whatever the radio sent since the last exchange (answers to set commands, line noise)
    // must not be taken for this reply.
    SkipOnFailure([&] {
        if (port.InBufferCount() > 0) port.Input();
    });

    // A parameter that is no byte cannot be sent; that step is skipped like any failing one.
    if (IsByte(Param) && IsByte(opcode)) {
        SkipOnFailure([&] {
            port.Output(
                std::string{static_cast<char>(Param), '\0', '\0', '\0', static_cast<char>(opcode)});
        });
    }

    float t0 = 0.0f;
    SkipOnFailure([&] { t0 = platform.clock.SecondsSinceMidnight(); });
    const float limit = static_cast<float>(expected) * 0.01f + 0.25f;
    const long limitMs = std::lround(static_cast<double>(limit) * 1000.0);
    long blockedMs = 0;

    int waiting = 0;
    for (;;) {
        SkipOnFailure([&] { waiting = port.InBufferCount(); });
        if (waiting >= expected) {
            std::string reply;
            SkipOnFailure([&] { reply = port.Input(); });
            // A port that hands back fewer bytes than it counted has not delivered the reply;
            // the count returned says so, and the bytes it did deliver are all that is read.
            const std::size_t got = std::min(reply.size(), static_cast<std::size_t>(waiting));
            const std::size_t take = std::min<std::size_t>(
                {got, data.size(), static_cast<std::size_t>(std::max(expected, 0))});
            for (std::size_t i = 0; i < take; ++i) *data[i] = static_cast<unsigned char>(reply[i]);
            SkipOnFailure([&] { port.ClearInBuffer(); });
            NData = Saturate16(got);
            return;
        }

        // Two bounds, whichever ends first: the clock, and the time already spent blocked in
        // the port. The clock restarts at midnight; the absolute difference makes a wait that
        // spans it end at once instead of lasting a day. Near midnight a single-precision clock
        // moves in steps of about 8 ms, which the blocked-time budget does not depend on.
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
            NData = Saturate16(static_cast<std::size_t>(std::max(waiting, 0)));
            return;
        }
    }
}

void Poll817(SessionState& state, Platform& platform) {
    if (!IsFT817(state.ProtocolCode)) return;

    std::int16_t d1 = 0, d2 = 0, d3 = 0, d4 = 0, d5 = 0;
    std::int16_t count = 5;
    ReadDATA(platform, d1, d2, d3, d4, d5, count, 0, 3);
    // A late, short or over-long reply (an echoing interface returns ten bytes) is dropped.
    if (count != 5) return;

    // Eight digits in units of 10 Hz, most significant byte first: 01 42 34 56 is 14.23456 MHz.
    long tensOfHertz = 0;
    for (std::int16_t byte : {d1, d2, d3, d4}) {
        const auto pair = PackedDecimal(byte);
        if (!pair) return;  // not a frequency: the whole reply is line noise
        tensOfHertz = tensOfHertz * 100 + *pair;
    }
    state.CurFreq = static_cast<double>(tensOfHertz) / 100000.0;
    state.RadioReported = true;
    if (const auto mode = ModeOfByte(d5)) {
        state.CurMode = *mode;
        state.ModeReported = true;
    }
}

}  // namespace cat
