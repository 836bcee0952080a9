// What the computer does to the port, read from made-up trees of /sys, /proc, /dev, /etc/group and
// the udev rules: one row per cause, and rows where nothing is wrong.
#include "shell/host_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/made_up_tree.h"

namespace cat {
namespace {

namespace fs = std::filesystem;

// A CH340 on USB bus 1 with its port ttyUSB0, driver bound, never suspended; alice may use it.
class Tree : public test::MadeUpTree {
public:
    Tree() {
        File("sys/devices/usb1/1-1/idVendor", "1a86\n");
        File("sys/devices/usb1/1-1/idProduct", "7523\n");
        File("sys/devices/usb1/1-1/power/control", "on\n");
        Driver("ch341");
        fs::create_directories(root / kInterface / "ttyUSB0");
        fs::create_directories(root / "sys/class/tty/ttyUSB0");
        Link("sys/class/tty/ttyUSB0/device", "../../../devices/usb1/1-1/1-1:1.0/ttyUSB0");
        fs::create_directories(root / "sys/bus/usb/devices");
        Link("sys/bus/usb/devices/1-1", "../../../devices/usb1/1-1");
        File("dev/ttyUSB0", "");
        struct stat node {};
        ::stat((root / "dev/ttyUSB0").c_str(), &node);
        gid = node.st_gid;
        fs::permissions(root / "dev/ttyUSB0", fs::perms::owner_read | fs::perms::owner_write |
                                                  fs::perms::group_read | fs::perms::group_write);
        File("etc/group", "dialout:x:" + std::to_string(gid) + ":bob,alice\nplugdev:x:46:alice\n");
        view.root = root;
        view.devices = {"/dev/ttyUSB0"};
        view.user = "alice";
        view.groups = {gid};
    }
    void Driver(const std::string& driver) {
        Link(std::string(kInterface) + "/driver", "../../../../bus/usb/drivers/" + driver);
    }
    void Process(int pid, const std::string& name, const std::string& holds = "") {
        const std::string folder = "proc/" + std::to_string(pid);
        File(folder + "/comm", name + "\n");
        File(folder + "/cmdline", "/usr/sbin/" + name + std::string(1, '\0'));
        fs::create_directories(root / folder / "fd");
        if (!holds.empty()) Link(folder + "/fd/3", holds);
    }
    // The adapter taken away from its driver: no port, no interface driver.
    void Unbound() {
        fs::remove_all(root / kInterface / "ttyUSB0");
        fs::remove(root / kInterface / "driver");
        fs::remove_all(root / "sys/class/tty/ttyUSB0");
        fs::remove(root / "dev/ttyUSB0");
    }

