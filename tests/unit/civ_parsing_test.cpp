#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "core/session_state.h"
#include "protocols/civ/civ.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::Bytes;
using test::FakeCommPort;
using test::FakeWorld;
using test::ToHex;

// Values no CI-V frame here produces, so any change shows.
constexpr std::int64_t kOldFreq = 7'000'000;
constexpr std::int16_t kOldMode = 6;  // PKT: no ICOM mode maps to it
constexpr std::int16_t kNoMode = -1;  // the display shows no mode

// The mode as the display sees it.

struct IcomLink {
    FakeWorld world;
    SessionState state;
    explicit IcomLink(const char* radioAddr = "5E") {
        world.port.open = true;
        state.radioAddress = radioAddr;
        state.controllerAddress = "E0";
        state.frequencyHz = kOldFreq;
        state.mode = static_cast<ModeIndex>(kOldMode);
    }
    void Receive(const std::string& bytes) {
        world.port.Arrive(bytes);
        ReceiveCivReplies(state, world.port);
    }
};

const std::string kReply14_2505 =
    Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x05, 0x25, 0x14, 0x00, 0xFD});
const std::string kEcho03 = Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x03, 0xFD, 0x00});

// ---- one pass ---------------------------------------------------------------------------------

struct PassRow {
    const char* name;
    std::string received;
    std::int64_t freq;  // hertz
    std::int16_t mode;
    std::string rxBuffer;
    const char* radioAddr = "5E";
    std::string before = "";  // the receive buffer at the start of the pass
};

void PrintTo(const PassRow& row, std::ostream* os) {
    *os << row.name << ": " << ToHex(row.received);
}

class OnePass : public ::testing::TestWithParam<PassRow> {};

TEST_P(OnePass, DecodesWhatItShouldAndKeepsTheRest) {
    const PassRow& row = GetParam();
    IcomLink link(row.radioAddr);
    link.state.received = row.before;

    link.Receive(row.received);

    SCOPED_TRACE("received " + ToHex(row.received));
    EXPECT_EQ(link.state.frequencyHz, row.freq);
    EXPECT_EQ(test::ShownMode(link.state), row.mode);
    EXPECT_EQ(link.state.received, row.rxBuffer);
}

std::string Repeat(const std::string& bytes, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += bytes;
    return out;
}

