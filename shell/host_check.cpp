#include "shell/host_check.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>

#include "core/text.h"
#include "shell/device_holders.h"
#include "shell/system_tree.h"

namespace cat {

namespace {

namespace fs = std::filesystem;
using doctor::VerdictKind;

// The USB-serial chips whose kernel module we can name, by vendor ID (from memory: the IDs the
// chips' makers register, and the modules of the mainline kernel that drive them).
struct Chip {
    std::string_view vendor;
    std::string_view module;
    std::string_view name;
};
constexpr std::array<Chip, 4> kChips{{
    {"1a86", "ch341", "CH340/CH341"},  // from memory
    {"10c4", "cp210x", "CP210x"},      // from memory
    {"0403", "ftdi_sio", "FTDI"},      // from memory
    {"067b", "pl2303", "PL2303"},      // from memory
}};

// Programs that put a login prompt on a terminal (from memory: util-linux, mgetty, mingetty).
constexpr std::array<std::string_view, 4> kGetties{"agetty", "getty", "mingetty", "mgetty"};

constexpr std::array<std::string_view, 3> kRuleFolders{"etc/udev/rules.d", "lib/udev/rules.d",
                                                       "usr/lib/udev/rules.d"};

// Which verdicts each finding explains: what the operator sees when the computer is the cause.
constexpr std::array<std::pair<std::string_view, VerdictKind>, 12> kExplains{{
    // The braille service takes the adapter the moment it appears: its port never shows, or goes.
    {"braille-service", VerdictKind::DeviceMissing},
    {"braille-service", VerdictKind::Vanished},
    // The modem manager holds the port and writes AT commands to it while it probes.
    {"modem-manager", VerdictKind::InUse},
    {"modem-manager", VerdictKind::Garbled},
    {"group-not-in-session", VerdictKind::NoPermission},
    // A login prompt echoes what it reads and answers it with a prompt of its own.
    {"getty", VerdictKind::InUse},
    {"getty", VerdictKind::EchoOnly},
    {"getty", VerdictKind::Garbled},
    // A suspended adapter drops off the bus while the link is idle.
    {"autosuspend", VerdictKind::Vanished},
    {"autosuspend", VerdictKind::Stopped},
    {"no-driver", VerdictKind::DeviceMissing},
    {"no-driver", VerdictKind::Vanished},
}};

std::string Lower(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

std::string Whole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct Process {
    std::int64_t pid = 0;
    std::string program;  // as the command line names it, whole
    std::string comm;     // as the kernel names it, cut at 15 characters
    std::set<std::string> open;
};

std::vector<Process> Processes(const fs::path& root, std::int64_t self) {
    std::vector<Process> processes;
    for (const fs::path& folder : Entries(root / "proc")) {
        const std::optional<std::int64_t> pid = NumberIn<std::int64_t>(folder.filename().string());
        if (!pid || *pid == self) continue;
        Process process;
        process.pid = *pid;
        process.comm = FirstLine(folder / "comm");
        process.program = HolderOf(process.pid, Whole(folder / "cmdline"), process.comm).program;
        // Another user's process keeps its files to itself: it holds nothing we can see.
        for (const fs::path& fd : Entries(folder / "fd")) {
            std::error_code gone;
            const fs::path target = fs::read_symlink(fd, gone);
            if (!gone) process.open.insert(target.string());
        }
        processes.push_back(std::move(process));
    }
    return processes;
}

bool Named(const Process& p, std::string_view name) { return p.comm == name || p.program == name; }

struct RuleLine {
    std::string file;  // "/etc/udev/rules.d/99-radio.rules"
    std::string text;  // lower case
};

// Every rule line of the udev folders once: on a merged /usr, /lib is /usr/lib.
std::vector<RuleLine> RuleLines(const fs::path& root) {
    std::vector<RuleLine> lines;
    std::set<fs::path> seen;
    for (std::string_view folder : kRuleFolders) {
        std::vector<fs::path> files = Entries(root / folder);
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::error_code error;
            const fs::path real = fs::canonical(file, error);
            if (error || file.extension() != ".rules" || !seen.insert(real).second) continue;
            std::ifstream in(file);
            for (std::string line; std::getline(in, line);) {
                const std::string_view body = Trim(line, kBlanks);
                if (body.empty() || body.front() == '#') continue;
                lines.push_back({Inside(root, file), Lower(body)});
            }
        }
    }
    return lines;
}

struct Adapter {
    std::string vendor;                // "1a86"
    std::string product;               // "7523"
    fs::path usb;                      // its folder in /sys
    std::string tty;                   // "/dev/ttyUSB0"; empty when it has none
    std::vector<std::string> drivers;  // each interface's driver, empty for none bound