    static constexpr const char* kInterface = "sys/devices/usb1/1-1/1-1:1.0";
    unsigned gid = 0;
    HostView view;
};

std::vector<std::string> Ids(const std::vector<HostFinding>& findings) {
    std::vector<std::string> ids;
    for (const HostFinding& f : findings) ids.push_back(f.id + " " + f.device);
    return ids;
}

TEST(HostCheck, NamesWhatTheComputerDoesToThePort) {
    using Ids_ = std::vector<std::string>;
    struct Row {
        const char* name;
        std::function<void(Tree&)> plant;
        Ids_ expected;
    };
    const Row rows[] = {
        {"nothing_wrong", [](Tree& t) { t.Process(50, "bash"); }, {}},
        {"braille_rule_names_the_adapter",
         [](Tree& t) {
             t.File("usr/lib/udev/rules.d/85-brltty.rules",
                    "# Device: 1A86:7523\nENV{PRODUCT}==\"1a86/7523/*\", "
                    "ENV{BRLTTY_BRAILLE_DRIVER}=\"bm\", GOTO=\"brltty_usb_run\"\n");
         },
         {"braille-service /dev/ttyUSB0"}},
        {"braille_rule_for_another_adapter",
         [](Tree& t) {
             t.File("usr/lib/udev/rules.d/85-brltty.rules",
                    "ENV{PRODUCT}==\"1a86/7522/*\", GOTO=\"brltty_usb_run\"\n"
                    "# ENV{PRODUCT}==\"1a86/7523/*\"\n");
         },
         {}},
        {"braille_service_holds_the_interface",
         [](Tree& t) {
             t.Unbound();
             t.Driver("usbfs");
             t.Process(60, "brltty");
         },
         {"braille-service USB 1a86:7523"}},
        {"modem_manager_running",
         [](Tree& t) { t.Process(70, "ModemManager"); },
         {"modem-manager /dev/ttyUSB0"}},
        {"modem_manager_told_to_ignore_the_adapter",
         [](Tree& t) {
             t.Process(70, "ModemManager");
             t.File("etc/udev/rules.d/99-radio.rules",
                    "ATTRS{idVendor}==\"1a86\", ATTRS{idProduct}==\"7523\", "
                    "ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n");
         },
         {}},
        {"modem_manager_ignores_another_adapter_only",
         [](Tree& t) {
             t.Process(70, "ModemManager");
             t.File(
                 "lib/udev/rules.d/77-mm.rules",
                 "ATTRS{idVendor}==\"1a86\", ATTRS{idProduct}==\"5523\", "
                 "ENV{ID_MM_DEVICE_IGNORE}=\"1\"\nENV{ID_MM_DEVICE_IGNORE}==\"1\", GOTO=\"end\"\n");
         },
         {"modem-manager /dev/ttyUSB0"}},
        {"group_not_in_session",
         [](Tree& t) { t.view.groups = {12345}; },
         {"group-not-in-session /dev/ttyUSB0"}},
        // A hand-edited line with a number too large for a group is passed over.
        {"group_file_with_a_number_too_large",
         [](Tree& t) {
             t.view.groups = {12345};
             t.File("etc/group", "big:x:99999999999999999999:alice\ndialout:x:" +
                                     std::to_string(t.gid) + ":alice\n");
         },
         {"group-not-in-session /dev/ttyUSB0"}},
        {"group_lacked_but_user_not_in_it",
         [](Tree& t) {
             t.view.groups = {12345};
             t.view.user = "carol";
         },
         {}},
        {"getty_holds_the_port",
         [](Tree& t) { t.Process(80, "agetty", "/dev/ttyUSB0"); },
         {"getty /dev/ttyUSB0"}},
        {"getty_on_another_port", [](Tree& t) { t.Process(80, "agetty", "/dev/ttyS0"); }, {}},
        {"another_program_holds_the_port_is_no_getty",
         [](Tree& t) { t.Process(81, "minicom", "/dev/ttyUSB0"); },
         {}},
        {"autosuspend_on",
         [](Tree& t) { t.File("sys/devices/usb1/1-1/power/control", "auto\n"); },
         {"autosuspend /dev/ttyUSB0"}},
        {"adapter_without_driver", [](Tree& t) { t.Unbound(); }, {"no-driver USB 1a86:7523"}},
    };
    for (const Row& row : rows) {
        Tree tree;
        row.plant(tree);
        EXPECT_EQ(Ids(CheckHost(tree.view)), row.expected) << row.name;
    }
}

TEST(HostCheck, AdviceCarriesTheAdaptersOwnNumbers) {
    Tree tree;
    tree.Process(70, "ModemManager");
    tree.Process(80, "agetty", "/dev/ttyUSB0");
    tree.File("sys/devices/usb1/1-1/power/control", "auto\n");
    tree.view.groups = {};
    const std::vector<HostFinding> findings = CheckHost(tree.view);
    ASSERT_EQ(findings.size(), 4u);
    EXPECT_NE(findings[0].advice.find("ATTRS{idVendor}==\"1a86\", ATTRS{idProduct}==\"7523\", "
                                      "ENV{ID_MM_DEVICE_IGNORE}=\"1\""),
              std::string::npos);
    EXPECT_NE(findings[1].advice.find("newgrp dialout"), std::string::npos);
    EXPECT_EQ(findings[2].advice, "sudo systemctl disable --now serial-getty@ttyUSB0.service");
    EXPECT_NE(findings[3].advice.find("ATTR{idVendor}==\"1a86\", ATTR{idProduct}==\"7523\", "
                                      "ATTR{power/control}=\"on\""),
              std::string::npos);
}

TEST(HostCheck, AFindingThatExplainsTheVerdictGivesItsAdvice) {
    const HostFinding braille{"braille-service", "", "Braille takes it.", "sudo apt remove brltty",
                              "USB 1a86:7523"};
    const HostFinding getty{"getty", "", "A login prompt.", "sudo systemctl disable", "/dev/ttyS0"};
    struct Row {
        const char* name;
        doctor::VerdictKind kind;
        HostFinding finding;
        bool explained;
    };
    const Row rows[] = {
        {"missing_port_and_braille_on_a_portless_adapter", doctor::VerdictKind::DeviceMissing,
         braille, true},
        {"answering_radio_needs_no_excuse", doctor::VerdictKind::Answering, braille, false},
        {"getty_explains_the_echo_on_its_port", doctor::VerdictKind::EchoOnly, getty, true},
        {"portless_adapter_does_not_explain_an_echo", doctor::VerdictKind::EchoOnly,
         HostFinding{"getty", "", "", "x", "USB 1a86:7523"}, false},
        {"getty_on_another_port_explains_nothing", doctor::VerdictKind::InUse,
         HostFinding{"getty", "", "", "x", "/dev/ttyS1"}, false},
    };
    for (const Row& row : rows) {
        doctor::Verdict verdict;
        verdict.kind = row.kind;
        verdict.text = "Verdict.";
        verdict.advice = "Check the radio.";
        const doctor::Verdict told = ExplainedByHost(verdict, {row.finding}, "/dev/ttyS0");
        EXPECT_EQ(told.advice == row.finding.advice, row.explained) << row.name;
        EXPECT_EQ(told.text != verdict.text, row.explained) << row.name;
    }
}

}  // namespace
}  // namespace cat
