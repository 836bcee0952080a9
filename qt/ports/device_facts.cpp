#include "qt/ports/device_facts.h"

#include <pwd.h>
#include <unistd.h>

#include <QSerialPortInfo>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <system_error>

#include "core/comm_errors.h"

namespace cat {

namespace {

namespace fs = std::filesystem;

// The process as its command line names it, whole: /proc/PID/comm cuts the name at 15 characters
// ("catlink-radiosi") and is only the fallback for a process that blanked its command line.
HoldingProcess ProcessAt(const std::string& pid) {
    std::ifstream cmdline("/proc/" + pid + "/cmdline", std::ios::binary);
    const std::string words{std::istreambuf_iterator<char>(cmdline), {}};
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string shortName;
    std::getline(comm, shortName);
    return HolderOf(std::stoll(pid), words, shortName);
}

std::string Holding(const std::string& pid) { return HolderText(ProcessAt(pid)); }

// A folder's entries, read without throwing: a process that ends while its folder in /proc is
// read takes the rest of its entries with it, which is no fault of ours. Nothing when the folder
// cannot be read at all (another user's process).
std::optional<std::vector<fs::path>> Entries(const fs::path& folder) {
    std::error_code error;
    fs::directory_iterator entry(folder, error);
    if (error) return std::nullopt;
    std::vector<fs::path> entries;
    for (const fs::directory_iterator end; !error && entry != end; entry.increment(error))
        entries.push_back(entry->path());
    return entries;
}

// The processes of /proc but this one, by number.
std::vector<std::string> OtherProcesses() {
    std::vector<std::string> pids;
    const std::string self = std::to_string(::getpid());
    for (const fs::path& process : Entries("/proc").value_or(std::vector<fs::path>{})) {
        const std::string pid = process.filename().string();
        if (pid.find_first_not_of("0123456789") == std::string::npos && pid != self)
            pids.push_back(pid);
    }
    return pids;
}

// Whether process `pid` has `target` open; a process whose files we may not see counts as having
// it, as its lock says. A lock left behind by a process that ended names no one.
bool MayHold(long pid, const fs::path& target) {
    const fs::path process = "/proc/" + std::to_string(pid);
    std::error_code error;
    if (!fs::exists(process, error)) return false;
    const std::optional<std::vector<fs::path>> fds = Entries(process / "fd");
    if (!fds) return true;
    return std::any_of(fds->begin(), fds->end(), [&](const fs::path& fd) {
        std::error_code gone;
        return fs::read_symlink(fd, gone) == target;
    });
}

// UUCP-style lock files name the holder's process: /run/lock/LCK..ttyUSB0 holds "  1234". The
// serial library of this program (and of many others) writes one for /dev/pts/3 as LCK..pts_3,
// in the first of these folders it may write to.
std::optional<long> LockedBy(const fs::path& device) {
    std::string name = device.lexically_relative("/dev").string();
    if (name.empty() || name.rfind("..", 0) == 0) name = device.filename().string();
    std::replace(name.begin(), name.end(), '/', '_');
    for (const char* folder : {"/run/lock", "/var/lock", "/tmp", "/var/tmp"}) {
        std::ifstream lock(fs::path(folder) / ("LCK.." + name));
        long pid = 0;
        if (lock >> pid && pid > 0 && pid != ::getpid() && MayHold(pid, device)) return pid;
    }
    return std::nullopt;
}

std::string FromLockFile(const fs::path& device) {
    const std::optional<long> pid = LockedBy(device);
    return pid ? Holding(std::to_string(*pid)) : std::string();
}

// The number of the pseudo-terminal a master descriptor stands for, from its fdinfo line
// "tty-index:\t3"; nothing from a kernel that does not say.
std::optional<int> PtyIndex(const fs::path& process, const fs::path& fd) {
    std::ifstream info(process / "fdinfo" / fd.filename());
    for (std::string line; std::getline(info, line);) {
        if (line.rfind("tty-index:", 0) != 0) continue;
        std::istringstream number(line.substr(10));
        int index = -1;
        if (number >> index) return index;
    }
    return std::nullopt;
}

// 3 for /dev/pts/3.
std::optional<int> PtyNumber(const fs::path& device) {
    if (device.parent_path() != "/dev/pts") return std::nullopt;
    const std::string name = device.filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(name);
}

bool IsPtyMaster(const fs::path& open) { return open == "/dev/ptmx" || open == "/dev/pts/ptmx"; }

// The processes other than us that hold `target` open, and whether each holds a pseudo-terminal's
// master too.
struct Holder {
    std::string pid;
    bool ownsPty = false;
};

std::vector<Holder> Holders(const fs::path& target) {
    std::vector<Holder> holders;
    for (const std::string& pid : OtherProcesses()) {
        bool holds = false;
        bool ownsPty = false;
        // Another user's process is not ours to see: it has no entries here.
        for (const fs::path& fd :
             Entries("/proc/" + pid + "/fd").value_or(std::vector<fs::path>{})) {
            std::error_code gone;
            const fs::path open = fs::read_symlink(fd, gone);
            holds = holds || open == target;
            ownsPty = ownsPty || IsPtyMaster(open);
        }
        if (holds) holders.push_back({pid, ownsPty});
    }
    return holders;
}

}  // namespace

std::vector<std::string> PresentSerialDevices() {
    std::vector<std::string> devices;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        devices.push_back(info.systemLocation().toStdString());
    return devices;
}

std::string DeviceHolder(const std::string& device) {
#ifdef __linux__
    std::error_code error;
    const fs::path target = fs::canonical(device, error);
    if (error) return {};
    // The lock names the program that opened the port for its own use; of the processes that
    // hold the device, one that also holds a pseudo-terminal's master made the terminal (a
    // virtual radio keeps its far end open) and is not the program in the way.
    if (std::string locked = FromLockFile(target); !locked.empty()) return locked;
    const std::vector<Holder> holders = Holders(target);
    if (holders.empty()) return {};
    const auto user = std::find_if(holders.begin(), holders.end(),
                                   [](const Holder& holder) { return !holder.ownsPty; });
    return Holding(user != holders.end() ? user->pid : holders.front().pid);
#else
    (void)device;
    return {};
#endif
}

std::vector<HoldingProcess> OtherHolders(const std::string& device) {
    std::vector<HoldingProcess> holders;
#ifdef __linux__
    std::error_code error;
    const fs::path target = fs::canonical(device, error);
    if (error) return holders;
    const std::optional<int> pty = PtyNumber(target);
    for (const std::string& pid : OtherProcesses()) {
        const fs::path process = "/proc/" + pid;
        bool holds = false;
        bool maker = false;
        // Another user's process is not ours to see: it has no entries here.
        for (const fs::path& fd : Entries(process / "fd").value_or(std::vector<fs::path>{})) {
            std::error_code gone;
            const fs::path open = fs::read_symlink(fd, gone);
            holds = holds || open == target;
            // A kernel that does not say which terminal a master is for leaves any master
            // counting, as before it said.
            if (pty && IsPtyMaster(open)) {
                const std::optional<int> index = PtyIndex(process, fd);
                maker = maker || !index || *index == *pty;
            }
        }
        if (holds && !maker) holders.push_back(ProcessAt(pid));
    }
    // A process whose files we may not see, but which a lock file names as the holder.
    if (const std::optional<long> locked = LockedBy(target)) {
        const bool listed = std::any_of(holders.begin(), holders.end(),
                                        [&](const HoldingProcess& h) { return h.pid == *locked; });
        const std::string pid = std::to_string(*locked);
        if (!listed && !Entries("/proc/" + pid + "/fd")) holders.push_back(ProcessAt(pid));
    }
#else
    (void)device;
#endif
    return holders;
}

// Who runs the program, for the command that lets them use serial devices.
std::string UserName() {
    if (const passwd* entry = ::getpwuid(::getuid())) return entry->pw_name;
    return {};
}

doctor::OpenFailure OpenFailureFacts(const CatError& error, const std::string& device) {
    doctor::OpenFailure failure;
    failure.fault = CommFaultOf(error.Number());
    failure.text = error.Description();
    if (failure.fault == CommFault::DeviceNotFound) failure.present = PresentSerialDevices();
    if (failure.fault == CommFault::DeviceInUse) failure.holder = DeviceHolder(device);
    if (failure.fault == CommFault::PermissionDenied) failure.user = UserName();
    return failure;
}

}  // namespace cat
