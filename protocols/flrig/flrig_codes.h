#pragma once

// flrig's XML-RPC methods that the link calls, and its mode names both ways. The names are those
// of the transceiver flrig drives (an IC-7300 answers rig.get_modes with LSB USB AM FM CW CW-R
// RTTY RTTY-R LSB-D USB-D AM-D FM-D), so a set picks the first of a few spellings the radio has.

#include <array>
#include <string_view>
#include <utility>

#include "core/mode.h"
#include "core/radio_family.h"

namespace cat::flrig {

// flrig keeps its XML-RPC port among its own settings; a command line may still name it.
inline constexpr std::array<ServerOption, 4> kOptions{{
    {"config-dir", 0, true},
    {"debug-level", 0, true},
    {"xmlrpc-server-address", 0, true},
    {"xmlrpc-server-port", 0, true},
}};

// Reads: each answers from flrig's own record of the radio; none changes it.
inline constexpr std::string_view kReadFrequency = "rig.get_vfo";     // "14070000", in hertz
inline constexpr std::string_view kReadMode = "rig.get_mode";         // "USB"
inline constexpr std::string_view kReadTransceiver = "rig.get_xcvr";  // "IC-7300"; "" for none
inline constexpr std::string_view kReadVersion = "main.get_version";  // "1.4.7"
inline constexpr std::string_view kReadModes = "rig.get_modes";       // an array of names
inline constexpr std::string_view kReadTransmitting = "rig.get_ptt";  // <i4>0</i4> or 1
// Sets: only on the operator's word.
inline constexpr std::string_view kSetFrequency = "rig.set_vfo";     // <double>, hertz
inline constexpr std::string_view kSetMode = "rig.set_mode";         // a name of the radio's table
inline constexpr std::string_view kSetTransmitting = "rig.set_ptt";  // <i4>1</i4> keys, 0 unkeys

// What a method does, for people reading the traffic.
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kMethodNames{{
    {kReadFrequency, "read frequency"},
    {kReadMode, "read mode"},
    {kReadTransceiver, "read transceiver"},
    {kReadVersion, "read version"},
    {kReadModes, "read mode table"},
    {kReadTransmitting, "read transmit state"},
    {kSetFrequency, "set frequency"},
    {kSetMode, "set mode"},
    {kSetTransmitting, "transmit (PTT)"},
}};

// What flrig's transceivers call their modes, read back into the list. The data variants ride on
// the list's PKT as the text families' DATA modes do.
inline constexpr std::array<std::pair<std::string_view, ModeIndex>, 33> kReceivedModes{{
    {"LSB", ModeIndex::LSB},     {"USB", ModeIndex::USB},    {"CW", ModeIndex::CW},
    {"CW-R", ModeIndex::CW},     {"CW-U", ModeIndex::CW},    {"CW-L", ModeIndex::CW},
    {"CWR", ModeIndex::CW},      {"AM", ModeIndex::AM},      {"AM-N", ModeIndex::AM},
    {"SAM", ModeIndex::AM},      {"FM", ModeIndex::FM},      {"FM-N", ModeIndex::FM},
    {"NFM", ModeIndex::FM},      {"WFM", ModeIndex::FM},     {"C4FM", ModeIndex::FM},
    {"RTTY", ModeIndex::FSK},    {"RTTY-R", ModeIndex::FSK}, {"RTTY-L", ModeIndex::FSK},
    {"RTTY-U", ModeIndex::FSK},  {"FSK", ModeIndex::FSK},    {"FSK-R", ModeIndex::FSK},
    {"USB-D", ModeIndex::PKT},   {"LSB-D", ModeIndex::PKT},  {"AM-D", ModeIndex::PKT},
    {"FM-D", ModeIndex::PKT},    {"DATA-U", ModeIndex::PKT}, {"DATA-L", ModeIndex::PKT},
    {"DATA-FM", ModeIndex::PKT}, {"PKT-U", ModeIndex::PKT},  {"PKT-L", ModeIndex::PKT},
    {"PKT", ModeIndex::PKT},     {"DIG", ModeIndex::PKT},    {"DATA", ModeIndex::PKT},
}};

// The spellings a set tries, the most common first; a radio whose table flrig has sent gets the
// first it holds, any other the first.
struct SentMode {
    ModeIndex mode;
    bool reversed;
    std::array<std::string_view, 5> names;  // empty entries end the list
};
inline constexpr std::array<SentMode, 9> kSentModes{{
    {ModeIndex::LSB, false, {"LSB"}},
    {ModeIndex::USB, false, {"USB"}},
    {ModeIndex::CW, false, {"CW", "CW-U"}},
    {ModeIndex::CW, true, {"CW-R", "CW-L", "CWR"}},
    {ModeIndex::AM, false, {"AM"}},
    {ModeIndex::FM, false, {"FM"}},
    {ModeIndex::FSK, false, {"RTTY", "FSK", "RTTY-L"}},
    {ModeIndex::FSK, true, {"RTTY-R", "FSK-R", "RTTY-U"}},
    {ModeIndex::PKT, false, {"USB-D", "DATA-U", "PKT-U", "DIG", "DATA"}},
}};

}  // namespace cat::flrig