INSTANTIATE_TEST_SUITE_P(
    Civ, OnePass,
    ::testing::Values(
        PassRow{"EchoDroppedReplyDecoded", kEcho03 + kReply14_2505, 14'250'500, kOldMode, ""},
        PassRow{"EchoAloneLeavesNothing", kEcho03, kOldFreq, kOldMode, ""},
        PassRow{"FourByteFrequency",
                Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x50, 0x25, 0x14, 0xFD}), 14'255'000,
                kOldMode, ""},
        PassRow{"AnnouncedFrequencyCommand00",
                Bytes({0xFE, 0xFE, 0x00, 0x5E, 0x00, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD}),
                14'074'000, kOldMode, ""},
        PassRow{"FifthByteCarriesHundredsOfMegahertz",
                Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x00, 0x30, 0x44, 0x01, 0xFD}),
                144'300'000, kOldMode, ""},
        PassRow{"SixDataBytesIgnored",
                Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x05, 0x25, 0x14, 0x00, 0x00, 0xFD}),
                kOldFreq, kOldMode, ""},
        PassRow{"ThreeDataBytesIgnored",
                Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x05, 0x25, 0x14, 0xFD}), kOldFreq, kOldMode,
                ""},
        PassRow{"ModeReplyUsb", Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0x01, 0x02, 0xFD}), kOldFreq,
                1, ""},
        PassRow{"AnnouncedModeCommand01", Bytes({0xFE, 0xFE, 0x00, 0x5E, 0x01, 0x03, 0x01, 0xFD}),
                kOldFreq, 2, ""},
        PassRow{"ModeFrameWithoutAModeByteShowsNoMode", Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0xFD}),
                kOldFreq, kNoMode, ""},
        PassRow{"AnnouncementWithoutAModeByteShowsNoMode",
                Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x01, 0xFD}), kOldFreq, kNoMode, ""},
        PassRow{"AcknowledgementConsumedAndIgnored", Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0xFB, 0xFD}),
                kOldFreq, kOldMode, ""},
        PassRow{"OtherStationDropped",
                Bytes({0xFE, 0xFE, 0xE0, 0x70, 0x03, 0x00, 0x05, 0x25, 0x14, 0x00, 0xFD}), kOldFreq,
                kOldMode, ""},
        PassRow{"Address00AcceptsNoReply", kReply14_2505, kOldFreq, kOldMode, "", "00"},
        PassRow{"Address00AcceptsNotEvenItsOwnEcho",
                Bytes({0xFE, 0xFE, 0x00, 0xE0, 0x03, 0xFD, 0x00}), kOldFreq, kOldMode, "", "00"},
        PassRow{"AddressTrimmedBeforeComparing", kReply14_2505, 14'250'500, kOldMode, "", " 5E "},
        PassRow{"IncompleteFrameKeptAsText", Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00}), kOldFreq,
                kOldMode, Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00})},
        PassRow{"FragmentWithoutPreambleDiscardedThroughItsEnd",
                Bytes({0x05, 0x25, 0xFD}) + kReply14_2505, 14'250'500, kOldMode, ""},
        PassRow{"PreambleAfterLastFrameKept", kReply14_2505 + Bytes({0xFE, 0xFE}), 14'250'500,
                kOldMode, Bytes({0xFE, 0xFE})},
        // Bytes before any preamble can never become a frame: nothing waits for them.
        PassRow{"SecondZeroByteAfterEchoIsDropped", kEcho03 + Bytes({0x00}), kOldFreq, kOldMode,
                ""},
        // Half-bytes A..F are no decimal digits: no made-up frequency.
        PassRow{"FrequencyNotPackedDecimalDropped",
                Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x0A, 0x25, 0x14, 0x00, 0xFD}), kOldFreq,
                kOldMode, ""},
        // A Kenwood reply left over from before the link was reopened is no frame.
        PassRow{"KenwoodLeftoverDiscardedWithFirstFrame", kReply14_2505, 14'250'500, kOldMode, "",
                "5E", "IF00014250000     ;"},
        PassRow{"OddKenwoodLeftoverDoesNotShiftTheFrames", kReply14_2505, 14'250'500, kOldMode, "",
                "5E", "IF;"},
        PassRow{"FrameCompletedFromEarlierBytes", Bytes({0x05, 0x25, 0x14, 0x00, 0xFD}), 14'250'500,
                kOldMode, "", "5E", Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00})},
        // A frame in progress may wait up to 63 bytes for its end; a longer one is no frame.
        PassRow{"LongestUnfinishedFrameKept",
                Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x1A}) + Repeat(Bytes({0x12}), 58), kOldFreq,
                kOldMode, Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x1A}) + Repeat(Bytes({0x12}), 58)},
        PassRow{"OverlongUnfinishedFrameDropped",
                Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x1A}) + Repeat(Bytes({0x12}), 59), kOldFreq,
                kOldMode, ""},
        PassRow{"TwoHundredBytesOfNoiseDropped", Repeat(Bytes({0x55}), 200), kOldFreq, kOldMode,
                ""}),
    [](const auto& instance) { return std::string(instance.param.name); });

// ---- mends: markers on byte boundaries, last preamble, bursts ----------------------------------

TEST(CivBoundaries, FrameWithStraddlingMarkerWaitsWhole) {
    IcomLink link;
    link.Receive(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x1A, 0x0F, 0xD3}));
    EXPECT_EQ(link.state.received, Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x1A, 0x0F, 0xD3}));

    link.Receive(Bytes({0xFD}) + kReply14_2505);
    EXPECT_EQ(link.state.frequencyHz, 14'250'500);
    EXPECT_EQ(link.state.received, "");
}

TEST(CivBoundaries, PreambleStraddlingTwoBytesIsNoFrameStart) {
    IcomLink link;
    // The data "1F EF EE 05 E0 40 11" reads "1FEFEE05E04011": off the byte boundaries it looks
    // like a USB mode reply from 5E.
    const std::string bytes =
        Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x1A, 0x1F, 0xEF, 0xEE, 0x05, 0xE0, 0x40, 0x11, 0xFD});
    link.Receive(bytes);
    EXPECT_EQ(test::ShownMode(link.state), kOldMode) << ToHex(bytes);
    EXPECT_EQ(link.state.received, "");
}

