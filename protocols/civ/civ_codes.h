#pragma once

// CI-V command numbers and mode numbers, both ways. Commands are hexadecimal text, the way
// SendCivCommand takes them: read frequency to a radio at 5E is fe fe 5e e0 03 fd 00.

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
inline constexpr std::string_view kReadAddressText = "19";  // with sub-command 00
inline constexpr std::string_view kEveryRadio = "00";       // the destination every radio hears

// The controller's own address.
inline constexpr std::string_view kControllerAddress = "E0";

// Frame bytes: fe fe <to> <from> <command> [data] fd.
inline constexpr std::uint8_t kPreamble = 0xFE;
inline constexpr std::uint8_t kEndOfMessage = 0xFD;
inline constexpr std::uint8_t kController = 0xE0;
inline constexpr std::uint8_t kBroadcast = 0x00;  // every radio on the bus
inline constexpr std::uint8_t kOk = 0xFB;
inline constexpr std::uint8_t kNg = 0xFA;           // the radio refuses the command
inline constexpr std::uint8_t kReadAddress = 0x19;  // with sub-command 00: the radio's address
inline constexpr std::uint8_t kFrequencyAnnounced = 0x00;
inline constexpr std::uint8_t kModeAnnounced = 0x01;
inline constexpr std::uint8_t kFrequencyRead = 0x03;
inline constexpr std::uint8_t kModeRead = 0x04;
inline constexpr std::uint8_t kFrequencySet = 0x05;
// 1C 00 reads the transmitter (the radio answers 1C 00 00 receiving, 1C 00 01 transmitting);
// 1C 00 01 and 1C 00 00 key and unkey it. Only the operator's PTT test sends those two.
inline constexpr std::uint8_t kTransmitState = 0x1C;
inline constexpr std::uint8_t kTransmitStateSub = 0x00;

// What a command byte means, for people reading the traffic.
inline constexpr std::array<std::pair<std::uint8_t, std::string_view>, 10> kCommandNames{{
    {0x00, "frequency announced"},
    {0x01, "mode announced"},
    {0x03, "read frequency"},
    {0x04, "read mode"},
    {0x05, "set frequency"},
    {0x06, "set mode"},
    {0x19, "read address"},
    {0x1C, "transmit state"},
    {kOk, "OK"},
    {kNg, "refused (NG)"},
}};

// The factory CI-V addresses of common radios, most common first: a scan asks them in turn, and a
// reply to the address read is named from here. Radios that share an address have a row each.
struct KnownRadio {
    std::uint8_t address;
    std::string_view model;
};
inline constexpr std::array<KnownRadio, 24> kKnownRadios{{
    // The IC-7300 operation manual's CI-V data format, "FE FE 94 E0",
    // https://www.manualshelf.com/manual/icom/ic-7300/operation-manual-english/page-155.html
    {0x94, "IC-7300"},
    {0xB6, "IC-7300MK2"},  // from memory
    // From memory (the IC-705 CI-V reference,
    // https://manualmachine.com/icom/ic705/24279644-reference-manual, did not show it)
    {0xA4, "IC-705"},
    {0xA4, "Xiegu X6100"},  // from memory
    {0xA2, "IC-9700"},      // from memory
    {0x98, "IC-7610"},      // from memory
    {0x88, "IC-7100"},      // from memory
    {0x88, "Xiegu G90"},    // from memory
    {0xAC, "IC-905"},       // from memory
    {0x70, "IC-7000"},      // from memory
    // The IC-706MKIIG manual's CI-V data format, "FE FE 58 E0",
    // http://azmanual.top/manuals/128719/icom-i706mktmg-ic-706mkiig.html?page=48
    {0x58, "IC-706MKIIG"},
    {0x4E, "IC-706MKII"},  // from memory
    {0x48, "IC-706"},      // from memory
    {0x76, "IC-7200"},     // from memory
    {0x7A, "IC-7600"},     // from memory
    {0x74, "IC-7700"},     // from memory
    {0x6A, "IC-7800"},     // from memory
    {0x8E, "IC-7851"},     // from memory
    {0x80, "IC-7410"},     // from memory
    {0x7C, "IC-9100"},     // from memory
    {0x5E, "IC-718"},      // from memory
    {0x66, "IC-746PRO"},   // from memory
    {0x56, "IC-746"},      // from memory
    {0x5C, "IC-756PRO"},   // from memory
}};

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
