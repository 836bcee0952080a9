#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>

#include "protocols/ft817/ft817.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::Bytes;
using test::FakeWorld;
using test::ToHex;

const std::string kReadCommand = Bytes({0x00, 0x00, 0x00, 0x00, 0x03});

constexpr std::int64_t kFreqBefore = 3'333'000;
constexpr std::int16_t kModeBefore = 3;  // AM

class Ft817Poll : public ::testing::Test {
protected:
    Ft817Poll() {
        world.port.open = true;
        state.protocol = Protocol::Ft817;
        state.frequencyHz = kFreqBefore;
        state.mode = static_cast<ModeIndex>(kModeBefore);
    }
    FakeWorld world;
    SessionState state;
};

struct ReplyRow {
    const char* name;
    std::string reply;
    std::int64_t freq;  // hertz
    std::int16_t mode;
};

void PrintTo(const ReplyRow& row, std::ostream* os) { *os << row.name << " " << ToHex(row.reply); }

class Ft817Replies : public Ft817Poll, public ::testing::WithParamInterface<ReplyRow> {};

// The radio gives the same reply twice: the first is held back until the second confirms it.
TEST_P(Ft817Replies, DecodeIntoFrequencyAndModeOnceConfirmed) {
    const ReplyRow& row = GetParam();
    world.port.replies = {row.reply, row.reply};

    PollFt817(state, world.platform);
    EXPECT_EQ(state.frequencyHz, kFreqBefore) << "shown before a second reply agreed";
    PollFt817(state, world.platform);

    ASSERT_EQ(world.port.writes.size(), 2u);
    EXPECT_EQ(world.port.writes[0], kReadCommand) << ToHex(world.port.writes[0]);
    EXPECT_EQ(state.frequencyHz, row.freq) << ToHex(row.reply);
    EXPECT_EQ(test::ShownMode(state), row.mode) << ToHex(row.reply);
}

