#include "protocols/civ/civ_frame.h"

#include <algorithm>
#include <cstdio>

#include "core/lookup.h"
#include "protocols/civ/civ_codes.h"
#include "protocols/common/bcd.h"
#include "protocols/common/family_support.h"

namespace cat::civ {

namespace {

std::uint8_t Byte(char c) { return static_cast<std::uint8_t>(c); }

bool PreambleAt(std::string_view bytes, std::size_t i) {
    return i + 1 < bytes.size() && Byte(bytes[i]) == kPreamble && Byte(bytes[i + 1]) == kPreamble;
}

// to, from, command and the fd.
constexpr std::size_t kShortestBody = 4;

}  // namespace

FrameCut CutFrame(std::string_view bytes, bool final) {
    if (bytes.empty()) return {};
    if (PreambleAt(bytes, 0)) {
        std::size_t body = 2;
        while (body < bytes.size() && Byte(bytes[body]) == kPreamble) ++body;
        // Only a frame's length is searched: a flood is cut in bounded pieces, each found in
        // bounded time.
        const std::size_t searched = std::min(bytes.size(), kLongestFrame);
        for (std::size_t i = body; i < searched; ++i) {
            if (Byte(bytes[i]) == kEndOfMessage) {
                if (i + 1 - body < kShortestBody) return {i + 1, std::nullopt, "not a frame"};
                return {i + 1,
                        Frame{Byte(bytes[body]), Byte(bytes[body + 1]), Byte(bytes[body + 2]),
                              bytes.substr(body + 3, i - body - 3)},
                        {}};
            }
            // A frame cut short by a new one: its start is noise, the new frame follows.
            if (PreambleAt(bytes, i)) return {i, std::nullopt, "a broken frame"};
        }
        if (!final && bytes.size() < kLongestFrame) return {};
        return {searched, std::nullopt, "a frame without its end"};
    }
    // Anything up to the next preamble forms nothing, at once: no later byte can make it a frame.
    // A lone fe waits to see whether a second follows.
    if (bytes.size() == 1 && Byte(bytes[0]) == kPreamble) {
        if (!final) return {};
        return {1, std::nullopt, "forms no frame"};
    }
    const std::size_t next =
        bytes.substr(0, kLongestFrame)
            .find(static_cast<char>(kPreamble), Byte(bytes[0]) == kPreamble ? 1 : 0);
    return {next == std::string_view::npos ? std::min(bytes.size(), kLongestFrame) : next,
            std::nullopt, "forms no frame"};
}

std::optional<int> RadioOf(const Frame& frame) {
    if (frame.from != kBroadcast) return frame.from;
    // fe fe e0 00 19 00 a4 fd: a radio answering the broadcast read with 00 as its source still
    // says its own address in the data.
    if (frame.command == kReadAddress && frame.data.size() >= 2 && Byte(frame.data[0]) == 0x00)
        return Byte(frame.data[1]);
    return std::nullopt;
}

bool LooksLikeAReply(const Frame& frame) {
    const std::optional<int> radio = RadioOf(frame);
    if (!radio || *radio == 0 || *radio >= kController) return false;
    const std::size_t n = frame.data.size();
    switch (frame.command) {
        case kFrequencyAnnounced:
        case kFrequencyRead:
            return n == 4 || n == 5;
        case kModeAnnounced:
        case kModeRead:
            return n == 1 || n == 2;
        case kReadAddress:
        case kTransmitState:
            return n == 2;
        case kOk:
        case kNg:
            return n == 0;
        default:
            return false;
    }
}

std::string ModelsAt(int address) {
    std::string models;
    for (const KnownRadio& radio : kKnownRadios) {
        if (radio.address != address) continue;
        if (!models.empty()) models += " or ";
        models += radio.model;
    }
    return models;
}

std::string CommandName(std::uint8_t command) {
    if (const auto name = Lookup(kCommandNames, command)) return std::string(*name);
    char text[16];
    std::snprintf(text, sizeof text, "command %02X", command);
    return text;
}

std::string FrameName(const Frame& frame) {
    if (frame.command == kTransmitState && !frame.data.empty() &&
        Byte(frame.data[0]) == kTransmitStateSub) {
        if (frame.data.size() == 1) return "read transmit state";
        if (frame.data.size() == 2 && Byte(frame.data[1]) == 0x01) return "transmit (PTT on)";
        if (frame.data.size() == 2 && Byte(frame.data[1]) == 0x00) return "receive (PTT off)";
    }
    // The monitor shows what a set asked for: "set frequency: 7.074000 MHz".
    if (frame.command == kFrequencySet && (frame.data.size() == 4 || frame.data.size() == 5))
        if (const auto hertz = bcd::Decode(frame.data, bcd::Order::LeastSignificantFirst))
            return CommandName(frame.command) + ": " + family::Megahertz(*hertz);
    return CommandName(frame.command);
}

}  // namespace cat::civ
