#include "qt/ports/device_facts.h"

#include <unistd.h>

#include <QSerialPortInfo>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/comm_errors.h"

namespace cat {

namespace {

namespace fs = std::filesystem;

std::string ProcessName(const std::string& pid) {
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "a program" : name;
}

std::string Holding(const std::string& pid) { return ProcessName(pid) + " (process " + pid + ")"; }

// UUCP-style lock files name the holder's process: /run/lock/LCK..ttyUSB0 holds "  1234".
std::string FromLockFile(const fs::path& device) {
    for (const char* folder : {"/run/lock", "/var/lock"}) {
        std::ifstream lock(fs::path(folder) / ("LCK.." + device.filename().string()));
        long pid = 0;
        if (lock >> pid && pid > 0) return Holding(std::to_string(pid));
    }
    return {};
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
    const std::string self = std::to_string(::getpid());
    for (const auto& process : fs::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
        std::error_code unreadable;  // another user's process: not ours to see
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", unreadable)) {
            std::error_code gone;
            if (fs::read_symlink(fd.path(), gone) == target) return Holding(pid);
        }
    }
    return FromLockFile(target);
#else
    (void)device;
    return {};
#endif
}

doctor::OpenFailure OpenFailureFacts(const CatError& error, const std::string& device) {
    doctor::OpenFailure failure;
    failure.fault = CommFaultOf(error.Number());
    failure.text = error.Description();
    if (failure.fault == CommFault::DeviceNotFound) failure.present = PresentSerialDevices();
    if (failure.fault == CommFault::DeviceInUse) failure.holder = DeviceHolder(device);
    return failure;
}

}  // namespace cat
