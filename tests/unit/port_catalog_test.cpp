// What each Com N shows and which numbers new adapters get, from tables of what the serial
// library lists, a /dev/serial/by-id folder and the paths that exist.
#include "shell/port_catalog.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/memory_store.h"

namespace cat {
namespace {

using test::MemoryStore;

const std::string kById = "/dev/serial/by-id/";
const std::string kCp2102 = "usb-Silicon_Labs_CP2102_USB_to_UART_Bridge_Controller_0001-if00-port0";
const std::string kFtdi = "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
const std::string kIcom =
    "usb-Silicon_Labs_CP2102N_USB_to_UART_Bridge_Controller_IC-7300_02-if00-port0";

const SerialDeviceInfo kCp2102Info{"/dev/ttyUSB0", "CP2102 USB to UART Bridge Controller",
                                   "Silicon Labs", "0001"};
const SerialDeviceInfo kFtdiInfo{"/dev/ttyUSB1", "FT232R USB UART", "FTDI", "A50285BI"};
const SerialDeviceInfo kUartInfo{"/dev/ttyS0", "", "", ""};

// A machine: the ports the library lists, the by-id folder, and every other path that exists
// (links followed: path -> device).
struct Machine {
    std::vector<SerialDeviceInfo> devices;
    std::vector<StableName> byId;
    std::map<std::string, std::string> paths;

