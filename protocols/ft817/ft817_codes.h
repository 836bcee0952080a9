#pragma once

// FT-817 opcodes and mode bytes, both ways. Every command is five bytes, P1 P2 P3 P4 and the
// opcode: read frequency and mode is 00 00 00 00 03, set 14.074 MHz is 01 40 74 00 01.

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

#include "core/mode.h"

namespace cat::ft817 {

inline constexpr std::uint8_t kSetFrequency = 0x01;       // P1..P4: 4 packed-decimal bytes of 10 Hz
inline constexpr std::uint8_t kReadFrequencyMode = 0x03;  // reply: 4 frequency bytes, mode byte
inline constexpr std::uint8_t kSetMode = 0x07;            // P1: the mode byte

// Key and unkey the transmitter: only the operator's PTT test sends them.
inline constexpr std::uint8_t kPttOn = 0x08;
inline constexpr std::uint8_t kPttOff = 0x88;
// Reply: one byte. The radio sends FF while it receives; while it transmits bit 7 (PTT) is clear,
// bits 0-3 hold the power meter, bit 5 split and bit 6 high SWR.
inline constexpr std::uint8_t kReadTransmitState = 0xF7;
inline constexpr std::uint8_t kReceivingStatus = 0xFF;
inline constexpr std::uint8_t kPttBit = 0x80;

// What an opcode means, for people reading the traffic.
inline constexpr std::array<std::pair<std::uint8_t, std::string_view>, 6> kOpcodeNames{{
    {kSetFrequency, "set frequency"},
    {kReadFrequencyMode, "read frequency and mode"},
    {kSetMode, "set mode"},
    {kReadTransmitState, "read transmit state"},
    {kPttOn, "transmit (PTT on)"},
    {kPttOff, "receive (PTT off)"},
}};

// Received mode byte to ModeIndex: reply 01 42 34 56 01 is USB. Bit 7 marks the radio's narrow
// filter, so 82/83/88/8A are the narrow variants of CW/CW/FM/FSK; 06 (wide FM), 84 (narrow AM) and
// 8C (narrow PKT) follow the same pattern.
inline constexpr std::array<std::pair<std::uint8_t, ModeIndex>, 15> kReceivedModes{{
    {0x00, ModeIndex::LSB},
    {0x01, ModeIndex::USB},
    {0x02, ModeIndex::CW},
    {0x03, ModeIndex::CW},  // CW reverse
    {0x04, ModeIndex::AM},
    {0x06, ModeIndex::FM},  // wide FM
    {0x08, ModeIndex::FM},
    {0x0A, ModeIndex::FSK},  // DIG
    {0x0C, ModeIndex::PKT},
    {0x82, ModeIndex::CW},
    {0x83, ModeIndex::CW},
    {0x84, ModeIndex::AM},
    {0x88, ModeIndex::FM},
    {0x8A, ModeIndex::FSK},
    {0x8C, ModeIndex::PKT},
}};

// What the radio can tune, in units of 10 Hz, both ends included: its receive ranges
// (100 kHz to 56 MHz, 76 to 108 MHz, 118 to 164 MHz, 420 to 470 MHz). A reply outside them
// is line noise, not a reading.
inline constexpr std::array<std::pair<long, long>, 4> kTunableRanges{{
    {10'000, 5'600'000},
    {7'600'000, 10'800'000},
    {11'800'000, 16'400'000},
    {42'000'000, 47'000'000},
}};

// ModeIndex to P1 of the set-mode command: "AM" goes out as 04 00 00 00 07. FSK and PKT send 0A
// and 0C, the codes the radio reports back for them; 08 would switch FSK to FM, and 0A would make
// PKT a second FSK.
inline constexpr std::array<std::pair<ModeIndex, std::int16_t>, 7> kSentModes{{
    {ModeIndex::LSB, 0x00},
    {ModeIndex::USB, 0x01},
    {ModeIndex::CW, 0x02},
    {ModeIndex::AM, 0x04},
    {ModeIndex::FM, 0x08},
    {ModeIndex::FSK, 0x0A},
    {ModeIndex::PKT, 0x0C},
}};
inline constexpr std::array<std::pair<ModeIndex, std::int16_t>, 1> kSentReverseModes{{
    {ModeIndex::CW, 0x03},
}};

}  // namespace cat::ft817
