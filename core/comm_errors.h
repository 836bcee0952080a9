#pragma once

// The serial port's own failures: a number each, and a sentence that tells the operator what
// happened to which device. A system message, when there is one, follows in brackets as detail.
//
//   Error 8011 : Com 3 (/dev/ttyUSB0) is in use by another program: ...

#include <array>
#include <string>
#include <string_view>

#include "core/cat_error.h"

namespace cat {

enum class CommFault {
    NoPortChosen,
    InvalidPortNumber,
    InvalidSettings,
    InvalidHandshaking,
    PortAlreadyOpen,
    InvalidInputMode,
    PortChangeWhileOpen,
    DeviceNotFound,
    DeviceInUse,
    PortNotOpen,
    PermissionDenied,
    SettingsRejected,
    DeviceLost,
    OpenFailed,
};

struct CommFaultText {
    CommFault fault;
    int number;
    // {port} is the port and its device ("Com 3 (/dev/ttyUSB0)"), {value} the rejected value.
    std::string_view text;
};

inline constexpr std::array<CommFaultText, 14> kCommFaults{{
    {CommFault::NoPortChosen, 8001, "No serial port is chosen: pick one of Com 1 to Com 32."},
    {CommFault::InvalidPortNumber, 8002,
     "Com {value} is not a port this program can use: pick one of Com 1 to Com 32."},
    {CommFault::InvalidSettings, 8003,
     "The line settings \"{value}\" are not valid: they read speed,parity,data bits,stop bits, "
     "for example 9600,n,8,2."},
    {CommFault::InvalidHandshaking, 8004,
     "Handshaking {value} is not offered: use 0 (none) or 2 (RTS/CTS)."},
    {CommFault::PortAlreadyOpen, 8005, "{port} is already open."},
    {CommFault::InvalidInputMode, 8006,
     "Input mode {value} is not offered: use 0 (text) or 1 (binary)."},
    {CommFault::PortChangeWhileOpen, 8007,
     "{port} is open: close it before choosing another port."},
    {CommFault::DeviceNotFound, 8010,
     "{port} was not found: check that the interface is plugged in and switched on, or name the "
     "device this port opens in the [Ports] group of the settings file."},
    {CommFault::DeviceInUse, 8011,
     "{port} is in use by another program: close that program, or pick another port."},
    {CommFault::PortNotOpen, 8012, "{port} is not open."},
    {CommFault::PermissionDenied, 8013,
     "You are not allowed to use {port}: the user must be allowed to use serial devices. On "
     "Debian Linux, add the user to the dialout group (sudo adduser <user> dialout) and log in "
     "again."},
    {CommFault::SettingsRejected, 8014,
     "{port} did not accept the line settings {value}, or is not a serial port."},
    {CommFault::DeviceLost, 8015,
     "{port} is not open: it was closed when the device stopped answering (unplugged or switched "
     "off). Connect it again and reopen the port."},
    {CommFault::OpenFailed, 8016, "{port} could not be opened."},
}};

inline const CommFaultText& CommFaultEntry(CommFault fault) {
    for (const auto& entry : kCommFaults)
        if (entry.fault == fault) return entry;
    return kCommFaults.back();
}

inline int CommErrorNumber(CommFault fault) { return CommFaultEntry(fault).number; }

// The description of `fault` with its blanks filled in; `detail` (a system message) follows
// in brackets when given.
inline std::string CommErrorText(CommFault fault, std::string_view port, std::string_view value,
                                 std::string_view detail) {
    const std::string_view text = CommFaultEntry(fault).text;
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text.substr(i, 6) == "{port}") {
            out += port;
            i += 6;
        } else if (text.substr(i, 7) == "{value}") {
            out += value;
            i += 7;
        } else {
            out.push_back(text[i++]);
        }
    }
    if (!detail.empty()) {
        out += " (";
        out += detail;
        out += ")";
    }
    return out;
}

inline CatError CommError(CommFault fault, std::string_view port = {}, std::string_view value = {},
                          std::string_view detail = {}) {
    return CatError(CommErrorNumber(fault), CommErrorText(fault, port, value, detail));
}

}  // namespace cat
