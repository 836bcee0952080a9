#include <gtest/gtest.h>

#include <optional>
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

class SendKenwoodCommandWrites : public ::testing::TestWithParam<WriteRow> {};

TEST_P(SendKenwoodCommandWrites, PutsExactlyTheseBytesOnTheLineInOneWrite) {
    FakeWorld world;
    world.port.open = true;
    SessionState state;

    SendKenwoodCommand(state, world.platform, GetParam().command);

    ASSERT_EQ(world.port.writes.size(), 1u);
    EXPECT_EQ(world.port.writes[0], GetParam().line)
        << ToHex(world.port.writes[0]) << " vs " << ToHex(GetParam().line);
    EXPECT_EQ(world.pause.sleeps, std::vector<int>{5});
}

INSTANTIATE_TEST_SUITE_P(
    Kenwood, SendKenwoodCommandWrites,
    ::testing::Values(WriteRow{"BareCommandGetsItsTerminator", "IF", "IF;"},
                      WriteRow{"TerminatedCommandIsNotTerminatedTwice", "IF;", "IF;"},
                      WriteRow{"SpaceAfterTheTerminatorDoesNotHideIt", "IF; ", "IF;"},
                      WriteRow{"LeadingSpaceIsRemoved", " MD2", "MD2;"},
                      WriteRow{"TrailingSpaceStaysBeforeTheAddedTerminator", "MD2 ", "MD2 ;"},
                      WriteRow{"FrequencyCommandKeepsAllItsDigits", "FA00014074000",
                               "FA00014074000;"},
                      WriteRow{"EmptyCommandSendsTheTerminatorAlone", "", ";"}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST(SendKenwoodCommand, ReplyArrivingDuringThePauseIsParsedByTheSamePass) {
    FakeWorld world;
    world.port.open = true;
    test::ReplyDuringPause pause(world.port.waiting, kIfUsb14250);
    Platform platform{world.port, world.clock, pause, world.messages, world.timer};
    SessionState state;

    SendKenwoodCommand(state, platform, "IF");

    EXPECT_EQ(pause.sleeps, std::vector<int>{5});
    EXPECT_EQ(state.frequencyHz, 14'250'000);
    EXPECT_EQ(test::ShownMode(state), 1);
    EXPECT_EQ(state.received, "");
    EXPECT_FALSE(state.parsingReplies);
}

TEST(SendKenwoodCommand, FailingOutputStillPausesAndParsesWhatIsWaiting) {
    FakeWorld world;
    world.port.open = true;
    world.port.FailOn(FakeCommPort::Op::Write);
    world.port.Arrive(kIfUsb14250);
    SessionState state;

    SendKenwoodCommand(state, world.platform, "IF");

    EXPECT_TRUE(world.port.writes.empty());
    EXPECT_EQ(world.pause.sleeps, std::vector<int>{5});
    EXPECT_EQ(state.frequencyHz, 14'250'000);
    EXPECT_FALSE(state.parsingReplies);
}

TEST(SendKenwoodCommand, ClosedPortSendsNothingAndRaisesNothing) {
    FakeWorld world;
    SessionState state;
    state.frequencyHz = 7'100'000;
    state.received = "IF0001";

    SendKenwoodCommand(state, world.platform, "MD5");

    EXPECT_TRUE(world.port.writes.empty());
    EXPECT_EQ(state.frequencyHz, 7'100'000);
    EXPECT_EQ(state.received, "IF0001");
    EXPECT_FALSE(state.parsingReplies);
}

struct ModeRow {
    const char* name;
    int digit;
    std::optional<ModeIndex> mode;  // nothing: the digit names no mode
    bool reversed;
};

void PrintTo(const ModeRow& row, std::ostream* os) { *os << row.name; }

class KenwoodModeDigits : public ::testing::TestWithParam<ModeRow> {};

TEST_P(KenwoodModeDigits, GiveModeAndReverseFlag) {
    const std::optional<KenwoodModeReading> reading = KenwoodModeOf(GetParam().digit);

    ASSERT_EQ(reading.has_value(), GetParam().mode.has_value());
    if (reading) {
        EXPECT_EQ(reading->mode, *GetParam().mode);
        EXPECT_EQ(reading->reversed, GetParam().reversed);
    }
}

INSTANTIATE_TEST_SUITE_P(Kenwood, KenwoodModeDigits,
                         ::testing::Values(ModeRow{"Digit1IsLsb", 1, ModeIndex::LSB, false},
                                           ModeRow{"Digit2IsUsb", 2, ModeIndex::USB, false},
                                           ModeRow{"Digit3IsCw", 3, ModeIndex::CW, false},
                                           ModeRow{"Digit4IsFm", 4, ModeIndex::FM, false},
                                           ModeRow{"Digit5IsAm", 5, ModeIndex::AM, false},
                                           ModeRow{"Digit6IsFsk", 6, ModeIndex::FSK, false},
                                           ModeRow{"Digit7IsCwReverse", 7, ModeIndex::CW, true},
                                           ModeRow{"Digit9IsFskReverse", 9, ModeIndex::FSK, true},
                                           ModeRow{"Digit0NamesNoMode", 0, std::nullopt, false},
                                           ModeRow{"Digit8NamesNoMode", 8, std::nullopt, false},
                                           ModeRow{"NegativeNamesNoMode", -1, std::nullopt, false},
                                           ModeRow{"TenNamesNoMode", 10, std::nullopt, false}),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace cat
