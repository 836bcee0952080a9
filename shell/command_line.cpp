#include "shell/command_line.h"

#include <optional>

#include "protocols/families.h"

namespace cat {

namespace {

const CommandOption* Find(std::span<const CommandOption> options, std::string_view word) {
    for (const CommandOption& o : options)
        if (word == o.name || (!o.alias.empty() && word == o.alias)) return &o;
    return nullptr;
}

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

// "  -h, --help", "      --doctor [PORT]", "  -platform NAME": the left column of --help.
std::string Synopsis(const CommandOption& o) {
    std::string left = o.kind == OptionKind::Toolkit ? "  "
                       : o.alias.empty()             ? "      "
                                                     : "  " + std::string(o.alias) + ", ";
    left += o.name;
    if (o.value == OptionValue::Required) left += " " + std::string(o.valueName);
    if (o.value == OptionValue::Optional) left += " [" + std::string(o.valueName) + "]";
    return left;
}

void AppendRows(std::string& text, std::span<const CommandOption> options, OptionKind kind) {
    constexpr std::size_t kColumn = 24;
    for (const CommandOption& o : options) {
        if (o.kind != kind) continue;
        std::string left = Synopsis(o);
        left += left.size() + 2 <= kColumn ? std::string(kColumn - left.size(), ' ')
                                           : "\n" + std::string(kColumn, ' ');
        text += left;
        for (char c : o.help)
            text += c == '\n' ? "\n" + std::string(kColumn, ' ') : std::string(1, c);
        text += '\n';
    }
}

struct GivenOption {
    const CommandOption* option = nullptr;
    bool hasValue = false;
    std::string value;
};

// The option at args[i] with its value; i moves past a value given as the next word. Nothing,
// with `error` set, on a usage error.
std::optional<GivenOption> ReadOption(std::span<const std::string> args, std::size_t& i,
                                      std::span<const CommandOption> options, std::string& error) {
    const std::string& arg = args[i];
    // "--name=value" for long options; Qt's single-dash options take their value apart.
    const std::size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
    const std::string word = arg.substr(0, equals);
    GivenOption given{Find(options, word), equals != std::string::npos, ""};
    if (!given.option) {
        error = arg.empty() || arg[0] != '-' ? "unexpected argument " + Quoted(arg)
                                             : "unknown option " + Quoted(word);
        return std::nullopt;
    }
    const CommandOption& o = *given.option;
    if (given.hasValue) given.value = arg.substr(equals + 1);
    if (given.hasValue && o.value == OptionValue::None) {
        error = "option " + Quoted(o.name) + " takes no value";
        return std::nullopt;
    }
    // A separate word is the value when the option needs one, or when it may take one and the
    // word is no option itself ("--doctor /dev/ttyUSB0", "--doctor --help").
    const bool nextIsValue = i + 1 < args.size() && !args[i + 1].empty() &&
                             (o.value == OptionValue::Required ||
                              (o.value == OptionValue::Optional && args[i + 1][0] != '-'));
    if (!given.hasValue && nextIsValue) {
        given.hasValue = true;
        given.value = args[++i];
    }
    if (o.value == OptionValue::Required && !given.hasValue) {
        error = "option " + Quoted(o.name) + " needs " + std::string(o.valueName);
        return std::nullopt;
    }
    return given;
}

// The protocol's line names every family of the list: ProtocolChoicesText() goes between these.
constexpr std::string_view kHelpUsage =
    "Usage: catlink [OPTION]...\n"
    "Checks the CAT link between this computer and a transceiver: choose the\n"
    "protocol (";
constexpr std::string_view kHelpIntro =
    "), the serial port, the speed and, for\n"
    "ICOM, the radio's address, tick Open, and the window shows the radio's\n"
    "frequency and mode. A frequency typed into the box next to Set, or a mode\n"
    "picked from the list, is sent to the radio.\n"
    "\n"
    "Without an option the window opens. One copy runs per user: starting another\n"
    "brings the running window to the front.\n"
    "\n"
    "Options:\n";

constexpr std::string_view kHelpFilesAndStatus =
    "\n"
    "Files:\n"
    "  $XDG_CONFIG_HOME/CAT/CAT.ini, or ~/.config/CAT/CAT.ini when it is not set:\n"
    "      the settings: [Setup] holds the window's place and the last protocol,\n"
    "      port, speed, address and \"On top\"; [Ports] maps a list entry to a device,\n"
    "      e.g. Com3=/dev/ttyUSB0 (\"Com N\" opens /dev/ttyS<N-1> otherwise), or to a\n"
    "      serial port on the network, Com5=rfc2217://host:port or tcp://host:port,\n"
    "      or to a rig-sharing server that holds the radio's port,\n"
    "      Com6=rigctld://host[:4532] or flrig://host[:12345];\n"
    "      Com3.Handshake=none, rtscts or auto sets RTS/CTS for that port;\n"
    "      Com3.DTR=on|off and Com3.RTS=on|off set those lines while it is open\n"
    "      (without them DTR is on and RTS off); a closed port leaves both off.\n"
    "      The file is rewritten when the window closes; comments in it are not kept.\n"
    "  ~/.local/state/CAT/catlink.lock\n"
    "      held while a copy runs, with a socket beside it to bring that copy's\n"
    "      window to the front.\n"
    "\n"
    "Exit status:\n"
    "  0  the window was closed, or --help, --version or --list-ports was\n"
    "     answered, or --doctor read the radio's frequency (and with --ptt, keying\n"
    "     and unkeying worked)\n"
    "  1  the program could not start: there is no display, or a file is in the\n"
    "     way of its lock (the message names it and says what to do)\n"
    "  1  --doctor: the link read no frequency (a radio found at other\n"
    "     settings is printed as found), or the --ptt test did not key and unkey\n"
    "  2  the command line was wrong, or --doctor could not use the port\n"
    "  3  another copy is already running; its window was brought to the front\n";

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string> args,
                             std::span<const CommandOption> options) {
    CommandLine result;
    bool help = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::optional<GivenOption> given = ReadOption(args, i, options, result.error);
        if (!given) return result;
        const CommandOption& o = *given->option;
        if (o.kind == OptionKind::Toolkit) continue;
        if (o.kind == OptionKind::Setting) {
            std::erase_if(result.settings, [&](const auto& s) { return s.first == o.name; });
            result.settings.emplace_back(o.name, given->value);
            continue;
        }
        if (o.name == kHelpMode) {
            help = true;
            continue;
        }
        if (!result.mode.empty() && result.mode != o.name) {
            result.error = Quoted(result.mode) + " and " + Quoted(o.name) + " cannot be combined";
            return result;
        }
        result.mode = o.name;
        result.hasValue = given->hasValue;
        result.value = given->value;
    }
    if (help) {
        result = CommandLine();
        result.mode = kHelpMode;
        return result;
    }
    for (const auto& [name, value] : result.settings) {
        const CommandOption& o = *Find(options, name);
        if (result.mode != o.forMode) {
            result.error = Quoted(o.name) + " only goes with " + Quoted(o.forMode);
            return result;
        }
    }
    return result;
}

std::optional<std::string> CommandLine::Setting(std::string_view name) const {
    for (const auto& [given, givenValue] : settings)
        if (given == name) return givenValue;
    return std::nullopt;
}

std::string ProtocolChoicesText() {
    const std::span<const RadioFamily* const> families = Families();
    std::string text;
    for (std::size_t i = 0; i < families.size(); ++i) {
        if (i > 0) text += i + 1 == families.size() ? " or " : ", ";
        text += families[i]->Name();
    }
    return text;
}

std::string HelpText(std::span<const CommandOption> options) {
    std::string text = std::string(kHelpUsage) + ProtocolChoicesText() + std::string(kHelpIntro);
    AppendRows(text, options, OptionKind::Mode);
    AppendRows(text, options, OptionKind::Setting);
    text += "\nQt's options, passed on to the window system:\n";
    AppendRows(text, options, OptionKind::Toolkit);
    text += kHelpFilesAndStatus;
    return text;
}

std::string UsageErrorLine(const std::string& error) {
    return "catlink: " + error + " (try 'catlink --help')\n";
}

}  // namespace cat
