#include "link/known_ports.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>

namespace cat {

namespace {

// The model names that radios with a USB port of their own put at the start of their USB serial
// or product string. A radio missing here costs the check on every Open; a name here is safe as
// long as no cable or interface begins its strings with it. The sources are /dev/serial/by-id
// names that owners of the radios published in their station scripts and notes. No Kenwood or
// Yaesu radio is listed: none was found naming itself, and a Yaesu's USB chip keeps its maker's
// strings and a plain number as serial ("usb-Silicon_Labs_CP2105_Dual_USB_to_UART_Bridge_
// Controller_00C99175-if00-port0"), which tells nothing a cable could not say.
constexpr std::array<std::string_view, 7> kRadioNames{
    "IC-7300",   // serial "IC-7300 02040476" (..._Bridge_Controller_IC-7300_02040476-if00-port0)
    "IC-9700",   // serial "IC-9700 13013358 A" (..._Controller_IC-9700_13013358_A-if00-port0)
    "IC-7100",   // serial "IC-7100 02014042 A" (..._Controller_IC-7100_02014042_A-if00-port0)
    "IC-705",    // product "IC-705", serial "IC-705 16001096" (usb-Icom_Inc._IC-705_IC-705_...)
    "IC-7610",   // from memory
    "IC-7851",   // from memory
    "IC-R8600",  // from memory
};

// A radio's name begins the string and is not the start of a longer model number: "IC-7300
// 03001234" and "IC-7300MK2" name an IC-7300, "IC-7050" does not name an IC-705.
bool Names(std::string_view text, std::string_view name) {
    if (text.substr(0, name.size()) != name) return false;
    return text.size() == name.size() || text[name.size()] < '0' || text[name.size()] > '9';
}

// The fields of a line, in the order written, each ended by a tab, so that a line cut anywhere
// lacks one; a field may hold anything but a tab or line end.
constexpr std::string_view kTag = "port";
constexpr std::size_t kFields = 15;

bool Writable(const DeviceIdentity& id, std::string_view family) {
    const auto plain = [](std::string_view text) {
        return text.find_first_of("\t\r\n") == std::string_view::npos;
    };
    return plain(id.byId) && plain(id.serial) && plain(id.product) && plain(id.manufacturer) &&
           plain(id.vendorId) && plain(id.productId) && plain(id.usbPath) && plain(id.interface) &&
           plain(id.bootId) && plain(family);
}

// What proves a device the same: without each of these nothing is remembered or found.
bool Complete(const DeviceIdentity& id) {
    return !id.serial.empty() && !id.usbPath.empty() && !id.bootId.empty() && id.bus > 0 &&
           id.devnum > 0;
}

// Same device, same place, same plug-in, same boot.
bool SameDevice(const DeviceIdentity& a, const DeviceIdentity& b) {
    return a.serial == b.serial && a.vendorId == b.vendorId && a.productId == b.productId &&
           a.usbPath == b.usbPath && a.interface == b.interface && a.bus == b.bus &&
           a.devnum == b.devnum && a.bootId == b.bootId;
}

// The entry an earlier plug-in of this port left: the same device in the same place.
bool SamePort(const DeviceIdentity& a, const DeviceIdentity& b) {
    return a.serial == b.serial && a.vendorId == b.vendorId && a.productId == b.productId &&
           a.usbPath == b.usbPath && a.interface == b.interface;
}

std::optional<int> Positive(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
    return value;
}

std::optional<KnownPorts::Entry> EntryOf(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    if (fields.size() != kFields || fields[0] != kTag) return std::nullopt;
    const std::optional<int> bus = Positive(fields[6]);
    const std::optional<int> devnum = Positive(fields[7]);
    const std::optional<int> speed = Positive(fields[10]);
    if (!bus || !devnum || !speed) return std::nullopt;
    KnownPorts::Entry entry;
    DeviceIdentity& id = entry.identity;
    id.serial = fields[1];
    id.vendorId = fields[2];
    id.productId = fields[3];
    id.usbPath = fields[4];
    id.interface = fields[5];
    id.bus = *bus;
    id.devnum = *devnum;
    id.bootId = fields[8];
    entry.family = fields[9];
    entry.speed = *speed;
    id.byId = fields[11];
    id.product = fields[12];
    id.manufacturer = fields[13];
    if (!Complete(id)) return std::nullopt;
    return entry;
}

}  // namespace

bool RadioOwnPort(const DeviceIdentity& identity) {
    return std::any_of(kRadioNames.begin(), kRadioNames.end(), [&](std::string_view name) {
        return Names(identity.serial, name) || Names(identity.product, name);
    });
}

KnownPorts KnownPorts::Parse(std::string_view text) {
    KnownPorts ports;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        if (auto entry = EntryOf(text.substr(start, end - start)))
            ports.entries_.push_back(std::move(*entry));
        start = end + 1;
    }
    if (ports.entries_.size() > kMost)
        ports.entries_.erase(ports.entries_.begin(),
                             ports.entries_.end() - static_cast<std::ptrdiff_t>(kMost));
    return ports;
}

std::string KnownPorts::Text() const {
    std::string text =
        "# Ports where catlink skips the check for a five-byte radio until the device is unplugged"
        "\n# or the computer restarts. Deleting this file only brings the check back.\n";
    for (const Entry& e : entries_) {
        const DeviceIdentity& id = e.identity;
        for (const std::string& field :
             {std::string(kTag), id.serial, id.vendorId, id.productId, id.usbPath, id.interface,
              std::to_string(id.bus), std::to_string(id.devnum), id.bootId, e.family,
              std::to_string(e.speed), id.byId, id.product, id.manufacturer})
            text += field + '\t';
        text += '\n';
    }
    return text;
}

const KnownPorts::Entry* KnownPorts::Find(const DeviceIdentity& identity) const {
    if (!RadioOwnPort(identity) || !Complete(identity)) return nullptr;
    const auto entry = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return SameDevice(e.identity, identity);
    });
    return entry == entries_.end() ? nullptr : &*entry;
}

bool KnownPorts::CheckedBefore(const DeviceIdentity& identity) const {
    return Find(identity) != nullptr;
}

void KnownPorts::Remember(const DeviceIdentity& identity, std::string_view family, int speed) {
    if (!RadioOwnPort(identity) || !Complete(identity) || !Writable(identity, family) || speed <= 0)
        return;
    // A replugged device's old entry can never match again: the new one takes its place.
    std::erase_if(entries_, [&](const Entry& e) { return SamePort(e.identity, identity); });
    entries_.push_back({identity, std::string(family), speed});
    if (entries_.size() > kMost) entries_.erase(entries_.begin());
}

void KnownPorts::Forget(const DeviceIdentity& identity) {
    std::erase_if(entries_, [&](const Entry& e) {
        const DeviceIdentity& id = e.identity;
        const bool device = !identity.serial.empty() && id.serial == identity.serial &&
                            id.vendorId == identity.vendorId && id.productId == identity.productId;
        const bool place =
            !identity.usbPath.empty() && id.usbPath == identity.usbPath && id.bus == identity.bus;
        return device || place;
    });
}

}  // namespace cat
