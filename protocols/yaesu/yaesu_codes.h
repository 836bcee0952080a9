#pragma once

// Yaesu's text CAT (FT-991A, FT-891, FT-710, FTDX10, FTDX101, FTDX3000, FT-450D, ...): two
// letters and parameters, ended by ";", like Kenwood's commands but with layouts of its own. The
// frequency read is FA; (FA014074000;, nine digits of hertz), the mode read MD0; (MD02; is USB),
// the identity ID; (ID0670; is an FT-991A).

#include <array>
#include <string_view>
#include <utility>

#include "core/mode.h"

namespace cat::yaesu {

inline constexpr std::string_view kReadFrequency = "FA";  // + 9 digits in hertz to set
inline constexpr std::string_view kReadMode = "MD0";      // + the mode character to set
inline constexpr std::string_view kReadStatus = "IF";
inline constexpr std::string_view kReadIdentity = "ID";
inline constexpr std::string_view kRefusal = "?";

// TX; alone reads the transmitter: TX0; receive, TX1; keyed by CAT, TX2; keyed otherwise (the
// microphone, the rear PTT line). TX1; and TX0; key and unkey it; only the operator's PTT test
// sends them. On a Kenwood radio TX; itself keys the transmitter and TX0; keys it too: the read
// goes only to a radio that has answered ID; as a Yaesu (four digits; Kenwood's have three).
inline constexpr std::string_view kTransmitState = "TX";
inline constexpr std::string_view kTransmitOn = "TX1;";
inline constexpr std::string_view kTransmitOff = "TX0;";

// Commands named by their whole text first: TX reads, TX1 and TX0 key and unkey.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kCommandTexts{{
    {"TX", "read transmit state"},
    {"TX1", "transmit (PTT on)"},
    {"TX0", "receive (PTT off)"},
}};

inline constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kCommandNames{{
    {"TX", "transmit state"},
    {"FA", "frequency"},
    {"MD", "mode"},
    {"IF", "status"},
    {"ID", "identity"},
    {"?", "refused"},
}};

// The four digits of the ID reply, to the model. Sources: each radio's CAT Operation Reference
// Book, ID command. Where the stored copy of a manual did not show the ID page, the row says
// "from memory".
//   FT-991/FT-991A: https://manualmachine.com/yaesu/ft991cat/19919970-reference-book
//   FTDX101MP/D:    https://manualshive.com/ru/manual/yaesu/ftdx101mp/3194896?page=5
//   FTDX3000:       https://manualmachine.com/yaesu/ftdx3000cat/26835537-user-guide
//   FTDX5000:       https://manualmachine.com/yaesu/ftdx5000/10584698-cat-operation-reference-book
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 15> kIdentities{{
    {"0570", "FT-991"},     // FT-991 reference book (above); digits from memory
    {"0670", "FT-991A"},    // FT-991A reference book (above); digits from memory
    {"0650", "FT-891"},     // from memory
    {"0800", "FT-710"},     // from memory
    {"0761", "FTDX10"},     // from memory
    {"0681", "FTDX101D"},   // FTDX101MP/D reference (above); digits from memory
    {"0682", "FTDX101MP"},  // FTDX101MP/D reference (above); digits from memory
    // ID0462; in two independent controllers' FTDX3000 tables (the manual above, ID page not
    // in the stored copy); 0460 is what this table held before, from memory, kept for radios
    // that may still answer it.
    {"0462", "FTDX3000"},
    {"0460", "FTDX3000"},  // from memory
    {"0583", "FTDX1200"},  // from memory
    {"0241", "FT-450"},    // from memory
    {"0244", "FT-450D"},   // from memory
    {"0310", "FT-950"},    // from memory
    {"0251", "FT-2000"},   // from memory
    {"0362", "FTDX5000"},  // FTDX5000 reference book (above); digits from memory
}};

// The mode character of MD0x; and of the IF reply. The data and narrow variants show as the
// list's nearest mode: DATA-USB is PKT, FM-N is FM, RTTY-USB is the reverse of FSK.
struct ReceivedMode {
    char code;
    ModeIndex mode;
};
inline constexpr std::array<ReceivedMode, 14> kReceivedModes{{
    {'1', ModeIndex::LSB},
    {'2', ModeIndex::USB},
    {'3', ModeIndex::CW},  // CW-U
    {'4', ModeIndex::FM},
    {'5', ModeIndex::AM},
    {'6', ModeIndex::FSK},  // RTTY-LSB
    {'7', ModeIndex::CW},   // CW-L
    {'8', ModeIndex::PKT},  // DATA-LSB
    {'9', ModeIndex::FSK},  // RTTY-USB
    {'A', ModeIndex::PKT},  // DATA-FM
    {'B', ModeIndex::FM},   // FM-N
    {'C', ModeIndex::PKT},  // DATA-USB
    {'D', ModeIndex::AM},   // AM-N
    {'E', ModeIndex::FM},   // C4FM
}};

// ModeIndex to the character after MD0: "AM" goes out as MD05;.
inline constexpr std::array<std::pair<ModeIndex, char>, 7> kSentModes{{
    {ModeIndex::LSB, '1'},
    {ModeIndex::USB, '2'},
    {ModeIndex::CW, '3'},
    {ModeIndex::FM, '4'},
    {ModeIndex::AM, '5'},
    {ModeIndex::FSK, '6'},
    {ModeIndex::PKT, 'C'},
}};
inline constexpr std::array<std::pair<ModeIndex, char>, 2> kSentReverseModes{{
    {ModeIndex::CW, '7'},
    {ModeIndex::FSK, '9'},
}};

}  // namespace cat::yaesu