    DeviceSnapshot Snapshot() const {
        DeviceSnapshot s;
        s.devices = devices;
        s.stableNames = byId;
        std::map<std::string, std::string> all = paths;
        for (const auto& d : devices) all[d.location] = d.location;
        for (const auto& n : byId) all[kById + n.name] = n.device;
        s.resolve = [all](const std::string& path) -> std::optional<std::string> {
            auto it = all.find(path);
            if (it == all.end()) return std::nullopt;
            return it->second;
        };
        return s;
    }
};

const Machine kTwoAdaptersAndAUart{
    {kUartInfo, kCp2102Info, kFtdiInfo},
    {{kCp2102, "/dev/ttyUSB0"}, {kFtdi, "/dev/ttyUSB1"}},
    {{"/tmp/radio", "/dev/pts/4"}, {"/dev/pts/4", "/dev/pts/4"}, {"/dev/ttyS6", "/dev/ttyS6"}},
};

TEST(PortEntry, ShowsWhatTheEntryOpensAndTheTooltipTheRest) {
    struct Row {
        const char* name;
        const char* key;  // [Ports] key, nullptr for none
        std::string value;
        int number;
        std::string entry;
        std::string tooltip;
    };
    const std::string absent = ", which is not there now (unplugged or switched off)";
    const Row rows[] = {
        {"system_port_there", nullptr, "", 1, "Com 1  ttyS0", "Com 1 opens /dev/ttyS0"},
        {"system_port_not_there", nullptr, "", 2, "Com 2  ttyS1 (absent)",
         "Com 2 opens /dev/ttyS1" + absent},
        // /dev/ttyS6 exists, as on many machines, but is no serial port the system lists.
        {"system_node_that_is_no_port", nullptr, "", 7, "Com 7", "Com 7 opens /dev/ttyS6"},
        {"by_id_mapping", "Com3", kById + kCp2102, 3,
         "Com 3  ttyUSB0 (CP2102 USB to UART Bridge Controller)",
         "Com 3 opens " + kById + kCp2102 +
             ", now /dev/ttyUSB0: CP2102 USB to UART Bridge Controller, Silicon Labs, serial "
             "number 0001"},
        {"manufacturer_not_repeated", "Com4", "/dev/ttyUSB1", 4, "Com 4  ttyUSB1 (FT232R USB UART)",
         "Com 4 opens /dev/ttyUSB1: FT232R USB UART, FTDI, serial number A50285BI"},
        {"absent_adapter_by_its_name", "Com5", kById + kIcom, 5,
         "Com 5  Silicon_Labs_CP2102N_USB_to_UART_Bridge_Controller_IC-7300_02 (absent)",
         "Com 5 opens " + kById + kIcom + absent},
        {"absent_path", "Com6", "ttyACM0", 6, "Com 6  ttyACM0 (absent)",
         "Com 6 opens /dev/ttyACM0" + absent},
        {"link_outside_dev", "Com1", "/tmp/radio", 1, "Com 1  pts/4",
         "Com 1 opens /tmp/radio, now /dev/pts/4"},
        {"rfc2217", "Com7", "rfc2217://shack-pi:2000", 7, "Com 7  rfc2217://shack-pi:2000",
         "Com 7 opens rfc2217://shack-pi:2000: a serial port on the network (RFC 2217); the "
         "program sets its line speed"},
        {"raw_tcp_speed_is_the_far_ends", "Com8", "tcp://10.0.0.5:3001", 8,
         "Com 8  tcp://10.0.0.5:3001",
         "Com 8 opens tcp://10.0.0.5:3001: a network port (raw TCP); the line speed is whatever "
         "the far end is set to"},
        {"malformed_network_address", "Com9", "tcp://shack-pi", 9,
         "Com 9  tcp://shack-pi (not a valid address)",
         "Com 9 opens tcp://shack-pi: not a valid network address (rfc2217://host:port, "
         "tcp://host:port, rigctld://host[:port] or flrig://host[:port])"},
        {"rigctld_server", "Com10", "rigctld://localhost", 10, "Com 10  rigctld://localhost",
         "Com 10 opens rigctld://localhost: a rigctld rig-sharing server; it sets the radio's "
         "line itself"},
    };
    for (const Row& row : rows) {
        MemoryStore store;
        if (row.key) store.Write("Ports", row.key, row.value);
        const std::vector<PortRow> ports = DescribePorts(store, kTwoAdaptersAndAUart.Snapshot());
        ASSERT_EQ(ports.size(), 32u);
        EXPECT_EQ(PortEntryText(ports[row.number - 1]), row.entry) << row.name;
        EXPECT_EQ(PortRowTooltip(ports[row.number - 1]), row.tooltip) << row.name;
    }
}

TEST(AssignNewAdapters, GivesTheLowestFreeNumberOnceAndTouchesNoKey) {
    using Ports = std::map<std::string, std::string>;
    const Machine oneAdapter{{kCp2102Info}, {{kCp2102, "/dev/ttyUSB0"}}, {}};
    const Machine sameAdapterOnTtyUsb3{
        {{"/dev/ttyUSB3", "CP2102", "", ""}}, {{kCp2102, "/dev/ttyUSB3"}}, {}};
    const Machine fourSystemPorts{
        {kUartInfo, {"/dev/ttyS2", "", "", ""}, {"/dev/ttyS3", "", "", ""}, kCp2102Info},
        {{kCp2102, "/dev/ttyUSB0"}},
        {}};
    Ports full;  // every number from 3 up taken
    for (int n = 3; n <= 32; ++n) full["Com" + std::to_string(n)] = "tcp://x:1";
    struct Row {
        const char* name;
        const Machine& machine;
        Ports before;
        Ports after;
    };
    const Row rows[] = {
        {"first_adapter_gets_com3", oneAdapter, {}, {{"Com3", kById + kCp2102}}},
        {"two_in_name_order",
         kTwoAdaptersAndAUart,
         {},
         {{"Com3", kById + kFtdi}, {"Com4", kById + kCp2102}}},
        {"hand_written_keys_kept",
         oneAdapter,
         {{"Com3", "/dev/ttyUSB7"}, {"Com4", ""}},
         {{"Com3", "/dev/ttyUSB7"}, {"Com4", ""}, {"Com5", kById + kCp2102}}},
        {"mapped_by_hand_by_path", oneAdapter, {{"Com9", "ttyUSB0"}}, {{"Com9", "ttyUSB0"}}},
        {"same_adapter_other_tty_keeps_its_number",
         sameAdapterOnTtyUsb3,
         {{"Com6", kById + kCp2102}},
         {{"Com6", kById + kCp2102}}},
        {"system_ports_keep_their_numbers", fourSystemPorts, {}, {{"Com5", kById + kCp2102}}},
        {"no_free_number", oneAdapter, full, full},
        {"nothing_plugged_in", Machine{{kUartInfo}, {}, {}}, {}, {}},
    };
    for (const Row& row : rows) {
        MemoryStore store;
        for (const auto& [key, value] : row.before) store.Write("Ports", key, value);
        AssignNewAdapters(store, row.machine.Snapshot());
        Ports ports;
        for (const auto& [key, value] : store.values)
            if (key.first == "Ports") ports[key.second] = value;
        EXPECT_EQ(ports, row.after) << row.name;
        // A second scan of the same machine finds every adapter reached and writes nothing.
        const std::size_t writes = store.writeOrder.size();
        EXPECT_TRUE(AssignNewAdapters(store, row.machine.Snapshot()).empty()) << row.name;
        EXPECT_EQ(store.writeOrder.size(), writes) << row.name;
    }
}

// A line of the table as its columns: runs of two or more blanks separate them.
std::vector<std::string> Columns(const std::string& line) {
    std::vector<std::string> columns;
    std::size_t i = line.find_first_not_of(' ');
    while (i != std::string::npos && i < line.size()) {
        const std::size_t gap = line.find("  ", i);
        columns.push_back(line.substr(i, gap == std::string::npos ? gap : gap - i));
        i = gap == std::string::npos ? gap : line.find_first_not_of(' ', gap);
    }
    return columns;
}

TEST(PortTable, ListsWhatOpensSomethingAndTheAdaptersNoNumberReaches) {
    MemoryStore store;
    store.Write("Ports", "Com3", kById + kCp2102);
    store.Write("Ports", "Com5", kById + kIcom);
    store.Write("Ports", "Com6", "/tmp/radio");
    store.Write("Ports", "Com7", "rfc2217://shack-pi:2000");
    store.Write("Ports", "Com8", "/tmp/ra\ndio");  // a hand-edited value with a line end in it
    store.Write("Ports", "Com9", "rigctld://shack-pi");
    store.Write("Ports", "Com9.RTS", "on");
    // What the entries do with DTR and RTS is said too, and an entry that sets nothing.
    store.Write("Ports", "Com1.DTR", " Off");
    store.Write("Ports", "Com7.RTS", "on");
    store.Write("Ports", "Com7.DTR", "maybe");
    const DeviceSnapshot snapshot = kTwoAdaptersAndAUart.Snapshot();
    const std::string table = PortTable(DescribePorts(store, snapshot), snapshot);

    const std::vector<std::vector<std::string>> expected = {
        {"Com", "Device", "By-id name", "Description"},
        {"1", "/dev/ttyS0", "-", "DTR off"},
        {"3", "/dev/ttyUSB0", kCp2102,
         "CP2102 USB to UART Bridge Controller, Silicon Labs, serial number 0001"},
        {"5", "-", kIcom, "absent: " + kById + kIcom + " is not there now"},
        {"6", "/dev/pts/4", "-", "mapped as /tmp/radio"},
        {"7", "rfc2217://shack-pi:2000", "-",
         "a serial port on the network (RFC 2217); the program sets its line speed; RTS on; "
         "ignored (not on or off): Com7.DTR=maybe"},
        {"8", "-", "-", "absent: /tmp/ra\\x0adio is not there now"},
        // A server owns the radio's lines: the entry for one sets nothing.
        {"9", "rigctld://shack-pi", "-",
         "a rigctld rig-sharing server; it sets the radio's line itself; not used, the server "
         "owns the radio's lines: RTS on"},
        {"-", "/dev/ttyUSB1", kFtdi,
         "FT232R USB UART, FTDI, serial number A50285BI; no Com number"},
    };
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = table.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(table.substr(at, end - at));
    ASSERT_EQ(lines.size(), expected.size()) << table;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(Columns(lines[i]), expected[i]) << lines[i];
        // Columns line up under their headings; numbers are right-aligned.
        const std::size_t device = lines[i].find(expected[i][1]);
        EXPECT_EQ(device, lines[0].find("Device")) << lines[i];
        EXPECT_EQ(lines[i].find(expected[i][2], device + expected[i][1].size()),
                  lines[0].find("By-id name"))
            << lines[i];
        EXPECT_NE(lines[i].back(), ' ');
    }
}

TEST(PortTable, MarksThePortsTheComputerGetsInTheWayOf) {
    MemoryStore store;
    const DeviceSnapshot snapshot = kTwoAdaptersAndAUart.Snapshot();
    const std::vector<HostFinding> host = {
        {"getty", "", "", "", "/dev/ttyS0"},
        {"modem-manager", "", "", "", "/dev/ttyUSB1"},
        {"autosuspend", "", "", "", "/dev/ttyUSB1"},
        {"getty", "", "", "", "/dev/ttyS9"},  // no line shows it: no mark anywhere
        {"no-driver", "", "", "", "USB 1a86:7523"},
    };
    const std::string table = PortTable(DescribePorts(store, snapshot), snapshot, host);
    std::vector<std::vector<std::string>> rows;
    for (std::size_t at = 0, end; (end = table.find('\n', at)) != std::string::npos; at = end + 1)
        rows.push_back(Columns(table.substr(at, end - at)));
    ASSERT_GE(rows.size(), 3u) << table;
    EXPECT_EQ(rows[1], (std::vector<std::string>{"1", "/dev/ttyS0", "-", "host: getty"}));
    EXPECT_EQ(rows[rows.size() - 2].back(),
              "FT232R USB UART, FTDI, serial number A50285BI; no Com number; host: "
              "modem-manager, autosuspend");
    EXPECT_EQ(rows.back(),
              (std::vector<std::string>{"-", "USB 1a86:7523", "-", "no port; host: no-driver"}));
    EXPECT_EQ(table.find("ttyS9"), std::string::npos);
}

}  // namespace
}  // namespace cat
