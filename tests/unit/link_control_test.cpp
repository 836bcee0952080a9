#include "link/link_control.h"

#include <gtest/gtest.h>

#include "core/cat_error.h"
#include "protocols/families.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::FakeCommPort;
using test::FakeWorld;

LinkChoices Choices(std::string protocol, int port, std::string address, std::string speed) {
    return LinkChoices{FamilyNamed(protocol), port,         std::move(address),
                       std::move(speed),      std::nullopt, {}};
}

TEST(OpenLink, ConfiguresThePortInOrderAndStartsTheTimer) {
    FakeWorld w;
    SessionState s;
    OpenLink(s, w.platform, Choices("ICOM", 2, "5E", "9600"));
    const std::vector<std::string> expected = {"Port=3", "Settings=9600,n,8,2", "Handshake=none",
                                               "Open"};
    EXPECT_EQ(w.port.log, expected);
    EXPECT_TRUE(w.timer.enabled);
    EXPECT_EQ(s.protocol, Protocol::Icom);
    EXPECT_EQ(s.radioAddress, "5E");
    EXPECT_EQ(s.controllerAddress, "E0");
    EXPECT_EQ(s.speed, "9600");
    EXPECT_EQ(s.stopBits, "2");
}

TEST(OpenLink, ProtocolTextIsComparedUpperCased) {
    struct Row {
        const char* name;
        const char* text;
        Protocol protocol;
    };
    const Row rows[] = {
        {"icom_list_entry", "ICOM", Protocol::Icom},
        {"kenwood_list_entry", "Kenwood", Protocol::Kenwood},
        {"kenwood_upper", "KENWOOD", Protocol::Kenwood},
        {"kenwood_mixed", "kEnWoOd", Protocol::Kenwood},
        {"ft817_list_entry", "FT-817", Protocol::Ft817},
        {"ft817_lower", "ft-817", Protocol::Ft817},
        {"nothing_chosen", "", Protocol::None},
        {"yaesu_list_entry", "Yaesu", Protocol::Yaesu},
        {"other_text", "Elecraft", Protocol::None},
        {"padded_text_is_not_a_name", " ICOM", Protocol::None},
    };
    for (const auto& row : rows) {
        FakeWorld w;
        SessionState s;
        s.protocol = Protocol::Kenwood;  // left from an earlier open: every open starts again
        OpenLink(s, w.platform, Choices(row.text, 0, "", "9600"));
        EXPECT_EQ(s.protocol, row.protocol) << row.name;
        EXPECT_TRUE(w.port.open) << row.name << ": the port opens whatever the protocol";
    }
}

TEST(OpenLink, HandshakingForKenwoodAbove4800UnlessThePortOverrides) {
    struct Row {
        const char* name;
        const char* protocol;
        const char* speed;
        Handshake handshake;
        std::optional<std::string> portOverride = std::nullopt;
    };
    const Row rows[] = {
        {"kenwood_4800_none", "Kenwood", "4800", Handshake::None},
        {"kenwood_9600_rtscts", "Kenwood", "9600", Handshake::RtsCts},
        {"kenwood_115200_rtscts", "Kenwood", "115200", Handshake::RtsCts},
        {"icom_19200_none", "ICOM", "19200", Handshake::None},
        {"ft817_57600_none", "FT-817", "57600", Handshake::None},
        {"no_protocol_9600_none", "other", "9600", Handshake::None},
        {"kenwood_cable_without_handshake_lines", "Kenwood", "38400", Handshake::None, "none"},
        {"icom_port_forced_to_rtscts", "ICOM", "1200", Handshake::RtsCts, "rtscts"},
    };
    for (const auto& row : rows) {
        FakeWorld w;
        SessionState s;
        LinkChoices choices = Choices(row.protocol, 0, "", row.speed);
        choices.handshakeOverride = row.portOverride;
        OpenLink(s, w.platform, choices);
        EXPECT_EQ(w.port.handshake, row.handshake) << row.name;
        EXPECT_EQ(w.port.settings, std::string(row.speed) + ",n,8,2") << row.name;
    }
}

TEST(OpenLink, AddressIsTrimmedAndDefaultsTo00) {
    struct Row {
        const char* name;
        const char* protocol;
        const char* typed;
        const char* stored;
    };
    const Row rows[] = {
        {"icom_blanks_only", "ICOM", "   ", "00"},
        {"icom_empty", "ICOM", "", "00"},
        {"icom_padded", "ICOM", " 5A ", "5A"},
        {"icom_one_digit_gets_leading_zero", "ICOM", "5", "05"},
        {"icom_lower_case_is_upper_cased", "ICOM", "5e", "5E"},
        {"icom_one_lower_digit", "ICOM", " e ", "0E"},
        {"kenwood_ignores_the_box", "Kenwood", " whatever ", "whatever"},
        {"kenwood_empty_box", "Kenwood", "", "00"},
    };
    for (const auto& row : rows) {
        FakeWorld w;
        SessionState s;
        OpenLink(s, w.platform, Choices(row.protocol, 0, row.typed, "9600"));
        EXPECT_EQ(s.radioAddress, row.stored) << row.name;
    }
}

