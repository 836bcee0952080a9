#pragma once

// The traffic monitor's lines: one per unit of the line, with its time in milliseconds, its
// direction, its bytes (hex for the binary families, text for the text ones with unprintables
// escaped) and what it is.
//
//     1.234 >  fe fe 5e e0 03 fd 00          read frequency
//     1.262 <  fe fe e0 5e 03 00 40 07 14 00 fd  read frequency: 14.074000 MHz

#include <cstdint>
#include <string>

#include "doctor/line_analyzer.h"

namespace cat::doctor {

// `origin`: the time shown as 0, the moment the link opened.
std::string MonitorLine(const LineUnit& unit, std::int16_t protocolCode, double origin = 0);

// "fe fe 5e e0 03 fd" / "IF;" / "\x00?;": bytes as the monitor shows them for that family.
std::string ShowBytes(const std::string& bytes, std::int16_t protocolCode);

}  // namespace cat::doctor
