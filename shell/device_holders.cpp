#include "shell/device_holders.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>
#include <span>

#include "core/text.h"
#include "protocols/families.h"

namespace cat {

namespace {

using Option = ServerOption;
// How a server's command line reads: its family's record says.
using Server = ServerFacts;

// Addresses a server on this computer listens on for every caller or for this computer alone:
// localhost reaches it.
constexpr std::array<std::string_view, 7> kReachedAsLocalhost{
    "", "0.0.0.0", "::", "ANY", "127.0.0.1", "::1", "LOCALHOST"};

std::vector<std::string_view> Words(std::string_view commandLine) {
    std::vector<std::string_view> words;
    while (!commandLine.empty()) {
        const std::size_t end = commandLine.find('\0');
        words.push_back(commandLine.substr(0, end));
        if (end == std::string_view::npos) break;
        commandLine.remove_prefix(end + 1);
    }
    return words;
}

std::string_view BaseName(std::string_view path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

const Server* ServerNamed(std::string_view program) {
    for (const RadioFamily* family : ServerFamilies()) {
        const Server& server = *family->Record().server;
        const std::string renamed = std::string(server.processName) + "-";
        if (program == server.processName ||
            (server.renamedBuilds && program.substr(0, renamed.size()) == renamed))
            return &server;
    }
    return nullptr;
}

const Option* LongOption(const Server& server, std::string_view key) {
    const Option* match = nullptr;
    for (const Option& option : server.options) {
        if (option.name == key) return &option;
        if (server.abbreviatedOptions && !key.empty() && option.name.substr(0, key.size()) == key) {
            if (match) return nullptr;  // ambiguous: the server refuses it
            match = &option;
        }
    }
    return match;
}

const Option* ShortOption(const Server& server, char letter) {
    for (const Option& option : server.options)
        if (option.letter != 0 && option.letter == letter) return &option;
    return nullptr;
}

// Every option with a value, by its long name; the last one given counts, as it does for the
// server.
std::map<std::string_view, std::string_view> OptionValues(const Server& server,
                                                          std::span<const std::string_view> args) {
    std::map<std::string_view, std::string_view> values;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view word = args[i];
        const auto valueAfter = [&]() -> std::string_view {
            return i + 1 < args.size() ? args[++i] : std::string_view();
        };
        if (word == "--") break;
        if (word.substr(0, 2) == "--") {
            const std::string_view body = word.substr(2);
            const std::size_t equals = body.find('=');
            const Option* option = LongOption(server, body.substr(0, equals));
            if (!option || !option->takesValue) continue;
            values[option->name] =
                equals != std::string_view::npos ? body.substr(equals + 1) : valueAfter();
        } else if (word.size() > 1 && word[0] == '-') {
            for (std::size_t at = 1; at < word.size(); ++at) {
                const Option* option = ShortOption(server, word[at]);
                if (!option || !option->takesValue) continue;
                values[option->name] = at + 1 < word.size() ? word.substr(at + 1) : valueAfter();
                break;
            }
        }
    }
    return values;
}

std::optional<std::uint16_t> PortNumber(std::string_view text) {
    text = Trim(text);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

std::string ReachableHost(std::string_view address) {
    address = Trim(address);
    if (address.size() > 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    const std::string upper = UpperCase(address);
    const bool local = std::find(kReachedAsLocalhost.begin(), kReachedAsLocalhost.end(), upper) !=
                       kReachedAsLocalhost.end();
    return local ? "localhost" : std::string(address);
}

PortTarget ServerTarget(const Server& server, std::span<const std::string_view> args) {
    const auto values = OptionValues(server, args);
    const auto value = [&](std::string_view name) {
        const auto it = values.find(name);
        return it == values.end() ? std::string_view() : it->second;
    };
    PortTarget target;
    target.kind = server.portKind;
    target.host = ReachableHost(value(server.addressOption));
    target.port = PortNumber(value(server.portOption)).value_or(server.defaultPort);
    return target;
}

bool SameServer(const PortTarget& a, const PortTarget& b) {
    return a.kind == b.kind && a.port == b.port && UpperCase(a.host) == UpperCase(b.host);
}

}  // namespace

HoldingProcess HolderOf(std::int64_t pid, std::string_view commandLine,
                        std::string_view shortName) {
    HoldingProcess holder;
    holder.pid = pid;
    const std::vector<std::string_view> words = Words(commandLine);
    const std::string_view program = words.empty() ? std::string_view() : BaseName(words.front());
    holder.program = std::string(!program.empty()     ? program
                                 : !shortName.empty() ? Trim(shortName, kBlanks)
                                                      : "a program");
    if (const Server* server = ServerNamed(holder.program))
        holder.server = ServerTarget(*server, std::span<const std::string_view>(words).subspan(1));
    return holder;
}

std::string HolderText(const HoldingProcess& holder) {
    return holder.program + " (process " + std::to_string(holder.pid) + ")";
}

std::string HoldersText(const std::vector<HoldingProcess>& holders) {
    std::string text;
    for (std::size_t i = 0; i < holders.size(); ++i) {
        if (i > 0) text += i + 1 == holders.size() ? " and " : ", ";
        text += HolderText(holders[i]);
    }
    return text;
}

std::string SharedOpenWarning(const std::vector<HoldingProcess>& holders, const std::string& port) {
    if (holders.empty()) return {};
    const bool one = holders.size() == 1;
    return HoldersText(holders) + (one ? " also has " : " also have ") + port +
           (one ? " open: its" : " open: their") + " commands and ours will mix";
}

std::string ScanRefusal(const std::string& device, const std::vector<HoldingProcess>& holders,
                        const std::string& port) {
    if (const auto target = ParsePortTarget(device); target && ThroughServer(target->kind))
        return "Find radio does not probe a rig-sharing server: its own settings choose the radio.";
    return holders.empty() ? std::string() : NotProbedText(holders, port);
}

std::string NotProbedText(const std::vector<HoldingProcess>& holders, const std::string& port) {
    return port + ": held by " + HoldersText(holders) + ", not probed";
}

std::optional<HoldingProcess> SharingServer(const std::vector<HoldingProcess>& holders) {
    const auto server = std::find_if(holders.begin(), holders.end(),
                                     [](const HoldingProcess& h) { return h.server.has_value(); });
    if (server == holders.end()) return std::nullopt;
    return *server;
}

std::string TestThroughText(const HoldingProcess& server, const std::string& port) {
    return port + " is held by " + HolderText(server) + ": test through it";
}

std::string ServerEntry(const PortTarget& server) {
    if (const RadioFamily* family = ServerFamily(server.kind))
        return std::string(family->Record().server->scheme) + HostAndPort(server);
    return HostAndPort(server);
}

std::optional<std::int16_t> ComForServer(const std::vector<PortRow>& rows,
                                         const PortTarget& server) {
    for (const PortRow& row : rows)
        if (row.mapped && row.target && SameServer(*row.target, server)) return row.number;
    for (const PortRow& row : rows)
        if (!row.mapped && !row.info) return row.number;
    for (const PortRow& row : rows)
        if (!row.mapped) return row.number;
    return std::nullopt;
}

ServerCom PutServerOnCom(SettingsStore& store, const std::vector<PortRow>& rows,
                         const std::string& entry) {
    const std::optional<PortTarget> server = ParsePortTarget(entry);
    if (!server) return {};
    const std::optional<std::int16_t> com = ComForServer(rows, *server);
    if (!com)
        return {std::nullopt, Refusal{"No free Com number",
                                      "Every Com number has an entry in [Ports]: write " + entry +
                                          " to one of them in the settings file, then choose it."}};
    if (rows[static_cast<std::size_t>(*com - kFirstPort)].mapped) return {com, std::nullopt};
    store.Write(kPortsGroup, PortKey(*com), entry);
    if (store.Sync()) return {com, std::nullopt};
    const std::string number = std::to_string(*com);
    return {com, Refusal{"Not saved: Com" + number + "=" + entry,
                         "The settings file could not be written, so Com " + number +
                             " does not open " + entry + "."}};
}

}  // namespace cat
