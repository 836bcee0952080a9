#include "control/set_frequency.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::Bytes;
using test::FakeCommPort;
using test::FakeWorld;
using test::ToHex;

// A link as link control leaves it: addresses set, port open, polling running.
SessionState OpenLink(FakeWorld& world, Protocol protocol) {
    world.port.open = true;
    world.timer.enabled = true;
    SessionState state;
    state.protocol = protocol;
    state.radioAddress = "5E";
    state.controllerAddress = "E0";
    return state;
}

std::string Civ(std::initializer_list<int> data) {
    std::string frame = Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x05});
    frame += Bytes(data);
    return frame + Bytes({0xFD, 0x00});
}

struct SendRow {
    const char* name;
    Protocol protocol;
    std::int64_t hertz;
    std::string line;
};

void PrintTo(const SendRow& row, std::ostream* os) { *os << row.name << " " << ToHex(row.line); }

class SetRadioFrequencySends : public ::testing::TestWithParam<SendRow> {};

TEST_P(SetRadioFrequencySends, OneCommandWithPollingOffWhileItGoesOut) {
    FakeWorld world;
    SessionState state = OpenLink(world, GetParam().protocol);
    std::vector<bool> timerDuringSend;
    world.port.responder = [&](const std::string&) {
        timerDuringSend.push_back(world.timer.enabled);
        return std::string();
    };

    SetRadioFrequency(state, world.platform, GetParam().hertz);

    ASSERT_EQ(world.port.writes.size(), 1u) << ToHex(world.port.AllWritten());
    EXPECT_EQ(world.port.writes[0], GetParam().line)
        << ToHex(world.port.writes[0]) << " vs " << ToHex(GetParam().line);
    EXPECT_EQ(timerDuringSend, std::vector<bool>{false});
    EXPECT_EQ(world.timer.history, (std::vector<bool>{false, true}));
    EXPECT_TRUE(world.messages.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Kenwood, SetRadioFrequencySends,
    ::testing::Values(SendRow{"TwentyMetres", Protocol::Kenwood, 14'074'000, "FA00014074000;"},
                      SendRow{"BelowTenMegahertz", Protocol::Kenwood, 7'074'000, "FA00007074000;"},
                      SendRow{"TwoMetres", Protocol::Kenwood, 144'300'000, "FA00144300000;"},
                      SendRow{"TensOfHertz", Protocol::Kenwood, 14'074'050, "FA00014074050;"},
                      SendRow{"NegativeEntrySendsItsSize", Protocol::Kenwood, -14'074'000,
                              "FA00014074000;"}),
    [](const auto& instance) { return std::string(instance.param.name); });

// Yaesu's set carries nine digits of hertz on the same 10 Hz step as the display.
INSTANTIATE_TEST_SUITE_P(Yaesu, SetRadioFrequencySends,
                         ::testing::Values(SendRow{"TwentyMetres", Protocol::Yaesu, 14'074'000,
                                                   "FA014074000;"},
                                           SendRow{"OneHertzShortIsTheStep", Protocol::Yaesu,
                                                   14'074'009, "FA014074010;"}),
                         [](const auto& instance) { return std::string(instance.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Icom, SetRadioFrequencySends,
    ::testing::Values(
        SendRow{"TwentyMetres", Protocol::Icom, 14'074'000, Civ({0x00, 0x40, 0x07, 0x14, 0x00})},
        SendRow{"BelowTenMegahertz", Protocol::Icom, 7'074'000,
                Civ({0x00, 0x40, 0x07, 0x07, 0x00})},
        SendRow{"TwoMetres", Protocol::Icom, 144'300'000, Civ({0x00, 0x00, 0x30, 0x44, 0x01})},
        SendRow{"TensOfHertz", Protocol::Icom, 14'074'050, Civ({0x50, 0x40, 0x07, 0x14, 0x00})},
        SendRow{"NegativeEntrySendsItsSize", Protocol::Icom, -14'074'000,
                Civ({0x00, 0x40, 0x07, 0x14, 0x00})},
        SendRow{"FinerThanTenHertzIsCut", Protocol::Icom, 14'074'005,
                Civ({0x00, 0x40, 0x07, 0x14, 0x00})}),
    [](const auto& instance) { return std::string(instance.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Ft817, SetRadioFrequencySends,
    ::testing::Values(
        SendRow{"TwentyMetres", Protocol::Ft817, 14'074'000, Bytes({0x01, 0x40, 0x74, 0x00, 0x01})},
        SendRow{"BelowTenMegahertz", Protocol::Ft817, 7'074'000,
                Bytes({0x00, 0x70, 0x74, 0x00, 0x01})},
        SendRow{"TwoMetres", Protocol::Ft817, 144'300'000, Bytes({0x14, 0x43, 0x00, 0x00, 0x01})},
        SendRow{"TensOfHertz", Protocol::Ft817, 14'074'050, Bytes({0x01, 0x40, 0x74, 0x05, 0x01})},
        SendRow{"NegativeEntrySendsItsSize", Protocol::Ft817, -14'074'000,
                Bytes({0x01, 0x40, 0x74, 0x00, 0x01})},
        SendRow{"TopOfTheRange", Protocol::Ft817, 999'999'990,
                Bytes({0x99, 0x99, 0x99, 0x99, 0x01})}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST(SetRadioFrequency, BeforeAnyLinkNothingIsSentAndTheTimerIsLeftAlone) {
    for (bool timerOn : {false, true}) {
        FakeWorld world;
        world.port.open = true;
        world.timer.enabled = timerOn;
        SessionState state;  // protocol 0

        SetRadioFrequency(state, world.platform, 14'074'000);

        EXPECT_TRUE(world.port.writes.empty()) << ToHex(world.port.AllWritten());
        EXPECT_TRUE(world.timer.history.empty());
        EXPECT_EQ(world.timer.enabled, timerOn);
    }
}

struct ProtocolRow {
    const char* name;
    Protocol protocol;
};

void PrintTo(const ProtocolRow& row, std::ostream* os) { *os << row.name; }

class SetRadioFrequencyOnEveryLink : public ::testing::TestWithParam<ProtocolRow> {};

TEST_P(SetRadioFrequencyOnEveryLink, ClosedPortSendsNothingSaysNothingAndPollingResumes) {
    FakeWorld world;
    SessionState state = OpenLink(world, GetParam().protocol);
    world.port.open = false;  // closing keeps protocol

    SetRadioFrequency(state, world.platform, 14'074'000);

    EXPECT_TRUE(world.port.writes.empty()) << ToHex(world.port.AllWritten());
    EXPECT_TRUE(world.messages.shown.empty());
    EXPECT_TRUE(world.timer.enabled);
}

TEST_P(SetRadioFrequencyOnEveryLink, FailedWriteStillTurnsPollingBackOn) {
    FakeWorld world;
    SessionState state = OpenLink(world, GetParam().protocol);
    world.port.FailOn(FakeCommPort::Op::Write, 8005, "Port write failed");

    SetRadioFrequency(state, world.platform, 14'074'000);

    EXPECT_EQ(world.timer.history, (std::vector<bool>{false, true}));
    EXPECT_TRUE(world.timer.enabled);
}

TEST_P(SetRadioFrequencyOnEveryLink, FromOneThousandMegahertzUpTheEntryIsRefused) {
    const std::int64_t entries[] = {1'000'000'000,
                                    1'296'100'000,
                                    -1'296'100'000,
                                    999'999'999,  // lifted to 1000 MHz by the 1 Hz allowance
                                    std::numeric_limits<std::int64_t>::max(),
                                    std::numeric_limits<std::int64_t>::min()};
    for (std::int64_t hertz : entries) {
        FakeWorld world;
        SessionState state = OpenLink(world, GetParam().protocol);

        SetRadioFrequency(state, world.platform, hertz);

        EXPECT_TRUE(world.port.writes.empty()) << hertz << ": " << ToHex(world.port.AllWritten());
        EXPECT_TRUE(world.messages.shown.empty()) << hertz;
        EXPECT_EQ(world.timer.history, (std::vector<bool>{false, true})) << hertz;
    }
}

INSTANTIATE_TEST_SUITE_P(Links, SetRadioFrequencyOnEveryLink,
                         ::testing::Values(ProtocolRow{"Kenwood", Protocol::Kenwood},
                                           ProtocolRow{"Icom", Protocol::Icom},
                                           ProtocolRow{"Ft817", Protocol::Ft817},
                                           ProtocolRow{"Yaesu", Protocol::Yaesu}),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST(SetRadioFrequency, IcomWriteFailureShowsTheSendersMessageAndPollingResumes) {
    FakeWorld world;
    SessionState state = OpenLink(world, Protocol::Icom);
    world.port.FailOn(FakeCommPort::Op::Write);
    bool timerOffWhileShown = false;
    world.messages.whileShown = [&] { timerOffWhileShown = !world.timer.enabled; };

    SetRadioFrequency(state, world.platform, 14'074'000);

    ASSERT_EQ(world.messages.shown.size(), 1u);
    EXPECT_EQ(world.messages.shown[0].text, "Com error");
    EXPECT_TRUE(timerOffWhileShown);
    EXPECT_TRUE(world.timer.enabled);
}

}  // namespace
}  // namespace cat
