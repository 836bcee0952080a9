#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

#include "core/failure_policy.h"
#include "core/lookup.h"
#include "core/text.h"
#include "protocols/civ/civ.h"
#include "protocols/civ/civ_codes.h"

namespace cat {

namespace {

// Unconsumed text may wait between passes up to 255 characters (127 bytes). More is not a frame
// in progress but noise, and is dropped so that each pass searches a short text.
constexpr std::size_t kMaxBufferedText = 255;

bool IsDecimal(char c) { return c >= '0' && c <= '9'; }

// Characters `first`..`first + count - 1` (from 1), or as many of them as exist.
std::string_view Field(std::string_view text, std::size_t first, std::size_t count) {
    if (first - 1 >= text.size()) return {};
    return text.substr(first - 1, count);
}

void AppendHex(std::string& buffer, std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        buffer.push_back(kDigits[b >> 4]);
        buffer.push_back(kDigits[b & 15]);
    }
}

// Frequency bytes come least significant first, two decimal digits each. Reading them from
// the last to the first gives the hertz digits in order. A half-byte A..F is no frequency:
// the frame is dropped rather than shown as a made-up number.
void DecodeFrequency(SessionState& state, std::string_view frame) {
    std::size_t dataBytes = 0;
    if (frame.size() == 20) dataBytes = 4;
    if (frame.size() == 22) dataBytes = 5;
    if (dataBytes == 0) return;

    std::uint64_t hertz = 0;
    for (std::size_t k = dataBytes; k >= 1; --k) {
        for (char c : frame.substr(10 + 2 * (k - 1), 2)) {
            if (c < '0' || c > '9') return;
            hertz = hertz * 10 + static_cast<std::uint64_t>(c - '0');
        }
    }
    state.CurFreq = static_cast<double>(hertz) / 1000000.0;
    state.RadioReported = true;
}

void DecodeFrame(SessionState& state, std::string_view frame) {
    // The echo of our own command carries source E0 and is dropped here, as are other stations.
    if (Field(frame, 7, 2) != Trim(state.RadioAddr)) return;
    const std::string_view command = Field(frame, 9, 2);
    if (command == civ::kAnnounceFrequency || command == civ::kReadFrequency) {
        DecodeFrequency(state, frame);
    } else if (command == civ::kAnnounceMode || command == civ::kReadMode) {
        ReadICOMMode(state, frame);
    }
}

bool At(std::string_view text, std::size_t i, std::string_view what) {
    return text.compare(i, what.size(), what) == 0;
}

// Cuts complete frames out of the buffer and decodes them; returns how many characters were
// consumed. Markers count only on byte boundaries: "0F D3" holds no end of message. The
// boundaries are counted from the end of the text, which is always whole received bytes; only
// the front may be odd, when text from a Kenwood link is still waiting there.
std::size_t DecodeFrames(SessionState& state, std::string_view text) {
    std::size_t start = 0;  // first unconsumed character
    std::size_t i = text.size() % 2;
    std::size_t frameStart = std::string_view::npos;
    for (; i + 2 <= text.size(); i += 2) {
        if (At(text, i, "FD")) {
            // A frame begins at the last preamble before its end: a third FE, or a broken
            // fragment in front, must not hide a good frame.
            if (frameStart != std::string_view::npos) {
                const std::string_view frame = text.substr(frameStart, i + 2 - frameStart);
                DecodeFrame(state, frame);
            }
            start = i + 2;
            frameStart = std::string_view::npos;
            // An echoed command leaves the zero byte that follows every frame we send.
            if (text.substr(start) == "00") return text.size();
        } else if (At(text, i, "FEFE")) {
            frameStart = i;
        }
    }
    return start;
}

}  // namespace

void ReadICOMBuffer(SessionState& state, CommPort& port) {
    int waiting = 0;
    SkipOnFailure([&] { waiting = port.InBufferCount(); });
    if (waiting <= 0) return;

    SkipOnFailure([&] {
        const std::string bytes = port.Input();
        // Never more than the count said, and never more than Input actually returned.
        const std::size_t taken = std::min(bytes.size(), static_cast<std::size_t>(waiting));
        AppendHex(state.RxBuffer, std::string_view(bytes).substr(0, taken));
    });

    // A burst decodes its complete frames before the length is judged, so no good frame is lost.
    SkipOnFailure([&] { state.RxBuffer.erase(0, DecodeFrames(state, state.RxBuffer)); });
    if (state.RxBuffer.size() > kMaxBufferedText) state.RxBuffer.clear();
}

void ReadICOMMode(SessionState& state, std::string_view ICMode) {
    // The mode byte is read as a decimal number: 11 is eleven. A frame without a mode byte (its
    // own end of message stands there), or a code the list has no name for, shows no mode rather
    // than a made-up one.
    const std::string_view digits = Field(ICMode, 11, 2);
    const bool decimal = digits.size() == 2 && IsDecimal(digits[0]) && IsDecimal(digits[1]);
    const auto mode = decimal
                          ? Lookup(civ::kReceivedModes, (digits[0] - '0') * 10 + (digits[1] - '0'))
                          : std::nullopt;
    state.ModeKnown = mode.has_value();
    if (mode) state.CurMode = ToInt(*mode);
}

}  // namespace cat
