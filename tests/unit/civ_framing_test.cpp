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
        state.RadioAddr = "5E";
        state.CtrlAddr = "E0";
    }
};

// ---- frames on the line ---------------------------------------------------------------------

struct FrameRow {
    const char* name;
    const char* radioAddr;
    const char* Cn;
    const char* Sc;
    const char* D;
    std::string expected;
};

void PrintTo(const FrameRow& row, std::ostream* os) {
    *os << row.name << ": " << ToHex(row.expected);
}

class ComICOMFrame : public ::testing::TestWithParam<FrameRow> {};

TEST_P(ComICOMFrame, WritesExactlyTheseBytesInOneOutput) {
    const FrameRow& row = GetParam();
    IcomLink link;
    link.state.RadioAddr = row.radioAddr;

    EXPECT_TRUE(ComICOM(link.state, link.world.platform, row.Cn, row.Sc, row.D));

    ASSERT_EQ(link.world.port.writes.size(), 1u);
    EXPECT_EQ(link.world.port.writes[0], row.expected)
        << "wrote    " << ToHex(link.world.port.writes[0]) << "\nexpected " << ToHex(row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Civ, ComICOMFrame,
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

// ---- InvHex -----------------------------------------------------------------------------------

struct InvHexRow {
    const char* name;
    const char* text;
    int expected;
};

void PrintTo(const InvHexRow& row, std::ostream* os) { *os << row.name; }

class InvHexTable : public ::testing::TestWithParam<InvHexRow> {};

TEST_P(InvHexTable, ReadsByteValue) {
    EXPECT_EQ(InvHex(GetParam().text), GetParam().expected) << "text \"" << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Civ, InvHexTable,
    ::testing::Values(InvHexRow{"EmptyIsZero", "", 0}, InvHexRow{"OnlySpacesIsZero", "   ", 0},
                      InvHexRow{"OneDecimalDigit", "7", 7}, InvHexRow{"OneLowerLetter", "a", 10},
                      InvHexRow{"OneUpperLetter", "F", 15}, InvHexRow{"LowerPair", "fe", 254},
                      InvHexRow{"UpperPair", "FE", 254}, InvHexRow{"MixedCasePair", "fF", 255},
                      InvHexRow{"SpacesAroundAreTrimmed", " 5E ", 94},
                      InvHexRow{"LowDigitOnly", "0F", 15}, InvHexRow{"DecimalLooking", "99", 153},
                      InvHexRow{"OneNonHex", "G", 0},
                      InvHexRow{"NonHexSecondAddsNothing", "1G", 16},
                      InvHexRow{"NonHexFirstGivesNoHighPart", "G1", 1},
                      InvHexRow{"ThreeDigitsIsZero", "123", 0},
                      InvHexRow{"TrailingSpaceLeavesOneDigit", "5 ", 5}),
    [](const auto& instance) { return std::string(instance.param.name); });

// ---- the command's own path -------------------------------------------------------------------

TEST(ComICOM, ClosedPortSendsNothingAndSaysNothing) {
    IcomLink link;
    link.world.port.open = false;

    EXPECT_FALSE(ComICOM(link.state, link.world.platform, "03", "", ""));

    EXPECT_TRUE(link.world.port.writes.empty());
    EXPECT_TRUE(link.world.messages.shown.empty());
    EXPECT_TRUE(link.world.pause.sleeps.empty());
}

TEST(ComICOM, WriteFailureShowsOneComErrorAndRunsNoPass) {
    IcomLink link;
    link.world.port.FailOn(FakeCommPort::Op::Write, 8020, "Error reading comm device");
    // A complete reply is already waiting: had the pass run, it would have been decoded.
    link.world.port.Arrive(
        Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x05, 0x25, 0x14, 0x00, 0xFD}));
    link.state.RxBuffer = "FEFE";

    EXPECT_FALSE(ComICOM(link.state, link.world.platform, "03", "", ""));

    ASSERT_EQ(link.world.messages.shown.size(), 1u);
    EXPECT_EQ(link.world.messages.shown[0].text, "Com error");
    EXPECT_EQ(link.world.messages.shown[0].title, "CAT");
    EXPECT_TRUE(link.world.messages.shown[0].critical);
    EXPECT_TRUE(link.world.pause.sleeps.empty());
    EXPECT_EQ(link.state.RxBuffer, "FEFE");
    EXPECT_EQ(link.state.CurFreq, 0.0);
}

TEST(ComICOM, FailingPortOpenQueryIsReportedToo) {
    IcomLink link;
    link.world.port.FailOn(FakeCommPort::Op::IsOpen);

    EXPECT_FALSE(ComICOM(link.state, link.world.platform, "03", "", ""));

    ASSERT_EQ(link.world.messages.shown.size(), 1u);
    EXPECT_EQ(link.world.messages.shown[0].text, "Com error");
    EXPECT_TRUE(link.world.port.writes.empty());
}

TEST(ComICOM, PausesFiveMillisecondsThenRunsOneReceivePass) {
    IcomLink link;
    test::ReplyDuringPause pause(link.world.port.waiting, Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00,
                                                                 0x40, 0x07, 0x14, 0x00, 0xFD}));
    Platform platform{link.world.port, link.world.clock, pause, link.world.messages,
                      link.world.timer};

    EXPECT_TRUE(ComICOM(link.state, platform, "03", "", ""));

    EXPECT_EQ(pause.sleeps, std::vector<int>{5});
    EXPECT_DOUBLE_EQ(link.state.CurFreq, 14.074);
    EXPECT_TRUE(link.state.RxBuffer.empty());
}

TEST(ComICOM, ReplyWaitingBeforeTheCallIsParsedByItsPass) {
    IcomLink link;
    link.world.port.Arrive(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0x03, 0x01, 0xFD}));

    EXPECT_TRUE(ComICOM(link.state, link.world.platform, "03", "", ""));

    EXPECT_EQ(link.state.CurMode, 2);  // CW
}

TEST(ComICOM, EchoingInterfaceAndReplyInTheSamePass) {
    IcomLink link;
    // The interface hands our own bytes back, then the radio answers.
    link.world.port.responder = [](const std::string& written) {
        return written + Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x05, 0x25, 0x14, 0x00, 0xFD});
    };

    EXPECT_TRUE(ComICOM(link.state, link.world.platform, "03", "", ""));

    EXPECT_DOUBLE_EQ(link.state.CurFreq, 14.2505);
    EXPECT_EQ(link.state.RxBuffer, "");
}

TEST(ComICOM, PartialReplyLeftByAnEarlierPassIsCompleted) {
    IcomLink link;
    link.state.RxBuffer = Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00});
    link.world.port.Arrive(Bytes({0x05, 0x25, 0x14, 0x00, 0xFD}));

    EXPECT_TRUE(ComICOM(link.state, link.world.platform, "04", "", ""));

    EXPECT_DOUBLE_EQ(link.state.CurFreq, 14.2505);
}

}  // namespace
}  // namespace cat
