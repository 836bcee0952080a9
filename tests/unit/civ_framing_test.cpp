#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "core/session_state.h"
#include "protocols/civ/civ.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::Bytes;
using test::FakeCommPort;
using test::FakeWorld;
using test::ToHex;

struct IcomLink {
    FakeWorld world;
    SessionState state;
    IcomLink() {
        world.port.open = true;
        state.radioAddress = "5E";
        state.controllerAddress = "E0";
    }
};

// ---- frames on the line ---------------------------------------------------------------------

struct FrameRow {
    const char* name;
    const char* radioAddr;
    const char* command;
    const char* subcommand;
    const char* data;
    std::string expected;
};

void PrintTo(const FrameRow& row, std::ostream* os) {
    *os << row.name << ": " << ToHex(row.expected);
}

class SendCivCommandFrame : public ::testing::TestWithParam<FrameRow> {};

TEST_P(SendCivCommandFrame, WritesExactlyTheseBytesInOneWrite) {
    const FrameRow& row = GetParam();
    IcomLink link;
    link.state.radioAddress = row.radioAddr;

    EXPECT_TRUE(
        SendCivCommand(link.state, link.world.platform, row.command, row.subcommand, row.data));

    ASSERT_EQ(link.world.port.writes.size(), 1u);
    EXPECT_EQ(link.world.port.writes[0], row.expected)
        << "wrote    " << ToHex(link.world.port.writes[0]) << "\nexpected " << ToHex(row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Civ, SendCivCommandFrame,
    ::testing::Values(
        FrameRow{"ReadFrequency", "5E", "03", "", "",
                 Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x03, 0xFD, 0x00})},
        FrameRow{"ReadMode", "5E", "04", "", "", Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x04, 0xFD, 0x00})},
        FrameRow{"SetFrequencyDataInGivenOrder", "5E", "05", "", "0005251400",
                 Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x05, 0x00, 0x05, 0x25, 0x14, 0x00, 0xFD, 0x00})},
        FrameRow{"SetModeUsb", "5E", "06", "", "01",
                 Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x06, 0x01, 0xFD, 0x00})},
        FrameRow{"SubCommandByteWhenGiven", "5E", "07", "D0", "",
                 Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x07, 0xD0, 0xFD, 0x00})},
        FrameRow{"EmptyAddressBoxSendsTo00", "00", "03", "", "",
                 Bytes({0xFE, 0xFE, 0x00, 0xE0, 0x03, 0xFD, 0x00})},
        FrameRow{"AddressTrimmedAndReadCaseBlind", " 5e ", "03", "", "",
                 Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x03, 0xFD, 0x00})},
        // 13 characters of text: 6.5 pairs round down to 6, and no FD byte goes out.
        FrameRow{"OneDigitAddressShiftsEveryPair", "5", "03", "", "",
                 Bytes({0xFE, 0xFE, 0x5E, 0x00, 0x3F, 0x0D})},
        // 15 characters: 7.5 pairs round up to 8, the last one past the end of the text.
        FrameRow{"OddDataRoundsPairCountToEven", "5E", "03", "", "1",
                 Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x03, 0x1F, 0x0D, 0x00})},
        FrameRow{"NonHexDigitCountsAsZero", "5E", "0G", "", "",
                 Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x00, 0xFD, 0x00})}),
    [](const auto& instance) { return std::string(instance.param.name); });

// ---- HexByteValue
// -----------------------------------------------------------------------------------

struct HexByteValueRow {
    const char* name;
    const char* text;
    int expected;
};

void PrintTo(const HexByteValueRow& row, std::ostream* os) { *os << row.name; }

class HexByteValueTable : public ::testing::TestWithParam<HexByteValueRow> {};

TEST_P(HexByteValueTable, ReadsByteValue) {
    EXPECT_EQ(HexByteValue(GetParam().text), GetParam().expected)
        << "text \"" << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Civ, HexByteValueTable,
    ::testing::Values(
        HexByteValueRow{"EmptyIsZero", "", 0}, HexByteValueRow{"OnlySpacesIsZero", "   ", 0},
        HexByteValueRow{"OneDecimalDigit", "7", 7}, HexByteValueRow{"OneLowerLetter", "a", 10},
        HexByteValueRow{"OneUpperLetter", "F", 15}, HexByteValueRow{"LowerPair", "fe", 254},
        HexByteValueRow{"UpperPair", "FE", 254}, HexByteValueRow{"MixedCasePair", "fF", 255},
        HexByteValueRow{"SpacesAroundAreTrimmed", " 5E ", 94},
        HexByteValueRow{"LowDigitOnly", "0F", 15}, HexByteValueRow{"DecimalLooking", "99", 153},
        HexByteValueRow{"OneNonHex", "G", 0}, HexByteValueRow{"NonHexSecondAddsNothing", "1G", 16},
        HexByteValueRow{"NonHexFirstGivesNoHighPart", "G1", 1},
        HexByteValueRow{"ThreeDigitsIsZero", "123", 0},
        HexByteValueRow{"TrailingSpaceLeavesOneDigit", "5 ", 5}),
    [](const auto& instance) { return std::string(instance.param.name); });

