#pragma once

// What only the system can say about a serial device, for the link doctor's verdicts.

#include <string>
#include <vector>

#include "core/cat_error.h"
#include "doctor/diagnosis.h"
#include "shell/device_holders.h"

namespace cat {

// The serial devices present now: "/dev/ttyS0", "/dev/ttyUSB0", ...
std::vector<std::string> PresentSerialDevices();

// The program holding `device` open, as "flrig (process 1234)", when the system lets us see it:
// its own processes' open files, or a lock file naming the process. Empty when unknown.
std::string DeviceHolder(const std::string& device);

// Every process but this one that has `device` open, as far as the system lets us see: the open
// files of our own user's processes (everyone's as root), and a process a lock file names that
// may hold it. Not the maker of a pseudo-terminal, which keeps the terminal's far end open (and
// this end too, so that it stays up): a virtual radio is the radio, not a program in the way.
std::vector<HoldingProcess> OtherHolders(const std::string& device);

// What a failed open of `device` gives the doctor: which of the port's faults it was (nothing
// when the error is not the port's), the port's sentence, and what only the system can add: the
// devices present when it was not found, the holder when it is in use.
doctor::OpenFailure OpenFailureFacts(const CatError& error, const std::string& device);

}  // namespace cat
