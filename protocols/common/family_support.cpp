#include "protocols/common/family_support.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>

#include "core/cat_error.h"
#include "core/failure_policy.h"
#include "protocols/common/bcd.h"

namespace cat::family {

std::int64_t SetFrequencyTens(std::int64_t hertz) {
    // 999.99999 MHz and 9 Hz is the last frequency whose step still has eight digits.
    constexpr std::int64_t kFirstUnsendable = 999'999'999;
    if (hertz == std::numeric_limits<std::int64_t>::min() || hertz >= kFirstUnsendable ||
        -hertz >= kFirstUnsendable)
        throw CatError(ErrorKind::Overflow, "Frequency outside 0 to 999.99999 MHz");
    return ((hertz < 0 ? -hertz : hertz) + 1) / 10;
}

std::string HertzDigits(std::int64_t hertz) {
    std::string digits = std::to_string(SetFrequencyTens(hertz)) + "0";
    return std::string(11 - digits.size(), '0') + digits;
}

std::array<std::uint8_t, 4> FrequencyBytes(std::int64_t hertz) {
    if (hertz < 0) throw CatError(ErrorKind::Overflow, "Frequency outside 0 to 999.99999 MHz");
    const std::string bytes =
        bcd::Encode(SetFrequencyTens(hertz), 4, bcd::Order::MostSignificantFirst);
    std::array<std::uint8_t, 4> packed{};
    for (std::size_t i = 0; i < packed.size(); ++i) packed[i] = static_cast<std::uint8_t>(bytes[i]);
    return packed;
}

std::string HexBytes(std::string_view bytes) {
    std::string out;
    char piece[8];
    for (const char c : bytes) {
        std::snprintf(piece, sizeof piece, out.empty() ? "%02x" : " %02x",
                      static_cast<unsigned char>(c));
        out += piece;
    }
    return out;
}

std::string TextBytes(std::string_view bytes) {
    std::string out;
    char piece[8];
    for (const char c : bytes) {
        if (Printable(c) && c != '\\') {
            out.push_back(c);
        } else {
            std::snprintf(piece, sizeof piece, "\\x%02x", static_cast<unsigned char>(c));
            out += piece;
        }
    }
    return out;
}

std::string Megahertz(std::int64_t hertz) {
    char text[40];
    std::snprintf(text, sizeof text, "%.6f MHz", static_cast<double>(hertz) / 1e6);
    return text;
}

std::string Hex2(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

bool Printable(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 0x20 && b < 0x7F;
}

void Apply(SessionState& state, const Piece& piece) {
    if (piece.kind != PieceKind::Reply) return;
    if (piece.hertz) {
        state.frequencyHz = piece.hertz;
        ++state.readings;
    }
    // A mode the list has no name for shows no mode rather than the one before.
    if (piece.modeReported) state.mode = piece.mode;
    if (piece.transmitting) state.transmitting = piece.transmitting;
}

void TakeWaiting(SessionState& state, CommPort& port) {
    int waiting = 0;
    SkipOnFailure([&] { waiting = port.BytesWaiting(); });
    if (waiting > 0) SkipOnFailure([&] { state.received += port.ReadAll(); });
}

bool AwaitMoreInput(Platform& platform, Seconds deadline) {
    Seconds now{0};
    if (!SkipOnFailure([&] { now = platform.clock.Now(); })) return false;
    const long remaining = std::lround((deadline - now).count() * 1000.0);
    if (remaining <= 0) return false;
    int waiting = 0;
    if (!SkipOnFailure(
            [&] { waiting = platform.port.WaitForInput(1, std::chrono::milliseconds(remaining)); }))
        return false;
    return waiting > 0;
}

}  // namespace cat::family
