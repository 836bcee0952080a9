#pragma once

// Kenwood command names and mode digits, both ways. Commands go out as text with a ";": the
// status read is IF;, a frequency set FA00014074000;, a mode set MD5;.

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

#include "core/mode.h"

namespace cat::kenwood {

inline constexpr std::string_view kReadStatus = "IF";
inline constexpr std::string_view kSetFrequency = "FA";  // + 11 digits in hertz
inline constexpr std::string_view kSetMode = "MD";       // + the mode digit

inline constexpr std::string_view kReadIdentity = "ID";  // reply ID021; names the model
inline constexpr std::string_view kRefusal = "?";        // ?; : the radio refuses the command

// What a command means, for people reading the traffic.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 5> kCommandNames{{
    {"IF", "status"},
    {"FA", "frequency"},
    {"MD", "mode"},
    {"ID", "identity"},
    {"?", "refused"},
}};

// The number in the ID reply, to the model: ID021; is a TS-590S.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kIdentities{{
    {"019", "TS-2000"},
    {"020", "TS-480"},
    {"021", "TS-590S"},
    {"022", "TS-990S"},
    {"023", "TS-590SG"},
    {"024", "TS-890S"},
}};

struct ReceivedMode {
    std::int16_t digit;
    ModeIndex mode;
    bool reverse;
};

// The mode digit of IF...2...; and MD2; is USB. 7 and 9 are the radio's reverse sidebands of CW
// and FSK. 0, 8 and anything else are not listed.
inline constexpr std::array<ReceivedMode, 8> kReceivedModes{{
    {1, ModeIndex::LSB, false},
    {2, ModeIndex::USB, false},
    {3, ModeIndex::CW, false},
    {4, ModeIndex::FM, false},
    {5, ModeIndex::AM, false},
    {6, ModeIndex::FSK, false},
    {7, ModeIndex::CW, true},
    {9, ModeIndex::FSK, true},
}};

// ModeIndex to the digit after MD: "AM" goes out as MD5;. PKT has no digit and is never sent.
inline constexpr std::array<std::pair<ModeIndex, int>, 6> kSentModes{{
    {ModeIndex::LSB, 1},
    {ModeIndex::USB, 2},
    {ModeIndex::CW, 3},
    {ModeIndex::AM, 5},
    {ModeIndex::FM, 4},
    {ModeIndex::FSK, 6},
}};
inline constexpr std::array<std::pair<ModeIndex, int>, 2> kSentReverseModes{{
    {ModeIndex::CW, 7},
    {ModeIndex::FSK, 9},
}};

}  // namespace cat::kenwood
