#pragma once

// CI-V command numbers and mode numbers, both ways. Commands are hexadecimal text, the way
// ComICOM takes them: read frequency to a radio at 5E is fe fe 5e e0 03 fd 00.

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

#include "core/mode.h"

namespace cat::civ {

inline constexpr std::string_view kAnnounceFrequency = "00";  // sent by the radio on its own
inline constexpr std::string_view kAnnounceMode = "01";
inline constexpr std::string_view kReadFrequency = "03";
inline constexpr std::string_view kReadMode = "04";
inline constexpr std::string_view kSetFrequency = "05";  // data: 5 packed-decimal bytes, LSB first
inline constexpr std::string_view kSetMode = "06";       // data: "0" and the mode number

// The controller's own address.
inline constexpr std::string_view kControllerAddress = "E0";

// Received mode byte, read as decimal, to ModeIndex: fe fe e0 5e 04 01 02 fd is USB. The
// radios' other codes (12 PSK, 17 DV, 22 DD, ...) have no name in the list and show no mode.
inline constexpr std::array<std::pair<int, ModeIndex>, 10> kReceivedModes{{
    {0, ModeIndex::LSB},
    {1, ModeIndex::USB},
    {2, ModeIndex::AM},
    {3, ModeIndex::CW},
    {4, ModeIndex::FSK},  // RTTY
    {5, ModeIndex::FM},
    {6, ModeIndex::FM},   // WFM
    {7, ModeIndex::CW},   // CW reverse
    {8, ModeIndex::FSK},  // RTTY reverse
    {11, ModeIndex::AM},  // synchronous AM
}};

// ModeIndex to the mode number sent with command 06: "FM" is fe fe 5e e0 06 05 fd 00. PKT has
// none and is never sent.
inline constexpr std::array<std::pair<ModeIndex, int>, 6> kSentModes{{
    {ModeIndex::LSB, 0},
    {ModeIndex::USB, 1},
    {ModeIndex::CW, 3},
    {ModeIndex::AM, 2},
    {ModeIndex::FM, 5},
    {ModeIndex::FSK, 4},
}};
inline constexpr std::array<std::pair<ModeIndex, int>, 2> kSentReverseModes{{
    {ModeIndex::CW, 7},
    {ModeIndex::FSK, 8},
}};

}  // namespace cat::civ
