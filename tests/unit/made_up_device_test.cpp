// The made-up system tree the benchmarks give a radiosim pty as a radio's USB port: the program's
// own reader of a system root finds the adapter behind the pty, and udev's name for it.
#include "bench/made_up_device.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

#include "shell/host_check.h"

namespace cat::bench {
namespace {

namespace fs = std::filesystem;

struct Case {
    const char* name;
    const char* device;  // the port the host check looks at
    bool adapterFound;   // an autosuspend finding names the made-up adapter on that port
};

constexpr Case kCases[] = {
    {"ThePtyLeadsToTheAdapter", "/dev/pts/7", true},
    {"AnotherPtyHasNoAdapter", "/dev/pts/8", false},
};

class MadeUpDevice : public ::testing::TestWithParam<Case> {};

TEST_P(MadeUpDevice, HostCheckReadsTheAdapterBehindThePty) {
    char name[] = "/tmp/made_up_device_XXXXXX";
    const fs::path root = ::mkdtemp(name);
    ASSERT_TRUE(MakeSystemRoot(root, "/dev/pts/7", UsbIdentity{}));
    // Suspended when idle: a finding the check makes only for an adapter it found.
    fs::create_directories(root / "sys/devices/pci0000:00/usb1/1-1/power");
    std::ofstream(root / "sys/devices/pci0000:00/usb1/1-1/power/control") << "auto\n";
    HostView view;
    view.root = root;
    view.devices = {GetParam().device};
    const std::vector<HostFinding> findings = CheckHost(view);
    const bool found = std::any_of(findings.begin(), findings.end(), [&](const HostFinding& f) {
        return f.id == "autosuspend" && f.device == GetParam().device &&
               f.text.find("USB 10c4:ea60") != std::string::npos;
    });
    EXPECT_EQ(found, GetParam().adapterFound);
    fs::remove_all(root);
}

INSTANTIATE_TEST_SUITE_P(Ports, MadeUpDevice, ::testing::ValuesIn(kCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST(MadeUpDevice, ByIdNameIsUdevsAndLeadsToThePty) {
    char name[] = "/tmp/made_up_device_XXXXXX";
    const fs::path root = ::mkdtemp(name);
    ASSERT_TRUE(MakeSystemRoot(root, "/dev/pts/7", UsbIdentity{}));
    const std::string byId = ByIdName(UsbIdentity{});
    EXPECT_EQ(byId,
              "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_IC-7300_03001234-if00-port0");
    EXPECT_EQ(fs::read_symlink(root / "dev/serial/by-id" / byId), "/dev/pts/7");
    fs::remove_all(root);
}

}  // namespace
}  // namespace cat::bench