    std::string Label() const { return "USB " + vendor + ":" + product; }
    std::string Device() const { return tty.empty() ? Label() : tty; }
};

const Chip* ChipOf(const std::string& vendor) {
    const auto chip = std::find_if(kChips.begin(), kChips.end(),
                                   [&](const Chip& c) { return c.vendor == vendor; });
    return chip == kChips.end() ? nullptr : &*chip;
}

// The terminal an interface carries: ttyUSB0 beside its files, ttyACM0 in its tty folder.
std::string TtyOf(const fs::path& interface) {
    for (const fs::path& entry : Entries(interface)) {
        const std::string name = entry.filename().string();
        if (name.rfind("tty", 0) == 0 && name != "tty") return "/dev/" + name;
        if (name == "tty")
            for (const fs::path& inner : Entries(entry)) return "/dev/" + inner.filename().string();
    }
    return {};
}

Adapter AdapterAt(const fs::path& usb) {
    Adapter adapter;
    adapter.usb = usb;
    adapter.vendor = Lower(FirstLine(usb / "idVendor"));
    adapter.product = Lower(FirstLine(usb / "idProduct"));
    const std::string name = usb.filename().string();
    for (const fs::path& entry : Entries(usb)) {
        const std::string inner = entry.filename().string();
        if (inner.rfind(name + ":", 0) != 0) continue;
        std::error_code error;
        adapter.drivers.push_back(fs::read_symlink(entry / "driver", error).filename().string());
        if (adapter.tty.empty()) adapter.tty = TtyOf(entry);
    }
    return adapter;
}

// The USB device a terminal hangs off.
std::optional<Adapter> AdapterOf(const fs::path& root, const std::string& device) {
    const std::optional<UsbPlace> place = UsbPlaceOf(root, device);
    if (!place) return std::nullopt;
    Adapter adapter = AdapterAt(place->device);
    adapter.tty = device;
    return adapter;
}

// The adapters that bear on the ports: each port's own, and every known USB-serial chip present
// with no terminal, which may be the port that is missing.
std::vector<Adapter> Adapters(const fs::path& root, const std::vector<std::string>& devices) {
    std::vector<Adapter> adapters;
    for (const std::string& device : devices)
        if (auto adapter = AdapterOf(root, device)) adapters.push_back(std::move(*adapter));
    for (const fs::path& usb : Entries(root / "sys/bus/usb/devices")) {
        if (usb.filename().string().find(':') != std::string::npos) continue;
        std::error_code error;
        Adapter adapter = AdapterAt(fs::canonical(usb, error));
        if (!error && ChipOf(adapter.vendor) && adapter.tty.empty())
            adapters.push_back(std::move(adapter));
    }
    return adapters;
}

// Whether a rule line names this adapter: by its vendor and product attributes, or by the
// PRODUCT value the kernel gives a USB device, "1a86/7523/264" (hexadecimal, no leading zeros).
bool NamesAdapter(const std::string& line, const Adapter& a) {
    const auto unpadded = [](const std::string& id) {
        const std::size_t first = id.find_first_not_of('0');
        return first == std::string::npos ? std::string("0") : id.substr(first);
    };
    if (line.find("env{product}==\"" + unpadded(a.vendor) + "/" + unpadded(a.product) + "/") !=
        std::string::npos)
        return true;
    return line.find("idvendor}==\"" + a.vendor + "\"") != std::string::npos &&
           (line.find("idproduct}") == std::string::npos ||
            line.find("idproduct}==\"" + a.product + "\"") != std::string::npos);
}

std::string MatchAttributes(const Adapter& a, std::string_view attr) {
    return std::string(attr) + "{idVendor}==\"" + a.vendor + "\", " + std::string(attr) +
           "{idProduct}==\"" + a.product + "\"";
}

constexpr std::string_view kOwnRules = "/etc/udev/rules.d/99-catlink.rules";
constexpr std::string_view kReload =
    ", then run sudo udevadm control --reload and plug the adapter in again";

struct Facts {
    const HostView& view;
    std::vector<Process> processes;
    std::vector<RuleLine> rules;
    std::vector<Adapter> adapters;
    std::vector<HostFinding> findings;

