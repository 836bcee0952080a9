#pragma once

// Which device the port list's "Com N" opens. The settings store's [Ports] group may name it
// (Com3=/dev/ttyUSB0); otherwise Com N is the Nth serial port of the system (/dev/ttyS<N-1> on
// Linux, COM<N> on Windows). Tests and radiosim reach a pseudo-terminal the same way.

#include <cstdint>
#include <string>

#include "core/settings_store.h"

namespace cat {

inline constexpr std::int16_t kFirstPort = 1;
inline constexpr std::int16_t kLastPort = 32;

inline constexpr const char* kPortsGroup = "Ports";

// "Com3": the key that names the device of Com 3.
std::string PortKey(std::int16_t number);

// The device when the store names none; empty for numbers below 1.
std::string DefaultDeviceForPort(std::int16_t number);

// The named device, trimmed, when the store holds a non-blank one; otherwise the default. On
// Linux a bare name ("ttyUSB0") is taken as a device under /dev, as the serial library does.
std::string DeviceForPort(SettingsStore& store, std::int16_t number);

// "Com 3 (/dev/ttyUSB0)": how error messages name a port; "Com 3" when no device is known.
std::string PortLabel(std::int16_t number, const std::string& device);

// "Com 3 opens /dev/ttyUSB0": the port list's tooltip for its selected entry.
std::string PortTooltip(SettingsStore& store, std::int16_t number);

}  // namespace cat
