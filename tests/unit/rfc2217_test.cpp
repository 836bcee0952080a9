// The telnet client of a network serial port, from byte traces: the values are RFC 854's
// commands (IAC ff, SB fa, SE f0, WILL fb, WONT fc, DO fd, DONT fe) and RFC 2217's option 44 with
// its commands; the greeting is what ser2net's telnet(rfc2217) accepter sends on connect.
#include "shell/rfc2217.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::Bytes;
using test::ToHex;

// ser2net's greeting: WILL SGA, DO SGA, WILL ECHO, DONT ECHO, DO BINARY, WILL BINARY, DO 44.
const std::string kSer2netGreeting =
    Bytes({0xff, 0xfb, 0x03, 0xff, 0xfd, 0x03, 0xff, 0xfb, 0x01, 0xff, 0xfe,
           0x01, 0xff, 0xfd, 0x00, 0xff, 0xfb, 0x00, 0xff, 0xfd, 0x2c});

struct Session {
    TelnetSession telnet;
    std::string data;
    std::string reply;
    void Receive(const std::string& bytes) { telnet.Receive(bytes, data, reply); }
};

TEST(TelnetSession, OpeningAsksForPortControlAndBinaryBothWays) {
    TelnetSession telnet;
    EXPECT_EQ(ToHex(telnet.Start()), "ff fb 2c ff fb 00 ff fd 00");
    EXPECT_EQ(telnet.ComPortAgreement(), TelnetSession::Agreement::Pending);
}

TEST(TelnetSession, Ser2netGreetingIsAnsweredOnceAndGrantsPortControl) {
    Session s;
    s.telnet.Start();
    s.Receive(kSer2netGreeting);
    // SGA agreed both ways, ECHO refused; binary and option 44 were our own requests, granted.
    EXPECT_EQ(ToHex(s.reply), "ff fd 03 ff fb 03 ff fe 01");
    EXPECT_EQ(s.data, "");
    EXPECT_EQ(s.telnet.ComPortAgreement(), TelnetSession::Agreement::Accepted);
    // The same requests again change nothing and are not answered (no negotiation loop).
    s.reply.clear();
    s.Receive(kSer2netGreeting);
    EXPECT_EQ(ToHex(s.reply), "ff fe 01");
}

TEST(TelnetSession, GreetedFirstTheClientAgreesAndAsksNothingMore) {
    Session s;
    s.Receive(kSer2netGreeting);
    EXPECT_EQ(ToHex(s.reply), "ff fd 03 ff fb 03 ff fe 01 ff fb 00 ff fd 00 ff fb 2c");
    EXPECT_EQ(s.telnet.ComPortAgreement(), TelnetSession::Agreement::Accepted);
    EXPECT_EQ(s.telnet.Start(), "");
    EXPECT_EQ(s.telnet.ComPortAgreement(), TelnetSession::Agreement::Accepted);
}

TEST(TelnetSession, FarEndWithoutPortControlRefusesIt) {
    Session s;
    s.telnet.Start();
    s.Receive(Bytes({0xff, 0xfe, 0x2c, 0xff, 0xfd, 0x18}));  // DONT 44, DO TERMINAL-TYPE
    EXPECT_EQ(s.telnet.ComPortAgreement(), TelnetSession::Agreement::Refused);
    EXPECT_EQ(ToHex(s.reply), "ff fc 18");
}

TEST(TelnetSession, SettingRequestsAreSubnegotiationsWithEscapedValues) {
    struct Row {
        const char* name;
        std::string request;
        const char* wire;
    };
    const Row rows[] = {
        {"baud_9600", TelnetSession::SetBaudRate(9600), "ff fa 2c 01 00 00 25 80 ff f0"},
        {"baud_with_an_ff_byte", TelnetSession::SetBaudRate(0x0001c2ff),
         "ff fa 2c 01 00 01 c2 ff ff ff f0"},
        {"eight_data_bits", TelnetSession::SetDataSize(8), "ff fa 2c 02 08 ff f0"},
        {"no_parity", TelnetSession::SetParity(Parity::None), "ff fa 2c 03 01 ff f0"},
        {"two_stop_bits", TelnetSession::SetStopSize(StopBits::Two), "ff fa 2c 04 02 ff f0"},
        {"one_and_a_half", TelnetSession::SetStopSize(StopBits::OneAndHalf),
         "ff fa 2c 04 03 ff f0"},
        {"rts_cts", TelnetSession::SetControl(ComPortControl::HardwareFlowControl),
         "ff fa 2c 05 03 ff f0"},
        {"rts_off", TelnetSession::SetControl(ComPortControl::RtsOff), "ff fa 2c 05 0c ff f0"},
        {"dtr_off", TelnetSession::SetControl(ComPortControl::DtrOff), "ff fa 2c 05 09 ff f0"},
        {"modem_mask", TelnetSession::SetModemStateMask(0xb0), "ff fa 2c 0b b0 ff f0"},
    };
    for (const Row& row : rows) EXPECT_EQ(ToHex(row.request), row.wire) << row.name;
}

