#pragma once

// radiosim's command line: what the radio is, which faults it has, and where the program finds
// it. Parsing is pure (no output, no exit) so that each option's rules can be tested directly.

#include <optional>
#include <string>
#include <vector>

#include "tools/radiosim/radio.h"

namespace radiosim {

struct Options {
    Radio::Config radio;
    Tuning tuning;
    bool echo = false;
    bool echo_only = false;        // an interface that echoes, with no radio behind it
    bool cts_low = false;          // the radio holds CTS low: nothing the client writes leaves
    int speed = 0;                 // the radio's line speed in baud; 0: whatever the client sets
    long long stop_after_ms = -1;  // silent this long after the first command; -1: never
    bool silent = false;
    bool garble = false;
    int delay_ms = 0;
    int split_ms = 0;  // --split: every answer leaves in two halves this far apart; 0: whole
    bool quiet = false;
    std::string link;
    std::string settings;
    int com = 0;
    // --rfc2217: serve the radio on this TCP address instead of a pty; port -1 means the pty,
    // port 0 a free port.
    std::string rfc2217_host = "127.0.0.1";
    int rfc2217_port = -1;
    // --flrig: serve the radio's state as the rig-sharing server flrig does, on this TCP address;
    // port -1: not, port 0: a free port.
    std::string flrig_host = "127.0.0.1";
    int flrig_port = -1;
    std::optional<KeySource> ptt_line;  // --ptt: the control line wired to the transmitter
    bool keyed = false;                 // --keyed: transmitting from the start
};

struct ParsedOptions {
    Options options;
    bool help = false;  // --help: print HelpText() and stop
    std::string error;  // empty when the command line is good
};

// `args` without the program name.
ParsedOptions ParseOptions(const std::vector<std::string>& args);

const char* HelpText();

}  // namespace radiosim
