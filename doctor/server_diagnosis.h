#pragma once

// A link through a rig-sharing server (rigctld, flrig) has a fault more than a radio's: the server
// stands between the program and the radio, and can be missing, be something else, or answer
// while its own link to the radio fails. What is wrong is said of the server first.

#include <optional>

#include "doctor/diagnosis.h"

namespace cat::doctor {

// The verdict on a server link where the server decides it; nothing where the link's state
// (closed, lost) or the port's own failure says it as for any port.
std::optional<Verdict> DiagnoseServerLink(const Observation& observation);

}  // namespace cat::doctor
