#pragma once

// Reading the system's own files below a root folder: "/" on the running system, a made-up tree
// in tests and benchmarks. Links inside the tree are followed inside it; a link that leaves it (a
// by-id entry pointing at a real pseudo-terminal) names the system's own path.

#include <charconv>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace cat {

// `path` under `root` as the system inside it names it: /dev/ttyUSB0.
std::string Inside(const std::filesystem::path& root, const std::filesystem::path& path);

// The device's own node under the root, through any link such as /dev/serial/by-id/...
std::string Resolved(const std::filesystem::path& root, const std::string& device);

// A file's first line without its blanks; "" when it cannot be read.
std::string FirstLine(const std::filesystem::path& file);

// A folder's entries; none when it cannot be read.
std::vector<std::filesystem::path> Entries(const std::filesystem::path& folder);

// A number from a system file; nothing for one that is no number or too large, which a
// hand-edited /etc/group may hold.
template <typename T>
std::optional<T> NumberIn(std::string_view text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Where a terminal hangs off USB: the USB device (the nearest folder above it with a vendor ID)
// and the interface of that device it belongs to, which tells apart two ports of one device.
struct UsbPlace {
    std::filesystem::path device;     // .../usb1/1-1
    std::filesystem::path interface;  // .../usb1/1-1/1-1:1.0
};

// The USB place of the terminal `device` ("/dev/ttyUSB0", as the system inside the root names
// it); nothing for a terminal that is no USB device.
std::optional<UsbPlace> UsbPlaceOf(const std::filesystem::path& root, const std::string& device);

}  // namespace cat
