#pragma once

// rigctld's network commands in their extended form: a "+" in front makes the server name the
// command and end every answer with "RPRT n", so an answer is framed whatever it carries:
//   +f          ->  get_freq:\nFrequency: 7074000\nRPRT 0\n
//   +m          ->  get_mode:\nMode: USB\nPassband: 2400\nRPRT 0\n
//   +F 7074000  ->  set_freq: 7074000\nRPRT 0\n
//   +f (radio silent behind the server)  ->  get_freq:\nRPRT -5\n

#include <array>
#include <string_view>
#include <utility>

#include "core/mode.h"
#include "core/radio_family.h"

namespace cat::rigctld {

// rigctld's options as its --help lists them (Hamlib 4.5). Every option that takes a value is
// here, so that a value is never read as an option of its own.
inline constexpr std::array<ServerOption, 27> kOptions{{
    {"model", 'm', true},          {"rig-file", 'r', true},       {"ptt-file", 'p', true},
    {"dcd-file", 'd', true},       {"ptt-type", 'P', true},       {"dcd-type", 'D', true},
    {"serial-speed", 's', true},   {"civaddr", 'c', true},        {"port", 't', true},
    {"separator", 'S', true},      {"listen-addr", 'T', true},    {"set-conf", 'C', true},
    {"show-conf", 'L', false},     {"list", 'l', false},          {"dump-caps", 'u', false},
    {"vfo", 'o', false},           {"verbose", 'v', false},       {"twiddle_timeout", 'W', true},
    {"twiddle_rit", 'w', true},    {"uplink", 'x', true},         {"debug-time-stamps", 'Z', false},
    {"multicast-addr", 'M', true}, {"multicast-port", 'n', true}, {"password", 'A', true},
    {"rigctld-idle", 'R', false},  {"help", 'h', false},          {"version", 'V', false},
}};

inline constexpr std::string_view kReadFrequency = "+f\n";
inline constexpr std::string_view kReadMode = "+m\n";
inline constexpr std::string_view kReadTransmit = "+t\n";  // get_ptt: PTT: 0 receive, 1..3 keyed
inline constexpr std::string_view kSetFrequency = "+F ";   // + hertz
inline constexpr std::string_view kSetMode = "+M ";        // + mode name and passband
inline constexpr std::string_view kTransmit = "+T 1\n";
inline constexpr std::string_view kReceive = "+T 0\n";
// The server's own description of the radio it was started for (-m): answered from the server's
// tables without a word to the radio.
inline constexpr std::string_view kReadCapabilities = "+\\dump_caps\n";
// Passband -1 leaves the radio's filter as the operator set it; 0 would choose the mode's default.
inline constexpr std::string_view kKeepPassband = " -1";

inline constexpr std::string_view kResult = "RPRT ";

// The answers' names and the lines this program reads out of them.
inline constexpr std::string_view kGetFrequency = "get_freq";
inline constexpr std::string_view kGetMode = "get_mode";
inline constexpr std::string_view kGetTransmit = "get_ptt";
inline constexpr std::string_view kCapabilities = "dump_caps";
inline constexpr std::string_view kInfo = "get_info";
inline constexpr std::string_view kFrequencyKey = "Frequency";
inline constexpr std::string_view kModeKey = "Mode";
inline constexpr std::string_view kTransmitKey = "PTT";
inline constexpr std::string_view kModelKey = "Model name";
inline constexpr std::string_view kMakerKey = "Mfg name";
inline constexpr std::string_view kBackendKey = "Backend version";
inline constexpr std::string_view kInfoKey = "Info";

// What each command we send is, for people reading the traffic ("+f" is "read frequency").
inline constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kCommandNames{{
    {"+f", "read frequency"},
    {"+m", "read mode"},
    {"+t", "read transmit state"},
    {"+F", "set frequency"},
    {"+M", "set mode"},
    {"+T", "transmit switch"},
    {"+v", "read VFO"},
    {"+\\dump_caps", "read the server's radio model"},
    {"+\\get_info", "read the radio's own information"},
}};

// The server's mode names as the mode list has them; the reverse variants come back as their
// list mode.
struct ReceivedMode {
    std::string_view name;
    ModeIndex mode;
};
inline constexpr std::array<ReceivedMode, 14> kReceivedModes{{
    {"LSB", ModeIndex::LSB},
    {"USB", ModeIndex::USB},
    {"CW", ModeIndex::CW},
    {"CWR", ModeIndex::CW},
    {"AM", ModeIndex::AM},
    {"FM", ModeIndex::FM},
    {"FMN", ModeIndex::FM},
    {"WFM", ModeIndex::FM},
    {"RTTY", ModeIndex::FSK},
    {"RTTYR", ModeIndex::FSK},
    {"PKTUSB", ModeIndex::PKT},
    {"PKTLSB", ModeIndex::PKT},
    {"PKTFM", ModeIndex::PKT},
    {"PKTAM", ModeIndex::PKT},
}};

// ModeIndex to the name +M sends: "CW" goes out as +M CW -1. PKT is the data mode on the upper
// sideband, as the digital-mode programs use it.
inline constexpr std::array<std::pair<ModeIndex, std::string_view>, 7> kSentModes{{
    {ModeIndex::LSB, "LSB"},
    {ModeIndex::USB, "USB"},
    {ModeIndex::CW, "CW"},
    {ModeIndex::AM, "AM"},
    {ModeIndex::FM, "FM"},
    {ModeIndex::FSK, "RTTY"},
    {ModeIndex::PKT, "PKTUSB"},
}};
inline constexpr std::array<std::pair<ModeIndex, std::string_view>, 2> kSentReverseModes{{
    {ModeIndex::CW, "CWR"},
    {ModeIndex::FSK, "RTTYR"},
}};

// The server's error numbers (RPRT -n) in words: what went wrong between the server and the radio,
// or with what we asked.
inline constexpr std::array<std::pair<int, std::string_view>, 20> kErrors{{
    {-1, "invalid parameter"},
    {-2, "invalid configuration"},
    {-3, "out of memory"},
    {-4, "not implemented for this radio"},
    {-5, "communication timed out"},
    {-6, "input/output error"},
    {-7, "internal error of the server"},
    {-8, "protocol error"},
    {-9, "command rejected by the radio"},
    {-10, "argument truncated"},
    {-11, "not available on this radio"},
    {-12, "VFO not targetable"},
    {-13, "error on the radio's bus"},
    {-14, "collision on the radio's bus"},
    {-15, "invalid handle or pointer"},
    {-16, "invalid VFO"},
    {-17, "argument out of range"},
    {-18, "deprecated function"},
    {-19, "security error"},
    {-20, "the radio is not powered on"},
}};

// Errors that come from a radio the server did reach: a read it lacks, a value it refuses. The
// others (a timeout, an I/O, protocol or bus error, a radio switched off) are the server failing
// to reach its radio.
inline constexpr bool RadioReached(int code) {
    return code == -1 || code == -4 || code == -9 || code == -10 || code == -11 || code == -12 ||
           code == -16 || code == -17;
}

}  // namespace cat::rigctld
