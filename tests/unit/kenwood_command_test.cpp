#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "protocols/kenwood/kenwood.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::FakeCommPort;
using test::FakeWorld;
using test::ToHex;

// "IF", 11 frequency digits, 16 unused, the mode digit (2: USB), 7 unused, ";"
constexpr char kIfUsb14250[] =
    "IF"
    "00014250000"
    "0000+00000000000"
    "2"
    "0000000"
    ";";
static_assert(sizeof(kIfUsb14250) - 1 == 37 + 1);

struct WriteRow {
    const char* name;
    std::string command;
    std::string line;
};

void PrintTo(const WriteRow& row, std::ostream* os) {
    *os << row.name << " " << ToHex(row.command);
}

class ComKenwoodWrites : public ::testing::TestWithParam<WriteRow> {};

TEST_P(ComKenwoodWrites, PutsExactlyTheseBytesOnTheLineInOneOutput) {
    FakeWorld world;
    world.port.open = true;
    SessionState state;

    const std::string result = ComKenwood(state, world.platform, GetParam().command, 0);

    ASSERT_EQ(world.port.writes.size(), 1u);
    EXPECT_EQ(world.port.writes[0], GetParam().line)
        << ToHex(world.port.writes[0]) << " vs " << ToHex(GetParam().line);
    EXPECT_EQ(result, "");
    EXPECT_EQ(world.pause.sleeps, std::vector<int>{5});
}

INSTANTIATE_TEST_SUITE_P(
    Kenwood, ComKenwoodWrites,
    ::testing::Values(WriteRow{"BareCommandGetsItsTerminator", "IF", "IF;"},
                      WriteRow{"TerminatedCommandIsNotTerminatedTwice", "IF;", "IF;"},
                      WriteRow{"SpaceAfterTheTerminatorDoesNotHideIt", "IF; ", "IF;"},
                      WriteRow{"LeadingSpaceIsRemoved", " MD2", "MD2;"},
                      WriteRow{"TrailingSpaceStaysBeforeTheAddedTerminator", "MD2 ", "MD2 ;"},
                      WriteRow{"FrequencyCommandKeepsAllItsDigits", "FA00014074000",
                               "FA00014074000;"},
                      WriteRow{"EmptyCommandSendsTheTerminatorAlone", "", ";"}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST(ComKenwood, ReplyArrivingDuringThePauseIsParsedByTheSamePass) {
    FakeWorld world;
    world.port.open = true;
    test::ReplyDuringPause pause(world.port.waiting, kIfUsb14250);
    Platform platform{world.port, world.clock, pause, world.messages, world.timer};
    SessionState state;

    ComKenwood(state, platform, "IF", 0);

    EXPECT_EQ(pause.sleeps, std::vector<int>{5});
    EXPECT_DOUBLE_EQ(state.CurFreq, 14.25);
    EXPECT_EQ(state.CurMode, 1);
    EXPECT_EQ(state.RxBuffer, "");
    EXPECT_FALSE(state.KenwoodParsing);
}

TEST(ComKenwood, FailingOutputStillPausesAndParsesWhatIsWaiting) {
    FakeWorld world;
    world.port.open = true;
    world.port.FailOn(FakeCommPort::Op::Write);
    world.port.Arrive(kIfUsb14250);
    SessionState state;

    EXPECT_EQ(ComKenwood(state, world.platform, "IF", 0), "");

    EXPECT_TRUE(world.port.writes.empty());
    EXPECT_EQ(world.pause.sleeps, std::vector<int>{5});
    EXPECT_DOUBLE_EQ(state.CurFreq, 14.25);
    EXPECT_FALSE(state.KenwoodParsing);
}

TEST(ComKenwood, ClosedPortSendsNothingAndRaisesNothing) {
    FakeWorld world;
    SessionState state;
    state.CurFreq = 7.1;
    state.RxBuffer = "IF0001";

    EXPECT_EQ(ComKenwood(state, world.platform, "MD5", 0), "");

    EXPECT_TRUE(world.port.writes.empty());
    EXPECT_DOUBLE_EQ(state.CurFreq, 7.1);
    EXPECT_EQ(state.RxBuffer, "IF0001");
    EXPECT_FALSE(state.KenwoodParsing);
}

struct ModeRow {
    const char* name;
    std::int16_t digit;
    std::int16_t mode;
    std::int16_t reverse;
};

void PrintTo(const ModeRow& row, std::ostream* os) { *os << row.name; }

class KenwoodModeDigits : public ::testing::TestWithParam<ModeRow> {};

TEST_P(KenwoodModeDigits, GiveModeIndexAndReverseFlag) {
    const std::int16_t before = 6;  // PKT: no Kenwood digit produces it, so it shows "unchanged"
    std::int16_t mode = before;
    std::int16_t reverse = 42;

    KenwoodMode(GetParam().digit, mode, reverse);

    EXPECT_EQ(mode, GetParam().mode);
    EXPECT_EQ(reverse, GetParam().reverse);
}

INSTANTIATE_TEST_SUITE_P(
    Kenwood, KenwoodModeDigits,
    ::testing::Values(ModeRow{"Digit1IsLsb", 1, 0, 0}, ModeRow{"Digit2IsUsb", 2, 1, 0},
                      ModeRow{"Digit3IsCw", 3, 2, 0}, ModeRow{"Digit4IsFm", 4, 4, 0},
                      ModeRow{"Digit5IsAm", 5, 3, 0}, ModeRow{"Digit6IsFsk", 6, 5, 0},
                      ModeRow{"Digit7IsCwReverse", 7, 2, 1}, ModeRow{"Digit9IsFskReverse", 9, 5, 1},
                      ModeRow{"Digit0KeepsMode", 0, 6, 0}, ModeRow{"Digit8KeepsMode", 8, 6, 0},
                      ModeRow{"NegativeKeepsMode", -1, 6, 0}, ModeRow{"TenKeepsMode", 10, 6, 0}),
    [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace cat
