#pragma once

#include "shell/command_line.h"

namespace cat {

// catlink --doctor [PORT]: the link doctor on a terminal, without a window or a display. Opens
// the stored setup (or PORT with the stored protocol, speed and address), listens to the radio
// for a couple of seconds, prints the verdict and the traffic, and when no radio answered tries
// every protocol at every speed. Never writes the settings.
int RunDoctor(const CommandLine& command, int& argc, char** argv);

}  // namespace cat
