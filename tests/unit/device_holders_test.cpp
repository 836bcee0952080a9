// What another holder of the radio's device is, from its command line as /proc holds it (words
// ended by NULs), the words said of it, and the Com number its server's entry goes to.
#include "shell/device_holders.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/memory_store.h"

namespace cat {
namespace {

using namespace std::string_literals;

TEST(HolderOf, NamesTheProgramAndWhereItsServerListens) {
    struct Row {
        const char* name;
        std::string commandLine;
        std::string shortName;
        std::string program;
        std::string server;  // the entry that reaches it; empty: no server
    };
    const Row rows[] = {
        {"rigctld_at_its_usual_port", "/usr/bin/rigctld\0-m\0003073\0-r\0/dev/ttyUSB0\0"s,
         "rigctld", "rigctld", "rigctld://localhost:4532"},
        {"short_port_apart", "rigctld\0-m\0003073\0-t\0004533\0"s, "", "rigctld",
         "rigctld://localhost:4533"},
        {"short_port_joined", "rigctld\0-t4534\0"s, "", "rigctld", "rigctld://localhost:4534"},
        {"port_last_in_a_cluster", "rigctld\0-vvt\0004535\0"s, "", "rigctld",
         "rigctld://localhost:4535"},
        {"port_joined_to_a_cluster", "rigctld\0-vvvt4536\0"s, "", "rigctld",
         "rigctld://localhost:4536"},
        {"long_port_with_equals", "rigctld\0--port=4537\0"s, "", "rigctld",
         "rigctld://localhost:4537"},
        {"long_port_apart", "rigctld\0--port\0004538\0"s, "", "rigctld",
         "rigctld://localhost:4538"},
        {"long_port_cut_short", "rigctld\0--po=4539\0"s, "", "rigctld", "rigctld://localhost:4539"},
        // --p could be --ptt-file, --ptt-type, --password: the server refuses it.
        {"ambiguous_cut_is_no_port", "rigctld\0--p=4540\0"s, "", "rigctld",
         "rigctld://localhost:4532"},
        {"the_last_port_given_counts", "rigctld\0-t\0004541\0--port=4542\0"s, "", "rigctld",
         "rigctld://localhost:4542"},
        // A joined value is the option's whole: the t in "retry" is no port option.
        {"a_value_is_not_read_as_options", "rigctld\0-Cretry=4543\0"s, "", "rigctld",
         "rigctld://localhost:4532"},
        {"a_value_apart_is_not_read_as_options", "rigctld\0-r\0-t4544\0"s, "", "rigctld",
         "rigctld://localhost:4532"},
        {"nothing_after_double_dash", "rigctld\0--\0-t\0004545\0"s, "", "rigctld",
         "rigctld://localhost:4532"},
        {"port_out_of_range", "rigctld\0-t\00099999\0"s, "", "rigctld", "rigctld://localhost:4532"},
        {"listening_everywhere", "rigctld\0-T\0000.0.0.0\0"s, "", "rigctld",
         "rigctld://localhost:4532"},
        {"listening_on_one_address", "rigctld\0-T\000192.168.1.5\0-t\0004550\0"s, "", "rigctld",
         "rigctld://192.168.1.5:4550"},
        {"listening_on_an_ipv6_address", "rigctld\0--listen-addr=fe80::1\0"s, "", "rigctld",
         "rigctld://[fe80::1]:4532"},
        {"another_build_of_rigctld", "/opt/wsjtx/bin/rigctld-wsjtx\0-t\0004551\0"s, "",
         "rigctld-wsjtx", "rigctld://localhost:4551"},
        {"flrig_at_its_usual_port", "/usr/bin/flrig\0"s, "flrig", "flrig",
         "flrig://localhost:12345"},
        {"flrig_port_apart", "flrig\0--xmlrpc-server-port\00012346\0"s, "", "flrig",
         "flrig://localhost:12346"},
        {"flrig_port_with_equals",
         "flrig\0--config-dir\0/home/op/.flrig\0"
         "--xmlrpc-server-port=12347\0"s,
         "", "flrig", "flrig://localhost:12347"},
        {"flrig_takes_no_cut_options", "flrig\0--xmlrpc=12348\0"s, "", "flrig",
         "flrig://localhost:12345"},
        {"a_client_is_no_server", "/usr/bin/rigctl\0-m\0001\0"s, "rigctl", "rigctl", ""},
        {"another_program", "/usr/bin/sleep\00060\0"s, "sleep", "sleep", ""},
        // The short name stops at 15 characters; the command line has it whole.
        {"whole_name", "/home/op/bin/a-radio-control-program\0"s, "a-radio-control",
         "a-radio-control-program", ""},
        {"blank_command_line", "", "kworker/0:1\n", "kworker/0:1", ""},
        {"nothing_known", "", "", "a program", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const HoldingProcess holder = HolderOf(1234, row.commandLine, row.shortName);
        EXPECT_EQ(holder.pid, 1234);
        EXPECT_EQ(holder.program, row.program);
        EXPECT_EQ(holder.server ? ServerEntry(*holder.server) : "", row.server);
    }
}

TEST(HolderWords, NameEveryHolderAndTheServerToTestThrough) {
    const HoldingProcess rigctld = HolderOf(1234, "rigctld\0-t\0004533\0"s, "");
    const HoldingProcess sleep = HolderOf(99, "sleep\00060\0"s, "");
    const HoldingProcess flrig = HolderOf(7, "flrig\0"s, "");
    struct Row {
        const char* name;
        std::vector<HoldingProcess> holders;
        std::string warning;
        std::string notProbed;
        std::string offer;  // empty: none
    };
    const Row rows[] = {
        {"one_server",
         {rigctld},
         "rigctld (process 1234) also has Com 3 open: its commands and ours will mix",
         "Com 3: held by rigctld (process 1234), not probed",
         "Com 3 is held by rigctld (process 1234): test through it"},
        {"another_program",
         {sleep},
         "sleep (process 99) also has Com 3 open: its commands and ours will mix",
         "Com 3: held by sleep (process 99), not probed",
         ""},
        {"the_server_among_others",
         {sleep, flrig, rigctld},
         "sleep (process 99), flrig (process 7) and rigctld (process 1234) also have Com 3 open: "
         "their commands and ours will mix",
         "Com 3: held by sleep (process 99), flrig (process 7) and rigctld (process 1234), not "
         "probed",
         "Com 3 is held by flrig (process 7): test through it"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(SharedOpenWarning(row.holders, "Com 3"), row.warning);
        EXPECT_EQ(NotProbedText(row.holders, "Com 3"), row.notProbed);
        const std::optional<HoldingProcess> server = SharingServer(row.holders);
        EXPECT_EQ(server ? TestThroughText(*server, "Com 3") : "", row.offer);
    }
    EXPECT_EQ(SharedOpenWarning({}, "Com 3"), "");
}

TEST(ComForServer, ReusesItsEntryElseTakesAFreeNumber) {
    using Ports = std::map<std::string, std::string>;
    const PortTarget usual = *ParsePortTarget("rigctld://localhost:4532");
    std::vector<SerialDeviceInfo> allSystemPorts;
    for (int n = 0; n < 32; ++n)
        allSystemPorts.push_back({"/dev/ttyS" + std::to_string(n), "", "", ""});
    Ports full;
    for (int n = 1; n <= 32; ++n)
        full["Com" + std::to_string(n)] = "/dev/ttyUSB" + std::to_string(n);
    struct Row {
        const char* name;
        Ports ports;
        std::vector<SerialDeviceInfo> system;
        std::optional<std::int16_t> com;
    };
    const Row rows[] = {
        {"its_entry_again_in_any_letter_case",
         {{"Com1", "/dev/ttyUSB0"}, {"Com6", "RIGCTLD://LocalHost"}},
         {},
         6},
        {"same_server_other_port_is_not_it", {{"Com1", "rigctld://localhost:4533"}}, {}, 2},
        {"another_server_at_that_port_is_not_it", {{"Com1", "flrig://localhost:4532"}}, {}, 2},
        {"the_systems_own_ports_are_passed",
         {{"Com3", "/dev/ttyUSB0"}},
         {{"/dev/ttyS0", "", "", ""}, {"/dev/ttyS1", "", "", ""}, {"/dev/ttyS3", "", "", ""}},
         5},
        {"every_system_port_there_takes_the_first_unmapped",
         {{"Com1", "/dev/ttyUSB0"}},
         allSystemPorts,
         2},
        {"every_number_mapped", full, {}, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::MemoryStore store;
        for (const auto& [key, value] : row.ports) store.Write(kPortsGroup, key, value);
        DeviceSnapshot snapshot;
        snapshot.devices = row.system;
        // The listed ports are there; nothing else is.
        snapshot.resolve = [&row](const std::string& path) -> std::optional<std::string> {
            for (const SerialDeviceInfo& device : row.system)
                if (device.location == path) return path;
            return std::nullopt;
        };
        EXPECT_EQ(ComForServer(DescribePorts(store, snapshot), usual), row.com);
    }
}

// Test through a server: its entry goes to a Com number, on disk before the port list reads it.
TEST(PutServerOnCom, WritesAFreeNumberOrSaysWhyNot) {
    const std::string entry = "rigctld://localhost:4532";
    struct Row {
        const char* name;
        std::string entry;
        std::map<std::string, std::string> ports;
        bool writable;
        std::optional<std::int16_t> com;
        const char* brief;    // "": nothing to say
        const char* written;  // the Com key written, nullptr: none
    };
    std::map<std::string, std::string> full;
    for (int n = 1; n <= 32; ++n)
        full["Com" + std::to_string(n)] = "/dev/ttyUSB" + std::to_string(n);
    const Row rows[] = {
        {"a_free_number_gets_the_entry", entry, {{"Com1", "/dev/ttyUSB0"}}, true, 2, "", "Com2"},
        {"its_own_entry_is_used_again_unwritten", entry, {{"Com4", entry}}, true, 4, "", nullptr},
        {"every_number_taken", entry, full, true, std::nullopt, "No free Com number", nullptr},
        {"an_unwritable_file_is_said",
         entry,
         {},
         false,
         1,
         "Not saved: Com1=rigctld://localhost:4532",
         "Com1"},
        {"a_malformed_entry_does_nothing", "rigctld://[::1", {}, true, std::nullopt, "", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::MemoryStore store;
        for (const auto& [key, value] : row.ports) store.Write(kPortsGroup, key, value);
        store.writeOrder.clear();
        store.writable = row.writable;
        DeviceSnapshot snapshot;
        snapshot.resolve = [](const std::string&) -> std::optional<std::string> { return {}; };
        const ServerCom put = PutServerOnCom(store, DescribePorts(store, snapshot), row.entry);
        EXPECT_EQ(put.com, row.com);
        EXPECT_EQ(put.refusal ? put.refusal->brief : "", row.brief);
        EXPECT_EQ(store.writeOrder,
                  row.written ? std::vector<std::string>{row.written} : std::vector<std::string>{});
        if (row.written && row.writable) {
            EXPECT_EQ(store.Read(kPortsGroup, row.written), entry);
        }
    }
}

}  // namespace
}  // namespace cat
