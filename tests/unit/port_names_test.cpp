#include "core/port_names.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/comm_errors.h"
#include "tests/support/memory_store.h"

namespace cat {
namespace {

using test::MemoryStore;

struct MappingRow {
    const char* name;
    std::vector<std::pair<std::string, std::string>> ports;  // [Ports] key = value
    std::int16_t number;
    std::string device;
};

// Test names and failures show the row by its name.
void PrintTo(const MappingRow& row, std::ostream* out) { *out << row.name; }

class DeviceForPortTest : public ::testing::TestWithParam<MappingRow> {};

TEST_P(DeviceForPortTest, OpensTheNamedOrTheSystemDevice) {
    const MappingRow& row = GetParam();
    MemoryStore store;
    for (const auto& [key, value] : row.ports) store.Write("Ports", key, value);
    EXPECT_EQ(DeviceForPort(store, row.number), row.device);
}

#ifdef _WIN32
const std::string kCom1 = "COM1", kCom3 = "COM3", kCom32 = "COM32";
#else
const std::string kCom1 = "/dev/ttyS0", kCom3 = "/dev/ttyS2", kCom32 = "/dev/ttyS31";
#endif

const MappingRow kMappingRows[] = {
    {"NothingStoredGivesFirstSystemPort", {}, 1, kCom1},
    {"NothingStoredGivesLastSystemPort", {}, 32, kCom32},
    {"NamedDeviceWins", {{"Com3", "/dev/ttyUSB0"}}, 3, "/dev/ttyUSB0"},
    {"NamedDeviceIsTrimmed", {{"Com3", "  /dev/ttyUSB0\t "}}, 3, "/dev/ttyUSB0"},
    {"BlankEntryFallsBack", {{"Com3", "   "}}, 3, kCom3},
    {"EmptyEntryFallsBack", {{"Com3", ""}}, 3, kCom3},
    {"OtherPortsEntryIsNotUsed", {{"Com30", "/dev/ttyUSB9"}, {"Com2", "/dev/ttyACM0"}}, 3, kCom3},
    {"KeyIsExactlyComAndNumber", {{"Com 3", "/dev/ttyUSB0"}, {"COM03", "/dev/ttyUSB1"}}, 3, kCom3},
#ifndef _WIN32
    {"BareNameIsUnderDev", {{"Com3", "ttyUSB0"}}, 3, "/dev/ttyUSB0"},
    {"PseudoTerminalPathKept", {{"Com1", "/dev/pts/7"}}, 1, "/dev/pts/7"},
    {"NetworkAddressIsNotADevice", {{"Com5", " rfc2217://pi:2000 "}}, 5, "rfc2217://pi:2000"},
    {"NetworkSchemeInAnyCase", {{"Com5", "TCP://pi:3000"}}, 5, "TCP://pi:3000"},
#endif
    {"NoPortNoDevice", {{"Com0", "/dev/ttyUSB0"}}, 0, ""},
    {"NegativeNoDevice", {}, -4, ""},
};

INSTANTIATE_TEST_SUITE_P(Rows, DeviceForPortTest, ::testing::ValuesIn(kMappingRows),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST(ParsePortTarget, NetworkAddressesAreHostAndPortOrNothing) {
    struct Row {
        const char* name;
        const char* text;
        std::optional<PortKind> kind;  // nothing: refused
        std::string host;
        int port;
    };
    const Row rows[] = {
        {"rfc2217_by_name", "rfc2217://shack-pi:2000", PortKind::Rfc2217, "shack-pi", 2000},
        {"raw_by_address", "tcp://192.168.1.20:3001", PortKind::RawTcp, "192.168.1.20", 3001},
        {"ipv6_in_brackets", "tcp://[fe80::1]:4000", PortKind::RawTcp, "fe80::1", 4000},
        {"scheme_in_capitals", "RFC2217://pi:1", PortKind::Rfc2217, "pi", 1},
        {"no_port", "tcp://pi", std::nullopt, "", 0},
        {"port_zero", "tcp://pi:0", std::nullopt, "", 0},
        {"port_too_high", "tcp://pi:65536", std::nullopt, "", 0},
        {"no_host", "rfc2217://:2000", std::nullopt, "", 0},
        {"ipv6_without_brackets", "tcp://fe80::1:4000", std::nullopt, "", 0},
        {"path_after_port", "tcp://pi:2000/x", std::nullopt, "", 0},
        {"blank_in_host", "tcp://shack pi:2000", std::nullopt, "", 0},
        {"rigctld_with_port", "rigctld://shack-pi:4533", PortKind::Rigctld, "shack-pi", 4533},
        {"rigctld_default_port", "rigctld://localhost", PortKind::Rigctld, "localhost", 4532},
        {"flrig_default_port", "FLRIG://[::1]", PortKind::Flrig, "::1", 12345},
        {"flrig_port_zero", "flrig://pi:0", std::nullopt, "", 0},
        {"server_without_host", "rigctld://", std::nullopt, "", 0},
    };
    for (const Row& row : rows) {
        const auto target = ParsePortTarget(row.text);
        ASSERT_EQ(target.has_value(), row.kind.has_value()) << row.name;
        if (!target) continue;
        EXPECT_EQ(target->kind, *row.kind) << row.name;
        EXPECT_EQ(target->host, row.host) << row.name;
        EXPECT_EQ(target->port, row.port) << row.name;
        // Written back as people write it: an IPv6 address keeps its brackets.
        const std::string written =
            std::string(row.text).substr(std::string(row.text).find("//") + 2);
        const bool portWritten = written.find(':', written.find(']') + 1) != std::string::npos;
        if (portWritten) {
            EXPECT_EQ(HostAndPort(*target), written) << row.name;
        }
    }
    const auto device = ParsePortTarget("/dev/serial/by-id/usb-x");
    ASSERT_TRUE(device);
    EXPECT_EQ(device->kind, PortKind::Device);
    EXPECT_EQ(device->device, "/dev/serial/by-id/usb-x");
}

TEST(NamesTheSameDeviceWhenBack, APseudoTerminalsNameIsReusedByOthers) {
    EXPECT_TRUE(NamesTheSameDeviceWhenBack("/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"));
    EXPECT_TRUE(NamesTheSameDeviceWhenBack("/dev/ttyUSB0"));
    EXPECT_TRUE(NamesTheSameDeviceWhenBack("/tmp/radio"));
    EXPECT_FALSE(NamesTheSameDeviceWhenBack("/dev/pts/7"));
}

TEST(DeviceForPortTest, OnlyThePortsGroupNamesDevices) {
    MemoryStore store;
    store.Write("Setup", "Com3", "/dev/ttyUSB0");
    EXPECT_EQ(DeviceForPort(store, 3), kCom3);
}

TEST(PortTooltipTest, NamesTheDeviceTheEntryOpens) {
    MemoryStore store;
    store.Write("Ports", "Com3", "/dev/ttyUSB0");
    EXPECT_EQ(PortTooltip(store, 3), "Com 3 opens /dev/ttyUSB0");
    EXPECT_EQ(PortTooltip(store, 1), "Com 1 opens " + kCom1);
}

TEST(PortLabelTest, NamesPortAndDevice) {
    EXPECT_EQ(PortLabel(3, "/dev/ttyUSB0"), "Com 3 (/dev/ttyUSB0)");
    EXPECT_EQ(PortLabel(12, ""), "Com 12");
}

TEST(CommErrorTest, NumbersAreDistinct) {
    for (std::size_t i = 0; i < kCommFaults.size(); ++i)
        for (std::size_t j = i + 1; j < kCommFaults.size(); ++j)
            EXPECT_NE(kCommFaults[i].number, kCommFaults[j].number)
                << kCommFaults[i].text << " / " << kCommFaults[j].text;
}

TEST(CommErrorTest, DescriptionNamesDeviceAndKeepsSystemTextAsDetail) {
    const CatError error = CommError(CommFault::DeviceInUse, "Com 3 (/dev/ttyUSB0)", {},
                                     "Permission error while locking the device");
    EXPECT_EQ(error.Number(), 8011);
    EXPECT_EQ(error.Description(),
              "Com 3 (/dev/ttyUSB0) is in use by another program: close that program, or pick "
              "another port. (Permission error while locking the device)");
}

// The window keeps Open ticked and says the link comes back; a look that runs once says only what
// happened.
TEST(CommErrorTest, ALostLinkPromisesToReopenOnlyWhereItWill) {
    for (const CommFault fault : {CommFault::DeviceLost, CommFault::ConnectionLost}) {
        const std::string text = CommError(fault, "Com 5", "pi:2000", "reset").Description();
        EXPECT_NE(text.find("reopens by itself"), std::string::npos) << text;
        const std::string once = WithoutReopening(text);
        EXPECT_EQ(once.find("reopens"), std::string::npos) << once;
        EXPECT_TRUE(once.ends_with(". (reset)")) << once;
    }
}

TEST(CommErrorTest, RejectedValueIsQuoted) {
    const CatError error = CommError(CommFault::InvalidSettings, {}, "9600,x,8,2");
    EXPECT_EQ(error.Description().rfind("The line settings \"9600,x,8,2\" are not valid", 0), 0u)
        << error.Description();
}

}  // namespace
}  // namespace cat
