#pragma once

// Which device the port list's "Com N" opens. The settings store's [Ports] group may name it
// (Com3=/dev/ttyUSB0); otherwise Com N is the Nth serial port of the system (/dev/ttyS<N-1> on
// Linux, COM<N> on Windows). Tests and radiosim reach a pseudo-terminal the same way. A value
// tcp://host:port or rfc2217://host:port is a serial port published on the network (ser2net);
// rigctld://host[:port] and flrig://host[:port] are rig-sharing servers that hold the radio's port
// and speak for it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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
// Linux a bare name ("ttyUSB0") is taken as a device under /dev, as the serial library does; a
// network address is kept as written.
std::string DeviceForPort(SettingsStore& store, std::int16_t number);

enum class PortKind {
    Device,   // a serial device of this computer
    RawTcp,   // tcp://host:port: bytes as they are; the far end keeps its own line settings
    Rfc2217,  // rfc2217://host:port: telnet with serial-port control, the program sets the line
    Rigctld,  // rigctld://host[:port]: a rig-sharing server's text commands (f, m, F, M)
    Flrig,    // flrig://host[:port]: a rig-sharing server's XML-RPC over HTTP
};

// The port a rig-sharing server listens on when the entry names none. Kept here, below the
// families, because parsing a port entry needs it; each server's family record names it too.
inline constexpr std::uint16_t kRigctldPort = 4532;
inline constexpr std::uint16_t kFlrigPort = 12345;

struct PortTarget {
    PortKind kind = PortKind::Device;
    std::string device;  // Device: the path
    std::string host;    // network: a name or an address, an IPv6 address without its brackets
    std::uint16_t port = 0;
};

// "shack-pi:2000", "[fe80::1]:4000": a network target's host and port as people write them, an
// IPv6 address in brackets so that its port stays apart.
std::string HostAndPort(const PortTarget& target);

// True for text that names a network port ("tcp://...", "rfc2217://...", "rigctld://...",
// "flrig://..." in any letter case), well-formed or not.
bool IsNetworkAddress(std::string_view text);

// What DeviceForPort's result stands for. "rfc2217://pi:2000", "tcp://10.0.0.5:3000",
// "tcp://[fe80::1]:3000", "rigctld://localhost" (port 4532); nothing for a network address that is
// not host:port with a port of 1..65535 (a server's port may be left out). Anything else is a
// device path.
std::optional<PortTarget> ParsePortTarget(std::string_view text);

// Whether a device path that goes and comes back is the same device again. A pseudo-terminal's
// name (/dev/pts/N) is handed to the next program that asks for one, a terminal window as like as
// not: it never is. A link made to it (radiosim --link) is, as its maker re-creates it.
bool NamesTheSameDeviceWhenBack(std::string_view path);

// "Com 3 (/dev/ttyUSB0)": how error messages name a port; "Com 3" when no device is known.
std::string PortLabel(std::int16_t number, const std::string& device);

// "Com 3 opens /dev/ttyUSB0": the port list's tooltip for its selected entry.
std::string PortTooltip(SettingsStore& store, std::int16_t number);

}  // namespace cat
