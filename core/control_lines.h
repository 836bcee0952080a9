#pragma once

// DTR and RTS, the two lines a serial port drives besides its data. Many interfaces key the
// radio's transmitter from one of them (sound-card interfaces, home-made CI-V and CAT cables),
// others draw their power from them, so each port says what they carry while a link is open:
//
//   [Ports]
//   Com3.DTR=off
//   Com3.RTS=on
//
// Without an entry DTR is raised (interfaces powered from it keep working) and RTS is low: RTS
// is the line most PTT interfaces key from. Under RTS/CTS handshaking RTS belongs to the flow
// control and its entry does not apply.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/settings_store.h"

namespace cat {

enum class ControlLine { Dtr, Rts };

// "DTR", "RTS".
std::string_view LineName(ControlLine line);

// The levels a port puts on its lines once it is open.
struct ControlLineLevels {
    bool dtr = true;
    bool rts = false;
    bool Level(ControlLine line) const { return line == ControlLine::Dtr ? dtr : rts; }
    void Set(ControlLine line, bool on) { (line == ControlLine::Dtr ? dtr : rts) = on; }
};

// One port's entries as found: a value that is neither on nor off is kept to say so.
struct ControlLineChoice {
    ControlLineLevels levels;
    std::optional<bool> dtrEntry;  // an entry that applies
    std::optional<bool> rtsEntry;
    std::string ignored;  // "Com3.RTS=maybe": entries that were not on or off
};

// "Com3.DTR", in the [Ports] group.
std::string ControlLineKey(std::int16_t port, ControlLine line);

// on/off (also 1/0, high/low, true/false) in any letter case, blanks around allowed.
std::optional<bool> ParseLineLevel(std::string_view text);

ControlLineChoice ControlLinesFor(SettingsStore& store, std::int16_t port);

// "Com3.RTS=off": the entry that sets `line` of Com `port` to `on`, as the file spells it.
std::string ControlLineEntry(std::int16_t port, ControlLine line, bool on);

// What a port's entries set, for the port list and --list-ports: "DTR off, RTS on"; empty when
// the port has no entries.
std::string DescribeControlLines(const ControlLineChoice& choice);

// The lines as the port last saw them while open: nothing for a line it cannot tell (a
// pseudo-terminal has none; a network port reports them only when its far end does).
struct ModemLines {
    std::optional<bool> dtr;
    std::optional<bool> rts;
    std::optional<bool> cts;
    std::optional<bool> dsr;
    std::optional<bool> dcd;
};

// "DTR on · RTS off · CTS on · DSR on · DCD off", "?" for a line not known; empty when the port
// knows none.
std::string DescribeModemLines(const ModemLines& lines);

}  // namespace cat
