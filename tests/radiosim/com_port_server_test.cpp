// The RFC 2217 access server in process: client bytes in, answers, serial data and control-line
// changes out, in order. Expected bytes are written from RFC 2217 and the telnet RFCs (854, 856,
// 858), never produced by radiosim's own encoder.

#include "tools/radiosim/com_port_server.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/radiosim/hex.h"

namespace radiosim {
namespace {

using test::Bytes;
using test::Hex;

// Every event as one line: "answer ff fd 2c", "data 41 42", "lines dtr on rts off".
struct Events : ComPortServer::Listener {
    ComPortServer* server = nullptr;
    std::vector<std::string> log;
    void SerialData(std::string_view bytes) override { log.push_back("data " + Hex(bytes)); }
    void Answer(std::string bytes) override { log.push_back("answer " + Hex(bytes)); }
    void ControlLinesChanged() override {
        log.push_back(std::string("lines dtr ") + (server->line().dtr ? "on" : "off") + " rts " +
                      (server->line().rts ? "on" : "off"));
    }
    std::string Log() const {
        std::string all;
        for (const std::string& line : log) all += line + "\n";
        return all;
    }
};

struct Connection {
    Connection() { events.server = &server; }
    Events events;
    ComPortServer server{events};
};

// The client's usual opening once the greeting has been taken: it controls the port, binary
// both ways.
const std::string kClientAgrees = Bytes("ff fb 2c ff fd 00 ff fb 00 ff fd 03 ff fb 03");

TEST(ComPortServer, GreetsAndNegotiatesOnlyWhatItNeeds) {
    {
        Connection c;
        // WILL SUPPRESS-GO-AHEAD, DO SUPPRESS-GO-AHEAD, DO BINARY, WILL BINARY, DO COM-PORT.
        EXPECT_EQ(Hex(c.server.Greeting()), "ff fb 03 ff fd 03 ff fd 00 ff fb 00 ff fd 2c");
        // Agreement to what the server asked draws no answer; the client that takes the port
        // hears the modem lines: CTS and DSR on, DCD off.
        c.server.Receive(kClientAgrees);
        EXPECT_EQ(c.events.Log(), "answer ff fa 2c 6b 30 ff f0\n");
    }
    struct Row {
        const char* name;
        std::string in;
        const char* log;
    };
    const Row rows[] = {
        {"a client that offers first is taken", "ff fb 2c",
         "answer ff fd 2c\nanswer ff fa 2c 6b 30 ff f0\n"},
        {"asked to echo: refused", "ff fd 01", "answer ff fc 01\n"},
        {"offered a terminal type: refused", "ff fb 18", "answer ff fe 18\n"},
        {"binary granted, then withdrawn", "ff fd 00 ff fe 00",
         "answer ff fb 00\nanswer ff fc 00\n"},
        {"a refusal of what was never on: silence", "ff fe 05 ff fc 05", ""},
        {"NOP and go-ahead between data", "41 ff f1 42 ff f9 43", "data 41\ndata 42\ndata 43\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Connection c;
        c.server.Receive(Bytes(row.in));
        EXPECT_EQ(c.events.Log(), row.log);
    }
}

TEST(ComPortServer, AnswersEverySettingWithTheValueInUse) {
    struct Row {
        const char* name;
        std::string in;  // one subnegotiation, IAC SB 44 ... IAC SE
        std::string answer;
        const char* line;
        bool dtr = true;
        bool rts = true;
        bool agreed = true;  // the client sent WILL COM-PORT-OPTION first
    };
    const Row rows[] = {
        {"speed before the client agreed: not heard", "ff fa 2c 01 00 00 12 c0 ff f0", "",
         "9600 8N1 none", true, true, false},
        {"speed 4800", "ff fa 2c 01 00 00 12 c0 ff f0", "ff fa 2c 65 00 00 12 c0 ff f0",
         "4800 8N1 none"},
        {"speed asked: the 9600 of a port just opened", "ff fa 2c 01 00 00 00 00 ff f0",
         "ff fa 2c 65 00 00 25 80 ff f0", "9600 8N1 none"},
        {"a speed holding a doubled ff", "ff fa 2c 01 00 01 ff ff 00 ff f0",
         "ff fa 2c 65 00 01 ff ff 00 ff f0", "130816 8N1 none"},
        {"seven data bits", "ff fa 2c 02 07 ff f0", "ff fa 2c 66 07 ff f0", "9600 7N1 none"},
        {"nine data bits: kept at eight", "ff fa 2c 02 09 ff f0", "ff fa 2c 66 08 ff f0",
         "9600 8N1 none"},
        {"even parity", "ff fa 2c 03 03 ff f0", "ff fa 2c 67 03 ff f0", "9600 8E1 none"},
        {"parity asked", "ff fa 2c 03 00 ff f0", "ff fa 2c 67 01 ff f0", "9600 8N1 none"},
        {"two stop bits", "ff fa 2c 04 02 ff f0", "ff fa 2c 68 02 ff f0", "9600 8N2 none"},
        {"one and a half stop bits", "ff fa 2c 04 03 ff f0", "ff fa 2c 68 03 ff f0",
         "9600 8N1.5 none"},
        {"RTS/CTS flow control", "ff fa 2c 05 03 ff f0", "ff fa 2c 69 03 ff f0", "9600 8N1 rtscts"},
        {"XON/XOFF flow control", "ff fa 2c 05 02 ff f0", "ff fa 2c 69 02 ff f0",
         "9600 8N1 xonxoff"},
        {"flow control asked", "ff fa 2c 05 00 ff f0", "ff fa 2c 69 01 ff f0", "9600 8N1 none"},
        {"DTR asked: on since the connection", "ff fa 2c 05 07 ff f0", "ff fa 2c 69 08 ff f0",
         "9600 8N1 none"},
        {"RTS asked: on since the connection", "ff fa 2c 05 0a ff f0", "ff fa 2c 69 0b ff f0",
         "9600 8N1 none"},
        {"DTR off", "ff fa 2c 05 09 ff f0", "ff fa 2c 69 09 ff f0", "9600 8N1 none", false},
        {"RTS off", "ff fa 2c 05 0c ff f0", "ff fa 2c 69 0c ff f0", "9600 8N1 none", true, false},
        {"break asked: off", "ff fa 2c 05 04 ff f0", "ff fa 2c 69 06 ff f0", "9600 8N1 none"},
        {"inbound flow control asked: none", "ff fa 2c 05 0d ff f0", "ff fa 2c 69 0e ff f0",
         "9600 8N1 none"},
        {"line-state mask", "ff fa 2c 0a 00 ff f0", "ff fa 2c 6e 00 ff f0", "9600 8N1 none"},
        {"purge both buffers", "ff fa 2c 0c 03 ff f0", "ff fa 2c 70 03 ff f0", "9600 8N1 none"},
        {"signature asked", "ff fa 2c 00 ff f0", "ff fa 2c 64 72 61 64 69 6f 73 69 6d ff f0",
         "9600 8N1 none"},
        {"another option's subnegotiation: ignored", "ff fa 18 00 ff f0", "", "9600 8N1 none"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Connection c;
        c.server.Greeting();
        if (row.agreed) c.server.Receive(kClientAgrees);
        c.events.log.clear();  // the modem lines, told at the agreement
        c.server.Receive(Bytes(row.in));
        std::string answers;
        for (const std::string& event : c.events.log) {
            if (event.starts_with("answer ")) answers += event.substr(7);
        }
        EXPECT_EQ(answers, Hex(Bytes(row.answer)));
        EXPECT_EQ(ComPortLineText(c.server.line()), row.line);
        EXPECT_EQ(c.server.line().dtr, row.dtr);
        EXPECT_EQ(c.server.line().rts, row.rts);
    }
}

TEST(ComPortServer, KeepsDataAndLineChangesInTheirOrder) {
    Connection c;
    (void)c.server.Greeting();
    c.server.Receive(kClientAgrees);
    c.events.log.clear();
    // RTS dropped, a data byte ff (doubled) and CR, RTS raised again, a command in two pieces.
    c.server.Receive(Bytes("ff fa 2c 05 0c ff f0 ff ff 0d 00 ff fa 2c 05"));
    c.server.Receive(Bytes("0b ff f0 49 44 3b"));
    EXPECT_EQ(c.events.Log(),
              "answer ff fa 2c 69 0c ff f0\n"
              "lines dtr on rts off\n"
              "data ff 0d 00\n"
              "answer ff fa 2c 69 0b ff f0\n"
              "lines dtr on rts on\n"
              "data 49 44 3b\n");
    // Towards the client: ff doubled; CR alone, for the client takes binary.
    EXPECT_EQ(Hex(c.server.EncodeData(Bytes("ff 0d 41"))), "ff ff 0d 41");
}

TEST(ComPortServer, WithoutBinaryCarriageReturnsCarryANul) {
    Connection c;  // no greeting: nothing agreed
    c.server.Receive(Bytes("0d 00 41 0d 0a"));
    EXPECT_EQ(c.events.Log(), "data 0d 41 0d 0a\n");
    EXPECT_EQ(Hex(c.server.EncodeData(Bytes("0d ff"))), "0d 00 ff ff");
}

TEST(ComPortServer, NotifiesModemLinesThroughTheClientsMask) {
    Connection c;
    (void)c.server.Greeting();
    c.server.Receive(kClientAgrees);
    // Only CTS and DSR wanted: the answer repeats the mask, then the lines as they are.
    c.server.Receive(Bytes("ff fa 2c 0b 30 ff f0"));
    // CTS falls (delta CTS, bit 0), then DCD rises, which the mask hides.
    c.server.SetModemLines(false, true, false);
    c.server.SetModemLines(false, true, true);
    EXPECT_EQ(c.events.Log(),
              "answer ff fa 2c 6b 30 ff f0\n"
              "answer ff fa 2c 6f 30 ff f0\n"
              "answer ff fa 2c 6b 30 ff f0\n"
              "answer ff fa 2c 6b 20 ff f0\n");
}

TEST(ComPortServer, DropsASubnegotiationThatNeverEnds) {
    Connection c;
    std::string flood = Bytes("ff fa 2c 01");
    flood.append(200, '\x01');
    c.server.Receive(flood + Bytes("ff fb 2c 41"));
    // The unterminated request is dropped; the command after it and the data still count.
    EXPECT_EQ(c.events.Log(), "answer ff fd 2c\nanswer ff fa 2c 6b 30 ff f0\ndata 41\n");
    EXPECT_EQ(c.server.line().baud, 9600);
}

}  // namespace
}  // namespace radiosim