TEST(CivPreamble, ThirdPreambleByteDoesNotHideTheFrame) {
    IcomLink link;
    const std::string bytes = Bytes({0xFE}) + kReply14_2505;
    link.Receive(bytes);
    EXPECT_EQ(link.state.frequencyHz, 14'250'500) << ToHex(bytes);
}

TEST(CivPreamble, LonePreambleFromBrokenFrameDoesNotHideTheNextFrame) {
    IcomLink link;
    link.Receive(Bytes({0xFE, 0xFE}));
    link.Receive(kReply14_2505);
    EXPECT_EQ(link.state.frequencyHz, 14'250'500);
    EXPECT_EQ(link.state.received, "");
}

TEST(CivPreamble, TruncatedFrameBeforeAGoodOneIsDiscarded) {
    IcomLink link;
    const std::string bytes = Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x05}) +
                              Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x50, 0x25, 0x14, 0xFD});
    link.Receive(bytes);
    EXPECT_EQ(link.state.frequencyHz, 14'255'000) << ToHex(bytes);
    EXPECT_EQ(link.state.received, "");
}

TEST(CivLimit, BurstOverTheLimitStillDecodesItsFrames) {
    IcomLink link;
    // Twelve frames are 264 characters of text; the newest one counts.
    const std::string burst = Repeat(kReply14_2505, 11) + Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00,
                                                                 0x40, 0x07, 0x14, 0x00, 0xFD});
    link.Receive(burst);
    EXPECT_EQ(link.state.frequencyHz, 14'074'000);
    EXPECT_EQ(link.state.received, "");
}

TEST(CivLimit, BurstKeepsItsShortUnfinishedTail) {
    IcomLink link;
    link.Receive(Repeat(kReply14_2505, 12) + Bytes({0xFE, 0xFE, 0xE0}));
    EXPECT_EQ(link.state.frequencyHz, 14'250'500);
    EXPECT_EQ(link.state.received, Bytes({0xFE, 0xFE, 0xE0}));
}

TEST(CivLimit, FramesBeforeLongNoiseDecodedNoiseDropped) {
    IcomLink link;
    link.Receive(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0x05, 0x01, 0xFD}) +
                 Repeat(Bytes({0x33}), 150));
    EXPECT_EQ(test::ShownMode(link.state), 4);  // FM
    EXPECT_EQ(link.state.received, "");
}

TEST(CivLimit, StaysBoundedWhenNoiseArrivesInPieces) {
    IcomLink link;
    for (int i = 0; i < 40; ++i) {
        link.Receive(Repeat(Bytes({0x47}), 17));
        ASSERT_LE(link.state.received.size(), 255u) << "after piece " << i;
    }
    link.Receive(kReply14_2505);
    EXPECT_EQ(link.state.frequencyHz, 14'250'500);
}

// ---- several passes ---------------------------------------------------------------------------

TEST(CivPasses, ReplySplitOverTwoPasses) {
    IcomLink link;
    link.Receive(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00}));
    EXPECT_EQ(link.state.received, Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00}));
    EXPECT_EQ(link.state.frequencyHz, kOldFreq);

    link.Receive(Bytes({0x05, 0x25, 0x14, 0x00, 0xFD}));
    EXPECT_EQ(link.state.frequencyHz, 14'250'500);
    EXPECT_EQ(link.state.received, "");
}

TEST(CivPasses, ZeroByteOfEchoArrivingLateIsTakenWithItsEcho) {
    IcomLink link;
    link.Receive(Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x03, 0xFD}));
    link.Receive(Bytes({0x00}));
    EXPECT_EQ(link.state.received, "") << "the echo's 00, however late";

    link.Receive(kReply14_2505);
    EXPECT_EQ(link.state.frequencyHz, 14'250'500);
    EXPECT_EQ(link.state.received, "");
}