TEST(TelnetSession, FarEndsAnswersAreReadInAnyPieces) {
    // Answers (command + 100) to baud 19200, 8 bits, no parity, 2 stop bits, RTS/CTS, with a
    // modem-state notification and data between them.
    const std::string trace =
        Bytes({0xff, 0xfa, 0x2c, 0x6b, 0x00, 0xff, 0xf0, 0xff, 0xfa, 0x2c, 0x65, 0x00, 0x00,
               0x4b, 0x00, 0xff, 0xf0, 0xfe, 0xfe, 0xff, 0xfa, 0x2c, 0x66, 0x08, 0xff, 0xf0,
               0xff, 0xfa, 0x2c, 0x67, 0x01, 0xff, 0xf0, 0xe0, 0xff, 0xfa, 0x2c, 0x68, 0x02,
               0xff, 0xf0, 0xff, 0xfa, 0x2c, 0x69, 0x03, 0xff, 0xf0, 0xfd});
    for (std::size_t piece : {trace.size(), std::size_t{1}, std::size_t{2}, std::size_t{5}}) {
        Session s;
        for (std::size_t i = 0; i < trace.size(); i += piece) s.Receive(trace.substr(i, piece));
        EXPECT_EQ(ToHex(s.data), "fe fe e0 fd") << "pieces of " << piece;
        EXPECT_EQ(s.telnet.Reported(ComPortCommand::SetBaudRate), 19200u);
        EXPECT_EQ(s.telnet.Reported(ComPortCommand::SetDataSize), 8u);
        EXPECT_EQ(s.telnet.Reported(ComPortCommand::SetParity), 1u);
        EXPECT_EQ(s.telnet.Reported(ComPortCommand::SetStopSize), 2u);
        EXPECT_EQ(s.telnet.Reported(ComPortCommand::SetControl), 3u);
        EXPECT_EQ(s.reply, "");
        s.telnet.ForgetReports();
        EXPECT_FALSE(s.telnet.Reported(ComPortCommand::SetBaudRate));
    }
}

// SET-CONTROL answers about DTR and RTS are the lines' state and leave the flow-control answer
// alone; NOTIFY-MODEMSTATE (107) carries DCD 80, DSR 20, CTS 10.
TEST(TelnetSession, LineAnswersAndModemStateAreKeptApart) {
    struct Row {
        const char* name;
        std::vector<int> answer;
        std::optional<bool> dtr, rts;
        std::optional<std::uint32_t> flow;
        std::optional<std::uint8_t> modem;
    };
    const Row rows[] = {
        {"dtr_on", {0x08}, true, {}, {}, {}},
        {"dtr_off_then_rts_on", {0x09, 0x0b}, false, true, {}, {}},
        {"flow_none_then_rts_off", {0x01, 0x0c}, {}, false, 1u, {}},
        {"request_values_are_no_state", {0x07, 0x0a}, {}, {}, {}, {}},
    };
    for (const Row& row : rows) {
        Session s;
        for (int value : row.answer) s.Receive(Bytes({0xff, 0xfa, 0x2c, 0x69, value, 0xff, 0xf0}));
        EXPECT_EQ(s.telnet.ReportedDtr(), row.dtr) << row.name;
        EXPECT_EQ(s.telnet.ReportedRts(), row.rts) << row.name;
        EXPECT_EQ(s.telnet.Reported(ComPortCommand::SetControl), row.flow) << row.name;
    }
    Session s;
    s.Receive(Bytes({0xff, 0xfa, 0x2c, 0x6b, 0xb1, 0xff, 0xf0}));
    EXPECT_EQ(s.telnet.ModemState(), 0xb1);
    s.telnet.ForgetReports();
    EXPECT_EQ(s.telnet.ModemState(), 0xb1);
}

