#include "core/port_names.h"

#include <algorithm>
#include <array>

#include "core/text.h"

namespace cat {

namespace {

constexpr std::array<std::pair<std::string_view, PortKind>, 4> kSchemes{{
    {"tcp://", PortKind::RawTcp},
    {"rfc2217://", PortKind::Rfc2217},
    {"rigctld://", PortKind::Rigctld},
    {"flrig://", PortKind::Flrig},
}};

// The port of a server entry that names none; 0 where a port must be written.
std::uint16_t DefaultPort(PortKind kind) {
    switch (kind) {
        case PortKind::Rigctld:
            return kRigctldPort;
        case PortKind::Flrig:
            return kFlrigPort;
        default:
            return 0;
    }
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           UpperCase(text.substr(0, prefix.size())) == UpperCase(prefix);
}

std::optional<std::uint16_t> ParsePortNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// A host is one word: no blanks, no slashes, nothing a resolver would read as something else.
bool IsHostText(std::string_view host) {
    return !host.empty() && std::none_of(host.begin(), host.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '/' || c == '@' || c == '?' || c == '#' ||
               static_cast<unsigned char>(c) < 0x20;
    });
}

}  // namespace

std::string PortKey(std::int16_t number) { return "Com" + std::to_string(number); }

std::string DefaultDeviceForPort(std::int16_t number) {
    if (number < 1) return {};
#ifdef _WIN32
    return "COM" + std::to_string(number);
#else
    return "/dev/ttyS" + std::to_string(number - 1);
#endif
}

std::string DeviceForPort(SettingsStore& store, std::int16_t number) {
    if (number < 1) return {};
    const std::optional<std::string> named = store.Read(kPortsGroup, PortKey(number));
    const std::string_view device = named ? Trim(*named, kBlanks) : std::string_view{};
    if (device.empty()) return DefaultDeviceForPort(number);
#ifndef _WIN32
    if (device.front() != '/' && !IsNetworkAddress(device)) return "/dev/" + std::string(device);
#endif
    return std::string(device);
}

bool IsNetworkAddress(std::string_view text) {
    return std::any_of(kSchemes.begin(), kSchemes.end(),
                       [&](const auto& scheme) { return StartsWithNoCase(text, scheme.first); });
}

std::optional<PortTarget> ParsePortTarget(std::string_view text) {
    for (const auto& [scheme, kind] : kSchemes) {
        if (!StartsWithNoCase(text, scheme)) continue;
        const std::string_view rest = text.substr(scheme.size());
        std::string_view host;
        std::string_view port;
        if (!rest.empty() && rest.front() == '[') {
            const std::size_t close = rest.find(']');
            if (close == std::string_view::npos) return std::nullopt;
            const std::string_view after = rest.substr(close + 1);
            if (!(after.empty() && DefaultPort(kind) != 0) && after.substr(0, 1) != ":")
                return std::nullopt;
            host = rest.substr(1, close - 1);
            port = after.empty() ? after : after.substr(1);
        } else {
            const std::size_t colon = rest.rfind(':');
            if (colon == std::string_view::npos && DefaultPort(kind) == 0) return std::nullopt;
            host = rest.substr(0, colon);
            port = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
            // An unbracketed IPv6 address would make the port ambiguous.
            if (host.find(':') != std::string_view::npos) return std::nullopt;
        }
        const std::optional<std::uint16_t> number =
            port.empty() && DefaultPort(kind) != 0 ? DefaultPort(kind) : ParsePortNumber(port);
        if (!number || !IsHostText(host)) return std::nullopt;
        PortTarget target;
        target.kind = kind;
        target.host = std::string(host);
        target.port = *number;
        return target;
    }
    PortTarget target;
    target.device = std::string(text);
    return target;
}

bool NamesTheSameDeviceWhenBack(std::string_view path) {
    return path.rfind("/dev/pts/", 0) != 0 && !IsNetworkAddress(path);
}

std::string PortLabel(std::int16_t number, const std::string& device) {
    std::string label = "Com " + std::to_string(number);
    if (!device.empty()) label += " (" + device + ")";
    return label;
}

std::string PortTooltip(SettingsStore& store, std::int16_t number) {
    return "Com " + std::to_string(number) + " opens " + DeviceForPort(store, number);
}

std::string HostAndPort(const PortTarget& target) {
    const bool ipv6 = target.host.find(':') != std::string::npos;
    return (ipv6 ? "[" + target.host + "]" : target.host) + ":" + std::to_string(target.port);
}

}  // namespace cat
