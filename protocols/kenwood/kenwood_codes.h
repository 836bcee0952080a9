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
// Keys the transmitter (the microphone's audio; every radio of these commands takes the bare form),
// and back to receive. Only the operator's PTT test sends them.
inline constexpr std::string_view kTransmit = "TX;";
inline constexpr std::string_view kReceive = "RX;";

inline constexpr std::string_view kReadIdentity = "ID";   // reply ID021; names the model
inline constexpr std::string_view kReadFrequency = "FA";  // reply FA00014074000;
inline constexpr std::string_view kReadMode = "MD";       // reply MD2;
inline constexpr std::string_view kRefusal = "?";         // ?; : the radio refuses the command

// What a command means, for people reading the traffic.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kCommandNames{{
    {"IF", "status"},
    {"TX", "transmit (PTT on)"},
    {"RX", "receive (PTT off)"},
    {"FA", "frequency"},
    {"MD", "mode"},
    {"ID", "identity"},
    {"OM", "option modules"},
    {"ZZ", "extended command"},
    {"?", "refused"},
}};

// The number in the ID reply, to the radios that answer it: ID021; is a TS-590S. Several makers'
// radios answer as a Kenwood model they emulate; a further read (below) tells them apart.
// Sources: the makers' PC control command references, ID command; "from memory" where the stored
// copy did not show it.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 13> kIdentities{{
    // "RSP format: IDnnn; where nnn is 017", Elecraft K3 and KX3 Programmer's Reference, p. 13,
    // https://azmanual.top/manuals/636049/elecraft-kx3-programmers-reference-k3-programmers-reference.html?page=13
    {"017", "Elecraft K2, K3, KX2, KX3 or K4"},
    {"019", "TS-2000"},  // from memory
    {"020", "TS-480, or a radio speaking its commands (QRP Labs QMX/QDX, (tr)uSDX)"},  // memory
    // TS-590S/TS-590SG PC control command reference guide,
    // https://esdocs.com/doc/469480/ts-590s_sg-pc-control-command-reference-guide; digits from
    // memory
    {"021", "TS-590S"},
    {"022", "TS-990S"},   // from memory
    {"023", "TS-590SG"},  // the TS-590S/SG guide above; digits from memory
    // TS-890S PC control command reference guide,
    // http://manualslib.com/manual/1438551/Kenwood-Ts-890s.html; digits from memory
    {"024", "TS-890S"},
    {"904", "FLEX-6700"},   // from memory
    {"905", "FLEX-6500"},   // from memory
    {"906", "FLEX-6700R"},  // from memory
    {"907", "FLEX-6300"},   // from memory
    {"908", "FLEX-6400"},   // from memory
    {"909", "FLEX-6600"},   // from memory
}};

// Reads that tell radios of one ID apart. Elecraft's radios all answer ID017; their option
// module read OM; names the model. Programs that emulate a TS-2000 answer the ZZ commands a real
// TS-2000 refuses with ?;.
inline constexpr std::string_view kElecraftId = "017";
inline constexpr std::string_view kElecraftOptions = "OM;";
inline constexpr std::string_view kTs2000Id = "019";
inline constexpr std::string_view kExtendedFrequency = "ZZFA;";

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
