#pragma once

// What only the system can say about a serial device, for the link doctor's verdicts.

#include <string>
#include <vector>

namespace cat {

// The serial devices present now: "/dev/ttyS0", "/dev/ttyUSB0", ...
std::vector<std::string> PresentSerialDevices();

// The program holding `device` open, as "flrig (process 1234)", when the system lets us see it:
// its own processes' open files, or a lock file naming the process. Empty when unknown.
std::string DeviceHolder(const std::string& device);

}  // namespace cat
