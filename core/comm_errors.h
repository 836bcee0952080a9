#pragma once

// The serial port's own failures: a number each, and a sentence that tells the operator what
// happened to which device. A system message, when there is one, follows in brackets as detail.
//
//   Error 8011 : Com 3 (/dev/ttyUSB0) is in use by another program: ...

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "core/cat_error.h"

namespace cat {

enum class CommFault {
    NoPortChosen,
    InvalidPortNumber,
    InvalidSettings,
    PortAlreadyOpen,
    PortChangeWhileOpen,
    DeviceNotFound,
    DeviceInUse,
    PortNotOpen,
    PermissionDenied,
    SettingsRejected,
    DeviceLost,
    OpenFailed,
    InvalidNetworkAddress,
    HostNotFound,
    ConnectionRefused,
    NoAnswer,
    ConnectionLost,
    FarPortRefused,
    NoPortControl,
};

struct CommFaultText {
    CommFault fault;
    int number;
    // {port} is the port and its device ("Com 3 (/dev/ttyUSB0)"), {value} the rejected value,
    // {reopens} the sentence below.
    std::string_view text;
    // What the window does about it while Open stays ticked; a look that runs once leaves it out.
    std::string_view reopens = {};
};

inline constexpr std::array<CommFaultText, 19> kCommFaults{{
    {CommFault::NoPortChosen, 8001, "No serial port is chosen: pick one of Com 1 to Com 32."},
    {CommFault::InvalidPortNumber, 8002,
     "Com {value} is not a port this program can use: pick one of Com 1 to Com 32."},
    {CommFault::InvalidSettings, 8003,
     "The line settings \"{value}\" are not valid: they read speed,parity,data bits,stop bits, "
     "for example 9600,n,8,2."},
    {CommFault::PortAlreadyOpen, 8005, "{port} is already open."},
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
     "Debian Linux, add the user to the dialout group (sudo adduser {value} dialout) and log in "
     "again."},
    {CommFault::SettingsRejected, 8014,
     "{port} did not accept the line settings {value}, or is not a serial port."},
    {CommFault::DeviceLost, 8015,
     "{port} is not open: it was closed when the device stopped answering (unplugged or switched "
     "off).{reopens}",
     " The link reopens by itself when the device is back while Open stays ticked."},
    {CommFault::OpenFailed, 8016, "{port} could not be opened."},
    {CommFault::InvalidNetworkAddress, 8017,
     "{port}: \"{value}\" is not a network port this program can use: write "
     "rfc2217://host:port, tcp://host:port, rigctld://host[:port] or flrig://host[:port] in the "
     "[Ports] group of the settings file."},
    {CommFault::HostNotFound, 8018,
     "{port}: the computer {value} was not found on the network: check its name, or write its "
     "address instead."},
    {CommFault::ConnectionRefused, 8019,
     "{port}: {value} refused the connection: nothing listens on that port there. Check that "
     "the program serving it (ser2net, rigctld, flrig) runs there and listens on this port "
     "number, and that no other program is connected to it."},
    {CommFault::NoAnswer, 8020,
     "{port}: {value} did not answer: check that the computer beside the radio is switched on "
     "and on the network."},
    {CommFault::ConnectionLost, 8021,
     "{port} is not open: the connection to {value} was lost.{reopens}",
     " The link reopens by itself when the far end answers again."},
    {CommFault::FarPortRefused, 8022,
     "{port}: the serial port at the far end did not take {value}."},
    {CommFault::NoPortControl, 8023,
     "{port}: {value} does not let the program set its serial port: publish it with ser2net's "
     "telnet(rfc2217) accepter, or write tcp:// instead of rfc2217:// to use it as it is set "
     "there."},
}};

inline const CommFaultText& CommFaultEntry(CommFault fault) {
    for (const auto& entry : kCommFaults)
        if (entry.fault == fault) return entry;
    return kCommFaults.back();
}

inline int CommErrorNumber(CommFault fault) { return CommFaultEntry(fault).number; }

// The port fault an error number stands for; nothing for the errors that are not the port's.
inline std::optional<CommFault> CommFaultOf(int errorNumber) {
    for (const auto& entry : kCommFaults)
        if (entry.number == errorNumber) return entry.fault;
    return std::nullopt;
}

// Failures that mean "not there now" rather than "wrong": a device that is not plugged in, a far
// end that is not up yet. A link ticked open waits for these to pass instead of reporting them.
inline bool MeansAbsent(int errorNumber) {
    const std::optional<CommFault> fault = CommFaultOf(errorNumber);
    if (!fault) return false;
    for (CommFault absence :
         {CommFault::DeviceNotFound, CommFault::DeviceLost, CommFault::ConnectionRefused,
          CommFault::NoAnswer, CommFault::ConnectionLost})
        if (*fault == absence) return true;
    return false;
}

// The description of `fault` with its blanks filled in; `detail` (a system message) follows
// in brackets when given.
inline std::string CommErrorText(CommFault fault, std::string_view port, std::string_view value,
                                 std::string_view detail) {
    const CommFaultText& entry = CommFaultEntry(fault);
    const std::string_view text = entry.text;
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        if (text.substr(i, 6) == "{port}") {
            out += port;
            i += 6;
        } else if (text.substr(i, 7) == "{value}") {
            out += value;
            i += 7;
        } else if (text.substr(i, 9) == "{reopens}") {
            out += entry.reopens;
            i += 9;
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

// `text` without the promise that the link reopens by itself, for a look at the link that runs
// once and ends.
inline std::string WithoutReopening(std::string text) {
    for (const auto& entry : kCommFaults) {
        if (entry.reopens.empty()) continue;
        for (std::size_t at; (at = text.find(entry.reopens)) != std::string::npos;)
            text.erase(at, entry.reopens.size());
    }
    return text;
}

inline CatError CommError(CommFault fault, std::string_view port = {}, std::string_view value = {},
                          std::string_view detail = {}) {
    return CatError(CommErrorNumber(fault), CommErrorText(fault, port, value, detail));
}

}  // namespace cat
