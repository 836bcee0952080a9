#include "shell/port_catalog.h"

#include <algorithm>
#include <string_view>

#include "core/control_lines.h"
#include "core/text.h"
#include "protocols/families.h"

namespace cat {

namespace {

constexpr std::int16_t kFirstAssigned = 3;  // Com 1 and Com 2 keep the system's own ports

const SerialDeviceInfo* FindInfo(const DeviceSnapshot& snapshot, const std::string& device) {
    for (const auto& info : snapshot.devices)
        if (info.location == device) return &info;
    return nullptr;
}

const StableName* FindStableName(const DeviceSnapshot& snapshot, const std::string& device) {
    for (const auto& name : snapshot.stableNames)
        if (name.device == device) return &name;
    return nullptr;
}

// "/dev/ttyUSB0" -> "ttyUSB0", "/dev/pts/3" -> "pts/3"; a path elsewhere stays whole.
std::string ShortDevice(const std::string& path) {
    constexpr std::string_view kDev = "/dev/";
    return path.rfind(kDev, 0) == 0 ? path.substr(kDev.size()) : path;
}

bool EndsWithNumberAfter(std::string_view text, std::string_view word, std::size_t& start) {
    const std::size_t at = text.rfind(word);
    if (at == std::string_view::npos || at + word.size() == text.size()) return false;
    const std::string_view digits = text.substr(at + word.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    start = at;
    return true;
}

// "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" -> "FTDI_FT232R_USB_UART_A50285BI": the part an
// operator recognises; the whole name is in the tooltip.
std::string ShortStableName(std::string_view name) {
    if (name.rfind("usb-", 0) == 0) name.remove_prefix(4);
    std::size_t start = 0;
    if (EndsWithNumberAfter(name, "-port", start)) name = name.substr(0, start);
    if (EndsWithNumberAfter(name, "-if", start)) name = name.substr(0, start);
    return std::string(name);
}

// The stable name a mapping is written with, when it is one: ".../by-id/usb-..." -> "usb-...".
std::string StableNameOfPath(const DeviceSnapshot& snapshot, const std::string& path) {
    const std::string folder = snapshot.stableNameFolder + "/";
    return path.rfind(folder, 0) == 0 ? path.substr(folder.size()) : std::string{};
}

// "CP2102 USB to UART Bridge Controller, Silicon Labs, serial number 0001"
std::string FullDescription(const SerialDeviceInfo& info) {
    std::string text = info.description;
    const auto add = [&](const std::string& part) {
        if (part.empty()) return;
        if (!text.empty()) text += ", ";
        text += part;
    };
    if (info.description.find(info.manufacturer) == std::string::npos) add(info.manufacturer);
    if (!info.serialNumber.empty()) add("serial number " + info.serialNumber);
    return text;
}

bool IsNetwork(const PortRow& row) { return row.target && row.target->kind != PortKind::Device; }

std::string NetworkRemark(const PortRow& row) {
    if (!row.target)
        return "not a valid network address (rfc2217://host:port, tcp://host:port, "
               "rigctld://host[:port] or flrig://host[:port])";
    if (const RadioFamily* server = ServerFamily(row.target->kind))
        return std::string(server->Record().server->portRemark);
    if (row.target->kind == PortKind::Rfc2217)
        return "a serial port on the network (RFC 2217); the program sets its line speed";
    return "a network port (raw TCP); the line speed is whatever the far end is set to";
}

}  // namespace

std::vector<PortRow> DescribePorts(SettingsStore& store, const DeviceSnapshot& snapshot) {
    std::vector<PortRow> rows;
    for (std::int16_t n = kFirstPort; n <= kLastPort; ++n) {
        PortRow row;
        row.number = n;
        const std::optional<std::string> stored = store.Read(kPortsGroup, PortKey(n));
        row.mapped = stored && !Trim(*stored, kBlanks).empty();
        row.opens = DeviceForPort(store, n);
        row.target = ParsePortTarget(row.opens);
        row.mappedStableName = StableNameOfPath(snapshot, row.opens);
        const ControlLineChoice lines = ControlLinesFor(store, n);
        row.lineEntries = DescribeControlLines(lines);
        row.ignoredLineEntries = lines.ignored;
        if (row.target && row.target->kind == PortKind::Device && snapshot.resolve) {
            if (const auto device = snapshot.resolve(row.opens)) {
                row.present = true;
                row.device = *device;
                if (const StableName* name = FindStableName(snapshot, row.device))
                    row.stableName = name->name;
                if (const SerialDeviceInfo* info = FindInfo(snapshot, row.device)) row.info = *info;
            }
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

bool OpensSomething(const PortRow& row) { return row.mapped || row.info.has_value(); }

std::string PortEntryText(const PortRow& row) {
    std::string text = "Com " + std::to_string(row.number);
    // The system's own port of this number, not there: said as for any device that is absent
    // (a node that is there but no serial port the system lists says nothing).
    if (!OpensSomething(row) && row.target && row.target->kind == PortKind::Device && !row.present)
        return text + "  " + ShortDevice(row.opens) + " (absent)";
    if (!OpensSomething(row)) return text;
    text += "  ";
    if (IsNetwork(row)) return text + row.opens;
    if (!row.target) return text + row.opens + " (not a valid address)";
    if (!row.present) {
        const std::string& stable = row.mappedStableName;
        return text + (stable.empty() ? ShortDevice(row.opens) : ShortStableName(stable)) +
               " (absent)";
    }
    text += ShortDevice(row.device);
    if (row.info && !row.info->description.empty()) text += " (" + row.info->description + ")";
    return text;
}

namespace {

// "; DTR off, RTS on" and the entries that set nothing, for the end of a description.
std::string LineEntriesRemark(const PortRow& row) {
    std::string text;
    // A rig-sharing server owns the radio's port and its lines: entries for them set nothing.
    if (row.target && ThroughServer(row.target->kind) && !row.lineEntries.empty())
        text += "; not used, the server owns the radio's lines: " + row.lineEntries;
    else if (!row.lineEntries.empty())
        text += "; " + row.lineEntries;
    if (!row.ignoredLineEntries.empty())
        text += "; ignored (not on or off): " + row.ignoredLineEntries;
    return text;
}

}  // namespace

std::string PortRowTooltip(const PortRow& row) {
    std::string text = "Com " + std::to_string(row.number) + " opens " + row.opens;
    if (IsNetwork(row) || !row.target)
        return text + ": " + NetworkRemark(row) + LineEntriesRemark(row);
    if (!row.present)
        return text + ", which is not there now (unplugged or switched off)" +
               LineEntriesRemark(row);
    if (row.device != row.opens) text += ", now " + row.device;
    if (row.info) {
        const std::string described = FullDescription(*row.info);
        if (!described.empty()) text += ": " + described;
    }
    return text + LineEntriesRemark(row);
}

std::vector<Assignment> AssignNewAdapters(SettingsStore& store, const DeviceSnapshot& snapshot) {
    std::vector<StableName> names = snapshot.stableNames;
    std::sort(names.begin(), names.end(),
              [](const StableName& a, const StableName& b) { return a.name < b.name; });
    std::vector<PortRow> rows = DescribePorts(store, snapshot);
    std::vector<Assignment> assigned;
    for (const StableName& name : names) {
        const bool reached = std::any_of(rows.begin(), rows.end(), [&](const PortRow& row) {
            return row.present && row.device == name.device;
        });
        if (reached) continue;
        std::optional<std::int16_t> free;
        for (std::int16_t n = kFirstAssigned; n <= kLastPort && !free; ++n) {
            const bool systemPortThere = FindInfo(snapshot, DefaultDeviceForPort(n)) != nullptr;
            if (!store.Read(kPortsGroup, PortKey(n)) && !systemPortThere) free = n;
        }
        if (!free) break;
        store.Write(kPortsGroup, PortKey(*free), snapshot.stableNameFolder + "/" + name.name);
        assigned.push_back({*free, name.name});
        rows = DescribePorts(store, snapshot);
    }
    if (!assigned.empty()) store.Sync();
    return assigned;
}

namespace {

struct TableLine {
    std::string com, device, stable, description;
};

TableLine LineForRow(const PortRow& row, const DeviceSnapshot& snapshot) {
    TableLine line{std::to_string(row.number), row.present ? row.device : "-",
                   row.stableName.empty() ? "-" : row.stableName, ""};
    if (IsNetwork(row) || !row.target) {
        line.device = row.opens;
        line.description = NetworkRemark(row);
    } else if (!row.present) {
        if (!row.mappedStableName.empty()) line.stable = row.mappedStableName;
        line.description = "absent: " + row.opens + " is not there now";
    } else {
        line.description = row.info ? FullDescription(*row.info) : "";
        // A mapping written another way than the device or its by-id name is worth knowing.
        if (row.mapped && row.opens != row.device &&
            row.opens != snapshot.stableNameFolder + "/" + row.stableName)
            line.description +=
                (line.description.empty() ? "" : "; ") + std::string("mapped as ") + row.opens;
    }
    line.description += LineEntriesRemark(row);
    if (line.description.rfind("; ", 0) == 0) line.description.erase(0, 2);
    return line;
}

// Serial ports present that no shown entry opens.
void AddUnreachedDevices(std::vector<TableLine>& lines, const std::vector<PortRow>& rows,
                         const DeviceSnapshot& snapshot) {
    for (const SerialDeviceInfo& info : snapshot.devices) {
        const bool reached = std::any_of(rows.begin(), rows.end(), [&](const PortRow& row) {
            return OpensSomething(row) && row.present && row.device == info.location;
        });
        if (reached) continue;
        const StableName* name = FindStableName(snapshot, info.location);
        std::string description = FullDescription(info);
        description += (description.empty() ? "" : "; ") + std::string("no Com number");
        lines.push_back({"-", info.location, name ? name->name : "-", description});
    }
}

// Columns padded to their widest cell, the Com numbers to the right; no blanks end a line.
std::string Columns(std::vector<TableLine> lines) {
    std::size_t widths[3] = {0, 0, 0};
    for (TableLine& line : lines) {
        // A value from the settings file may carry a line end: one entry stays one line.
        for (std::string* cell : {&line.device, &line.stable, &line.description})
            *cell = OneLine(*cell);
        widths[0] = std::max(widths[0], line.com.size());
        widths[1] = std::max(widths[1], line.device.size());
        widths[2] = std::max(widths[2], line.stable.size());
    }
    std::string table;
    for (const TableLine& line : lines) {
        table += std::string(widths[0] - line.com.size(), ' ') + line.com + "  ";
        table += line.device + std::string(widths[1] - line.device.size(), ' ') + "  ";
        table += line.stable + std::string(widths[2] - line.stable.size(), ' ') + "  ";
        table += line.description;
        while (!table.empty() && table.back() == ' ') table.pop_back();
        table += "\n";
    }
    return table;
}

}  // namespace

std::string PortTable(const std::vector<PortRow>& rows, const DeviceSnapshot& snapshot,
                      const std::vector<HostFinding>& host) {
    std::vector<TableLine> lines = {{"Com", "Device", "By-id name", "Description"}};
    for (const PortRow& row : rows)
        if (OpensSomething(row)) lines.push_back(LineForRow(row, snapshot));
    AddUnreachedDevices(lines, rows, snapshot);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string ids;
        for (const HostFinding& finding : FindingsFor(host, lines[i].device))
            ids += (ids.empty() ? "" : ", ") + finding.id;
        if (!ids.empty())
            lines[i].description +=
                std::string(lines[i].description.empty() ? "" : "; ") + "host: " + ids;
    }
    for (const HostFinding& finding : host)
        if (finding.device.rfind("USB ", 0) == 0)
            lines.push_back({"-", finding.device, "-", "no port; host: " + finding.id});
    return Columns(std::move(lines));
}

}  // namespace cat
