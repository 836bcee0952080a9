#include "qt/ports/device_facts.h"

#include <pwd.h>
#include <unistd.h>

#include <QSerialPortInfo>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/comm_errors.h"

namespace cat {

namespace {

namespace fs = std::filesystem;

// The program's own name, whole: /proc/PID/comm cuts it at 15 characters ("catlink-radiosi").
// The first word of its command line is the program as started; the short name is the fallback
// for a process that rewrote its command line.
std::string ProcessName(const std::string& pid) {
    std::ifstream cmdline("/proc/" + pid + "/cmdline", std::ios::binary);
    std::string program;
    std::getline(cmdline, program, '\0');
    if (!program.empty()) {
        const std::string name = fs::path(program).filename().string();
        if (!name.empty()) return name;
    }
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "a program" : name;
}

std::string Holding(const std::string& pid) { return ProcessName(pid) + " (process " + pid + ")"; }

// Whether process `pid` has `target` open; a process whose files we may not see counts as having
// it, as its lock says. A lock left behind by a process that ended names no one.
bool MayHold(long pid, const fs::path& target) {
    const fs::path process = "/proc/" + std::to_string(pid);
    std::error_code error;
    if (!fs::exists(process, error)) return false;
    fs::directory_iterator fds(process / "fd", error);
    if (error) return true;
    for (const auto& fd : fds) {
        std::error_code gone;
        if (fs::read_symlink(fd.path(), gone) == target) return true;
    }
    return false;
}

// UUCP-style lock files name the holder's process: /run/lock/LCK..ttyUSB0 holds "  1234". The
// serial library of this program (and of many others) writes one for /dev/pts/3 as LCK..pts_3,
// in the first of these folders it may write to.
std::string FromLockFile(const fs::path& device) {
    std::string name = device.lexically_relative("/dev").string();
    if (name.empty() || name.rfind("..", 0) == 0) name = device.filename().string();
    std::replace(name.begin(), name.end(), '/', '_');
    for (const char* folder : {"/run/lock", "/var/lock", "/tmp", "/var/tmp"}) {
        std::ifstream lock(fs::path(folder) / ("LCK.." + name));
        long pid = 0;
        if (lock >> pid && pid > 0 && pid != ::getpid() && MayHold(pid, device))
            return Holding(std::to_string(pid));
    }
    return {};
}

// The processes other than us that hold `target` open, and whether each holds a pseudo-terminal's
// master too.
struct Holder {
    std::string pid;
    bool ownsPty = false;
};

std::vector<Holder> Holders(const fs::path& target) {
    std::vector<Holder> holders;
    std::error_code error;
    const std::string self = std::to_string(::getpid());
    for (const auto& process : fs::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
        std::error_code unreadable;  // another user's process: not ours to see
        bool holds = false;
        bool ownsPty = false;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", unreadable)) {
            std::error_code gone;
            const fs::path open = fs::read_symlink(fd.path(), gone);
            holds = holds || open == target;
            ownsPty = ownsPty || open == "/dev/ptmx" || open == "/dev/pts/ptmx";
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