TEST(OpenLink, BadIcomAddressFailsBeforeThePortOpens) {
    for (const char* typed : {"5G", "123", "0x5E", "5 E", "-1", "ZZ"}) {
        FakeWorld w;
        SessionState s;
        try {
            OpenLink(s, w.platform, Choices("ICOM", 0, typed, "9600"));
            ADD_FAILURE() << typed << " was accepted";
        } catch (const CatError& e) {
            const std::string shown = OpenErrorText(e.Number(), e.Description());
            EXPECT_EQ(shown.rfind("Error 380 : The ICOM address", 0), 0u) << shown;
            EXPECT_NE(shown.find("two hexadecimal digits"), std::string::npos) << shown;
        }
        EXPECT_FALSE(w.port.open) << typed;
        EXPECT_FALSE(w.timer.enabled) << typed;
        EXPECT_EQ(s.protocol, Protocol::Icom) << "steps before the failure keep their effect";
    }
}

// The speed box is free text: what is not a speed stops the open before the port is touched,
// with the number the operator has always been shown for it.
TEST(OpenLink, SpeedThatIsNoLineSpeedFailsBeforeThePortOpens) {
    const struct {
        const char* speed;
        const char* shownStart;
    } rows[] = {
        {"", "Error 13 : The speed \"\""},
        {"fast", "Error 13 : The speed \"fast\""},
        {"96OO", "Error 13 : The speed \"96OO\""},
        {"9600.5", "Error 13 : The speed \"9600.5\""},
        {"99999999", "Error 8003 : The line settings \"99999999,n,8,2\" are not valid"},
        {"10", "Error 8003 : The line settings \"10,n,8,2\" are not valid"},
    };
    for (const auto& row : rows) {
        FakeWorld w;
        SessionState s;
        try {
            OpenLink(s, w.platform, Choices("ICOM", 0, "", row.speed));
            ADD_FAILURE() << row.speed << " was accepted";
        } catch (const CatError& e) {
            const std::string shown = OpenErrorText(e.Number(), e.Description());
            EXPECT_EQ(shown.rfind(row.shownStart, 0), 0u) << shown;
        }
        EXPECT_FALSE(w.port.open) << row.speed;
        EXPECT_TRUE(w.port.settings.empty()) << row.speed;
        EXPECT_EQ(s.speed, row.speed) << "the speed is recorded before it is converted";
    }
}

TEST(OpenLink, PortErrorStopsTheRestAndKeepsWhatWasDone) {
    FakeWorld w;
    SessionState s;
    w.port.FailOn(FakeCommPort::Op::Open, 8010,
                  "Com 3 (/dev/ttyUSB0) is in use by another program.");
    try {
        OpenLink(s, w.platform, Choices("Kenwood", 2, "", "9600"));
        FAIL() << "the open error was swallowed";
    } catch (const CatError& e) {
        EXPECT_EQ(OpenErrorText(e.Number(), e.Description()),
                  "Error 8010 : Com 3 (/dev/ttyUSB0) is in use by another program.");
    }
    EXPECT_EQ(s.protocol, Protocol::Kenwood);
    EXPECT_EQ(w.port.handshake, Handshake::RtsCts);
    EXPECT_FALSE(w.timer.enabled);
}

TEST(OpenLink, NoPortChosenAsksForPortZero) {
    FakeWorld w;
    SessionState s;
    OpenLink(s, w.platform, Choices("ICOM", -1, "", "9600"));
    EXPECT_EQ(w.port.log.front(), "Port=0") << "the port itself refuses port 0";
}

TEST(CloseLink, ClosesThePortAndKeepsTheRest) {
    FakeWorld w;
    SessionState s;
    OpenLink(s, w.platform, Choices("FT-817", 0, "", "4800"));
    s.frequencyHz = 14'074'000;
    CloseLink(w.platform);
    EXPECT_FALSE(w.port.open);
    EXPECT_TRUE(w.timer.enabled);
    EXPECT_EQ(s.protocol, Protocol::Ft817);
    EXPECT_EQ(s.frequencyHz, 14'074'000);
}

}  // namespace
}  // namespace cat
