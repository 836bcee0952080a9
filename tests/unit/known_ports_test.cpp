// Which ports may skip the check for a five-byte radio: a radio's own USB port only, and only
// while it is the same device in the same plug-in of the same boot.
#include "link/known_ports.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace cat {
namespace {

DeviceIdentity Ic7300() {
    return {"usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_IC-7300_03001234-if00-port0",
            "IC-7300 03001234",
            "CP2102 USB to UART Bridge Controller",
            "Silicon Labs",
            "10c4",
            "ea60",
            "1-1.2",
            "1-1.2:1.0",
            1,
            7,
            "3f1c9a52-6b0e-4d8e-9a51-0c2f7d8e1b44"};
}

TEST(KnownPorts, OnlyARadiosNameMakesARadiosOwnPort) {
    struct Row {
        const char* name;
        std::string serial, product;
        bool own;
    };
    const Row rows[] = {
        {"icom_serial_on_a_bridge_chip", "IC-7300 03001234", "CP2102 USB to UART Bridge Controller",
         true},
        {"radio_named_in_the_product", "16001096", "IC-705", true},
        {"later_version_of_the_model", "IC-7300MK2 12001234", "", true},
        {"longer_model_number_is_another_radio", "IC-7050 1234", "", false},
        {"generic_cp2102", "0001", "CP2102 USB to UART Bridge Controller", false},
        {"generic_ftdi_cable", "A10KZP3X", "FT232R USB UART", false},
        {"cable_whose_owner_named_it_after_the_radio", "my IC-7300 cable", "USB Serial", false},
    };
    for (const Row& row : rows) {
        DeviceIdentity id = Ic7300();
        id.serial = row.serial;
        id.product = row.product;
        EXPECT_EQ(RadioOwnPort(id), row.own) << row.name;
    }
}

TEST(KnownPorts, CheckedBeforeOnlyOnTheSameDeviceInTheSamePlugIn) {
    using D = DeviceIdentity&;
    struct Row {
        const char* name;
        std::function<void(D)> change;  // made to the IC-7300 asked about
        bool remembered;                // made to the IC-7300 remembered as well
        bool forget;                    // the asked device is forgotten in between
        bool checked;
        std::size_t kept;
    };
    const Row rows[] = {
        {"same_device", [](D) {}, false, false, true, 1},
        {"replugged_gets_a_new_devnum", [](D d) { d.devnum = 8; }, false, false, false, 1},
        {"rebooted", [](D d) { d.bootId = "another boot"; }, false, false, false, 1},
        {"another_radio", [](D d) { d.serial = "IC-7300 03009999"; }, false, false, false, 1},
        {"moved_to_another_usb_port", [](D d) { d.usbPath = "1-1.3"; }, false, false, false, 1},
        {"the_radios_other_port", [](D d) { d.interface = "1-1.2:1.1"; }, false, false, false, 1},
        {"cable_is_never_remembered", [](D d) { d.serial = "0001"; }, true, false, false, 0},
        {"without_a_boot_id_nothing_is_proven", [](D d) { d.bootId.clear(); }, true, false, false,
         0},
        {"forgotten_when_a_five_byte_radio_answered", [](D) {}, false, true, false, 0},
    };
    for (const Row& row : rows) {
        DeviceIdentity remembered = Ic7300();
        DeviceIdentity asked = Ic7300();
        row.change(asked);
        if (row.remembered) row.change(remembered);
        KnownPorts ports;
        ports.Remember(remembered, "ICOM", 19200);
        if (row.forget) ports.Forget(asked);
        EXPECT_EQ(ports.CheckedBefore(asked), row.checked) << row.name;
        EXPECT_EQ(ports.Entries().size(), row.kept) << row.name;
        // What is kept in the file says the same.
        EXPECT_EQ(KnownPorts::Parse(ports.Text()).CheckedBefore(asked), row.checked) << row.name;
    }
}

TEST(KnownPorts, FileKeepsTheNewestEntriesAndSkipsWhatItCannotRead) {
    KnownPorts ports;
    DeviceIdentity id = Ic7300();
    for (int i = 0; i < 40; ++i) {
        id.serial = "IC-7300 0300" + std::to_string(1000 + i);
        ports.Remember(id, "ICOM", 19200);
    }
    // A replug replaces its stale entry rather than adding one.
    id.devnum = 9;
    ports.Remember(id, "ICOM", 115200);
    ASSERT_EQ(ports.Entries().size(), KnownPorts::kMost);
    const std::string text = ports.Text();
    // One entry more than the file keeps, written after the others, and lines no writer made.
    const std::string line = text.substr(text.rfind("port\t"));
    std::string newest = line;
    newest.replace(newest.find("IC-7300 03001039"), 16, "IC-7300 03002000");
    const std::string garbled = newest + "garbage\n\nport\tIC-7300 1\t10c4\n" +
                                line.substr(0, line.size() - 2) + "\n" +  // cut short
                                std::string(line).replace(line.find("\t9\t"), 3, "\tnine\t");
    const KnownPorts read = KnownPorts::Parse(text + garbled);
    ASSERT_EQ(read.Entries().size(), KnownPorts::kMost);
    EXPECT_EQ(read.Entries().front().identity.serial, "IC-7300 03001009");
    EXPECT_EQ(read.Entries().back().identity.serial, "IC-7300 03002000");
    EXPECT_EQ(read.Find(id)->speed, 115200);
    EXPECT_EQ(KnownPorts::Parse(read.Text()).Text(), read.Text());
}

}  // namespace
}  // namespace cat