TEST(CivPasses, NothingWaitingLeavesTheBufferUnexamined) {
    IcomLink link;
    link.state.received = kReply14_2505;
    ReceiveCivReplies(link.state, link.world.port);
    EXPECT_EQ(link.state.frequencyHz, kOldFreq);
    EXPECT_EQ(link.state.received, kReply14_2505);
}

TEST(CivPasses, OnlyTheRadiosFrequencyFillsAnEmptyDisplay) {
    IcomLink link;
    link.state.frequencyHz.reset();
    link.Receive(kEcho03);
    EXPECT_FALSE(link.state.frequencyHz.has_value());
    link.Receive(kReply14_2505);
    EXPECT_EQ(link.state.frequencyHz, 14'250'500);
}

// ---- the port misbehaving ---------------------------------------------------------------------

TEST(CivPort, InputShorterThanCountAppendsOnlyWhatCame) {
    IcomLink link;
    link.world.port.inputShortBy = 1;  // the FD is counted but not handed over
    link.Receive(kReply14_2505);
    EXPECT_EQ(link.state.received, kReply14_2505.substr(0, kReply14_2505.size() - 1));
    EXPECT_EQ(link.state.frequencyHz, kOldFreq);
}

TEST(CivPort, FailingCountEndsThePassQuietly) {
    IcomLink link;
    link.world.port.FailOn(FakeCommPort::Op::BytesWaiting);
    link.state.received = kReply14_2505;
    EXPECT_NO_THROW(link.Receive(kReply14_2505));
    EXPECT_EQ(link.state.frequencyHz, kOldFreq);
    EXPECT_EQ(link.state.received, kReply14_2505);
}

TEST(CivPort, FailingInputSkipsOnlyTheAppend) {
    IcomLink link;
    link.world.port.FailOn(FakeCommPort::Op::ReadAll);
    link.state.received = kReply14_2505;
    EXPECT_NO_THROW(link.Receive(Bytes({0x01})));
    EXPECT_EQ(link.state.frequencyHz, 14'250'500);
    EXPECT_EQ(link.state.received, "");
}

TEST(CivPort, ClosedPortChangesNothing) {
    IcomLink link;
    link.world.port.Arrive(kReply14_2505);
    link.world.port.open = false;
    EXPECT_NO_THROW(ReceiveCivReplies(link.state, link.world.port));
    EXPECT_EQ(link.state.frequencyHz, kOldFreq);
    EXPECT_EQ(link.state.received, "");
}

// ---- mode table -------------------------------------------------------------------------------

struct ModeRow {
    const char* name;
    int modeByte;
    std::int16_t expected;
};

void PrintTo(const ModeRow& row, std::ostream* os) { *os << row.name; }

class CivModeTable : public ::testing::TestWithParam<ModeRow> {};

TEST_P(CivModeTable, ModeByteGivesModeIndex) {
    IcomLink link;
    const std::string frame =
        Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, GetParam().modeByte, 0x01, 0xFD});
    link.Receive(frame);
    EXPECT_EQ(test::ShownMode(link.state), GetParam().expected) << ToHex(frame);
}

INSTANTIATE_TEST_SUITE_P(Civ, CivModeTable,
                         ::testing::Values(ModeRow{"Lsb00", 0x00, 0}, ModeRow{"Usb01", 0x01, 1},
                                           ModeRow{"Am02", 0x02, 3}, ModeRow{"Cw03", 0x03, 2},
                                           ModeRow{"Rtty04IsFsk", 0x04, 5},
                                           ModeRow{"Fm05", 0x05, 4}, ModeRow{"Wide06IsFm", 0x06, 4},
                                           ModeRow{"CwReverse07IsCw", 0x07, 2},
                                           ModeRow{"RttyReverse08IsFsk", 0x08, 5},
                                           ModeRow{"Byte11ReadAsElevenIsAm", 0x11, 3},
                                           ModeRow{"Psk12HasNoName", 0x12, kNoMode},
                                           ModeRow{"Byte09HasNoName", 0x09, kNoMode},
                                           ModeRow{"Dv17HasNoName", 0x17, kNoMode},
                                           ModeRow{"NotDecimal1AHasNoName", 0x1A, kNoMode},
                                           ModeRow{"NotDecimalA1HasNoName", 0xA1, kNoMode}),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace cat