INSTANTIATE_TEST_SUITE_P(
    Ft817, Ft817Replies,
    ::testing::Values(
        ReplyRow{"Usb14MHz", Bytes({0x01, 0x42, 0x34, 0x56, 0x01}), 14'234'560, 1},
        ReplyRow{"CwReverse7MHz", Bytes({0x00, 0x70, 0x00, 0x00, 0x03}), 7'000'000, 2},
        ReplyRow{"NarrowFm70cm", Bytes({0x43, 0x95, 0x00, 0x00, 0x88}), 439'500'000, 4},
        ReplyRow{"Fsk2m", Bytes({0x14, 0x50, 0x00, 0x00, 0x0A}), 145'000'000, 5},
        ReplyRow{"Pkt2m", Bytes({0x14, 0x50, 0x00, 0x00, 0x0C}), 145'000'000, 6},
        ReplyRow{"Lsb", Bytes({0x00, 0x35, 0x00, 0x00, 0x00}), 3'500'000, 0},
        ReplyRow{"Cw", Bytes({0x00, 0x70, 0x00, 0x00, 0x02}), 7'000'000, 2},
        ReplyRow{"Am", Bytes({0x00, 0x70, 0x00, 0x00, 0x04}), 7'000'000, 3},
        ReplyRow{"Fm", Bytes({0x02, 0x90, 0x00, 0x00, 0x08}), 29'000'000, 4},
        ReplyRow{"NarrowCw", Bytes({0x00, 0x70, 0x00, 0x00, 0x82}), 7'000'000, 2},
        ReplyRow{"NarrowCwReverse", Bytes({0x00, 0x70, 0x00, 0x00, 0x83}), 7'000'000, 2},
        ReplyRow{"NarrowFsk", Bytes({0x00, 0x70, 0x00, 0x00, 0x8A}), 7'000'000, 5},
        ReplyRow{"WideFmByte06IsFm", Bytes({0x02, 0x90, 0x00, 0x00, 0x06}), 29'000'000, 4},
        ReplyRow{"NarrowAmByte84IsAm", Bytes({0x00, 0x70, 0x00, 0x00, 0x84}), 7'000'000, 3},
        ReplyRow{"NarrowPktByte8CIsPkt", Bytes({0x14, 0x50, 0x00, 0x00, 0x8C}), 145'000'000, 6},
        ReplyRow{"LowestTunable100kHz", Bytes({0x00, 0x01, 0x00, 0x00, 0x04}), 100'000, 3},
        ReplyRow{"HighestTunable470MHz", Bytes({0x47, 0x00, 0x00, 0x00, 0x08}), 470'000'000, 4},
        // Replies that cannot be readings change nothing, however often they come.
        ReplyRow{"BelowTheLowestBand", Bytes({0x00, 0x00, 0x99, 0x99, 0x01}), kFreqBefore,
                 kModeBefore},
        ReplyRow{"BetweenTheBands", Bytes({0x30, 0x00, 0x00, 0x00, 0x08}), kFreqBefore,
                 kModeBefore},
        ReplyRow{"AboveTheHighestBand", Bytes({0x99, 0x99, 0x99, 0x99, 0x01}), kFreqBefore,
                 kModeBefore},
        ReplyRow{"ZeroFrequency", Bytes({0x00, 0x00, 0x00, 0x00, 0x01}), kFreqBefore, kModeBefore},
        ReplyRow{"ModeByte05TheRadioNeverSends", Bytes({0x00, 0x70, 0x00, 0x00, 0x05}), kFreqBefore,
                 kModeBefore},
        ReplyRow{"ModeByteFF", Bytes({0x00, 0x70, 0x00, 0x00, 0xFF}), kFreqBefore, kModeBefore},
        ReplyRow{"LowHalfAboveNine", Bytes({0x01, 0x4A, 0x34, 0x56, 0x01}), kFreqBefore,
                 kModeBefore},
        ReplyRow{"HighHalfAboveNine", Bytes({0x01, 0x42, 0x34, 0xF6, 0x01}), kFreqBefore,
                 kModeBefore}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST_F(Ft817Poll, ANewReadingWaitsForTheNextReplyAndNoiseBetweenDoesNotUnseatIt) {
    const std::string first = Bytes({0x01, 0x40, 0x74, 0x00, 0x01});
    const std::string second = Bytes({0x00, 0x70, 0x74, 0x00, 0x02});
    const std::string noise = Bytes({0x9A, 0x13, 0x00, 0x00, 0x01});
    // Each poll takes one reply; the table is what the display has after it.
    const std::pair<std::string, std::int64_t> polls[] = {
        {first, kFreqBefore}, {first, 14'074'000}, {second, 14'074'000}, {noise, 14'074'000},
        {second, 7'074'000},  {first, 7'074'000},  {"", 7'074'000},      {first, 14'074'000},
    };
    for (const auto& [reply, shown] : polls) {
        world.port.replies = {reply};
        PollFt817(state, world.platform);
        EXPECT_EQ(state.frequencyHz, shown) << "after " << ToHex(reply);
    }
}

TEST_F(Ft817Poll, FourBytesOnlyChangeNothingAndAreDiscarded) {
    world.port.replies.push_back(Bytes({0x01, 0x42, 0x34, 0x56}));

    PollFt817(state, world.platform);

    EXPECT_EQ(state.frequencyHz, kFreqBefore);
    EXPECT_EQ(test::ShownMode(state), kModeBefore);
    EXPECT_EQ(world.port.waiting, "");
}

TEST_F(Ft817Poll, AnEchoingInterfaceStillGivesReadings) {
    world.port.responder = [](const std::string& sent) {
        return sent + Bytes({0x01, 0x42, 0x34, 0x56, 0x01});
    };

    PollFt817(state, world.platform);
    PollFt817(state, world.platform);

    EXPECT_EQ(state.frequencyHz, 14'234'560);
    EXPECT_EQ(test::ShownMode(state), 1);
    EXPECT_EQ(world.port.waiting, "");
}

TEST_F(Ft817Poll, BytesWaitingBeforeThePollAreNeverDecoded) {
    world.port.Arrive(Bytes({0x14, 0x50, 0x00, 0x00, 0x0C}));

    PollFt817(state, world.platform);

    EXPECT_EQ(world.port.AllWritten(), kReadCommand) << ToHex(world.port.AllWritten());
    EXPECT_EQ(state.frequencyHz, kFreqBefore);
    EXPECT_EQ(test::ShownMode(state), kModeBefore);
}

TEST_F(Ft817Poll, ClosedPortChangesNothingAndRaisesNothing) {
    world.port.open = false;

    PollFt817(state, world.platform);

    EXPECT_TRUE(world.port.writes.empty());
    EXPECT_EQ(state.frequencyHz, kFreqBefore);
    EXPECT_EQ(test::ShownMode(state), kModeBefore);
}

class Ft817OtherProtocols : public Ft817Poll, public ::testing::WithParamInterface<Protocol> {};

TEST_P(Ft817OtherProtocols, SendNothing) {
    state.protocol = GetParam();
    world.port.replies.push_back(Bytes({0x01, 0x42, 0x34, 0x56, 0x01}));

    PollFt817(state, world.platform);

    EXPECT_EQ(world.port.AllWritten(), "") << ToHex(world.port.AllWritten());
    EXPECT_TRUE(world.port.waits.empty());
    EXPECT_EQ(state.frequencyHz, kFreqBefore);
}

INSTANTIATE_TEST_SUITE_P(Ft817, Ft817OtherProtocols,
                         ::testing::Values(Protocol::None, Protocol::Kenwood, Protocol::Icom,
                                           Protocol::Yaesu),
                         [](const auto& instance) {
                             return (std::ostringstream() << instance.param).str();
                         });

}  // namespace
}  // namespace cat
