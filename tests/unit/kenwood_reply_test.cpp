#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "protocols/kenwood/kenwood.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::Bytes;
using test::FakeCommPort;
using test::FakeWorld;
using test::ToHex;

// The radio's status reply before its ";": "IF", 11 frequency digits in hertz, 16 unused, the
// mode digit at position 30, 7 unused.
std::string If(const std::string& frequency, char modeDigit) {
    return "IF" + frequency + "0000+00000000000" + modeDigit + "0000000";
}

const std::string kUsb14250 = If("00014250000", '2') + ";";

constexpr std::int64_t kFreqBefore = 3'500'000;
constexpr std::int16_t kModeBefore = 6;  // PKT: never produced by a Kenwood reply
constexpr std::int16_t kNoMode = -1;     // the display shows no mode

class KenwoodReceive : public ::testing::Test {
protected:
    KenwoodReceive() {
        world.port.open = true;
        state.frequencyHz = kFreqBefore;
        state.mode = static_cast<ModeIndex>(kModeBefore);
    }
    void Pass() {
        ReceiveKenwoodReplies(state, world.port);
        EXPECT_FALSE(state.parsingReplies);
    }

    FakeWorld world;
    SessionState state;
};

struct ReplyRow {
    const char* name;
    std::string received;
    std::int64_t freq;  // hertz
    std::int16_t mode;
    std::string left;
};

void PrintTo(const ReplyRow& row, std::ostream* os) {
    *os << row.name << " " << ToHex(row.received);
}

class KenwoodReplies : public KenwoodReceive, public ::testing::WithParamInterface<ReplyRow> {};

TEST_P(KenwoodReplies, UpdateFrequencyAndModeAsReceived) {
    const ReplyRow& row = GetParam();
    world.port.Arrive(row.received);

    Pass();

    EXPECT_EQ(state.frequencyHz, row.freq) << ToHex(row.received);
    EXPECT_EQ(test::ShownMode(state), row.mode) << ToHex(row.received);
    EXPECT_EQ(state.received, row.left) << ToHex(state.received);
}

INSTANTIATE_TEST_SUITE_P(
    Kenwood, KenwoodReplies,
    ::testing::Values(
        ReplyRow{"IfReplySetsFrequencyAndMode", kUsb14250, 14'250'000, 1, ""},
        ReplyRow{"ModeDigit7IsCw", If("00014250000", '7') + ";", 14'250'000, 2, ""},
        ReplyRow{"ModeDigit1IsLsbTheFirstMode", If("00007074000", '1') + ";", 7'074'000, 0, ""},
        ReplyRow{"ModeDigit8HasNoNameButTheFrequencyCounts", If("00014250000", '8') + ";",
                 14'250'000, kNoMode, ""},
        ReplyRow{"ModeDigit0HasNoName", If("00014250000", '0') + ";", 14'250'000, kNoMode, ""},
        ReplyRow{"ModeLetterOfNewerRadiosHasNoName", If("00014250000", 'A') + ";", 14'250'000,
                 kNoMode, ""},
        ReplyRow{"BlankModeHasNoName", If("00007074000", ' ') + ";", 7'074'000, kNoMode, ""},
        ReplyRow{"ThirtySixCharactersAreIgnoredAndConsumed", kUsb14250.substr(0, 36) + ";",
                 kFreqBefore, kModeBefore, ""},
        // Longer replies (SDR programs) and blanks outside the frequency (the TS-480 and its
        // subsets leave the step field blank) are read by their fields.
        ReplyRow{"LongerReplyIsReadByItsFields", If("00014250000", '2') + "0;", 14'250'000, 1, ""},
        ReplyRow{"BlanksInTheStepFieldAreRead", "IF00014074000     +00000000002000000 ;",
                 14'074'000, 1, ""},
        // Yaesu's status reply is clean text in another layout: not a reading here.
        ReplyRow{"YaesuLayoutIsNotRead", "IF001014074000+000000200000;", kFreqBefore, kModeBefore,
                 ""},
        ReplyRow{"FrequencyReplyIsRead", "FA00007074000;", 7'074'000, kModeBefore, ""},
        ReplyRow{"ModeReplyIsRead", "MD3;", kFreqBefore, 2, ""},
        ReplyRow{"LowerCaseIfIsIgnoredAndConsumed", "if" + kUsb14250.substr(2), kFreqBefore,
                 kModeBefore, ""},
        ReplyRow{"FaEchoAndIfReplyTogetherBothConsumed", "FA00007074000;" + kUsb14250, 14'250'000,
                 1, ""},
        ReplyRow{"ThreeTerminatorsAreThreeEmptyReplies", ";;;", kFreqBefore, kModeBefore, ""},
        ReplyRow{"ReplyWithoutTerminatorWaitsInTheBuffer", kUsb14250.substr(0, 37), kFreqBefore,
                 kModeBefore, kUsb14250.substr(0, 37)},
        ReplyRow{"PieceOfTheNextReplyStaysBehind", kUsb14250 + "IF0001", 14'250'000, 1, "IF0001"},
        ReplyRow{"LaterReplyWins", If("00007074000", '1') + ";" + kUsb14250, 14'250'000, 1, ""},
        // A frequency field that is not eleven digits is no reading: the whole reply is dropped.
        ReplyRow{"BlanksInTheFrequencyDropTheReply", If("    7074000", '3') + ";", kFreqBefore,
                 kModeBefore, ""},
        ReplyRow{"LettersInTheFrequencyDropTheReply", If("0001407abcd", '2') + ";", kFreqBefore,
                 kModeBefore, ""},
        ReplyRow{"DecimalPointInTheFrequencyDropsTheReply", If("   14.07400", '2') + ";",
                 kFreqBefore, kModeBefore, ""},
        ReplyRow{"DashesInTheFrequencyDropTheReply", If("-----------", '2') + ";", kFreqBefore,
                 kModeBefore, ""},
        ReplyRow{"ExponentInTheFrequencyDropsTheReply", If("9e999999999", '5') + ";", kFreqBefore,
                 kModeBefore, ""},
        ReplyRow{"OtherBytesAreKeptOneCharacterEach", Bytes({0x00, 0xFF, 0x80}), kFreqBefore,
                 kModeBefore, Bytes({0x00, 0xFF, 0x80})}),
    [](const auto& instance) { return std::string(instance.param.name); });