TEST(TelnetSession, DataBytesPassUnchangedBothWays) {
    struct Row {
        const char* name;
        std::string received;
        const char* data;
    };
    const Row rows[] = {
        {"doubled_ff_is_one_data_byte", Bytes({0xfe, 0xff, 0xff, 0x41}), "fe ff 41"},
        {"ff_in_a_reported_value",
         Bytes({0xff, 0xfa, 0x2c, 0x65, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xf0, 0x01}),
         "01"},
        {"nop_and_go_ahead_carry_nothing", Bytes({0x31, 0xff, 0xf1, 0x32, 0xff, 0xf9, 0x33}),
         "31 32 33"},
        {"overlong_subnegotiation_is_dropped",
         Bytes({0xff, 0xfa, 0x2c, 0x65}) + std::string(500, '\x01') + Bytes({0xff, 0xf0, 0x5a}),
         "5a"},
        {"unterminated_subnegotiation_ends_at_the_next_command",
         Bytes({0xff, 0xfa, 0x2c, 0x65, 0x00, 0xff, 0xff, 0xff, 0xf1, 0x5a}), "5a"},
    };
    for (const Row& row : rows) {
        Session s;
        s.telnet.Start();
        s.Receive(kSer2netGreeting);
        s.Receive(row.received);
        EXPECT_EQ(ToHex(s.data), row.data) << row.name;
    }
    Session s;
    s.telnet.Start();
    s.Receive(kSer2netGreeting);
    EXPECT_EQ(ToHex(s.telnet.EncodeData(Bytes({0xfe, 0xff, 0x0d, 0x00}))), "fe ff ff 0d 00");
    s.Receive(rows[1].received);
    EXPECT_EQ(s.telnet.Reported(ComPortCommand::SetBaudRate), 0x0000ffffu);
}

TEST(TelnetSession, CarriageReturnCarriesANulUntilBinaryIsAgreed) {
    Session s;
    s.telnet.Start();
    EXPECT_EQ(ToHex(s.telnet.EncodeData("A\r")), "41 0d 00");
    s.Receive(Bytes({0x0d, 0x00, 0x0d, 0x0a}));
    EXPECT_EQ(ToHex(s.data), "0d 0d 0a");
    s.Receive(Bytes({0xff, 0xfd, 0x00, 0xff, 0xfb, 0x00}));  // binary granted both ways
    s.data.clear();
    EXPECT_EQ(ToHex(s.telnet.EncodeData("A\r")), "41 0d");
    s.Receive(Bytes({0x0d, 0x00}));
    EXPECT_EQ(ToHex(s.data), "0d 00");
}

// Binary is agreed for each direction on its own: what we send is binary once the far end says
// DO, what it sends once it says WILL. A far end that grants one direction only still gets, and
// sends, CR NUL the other way.
TEST(TelnetSession, BinaryIsAgreedForEachDirectionOnItsOwn) {
    struct Row {
        const char* name;
        std::string farEnd;
        const char* sent;      // "A\r" on the wire
        const char* received;  // data from 0d 00 on the wire
    };
    const Row rows[] = {
        // DO BINARY, WONT BINARY.
        {"ours_only", Bytes({0xff, 0xfd, 0x00, 0xff, 0xfc, 0x00}), "41 0d", "0d"},
        // DONT BINARY, WILL BINARY.
        {"its_only", Bytes({0xff, 0xfe, 0x00, 0xff, 0xfb, 0x00}), "41 0d 00", "0d 00"},
    };
    for (const Row& row : rows) {
        Session s;
        s.telnet.Start();
        s.Receive(row.farEnd);
        EXPECT_EQ(ToHex(s.telnet.EncodeData("A\r")), row.sent) << row.name;
        s.Receive(Bytes({0x0d, 0x00}));
        EXPECT_EQ(ToHex(s.data), row.received) << row.name;
    }
}

}  // namespace
}  // namespace cat
