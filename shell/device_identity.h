#pragma once

// Who a serial device is, read from the system's USB tree: the by-id name, the USB strings and
// place, the plug-in number and the boot. Everything is read below a root folder, so a made-up
// tree can give a pseudo-terminal a USB identity in tests and benchmarks.

#include <filesystem>
#include <optional>
#include <string>

#include "link/known_ports.h"

namespace cat {

// The USB identity of the serial device `device` ("/dev/ttyUSB0", "/dev/serial/by-id/...", or a
// pseudo-terminal in a made-up tree), read below `root`; nothing for a device that is no USB
// device.
std::optional<DeviceIdentity> IdentityOf(const std::filesystem::path& root,
                                         const std::string& device);

// "/" unless the environment names another folder in CAT_SYSTEM_ROOT (for tests and benchmarks,
// which make up a tree that gives a pseudo-terminal a USB identity).
std::filesystem::path SystemRoot();

}  // namespace cat