    bool Running(std::string_view name) const {
        return std::any_of(processes.begin(), processes.end(),
                           [&](const Process& p) { return Named(p, name); });
    }
};

void BrailleService(Facts& f) {
    const bool running = f.Running("brltty");
    for (const Adapter& a : f.adapters) {
        const auto rule = std::find_if(f.rules.begin(), f.rules.end(), [&](const RuleLine& r) {
            return r.file.find("brltty") != std::string::npos && NamesAdapter(r.text, a);
        });
        // The braille service opens the USB device itself: its interface is left to usbfs.
        const bool claimed =
            running && std::find(a.drivers.begin(), a.drivers.end(), "usbfs") != a.drivers.end();
        if (rule == f.rules.end() && !claimed) continue;
        f.findings.push_back(
            {"braille-service", "Braille service takes the adapter",
             "The braille display service (brltty) " +
                 (claimed ? std::string("holds the adapter ") + a.Label()
                          : "claims adapters like " + a.Label() + " by its rule in " + rule->file) +
                 ": the port vanishes a second after it appears.",
             "Unless a braille display is used here, run sudo apt remove brltty (or sudo systemctl "
             "mask brltty-udev.service), then plug the adapter in again.",
             a.Device()});
    }
}

void ModemManager(Facts& f) {
    if (!f.Running("ModemManager")) return;
    for (const Adapter& a : f.adapters) {
        const bool ignored = std::any_of(f.rules.begin(), f.rules.end(), [&](const RuleLine& r) {
            return r.text.find("id_mm_device_ignore}=\"1\"") != std::string::npos &&
                   (r.text.find("idvendor}") == std::string::npos || NamesAdapter(r.text, a));
        });
        if (ignored) continue;
        f.findings.push_back(
            {"modem-manager", "Modem manager probes the port",
             "ModemManager runs and may probe " + a.Device() +
                 " with AT commands for up to half a minute after it appears: it holds the port "
                 "and its bytes reach the radio.",
             "Add the line " + MatchAttributes(a, "ATTRS") +
                 ", ENV{ID_MM_DEVICE_IGNORE}=\"1\" to " + std::string(kOwnRules) +
                 std::string(kReload) +
                 "; or, with no modem on this computer, sudo systemctl disable --now ModemManager.",
             a.Device()});
    }
}

struct Group {
    std::string name;
    std::uint32_t id = 0;
    std::vector<std::string> members;
};

std::optional<Group> GroupWithId(const fs::path& root, std::uint32_t id) {
    std::ifstream in(root / "etc/group");
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::stringstream parts(line);
        for (std::string field; std::getline(parts, field, ':');) fields.push_back(field);
        if (fields.size() < 3 || NumberIn<std::uint32_t>(fields[2]) != id) continue;
        Group group{fields[0], id, {}};
        if (fields.size() > 3) {
            std::stringstream members(fields[3]);
            for (std::string m; std::getline(members, m, ',');) group.members.push_back(m);
        }
        return group;
    }
    return std::nullopt;
}

void GroupNotInSession(Facts& f) {
    for (const std::string& device : f.view.devices) {
        struct stat node {};
        if (::stat((f.view.root / fs::path(device).relative_path()).c_str(), &node) != 0) continue;
        const auto& groups = f.view.groups;
        if ((node.st_mode & S_IRWXO) == (S_IROTH | S_IWOTH) ||
            std::find(groups.begin(), groups.end(), node.st_gid) != groups.end())
            continue;
        const std::optional<Group> group = GroupWithId(f.view.root, node.st_gid);
        if (!group || std::find(group->members.begin(), group->members.end(), f.view.user) ==
                          group->members.end())
            continue;
        f.findings.push_back({"group-not-in-session", "Log in again for group " + group->name,
                              f.view.user + " was added to the group " + group->name +
                                  ", which may use " + device +
                                  ", but this session started before that and still lacks it.",
                              "Log out and in again (or restart the computer); for this terminal "
                              "alone, run newgrp " +
                                  group->name + " and start catlink from it.",
                              device});
    }
}

void Getty(Facts& f) {
    for (const std::string& device : f.view.devices) {
        const std::string node = Resolved(f.view.root, device);
        for (const Process& p : f.processes) {
            const bool getty = std::any_of(kGetties.begin(), kGetties.end(),
                                           [&](std::string_view name) { return Named(p, name); });
            if (!getty || !p.open.contains(node)) continue;
            // systemd names a unit for /dev/pts/1 as pts-1.
            std::string tty = fs::path(node).lexically_relative("/dev").string();
            std::replace(tty.begin(), tty.end(), '/', '-');
            f.findings.push_back(
                {"getty", "Login prompt on the port",
                 "A login prompt, " + p.program + " (process " + std::to_string(p.pid) +
                     "), holds " + device + ": it answers the radio's bytes and echoes ours.",
                 "sudo systemctl disable --now serial-getty@" + tty + ".service", device});
            break;
        }
    }
}

void Autosuspend(Facts& f) {
    for (const Adapter& a : f.adapters) {
        if (FirstLine(a.usb / "power/control") != "auto") continue;
        f.findings.push_back(
            {"autosuspend", "USB autosuspend on the adapter",
             "The system suspends the adapter " + a.Label() +
                 " when it is idle: the link can drop off while the radio is quiet.",
             "Add the line ACTION==\"add\", SUBSYSTEM==\"usb\", " + MatchAttributes(a, "ATTR") +
                 ", ATTR{power/control}=\"on\" to " + std::string(kOwnRules) +
                 std::string(kReload) + ".",
             a.Device()});
    }
}

void NoDriver(Facts& f) {
    for (const Adapter& a : f.adapters) {
        const Chip* chip = ChipOf(a.vendor);
        const bool bound = std::any_of(a.drivers.begin(), a.drivers.end(),
                                       [](const std::string& d) { return !d.empty(); });
        if (!chip || !a.tty.empty() || bound) continue;
        f.findings.push_back(
            {"no-driver", "No driver for the adapter",
             "The " + std::string(chip->name) + " adapter " + a.Label() +
                 " is plugged in, but no driver is bound to it, so it has no port.",
             "sudo modprobe " + std::string(chip->module), a.Device()});
    }
}

}  // namespace