// ---- the command's own path -------------------------------------------------------------------

TEST(SendCivCommand, ClosedPortSendsNothingAndSaysNothing) {
    IcomLink link;
    link.world.port.open = false;

    EXPECT_FALSE(SendCivCommand(link.state, link.world.platform, "03", "", ""));

    EXPECT_TRUE(link.world.port.writes.empty());
    EXPECT_TRUE(link.world.messages.shown.empty());
    EXPECT_TRUE(link.world.pause.sleeps.empty());
}

TEST(SendCivCommand, WriteFailureShowsOneComErrorAndRunsNoPass) {
    IcomLink link;
    link.world.port.FailOn(FakeCommPort::Op::Write, 8020, "Error reading comm device");
    // A complete reply is already waiting: had the pass run, it would have been decoded.
    link.world.port.Arrive(
        Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x05, 0x25, 0x14, 0x00, 0xFD}));
    link.state.received = "FEFE";

    EXPECT_FALSE(SendCivCommand(link.state, link.world.platform, "03", "", ""));

    ASSERT_EQ(link.world.messages.shown.size(), 1u);
    EXPECT_EQ(link.world.messages.shown[0].text, "Com error");
    EXPECT_EQ(link.world.messages.shown[0].title, "CAT");
    EXPECT_TRUE(link.world.messages.shown[0].critical);
    EXPECT_TRUE(link.world.pause.sleeps.empty());
    EXPECT_EQ(link.state.received, "FEFE");
    EXPECT_FALSE(link.state.frequencyHz.has_value());
}

TEST(SendCivCommand, FailingPortOpenQueryIsReportedToo) {
    IcomLink link;
    link.world.port.FailOn(FakeCommPort::Op::IsOpen);

    EXPECT_FALSE(SendCivCommand(link.state, link.world.platform, "03", "", ""));

    ASSERT_EQ(link.world.messages.shown.size(), 1u);
    EXPECT_EQ(link.world.messages.shown[0].text, "Com error");
    EXPECT_TRUE(link.world.port.writes.empty());
}

TEST(SendCivCommand, PausesFiveMillisecondsThenRunsOneReceivePass) {
    IcomLink link;
    test::ReplyDuringPause pause(link.world.port.waiting, Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00,
                                                                 0x40, 0x07, 0x14, 0x00, 0xFD}));
    Platform platform{link.world.port, link.world.clock, pause, link.world.messages,
                      link.world.timer};

    EXPECT_TRUE(SendCivCommand(link.state, platform, "03", "", ""));

    EXPECT_EQ(pause.sleeps, std::vector<int>{5});
    EXPECT_EQ(link.state.frequencyHz, 14'074'000);
    EXPECT_TRUE(link.state.received.empty());
}

TEST(SendCivCommand, ReplyWaitingBeforeTheCallIsParsedByItsPass) {
    IcomLink link;
    link.world.port.Arrive(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0x03, 0x01, 0xFD}));

    EXPECT_TRUE(SendCivCommand(link.state, link.world.platform, "03", "", ""));

    EXPECT_EQ(test::ShownMode(link.state), 2);  // CW
}

TEST(SendCivCommand, EchoingInterfaceAndReplyInTheSamePass) {
    IcomLink link;
    // The interface hands our own bytes back, then the radio answers.
    link.world.port.responder = [](const std::string& written) {
        return written + Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x05, 0x25, 0x14, 0x00, 0xFD});
    };

    EXPECT_TRUE(SendCivCommand(link.state, link.world.platform, "03", "", ""));

    EXPECT_EQ(link.state.frequencyHz, 14'250'500);
    EXPECT_EQ(link.state.received, "");
}

TEST(SendCivCommand, PartialReplyLeftByAnEarlierPassIsCompleted) {
    IcomLink link;
    link.state.received = Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00});
    link.world.port.Arrive(Bytes({0x05, 0x25, 0x14, 0x00, 0xFD}));

    EXPECT_TRUE(SendCivCommand(link.state, link.world.platform, "04", "", ""));

    EXPECT_EQ(link.state.frequencyHz, 14'250'500);
}

}  // namespace
}  // namespace cat
