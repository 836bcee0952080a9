#pragma once

// The traffic monitor's lines: one per unit of the line, with its time in milliseconds, its
// direction, its bytes (hex for the binary families, text for the text ones with unprintables
// escaped) and what it is.
//
//     1.234 >  fe fe 5e e0 03 fd 00          read frequency
//     1.262 <  fe fe e0 5e 03 00 40 07 14 00 fd  read frequency: 14.074000 MHz

#include <cstdint>
#include <string>
#include <vector>

#include "doctor/line_analyzer.h"

namespace cat::doctor {

// `origin`: the time shown as 0, the moment the link opened.
std::string MonitorLine(const LineUnit& unit, Protocol protocol, double origin = 0);

// How far a monitor has shown one line analyzer's account.
struct MonitorCursor {
    std::size_t units = 0;
    std::size_t bytes = 0;
};

// The monitor lines for what came since `cursor`, which moves on: at most `limit` of the newest
// units, led by "... N bytes not shown" when some could not be shown (the analyzer kept too few,
// or more came than a reader can follow), so a flood costs the display a bounded amount of work.
std::vector<std::string> NextMonitorLines(const LineAnalyzer& line, MonitorCursor& cursor,
                                          Protocol protocol, double origin, std::size_t limit);

// "fe fe 5e e0 03 fd" / "IF;" / "\x00?;": bytes as the monitor shows them for that family.
std::string ShowBytes(const std::string& bytes, Protocol protocol);

}  // namespace cat::doctor
