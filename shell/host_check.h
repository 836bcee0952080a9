#pragma once

// What the computer itself does to a serial port, before the operator blames the radio: a braille
// service that takes USB-serial chips, a modem manager that probes new ports, a serial group the
// session has not picked up yet, a login prompt on the port, USB autosuspend, an adapter with no
// driver. Everything is read below a root folder (the system's own is "/"), so a made-up tree
// stands in for the system in tests. Nothing here writes anywhere: the findings carry the command
// or the udev rule line for the operator to run or add.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "doctor/diagnosis.h"

namespace cat {

struct HostFinding {
    std::string id;      // "braille-service", "modem-manager", "group-not-in-session", "getty",
                         // "autosuspend", "no-driver"
    std::string brief;   // one short line
    std::string text;    // what happens, in the operator's words
    std::string advice;  // the command to run or the rule line to add
    std::string device;  // the port it touches ("/dev/ttyUSB0"), or the adapter with no port
                         // ("USB 1a86:7523")
};

// What the check looks at: the ports of interest, and who the process is (passed in, so that a
// test can be a user whose session lacks a group).
struct HostView {
    std::filesystem::path root = "/";
    std::vector<std::string> devices;   // "/dev/ttyUSB0", as the settings name them
    std::string user;                   // "alice"
    std::vector<std::uint32_t> groups;  // the process's group ids, its own and supplementary
    std::int64_t self = 0;              // this process, which is no holder of the port
};

std::vector<HostFinding> CheckHost(const HostView& view);

// The view of this process on this system.
HostView ThisProcessView(std::vector<std::string> devices);

// The finding among `findings` that explains `verdict`, if any: its words join the verdict's text
// and its advice replaces the verdict's, which would otherwise send the operator to the radio.
// Only a finding for the verdict's own device, or for an adapter that has no port, counts.
doctor::Verdict ExplainedByHost(doctor::Verdict verdict, const std::vector<HostFinding>& findings,
                                const std::string& device);

// The findings that touch `device`.
std::vector<HostFinding> FindingsFor(const std::vector<HostFinding>& findings,
                                     const std::string& device);

}  // namespace cat
