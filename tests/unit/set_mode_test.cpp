#include "control/set_mode.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::Bytes;
using test::FakeWorld;
using test::ToHex;

constexpr std::int16_t kLsb = 0, kUsb = 1, kCw = 2, kAm = 3, kFm = 4, kFsk = 5, kPkt = 6;

SessionState OpenLink(FakeWorld& world, Protocol protocol) {
    world.port.open = true;
    SessionState state;
    state.protocol = protocol;
    state.radioAddress = "5E";
    state.controllerAddress = "E0";
    state.mode = static_cast<ModeIndex>(kFm);  // what the radio last reported
    return state;
}

std::string Ft817(int code) { return Bytes({code, 0x00, 0x00, 0x00, 0x07}); }
std::string Civ(int mode) { return Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x06, mode, 0xFD, 0x00}); }

struct ModeRow {
    const char* name;
    Protocol protocol;
    std::int16_t entry;
    bool reversed;
    std::string line;  // empty: nothing may be written
};

void PrintTo(const ModeRow& row, std::ostream* os) { *os << row.name << " " << ToHex(row.line); }

class SetRadioModeSends : public ::testing::TestWithParam<ModeRow> {};

TEST_P(SetRadioModeSends, TheRadiosOwnCodeInOneWrite) {
    FakeWorld world;
    SessionState state = OpenLink(world, GetParam().protocol);

    SetRadioMode(state, world.platform, static_cast<ModeIndex>(GetParam().entry),
                 GetParam().reversed);

    if (GetParam().line.empty()) {
        EXPECT_TRUE(world.port.writes.empty()) << ToHex(world.port.AllWritten());
    } else {
        ASSERT_EQ(world.port.writes.size(), 1u) << ToHex(world.port.AllWritten());
        EXPECT_EQ(world.port.writes[0], GetParam().line)
            << ToHex(world.port.writes[0]) << " vs " << ToHex(GetParam().line);
    }
    EXPECT_EQ(test::ShownMode(state), kFm) << "the display changes only when the radio reports";
    EXPECT_TRUE(world.messages.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Ft817, SetRadioModeSends,
    ::testing::Values(
        ModeRow{"Lsb", Protocol::Ft817, kLsb, 0, Ft817(0x00)},
        ModeRow{"Usb", Protocol::Ft817, kUsb, 0, Ft817(0x01)},
        ModeRow{"Cw", Protocol::Ft817, kCw, 0, Ft817(0x02)},
        ModeRow{"Am", Protocol::Ft817, kAm, 0, Ft817(0x04)},
        ModeRow{"Fm", Protocol::Ft817, kFm, 0, Ft817(0x08)},
        ModeRow{"FskSendsTheCodeReadBackAsFskNotFm", Protocol::Ft817, kFsk, 0, Ft817(0x0A)},
        ModeRow{"PktSendsTheCodeReadBackAsPktNotFsk", Protocol::Ft817, kPkt, 0, Ft817(0x0C)},
        ModeRow{"ReverseCw", Protocol::Ft817, kCw, 1, Ft817(0x03)},
        ModeRow{"ReverseUsbIsUsb", Protocol::Ft817, kUsb, 1, Ft817(0x01)},
        ModeRow{"ReverseAmIsAm", Protocol::Ft817, kAm, 1, Ft817(0x04)},
        ModeRow{"ReverseFskIsFsk", Protocol::Ft817, kFsk, 1, Ft817(0x0A)},
        ModeRow{"ReversePktIsPkt", Protocol::Ft817, kPkt, 1, Ft817(0x0C)},
        ModeRow{"PositionWithoutAByteSendsNothing", Protocol::Ft817, -1, 0, ""}),
    [](const auto& instance) { return std::string(instance.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Kenwood, SetRadioModeSends,
    ::testing::Values(ModeRow{"LsbIsListPositionPlusOne", Protocol::Kenwood, kLsb, 0, "MD1;"},
                      ModeRow{"Usb", Protocol::Kenwood, kUsb, 0, "MD2;"},
                      ModeRow{"Cw", Protocol::Kenwood, kCw, 0, "MD3;"},
                      ModeRow{"Am", Protocol::Kenwood, kAm, 0, "MD5;"},
                      ModeRow{"Fm", Protocol::Kenwood, kFm, 0, "MD4;"},
                      ModeRow{"Fsk", Protocol::Kenwood, kFsk, 0, "MD6;"},
                      ModeRow{"PktIsNeverSent", Protocol::Kenwood, kPkt, 0, ""},
                      ModeRow{"ReverseCw", Protocol::Kenwood, kCw, 1, "MD7;"},
                      ModeRow{"ReverseFsk", Protocol::Kenwood, kFsk, 1, "MD9;"},
                      ModeRow{"ReverseAmIsAm", Protocol::Kenwood, kAm, 1, "MD5;"},
                      ModeRow{"ReversePktIsNeverSent", Protocol::Kenwood, kPkt, 1, ""}),
    [](const auto& instance) { return std::string(instance.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Icom, SetRadioModeSends,
    ::testing::Values(ModeRow{"Lsb", Protocol::Icom, kLsb, 0, Civ(0x00)},
                      ModeRow{"Usb", Protocol::Icom, kUsb, 0, Civ(0x01)},
                      ModeRow{"Cw", Protocol::Icom, kCw, 0, Civ(0x03)},
                      ModeRow{"Am", Protocol::Icom, kAm, 0, Civ(0x02)},
                      ModeRow{"Fm", Protocol::Icom, kFm, 0, Civ(0x05)},
                      ModeRow{"Fsk", Protocol::Icom, kFsk, 0, Civ(0x04)},
                      ModeRow{"PktIsNeverSent", Protocol::Icom, kPkt, 0, ""},
                      ModeRow{"ReverseCw", Protocol::Icom, kCw, 1, Civ(0x07)},
                      ModeRow{"ReverseFsk", Protocol::Icom, kFsk, 1, Civ(0x08)},
                      ModeRow{"ReverseAmIsAm", Protocol::Icom, kAm, 1, Civ(0x02)},
                      ModeRow{"ReversePktIsNeverSent", Protocol::Icom, kPkt, 1, ""}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST(SetRadioMode, BeforeAnyLinkNothingIsWritten) {
    for (std::int16_t entry = kLsb; entry <= kPkt; ++entry) {
        FakeWorld world;
        world.port.open = true;
        SessionState state;  // protocol 0

        SetRadioMode(state, world.platform, static_cast<ModeIndex>(entry), false);

        EXPECT_TRUE(world.port.writes.empty()) << entry << ": " << ToHex(world.port.AllWritten());
        EXPECT_TRUE(world.messages.shown.empty());
    }
}

TEST(SetRadioMode, ClosedLinkWritesNothingAndSaysNothing) {
    for (Protocol protocol : {Protocol::Ft817, Protocol::Kenwood, Protocol::Icom}) {
        FakeWorld world;
        SessionState state = OpenLink(world, protocol);
        world.port.open = false;  // closing keeps protocol

        SetRadioMode(state, world.platform, ModeIndex::USB, false);

        EXPECT_TRUE(world.port.writes.empty()) << protocol;
        EXPECT_TRUE(world.messages.shown.empty()) << protocol;
    }
}

}  // namespace
}  // namespace cat
