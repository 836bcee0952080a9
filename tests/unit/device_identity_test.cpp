// Who a serial device is, read from made-up trees of /sys, /dev and /proc, and the known ports'
// file as the window and --doctor use it.
#include "shell/device_identity.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "shell/known_port_file.h"
#include "tests/support/made_up_tree.h"
#include "tests/support/raw_pty.h"

namespace cat {
namespace {

namespace fs = std::filesystem;

constexpr const char* kUsb = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-1";
constexpr const char* kById =
    "dev/serial/by-id/usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_IC-7300_03001234-if00-"
    "port0";

// An IC-7300 on ttyUSB0, its terminal two folders below its USB device, plugged in as device 7.
class Tree : public test::MadeUpTree {
public:
    Tree() {
        Usb("IC-7300 03001234", "7");
        File(std::string(kUsb) + "/1-1:1.0/ttyUSB0/uevent", "");
        Link("sys/class/tty/ttyUSB0/device",
             std::string("../../../") + (kUsb + 4) + "/1-1:1.0/ttyUSB0");
        File("dev/ttyUSB0", "");
        Link(kById, "../../ttyUSB0");
        File("proc/sys/kernel/random/boot_id", "3f1c9a52-6b0e-4d8e-9a51-0c2f7d8e1b44\n");
    }
    void Usb(const std::string& serial, const std::string& devnum) {
        for (const auto& [name, text] : {std::pair<std::string, std::string>{"idVendor", "10c4"},
                                         {"idProduct", "ea60"},
                                         {"serial", serial},
                                         {"product", "CP2102 USB to UART Bridge Controller"},
                                         {"manufacturer", "Silicon Labs"},
                                         {"busnum", "1"},
                                         {"devnum", devnum}})
            File(std::string(kUsb) + "/" + name, text + "\n");
    }
};

std::string Summary(const std::optional<DeviceIdentity>& id) {
    if (!id) return "none";
    return id->byId + "|" + id->serial + "|" + id->usbPath + "|" + id->interface + "|" +
           std::to_string(id->bus) + "." + std::to_string(id->devnum) + "|" +
           id->bootId.substr(0, 8);
}

TEST(DeviceIdentity, ReadFromTheUsbTree) {
    const std::string ic7300 =
        std::string(kById).substr(17) + "|IC-7300 03001234|1-1|1-1:1.0|1.7|3f1c9a52";
    std::string pty;
    const int master = test::OpenRawPty(pty);
    ASSERT_GE(master, 0);
    const std::string ptyNumber = fs::path(pty).filename();
    struct Row {
        const char* name;
        std::function<void(Tree&)> plant;
        std::string device;
        std::string expected;
    };
    const Row rows[] = {
        {"by_id_name_through_its_relative_link", [](Tree&) {}, std::string("/") + kById, ic7300},
        {"device_node_finds_its_by_id_name", [](Tree&) {}, "/dev/ttyUSB0", ic7300},
        {"real_path_of_the_entry_in_the_tree", [](Tree&) {}, kById, ic7300},
        // As a benchmark makes it: the by-id entry points at a real pseudo-terminal outside the
        // tree, whose tty folder leads to a USB interface.
        {"absolute_link_to_a_pseudo_terminal",
         [&](Tree& t) {
             t.Link("dev/serial/by-id/usb-Icom_Inc._IC-705_IC-705_16001096-if00", pty);
             t.Link("sys/class/tty/" + ptyNumber + "/device",
                    std::string("../../../") + (kUsb + 4) + "/1-1:1.0");
         },
         "/dev/serial/by-id/usb-Icom_Inc._IC-705_IC-705_16001096-if00",
         "usb-Icom_Inc._IC-705_IC-705_16001096-if00|IC-7300 03001234|1-1|1-1:1.0|1.7|3f1c9a52"},
        {"serial_port_of_the_computer_is_no_usb_device",
         [](Tree& t) {
             t.File("sys/devices/platform/serial8250/tty/ttyS0/uevent", "");
             t.Link("sys/class/tty/ttyS0/device", "../../../devices/platform/serial8250");
         },
         "/dev/ttyS0", "none"},
    };
    for (const Row& row : rows) {
        Tree tree;
        row.plant(tree);
        // A device without a leading / is named by its real path in the tree.
        const std::string device =
            row.device[0] == '/' ? row.device : (tree.root / row.device).string();
        EXPECT_EQ(Summary(IdentityOf(tree.root, device)), row.expected) << row.name;
    }
    ::close(master);
}

// The calls the window makes, on the system a made-up tree stands for.
TEST(DeviceIdentity, KnownPortFileFollowsTheDevice) {
    Tree tree;
    ::setenv("CAT_SYSTEM_ROOT", tree.root.c_str(), 1);
    ::setenv("XDG_CACHE_HOME", (tree.root / "cache").c_str(), 1);
    const fs::path file = tree.root / "cache/CAT/known-ports";
    EXPECT_FALSE(CheckKnownDone("/dev/ttyUSB0"));
    RememberCheckDone("/dev/ttyUSB0", "ICOM", 19200);
    EXPECT_TRUE(CheckKnownDone(std::string("/") + kById));
    tree.Usb("IC-7300 03001234", "8");  // unplugged and plugged in again
    EXPECT_FALSE(CheckKnownDone("/dev/ttyUSB0"));
    RememberCheckDone("/dev/ttyUSB0", "ICOM", 19200);
    EXPECT_EQ(LoadKnownPorts(file).Entries().size(), 1u);
    ForgetDevice("/dev/ttyUSB0");
    EXPECT_FALSE(CheckKnownDone("/dev/ttyUSB0"));
    // A cable is never remembered.
    tree.Usb("0001", "8");
    RememberCheckDone("/dev/ttyUSB0", "ICOM", 19200);
    EXPECT_TRUE(LoadKnownPorts(file).Entries().empty());
    // A file that cannot be read means nothing is known, and is not written over.
    tree.Usb("IC-7300 03001234", "8");
    fs::remove(file);
    fs::create_directories(file / "inside");
    RememberCheckDone("/dev/ttyUSB0", "ICOM", 19200);
    EXPECT_FALSE(CheckKnownDone("/dev/ttyUSB0"));
    EXPECT_TRUE(fs::is_directory(file / "inside"));
    ::unsetenv("CAT_SYSTEM_ROOT");
    ::unsetenv("XDG_CACHE_HOME");
}

}  // namespace
}  // namespace cat
