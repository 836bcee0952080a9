#pragma once

// A made-up system tree in which a pseudo-terminal is a USB serial adapter with an identity of its
// own, as the program reads it below CAT_SYSTEM_ROOT: its name in /dev/serial/by-id, the tty's
// device link into /sys, the USB device's attributes, and this boot's id. A radiosim pty then
// passes for a radio's own USB port, so that a second run can meet it as a port it knows.
// Standard library only, so that a test can build the same tree.

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace cat::bench {

// What the adapter says about itself; the defaults are a CP2102 bridge, as a radio's built-in
// USB port carries.
struct UsbIdentity {
    std::string vendor = "10c4";
    std::string product = "ea60";
    std::string manufacturer = "Silicon Labs";
    std::string productName = "CP2102 USB to UART Bridge Controller";
    std::string serial = "IC-7300 03001234";
    int bus = 1;
    int device = 5;
};

// The name udev gives the adapter in /dev/serial/by-id: blanks become '_'.
inline std::string ByIdName(const UsbIdentity& usb) {
    std::string name = "usb-" + usb.manufacturer + "_" + usb.productName + "_" + usb.serial;
    for (char& c : name)
        if (c == ' ') c = '_';
    return name + "-if00-port0";
}

namespace made_up {

inline bool WriteLine(const std::filesystem::path& file, const std::string& text) {
    std::ofstream out(file);
    out << text << '\n';
    return static_cast<bool>(out);
}

// `link` -> `target`, replacing whatever link was there.
inline bool Link(const std::filesystem::path& target, const std::filesystem::path& link) {
    std::error_code error;
    std::filesystem::create_directories(link.parent_path(), error);
    std::filesystem::remove(link, error);
    std::filesystem::create_directory_symlink(target, link, error);
    return !error;
}

}  // namespace made_up

// Builds the tree under `root` for the pty `pty` ("/dev/pts/3"); false when a part could not be
// written. The links are absolute, as the pty's own path is.
inline bool MakeSystemRoot(const std::filesystem::path& root, const std::filesystem::path& pty,
                           const UsbIdentity& usb) {
    namespace fs = std::filesystem;
    using made_up::Link;
    using made_up::WriteLine;
    std::error_code error;
    const fs::path usbDevice = root / "sys/devices/pci0000:00/usb1/1-1";
    const fs::path interface = usbDevice / "1-1:1.0";
    const fs::path driver = root / "sys/bus/usb/drivers/cp210x";
    fs::create_directories(interface, error);
    fs::create_directories(driver, error);
    fs::create_directories(root / "dev/serial/by-id", error);
    fs::create_directories(root / "proc/sys/kernel/random", error);
    if (error) return false;
    std::ifstream bootId("/proc/sys/kernel/random/boot_id");
    std::string boot;
    std::getline(bootId, boot);
    // The interface has its driver bound, as a working adapter's has.
    bool made = Link(driver, interface / "driver") &&
                Link(interface, root / "sys/class/tty" / pty.filename() / "device");
    fs::remove(root / "dev/serial/by-id" / ByIdName(usb), error);
    fs::create_symlink(pty, root / "dev/serial/by-id" / ByIdName(usb), error);
    made = made && !error && WriteLine(usbDevice / "idVendor", usb.vendor) &&
           WriteLine(usbDevice / "idProduct", usb.product) &&
           WriteLine(usbDevice / "manufacturer", usb.manufacturer) &&
           WriteLine(usbDevice / "product", usb.productName) &&
           WriteLine(usbDevice / "serial", usb.serial) &&
           WriteLine(usbDevice / "busnum", std::to_string(usb.bus)) &&
           WriteLine(usbDevice / "devnum", std::to_string(usb.device)) &&
           WriteLine(interface / "bInterfaceNumber", "00");
    return made && WriteLine(root / "proc/sys/kernel/random/boot_id", boot);
}

}  // namespace cat::bench