TEST_F(KenwoodReceive, ReplySplitOverTwoPassesIsParsedWhenItsTerminatorArrives) {
    world.port.Arrive(kUsb14250.substr(0, 20));
    Pass();
    EXPECT_EQ(state.received, kUsb14250.substr(0, 20));
    EXPECT_EQ(state.frequencyHz, kFreqBefore);

    world.port.Arrive(kUsb14250.substr(20));
    Pass();
    EXPECT_EQ(state.received, "");
    EXPECT_EQ(state.frequencyHz, 14'250'000);
    EXPECT_EQ(test::ShownMode(state), 1);
}

TEST_F(KenwoodReceive, NothingWaitingStillParsesTheBuffer) {
    state.received = kUsb14250;

    Pass();

    EXPECT_EQ(state.frequencyHz, 14'250'000);
    EXPECT_EQ(state.received, "");
}

TEST_F(KenwoodReceive, FailingCountSkipsTheReadAndStillParsesTheBuffer) {
    state.received = kUsb14250;
    world.port.Arrive("IF;");
    world.port.FailOn(FakeCommPort::Op::BytesWaiting);

    Pass();

    EXPECT_EQ(state.frequencyHz, 14'250'000);
    EXPECT_EQ(state.received, "");
    EXPECT_EQ(world.port.waiting, "IF;");
}

TEST_F(KenwoodReceive, FailingInputAppendsNothingAndStillParsesTheBuffer) {
    state.received = kUsb14250 + "IF00";
    world.port.Arrive("garbage;");
    world.port.FailOn(FakeCommPort::Op::ReadAll);

    Pass();

    EXPECT_EQ(state.frequencyHz, 14'250'000);
    EXPECT_EQ(state.received, "IF00");
}

TEST_F(KenwoodReceive, ClosedPortStillParsesTheBuffer) {
    world.port.open = false;
    state.received = kUsb14250;

    Pass();

    EXPECT_EQ(state.frequencyHz, 14'250'000);
}

TEST_F(KenwoodReceive, InputShorterThanItsCountAppendsOnlyWhatCameBack) {
    world.port.Arrive(kUsb14250);
    world.port.inputShortBy = 1;

    Pass();

    EXPECT_EQ(state.received, kUsb14250.substr(0, 37)) << ToHex(state.received);
    EXPECT_EQ(state.frequencyHz, kFreqBefore);
}

// A radio that keeps talking: more bytes reach the port between the count and the read.
class PortStillReceiving : public FakeCommPort {
public:
    std::string lateBytes;
    std::string ReadAll() override {
        waiting += lateBytes;
        return FakeCommPort::ReadAll();
    }
};

