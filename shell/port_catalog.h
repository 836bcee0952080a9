#pragma once

// What each "Com N" opens on this computer now, for the port list, its tooltip and the
// --list-ports table; and the Com numbers new USB adapters get. Everything here works on a
// snapshot the shell takes (the serial library's list of ports, /dev/serial/by-id, and a way to
// follow a path to its device), so it is tested from tables.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/port_names.h"
#include "core/settings_store.h"
#include "shell/host_check.h"

namespace cat {

// One serial port the system lists now, as its serial library describes it.
struct SerialDeviceInfo {
    std::string location;      // "/dev/ttyUSB0"
    std::string description;   // "CP2102 USB to UART Bridge Controller"
    std::string manufacturer;  // "Silicon Labs"
    std::string serialNumber;  // "0001"
};

// One entry of /dev/serial/by-id: a name that stays with one adapter across replugs and
// reboots, whatever ttyUSBn it becomes, and the device it stands for now.
struct StableName {
    std::string name;    // "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0"
    std::string device;  // "/dev/ttyUSB0"
};

inline constexpr const char* kStableNameFolder = "/dev/serial/by-id";

struct DeviceSnapshot {
    std::vector<SerialDeviceInfo> devices;
    std::string stableNameFolder = kStableNameFolder;  // where stableNames were found
    std::vector<StableName> stableNames;
    // The device a path stands for now, links followed; nothing when it does not exist.
    std::function<std::optional<std::string>(const std::string&)> resolve;
};

struct PortRow {
    std::int16_t number = 0;
    std::string opens;                     // as DeviceForPort gives it: a path or a network address
    std::optional<PortTarget> target;      // nothing for a malformed network address
    bool mapped = false;                   // named in [Ports]
    bool present = false;                  // a device path that exists now
    std::string device;                    // what a present path stands for now ("/dev/ttyUSB0")
    std::string stableName;                // that device's name in /dev/serial/by-id, if it has one
    std::string mappedStableName;          // the by-id name the mapping is written with, if so
    std::optional<SerialDeviceInfo> info;  // when the system lists that device as a serial port
    std::string lineEntries;         // what the port's DTR and RTS entries set: "DTR off, RTS on"
    std::string ignoredLineEntries;  // entries that are neither on nor off: "Com3.RTS=maybe"
};

// Rows for Com 1 to Com 32, in order.
std::vector<PortRow> DescribePorts(SettingsStore& store, const DeviceSnapshot& snapshot);

// Worth showing: mapped in [Ports], or the system's own serial port of that number is there.
bool OpensSomething(const PortRow& row);

// "Com 3  ttyUSB0 (CP2102 USB to UART Bridge Controller)", "Com 5  rfc2217://pi:2000",
// "Com 4  FTDI_FT232R_USB_UART_A50285BI (absent)", "Com 2  ttyS1 (absent)" when the system's own
// port is not there, or just "Com 7" when its device is there but no serial port the system lists.
std::string PortEntryText(const PortRow& row);

// Everything known of the entry, one sentence: the port list's tooltip.
std::string PortRowTooltip(const PortRow& row);

// USB adapters present that no Com number reaches get the lowest free number from 3 up, saved
// in [Ports] under their /dev/serial/by-id name (the snapshot's folder). A number is free when
// [Ports] has no key for it at all and the system's own serial port of that number is not there.
// Existing keys, written by hand or earlier, are never changed. Returns what was assigned; writes
// nothing when nothing is.
struct Assignment {
    std::int16_t number = 0;
    std::string stableName;
};
std::vector<Assignment> AssignNewAdapters(SettingsStore& store, const DeviceSnapshot& snapshot);

// The --list-ports table: one line per entry that opens something, then any serial port present
// that no Com number reaches; columns Com, device, by-id name, description.
// A port that something on the computer gets in the way of is marked with the findings' names
// ("host: getty"), and an adapter that has no port at all gets a line of its own.
std::string PortTable(const std::vector<PortRow>& rows, const DeviceSnapshot& snapshot,
                      const std::vector<HostFinding>& host = {});

}  // namespace cat
