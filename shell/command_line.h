#pragma once

// The program's command line. It is read before any window or display exists, so that --help,
// --version and a mistyped option answer on a terminal with no display (over SSH).
//
// Each option is one row of kOptions. A row of kind Mode selects what the program does instead of
// opening the window; main() keeps a table from the option's name to its handler, so a new mode is
// a row here and a row plus a function there. A Setting row tunes one mode (`forMode`) and is
// refused without it. A Toolkit row is one of Qt's own options: it is accepted and left in argv
// for QApplication to read.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace cat {

// Exit statuses, as --help lists them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitCannotStart = 1;  // no display, or a file in the way of the lock
inline constexpr int kExitUsage = 2;
inline constexpr int kExitAlreadyRunning = 3;

enum class OptionKind { Mode, Setting, Toolkit };
enum class OptionValue { None, Optional, Required };

struct CommandOption {
    std::string_view name;   // "--help"; toolkit options keep Qt's single dash ("-platform")
    std::string_view alias;  // "-h", or empty
    OptionKind kind;
    OptionValue value;
    std::string_view valueName;  // "PORT" in "--doctor [PORT]"
    std::string_view help;       // for --help; '\n' starts a continuation line
    std::string_view forMode;    // a Setting's mode
};

inline constexpr CommandOption kOptions[] = {
    {"--help", "-h", OptionKind::Mode, OptionValue::None, "", "show this text and exit", ""},
    {"--version", "", OptionKind::Mode, OptionValue::None, "", "print the version and exit", ""},
    {"--doctor", "", OptionKind::Mode, OptionValue::Optional, "PORT",
     "check the link without a window: open the stored\n"
     "setup, or PORT (/dev/ttyUSB0, \"Com 3\"), listen to\n"
     "the radio and, when none answers, try every\n"
     "protocol at every speed; print the verdict and\n"
     "the traffic. Exit 0: a radio answered, 1: none\n"
     "did, 2: the port could not be used",
     ""},
    {"--list-ports", "", OptionKind::Mode, OptionValue::None, "",
     "print what each \"Com N\" opens: its device, the\n"
     "adapter's name in /dev/serial/by-id and its\n"
     "description, or its network address; new USB\n"
     "adapters get their Com numbers first, as in the\n"
     "window",
     ""},
    {"--ptt", "", OptionKind::Setting, OptionValue::Required, "cat|rts|dtr",
     "with --doctor, once the radio answered: key it by\n"
     "CAT command, by RTS or by DTR for a moment and\n"
     "print its transmit state before, while keyed and\n"
     "after. The radio transmits: mind the antenna",
     "--doctor"},
    {"--ptt-seconds", "", OptionKind::Setting, OptionValue::Required, "S",
     "how long --ptt keys the radio: 0.2 to 5 seconds,\n"
     "1 when not given",
     "--doctor"},
    {"-platform", "", OptionKind::Toolkit, OptionValue::Required, "NAME",
     "window system plugin: xcb, wayland, offscreen, ...", ""},
    {"-display", "", OptionKind::Toolkit, OptionValue::Required, "DISPLAY",
     "the X display to open (instead of $DISPLAY)", ""},
    {"-style", "", OptionKind::Toolkit, OptionValue::Required, "NAME", "widget style: Fusion, ...",
     ""},
    {"-session", "", OptionKind::Toolkit, OptionValue::Required, "ID",
     "given by the desktop's session manager", ""},
};

inline constexpr std::string_view kHelpMode = "--help";
inline constexpr std::string_view kVersionMode = "--version";
inline constexpr std::string_view kDoctorMode = "--doctor";
inline constexpr std::string_view kListPortsMode = "--list-ports";

// --doctor's own statuses beside the ones above: a radio answered (kExitOk), none did, or the
// port could not be used.
inline constexpr int kExitNoRadio = 1;
inline constexpr int kExitPortError = 2;

struct CommandLine {
    std::string_view mode;  // the Mode option's name; empty: open the window
    bool hasValue = false;  // the mode option was given a value
    std::string value;
    // Setting options given, by name ("--ptt" -> "rts"); a later one replaces an earlier one.
    std::vector<std::pair<std::string_view, std::string>> settings;
    std::string error;  // non-empty: a usage error, one line without the program's name

    // A setting's value, when given.
    std::optional<std::string> Setting(std::string_view name) const;
};

// args excludes the program's name. --help wins over every other mode; two other modes together
// are an error, as is anything not in the table.
CommandLine ParseCommandLine(std::span<const std::string> args,
                             std::span<const CommandOption> options = kOptions);

// "ICOM, Kenwood, FT-817 or Yaesu": the protocol list's entries in its order, as the help says
// them.
std::string ProtocolChoicesText();

// The whole --help text, every row of the table in it.
std::string HelpText(std::span<const CommandOption> options = kOptions);

// "catlink: unknown option '--x' (try 'catlink --help')": one line for standard error.
std::string UsageErrorLine(const std::string& error);

}  // namespace cat