TEST(KenwoodReceiveLate, BytesArrivingAfterTheCountAreKeptRatherThanCutAtTheCount) {
    PortStillReceiving port;
    port.open = true;
    port.Arrive(kUsb14250.substr(0, 10));
    port.lateBytes = kUsb14250.substr(10);
    SessionState state;

    ReceiveKenwoodReplies(state, port);

    EXPECT_EQ(state.frequencyHz, 14'250'000);
    EXPECT_EQ(test::ShownMode(state), 1);
    EXPECT_EQ(state.received, "");
}

TEST_F(KenwoodReceive, PassEnteredWhileParsingLeavesBufferFlagAndPortAlone) {
    state.parsingReplies = true;
    state.received = kUsb14250;
    world.port.Arrive("FA;");

    ReceiveKenwoodReplies(state, world.port);

    EXPECT_TRUE(state.parsingReplies);
    EXPECT_EQ(state.received, kUsb14250);
    EXPECT_EQ(world.port.waiting, "FA;");
    EXPECT_EQ(state.frequencyHz, kFreqBefore);
}

TEST_F(KenwoodReceive, NoiseWithoutTerminatorIsKeptUpTo4096Characters) {
    state.received = std::string(4000, 'x');
    world.port.Arrive(std::string(96, 'x'));

    Pass();

    EXPECT_EQ(state.received.size(), 4096u);
}

TEST_F(KenwoodReceive, NoiseWithoutTerminatorIsThrownAwayAt4097Characters) {
    state.received = std::string(4000, 'x');
    world.port.Arrive(std::string(97, 'x'));

    Pass();

    EXPECT_EQ(state.received, "");
    EXPECT_EQ(state.frequencyHz, kFreqBefore);
}

std::string BurstOfReplies(int count) {
    std::string burst;
    for (int i = 0; i < count - 1; ++i) burst += If("00007074000", '1') + ";";
    return burst + kUsb14250;
}

TEST_F(KenwoodReceive, BurstOverTheLimitParsesItsRepliesRatherThanDiscardingThem) {
    const std::string burst = BurstOfReplies(150);
    ASSERT_GT(burst.size(), 4096u);
    world.port.Arrive(burst);

    Pass();

    EXPECT_EQ(state.frequencyHz, 14'250'000);
    EXPECT_EQ(test::ShownMode(state), 1);
    EXPECT_EQ(state.received, "");
}

TEST_F(KenwoodReceive, BurstOverTheLimitKeepsTheStartOfTheNextReply) {
    world.port.Arrive(BurstOfReplies(150) + "IF0001425");

    Pass();

    EXPECT_EQ(state.frequencyHz, 14'250'000);
    EXPECT_EQ(state.received, "IF0001425");
}

TEST_F(KenwoodReceive, BurstOverTheLimitParsesItsRepliesAndDropsTheOverlongRest) {
    world.port.Arrive(BurstOfReplies(150) + std::string(4097, 'x'));

    Pass();

    EXPECT_EQ(state.frequencyHz, 14'250'000);
    EXPECT_EQ(state.received, "");
}

TEST_F(KenwoodReceive, OverlongBufferIsBoundedEvenWhenNothingNewArrives) {
    state.received = std::string(5000, 'x');

    Pass();

    EXPECT_EQ(state.received, "");
}

}  // namespace
}  // namespace cat

namespace cat {
namespace {

// A radio whose status reply cannot be read (a short IF of its own) is asked for FA and MD
// instead; a radio that answers IF as the Kenwood radios do is never asked anything else.
TEST(KenwoodPoll, ARadioWhoseStatusCannotBeReadIsAskedForFrequencyAndMode) {
    for (const bool readable : {true, false}) {
        SCOPED_TRACE(readable ? "readable IF" : "unreadable IF");
        test::FakeWorld world;
        world.port.open = true;
        world.port.responder = [&](const std::string& sent) -> std::string {
            if (sent == "IF;") return readable ? kUsb14250 : "IF00014250000;";
            if (sent == "FA;") return "FA00014250000;";
            if (sent == "MD;") return "MD2;";
            return {};
        };
        SessionState state;
        for (int i = 0; i < 3; ++i) KenwoodFamily().Poll(state, world.platform);
        const std::vector<std::string> expected =
            readable ? std::vector<std::string>{"IF;", "IF;", "IF;"}
                     : std::vector<std::string>{"IF;", "IF;", "FA;", "MD;"};
        EXPECT_EQ(world.port.writes, expected);
        EXPECT_EQ(state.frequencyHz, 14'250'000);
        EXPECT_EQ(test::ShownMode(state), 1);
    }
}

}  // namespace
}  // namespace cat