std::vector<HostFinding> CheckHost(const HostView& view) {
    Facts facts{view, Processes(view.root, view.self), RuleLines(view.root), {}, {}};
    std::vector<std::string> devices;
    for (const std::string& device : view.devices) devices.push_back(Resolved(view.root, device));
    facts.adapters = Adapters(view.root, devices);
    // The port's own adapter carries the device as the settings name it.
    for (std::size_t i = 0; i < devices.size(); ++i)
        for (Adapter& a : facts.adapters)
            if (a.tty == devices[i]) a.tty = view.devices[i];
    for (void (*check)(Facts&) :
         {BrailleService, ModemManager, GroupNotInSession, Getty, Autosuspend, NoDriver})
        check(facts);
    return facts.findings;
}

HostView ThisProcessView(std::vector<std::string> devices) {
    HostView view;
    view.devices = std::move(devices);
    view.self = ::getpid();
    if (const passwd* entry = ::getpwuid(::getuid())) view.user = entry->pw_name;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    const int count = ::getgroups(static_cast<int>(groups.size()), groups.data());
    groups.resize(static_cast<std::size_t>(std::max(count, 0)));
    groups.push_back(::getegid());
    view.groups.assign(groups.begin(), groups.end());
    return view;
}

std::vector<HostFinding> FindingsFor(const std::vector<HostFinding>& findings,
                                     const std::string& device) {
    std::vector<HostFinding> touching;
    std::copy_if(findings.begin(), findings.end(), std::back_inserter(touching),
                 [&](const HostFinding& f) { return f.device == device; });
    return touching;
}

doctor::Verdict ExplainedByHost(doctor::Verdict verdict, const std::vector<HostFinding>& findings,
                                const std::string& device) {
    // An adapter with no port may be the one the verdict misses, never one it reads from.
    const bool missing =
        verdict.kind == VerdictKind::DeviceMissing || verdict.kind == VerdictKind::Vanished;
    for (const HostFinding& finding : findings) {
        const bool explains = std::find(kExplains.begin(), kExplains.end(),
                                        std::pair<std::string_view, VerdictKind>(
                                            finding.id, verdict.kind)) != kExplains.end();
        const bool touches =
            finding.device == device || (missing && finding.device.rfind("USB ", 0) == 0);
        if (!explains || !touches) continue;
        verdict.text += " " + finding.text;
        verdict.advice = finding.advice;
        return verdict;
    }
    return verdict;
}

}  // namespace cat
