#include "link/poll_cycle.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "shell/startup.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::Bytes;
using test::FakeWorld;
using test::ToHex;

using test::FakeDisplay;

// An IF reply: "IF", 11 frequency digits, 16 unused characters, the mode digit, 7 more, ";".
std::string IfReply(const std::string& hertz11, char modeDigit) {
    return "IF" + hertz11 + std::string(16, '0') + modeDigit + std::string(7, '0') + ";";
}

const std::string kIcomReadFreq = Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x03, 0xFD, 0x00});
const std::string kIcomReadMode = Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x04, 0xFD, 0x00});
const std::string kFt817Read = Bytes({0x00, 0x00, 0x00, 0x00, 0x03});

struct PollTest : ::testing::Test {
    FakeWorld w;
    SessionState s;
    FakeDisplay display;

    void SetUp() override {
        FillDigitCharacters(s);
        w.port.open = true;
        w.clock.now = 36000.0;
    }
    void Link(Protocol protocol) {
        s.protocol = protocol;
        s.radioAddress = "5E";
        s.controllerAddress = "E0";
    }
    void Tick(bool minimised = false) { PollTick(s, w.platform, minimised, display); }
};

TEST_F(PollTest, NoProtocolMeansTicksAndNotificationsDoNothing) {
    w.port.Arrive(IfReply("00014074000", '2'));
    Tick();
    ReceiveDispatch(s, w.port);
    EXPECT_TRUE(w.port.writes.empty());
    EXPECT_EQ(display.writes, 0);
    EXPECT_FALSE(s.busy);
    EXPECT_TRUE(s.received.empty());
    EXPECT_FALSE(w.port.waiting.empty()) << "nothing was read";
}

TEST_F(PollTest, MinimisedWindowSendsNothingAndLeavesTheDisplay) {
    Link(Protocol::Kenwood);
    display.text = "14.074.00 USB";
    Tick(/*minimised=*/true);
    EXPECT_TRUE(w.port.writes.empty());
    EXPECT_EQ(display.writes, 0);
    Tick();
    EXPECT_EQ(w.port.AllWritten(), "IF;") << "after a restore the first tick polls";
}

TEST_F(PollTest, TickDuringATickReturnsAtOnce) {
    Link(Protocol::Ft817);
    s.busy = true;
    Tick();
    EXPECT_TRUE(w.port.writes.empty());
    EXPECT_TRUE(s.busy) << "an early return leaves busy as it was";
}

TEST_F(PollTest, KenwoodPollsOnlyWhenMoreThanAQuarterSecondPassed) {
    Link(Protocol::Kenwood);
    const struct {
        const char* name;
        double advance;
        bool polls;
    } steps[] = {
        {"first_tick_after_open", 0.0, true}, {"tick_0_1_s_later", 0.1, false},
        {"tick_0_2_s_later", 0.1, false},     {"tick_0_3_s_later", 0.1, true},
        {"next_tick_0_1_s", 0.1, false},
    };
    for (const auto& step : steps) {
        w.clock.Advance(step.advance);
        const std::size_t before = w.port.writes.size();
        Tick();
        EXPECT_EQ(w.port.writes.size() - before, step.polls ? 1u : 0u) << step.name;
        if (step.polls) {
            EXPECT_EQ(w.port.writes.back(), "IF;") << step.name;
        }
        EXPECT_FALSE(s.busy) << step.name;
    }
}

TEST_F(PollTest, TheLastPollIsTakenAfterThePoll) {
    Link(Protocol::Kenwood);
    Tick();
    ASSERT_TRUE(s.lastPoll.has_value());
    EXPECT_DOUBLE_EQ(s.lastPoll->count(), 36000.005)
        << "read afresh after the 5 ms pause of the sender";
}

// Each read every two seconds, a second apart: never the two frames in one burst, which a
// five-byte radio on the line at another speed would count as whole commands.
TEST_F(PollTest, IcomAsksFrequencyAndModeEveryTwoSecondsASecondApart) {
    Link(Protocol::Icom);
    // A radio that answers each read: fe fe e0 5e 03 <14.074 MHz> fd, fe fe e0 5e 04 01 02 fd.
    w.port.responder = [](const std::string& sent) {
        return sent == kIcomReadFreq
                   ? Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD})
                   : Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0x01, 0x02, 0xFD});
    };
    const std::string kReads[] = {kIcomReadFreq, kIcomReadMode, kIcomReadFreq, kIcomReadMode};
    for (std::size_t i = 0; i < std::size(kReads); ++i) {
        Tick();
        ASSERT_EQ(w.port.writes.size(), i + 1);
        EXPECT_EQ(ToHex(w.port.writes[i]), ToHex(kReads[i]));
        w.clock.Advance(0.9);
        Tick();
        EXPECT_EQ(w.port.writes.size(), i + 1) << "asked again within the second";
        w.clock.Advance(0.2);
    }
}

// Until the radio has answered a read, a new link reads again after 0.3 s instead of a second,
// so that silence or a refusal is plain soon after the open; four such reads, then the steady
// second. Each read is still followed by more than a quarter second of silence.
TEST_F(PollTest, IcomReadsAgainSoonUntilTheRadioAnswers) {
    const struct {
        const char* name;
        std::function<std::string(const std::string&)> radio;
        std::vector<double> readsAt;  // seconds after the first read, on ticks 1/8 s apart
    } rows[] = {
        {"silent_radio_four_quick_reads_then_every_second",
         nullptr,
         {0, 0.375, 0.75, 1.125, 2.25, 3.375}},
        // fe fe e0 5e fa fd: NG. One refusal may be of a read the radio lacks; two are plain.
        {"refusing_radio_two_quick_reads_then_every_second",
         [](const std::string&) {
             return Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0xFA, 0xFD});
         },
         {0, 0.375, 1.5, 2.625, 3.75}},
        {"answering_radio_every_second_from_its_first_reply",
         [](const std::string&) {
             return Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD});
         },
         {0, 1.125, 2.25, 3.375}},
    };
    for (const auto& row : rows) {
        FakeWorld world;
        world.port.open = true;
        world.port.responder = row.radio;
        SessionState state;
        state.protocol = Protocol::Icom;
        state.radioAddress = "5E";
        state.controllerAddress = "E0";
        std::vector<double> readsAt;
        const double start = world.clock.now;
        for (int tick = 0; tick < 32; ++tick) {
            const double at = world.clock.now - start;
            const std::size_t before = world.port.writes.size();
            PollTick(state, world.platform, false, display);
            ReceiveDispatch(state, world.port);
            if (world.port.writes.size() > before) readsAt.push_back(at);
            world.clock.now = start + 0.125 * (tick + 1);
        }
        EXPECT_EQ(readsAt, row.readsAt) << row.name;
    }
}

// A link that has not polled yet asks at its first tick, however long its period: the clock's
// start is arbitrary, and a window opened just after it must not wait a whole period.
TEST_F(PollTest, FirstTickOfALinkPollsAtOnce) {
    for (const double start : {0.0, 0.1, 36000.0}) {
        FakeWorld world;
        world.port.open = true;
        world.clock.now = start;
        SessionState state;
        state.protocol = Protocol::Icom;
        state.radioAddress = "5E";
        state.controllerAddress = "E0";
        PollTick(state, world.platform, false, display);
        EXPECT_EQ(ToHex(world.port.AllWritten()), ToHex(kIcomReadFreq)) << start;
    }
}

TEST_F(PollTest, Ft817PollsOnEveryTick) {
    Link(Protocol::Ft817);
    for (int i = 0; i < 3; ++i) {
        w.clock.Advance(0.1);
        Tick();
    }
    ASSERT_EQ(w.port.writes.size(), 3u);
    for (const auto& write : w.port.writes) EXPECT_EQ(ToHex(write), ToHex(kFt817Read));
}

TEST_F(PollTest, DisplayShowsFrequencyAndModeAndIsWrittenOnlyOnChange) {
    Link(Protocol::Ft817);
    w.port.responder = [](const std::string&) { return Bytes({0x01, 0x40, 0x74, 0x00, 0x01}); };
    for (int i = 0; i < 10; ++i) Tick();
    EXPECT_EQ(display.text, "14.074.00 USB");
    EXPECT_EQ(display.writes, 1);
}

TEST_F(PollTest, DisplayStaysEmptyUntilARadioReportedAFrequency) {
    Link(Protocol::Ft817);  // a silent radio
    for (int i = 0; i < 5; ++i) Tick();
    EXPECT_EQ(display.text, "");
    EXPECT_EQ(display.writes, 0) << "not \" 0.000.00 LSB\": no radio sent that";
}

TEST_F(PollTest, IcomFrequencyAheadOfItsModeShowsNoModeYet) {
    Link(Protocol::Icom);
    // The radio's frequency reply is in; its mode reply is still on the way.
    w.port.Arrive(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD}));
    Tick();
    EXPECT_EQ(display.text, "14.074.00") << "not LSB: no radio said LSB";
    w.port.Arrive(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0x01, 0x02, 0xFD}));
    ReceiveDispatch(s, w.port);
    w.clock.Advance(0.1);
    Tick();
    EXPECT_EQ(display.text, "14.074.00 USB");
}

TEST_F(PollTest, ValuesOutliveCloseAndAProtocolChange) {
    Link(Protocol::Ft817);
    w.port.responder = [](const std::string&) { return Bytes({0x00, 0x70, 0x74, 0x00, 0x02}); };
    Tick();
    Tick();  // the second reply confirms the first
    ASSERT_EQ(display.text, " 7.074.00 CW");
    w.port.responder = nullptr;
    w.port.open = false;  // closed: ticks go on against the closed port
    Tick();
    Link(Protocol::Kenwood);
    w.port.open = true;  // re-opened with another radio, which stays silent
    Tick();
    EXPECT_EQ(display.text, " 7.074.00 CW");
    EXPECT_FALSE(s.busy);
}

TEST_F(PollTest, ModeOutsideTheListShowsTheFrequencyAlone) {
    Link(Protocol::Kenwood);
    s.frequencyHz = 14'074'000;
    s.mode = static_cast<ModeIndex>(9);
    s.lastPoll = Seconds(w.clock.now);  // no poll this tick
    Tick();
    EXPECT_EQ(display.text, "14.074.00");
}

TEST_F(PollTest, FrequencyTheDisplayCannotShowLeavesTheModeAlone) {
    Link(Protocol::Kenwood);
    s.frequencyHz = 1'296'100'000;
    s.mode = ModeIndex::USB;
    s.lastPoll = Seconds(w.clock.now);
    Tick();
    EXPECT_EQ(display.text, " USB");
}

TEST_F(PollTest, AFailingTickClearsBusySoTheNextPollsNormally) {
    Link(Protocol::Ft817);
    w.port.responder = [](const std::string&) { return Bytes({0x01, 0x40, 0x74, 0x00, 0x01}); };
    Tick();  // a first reading waits for the next reply to confirm it
    display.failNextWrite = true;
    Tick();
    EXPECT_FALSE(s.busy);
    Tick();
    EXPECT_EQ(display.text, "14.074.00 USB");
    EXPECT_EQ(w.port.writes.size(), 3u);
}

TEST_F(PollTest, TickFiredInsideAComErrorBoxReturnsAtOnce) {
    Link(Protocol::Icom);
    w.port.FailOn(test::FakeCommPort::Op::Write, 8015, "write failed", 1);
    int nestedWrites = -1;
    w.messages.whileShown = [&] {
        const std::size_t before = w.port.writes.size();
        Tick();  // the timer keeps firing while the modal box is up
        nestedWrites = static_cast<int>(w.port.writes.size() - before);
    };
    Tick();
    ASSERT_FALSE(w.messages.shown.empty());
    EXPECT_EQ(w.messages.shown[0].text, "Com error");
    EXPECT_EQ(nestedWrites, 0);
    EXPECT_FALSE(s.busy);
}

TEST_F(PollTest, NotificationHandsBytesToTheOpenProtocolsParser) {
    Link(Protocol::Kenwood);
    w.port.Arrive(IfReply("00014250000", '2'));
    ReceiveDispatch(s, w.port);
    EXPECT_EQ(s.frequencyHz, 14'250'000);
    EXPECT_EQ(test::ShownMode(s), 1);

    Link(Protocol::Icom);
    w.port.Arrive(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x40, 0x07, 0x07, 0x00, 0xFD}));
    ReceiveDispatch(s, w.port);
    EXPECT_EQ(s.frequencyHz, 7'074'000);

    Link(Protocol::Ft817);
    w.port.Arrive(Bytes({0x01, 0x40, 0x74, 0x00, 0x01}));
    ReceiveDispatch(s, w.port);
    EXPECT_EQ(w.port.waiting.size(), 5u) << "the FT-817 exchange reads its replies itself";
}

TEST_F(PollTest, NotificationSwallowsPortFailures) {
    Link(Protocol::Icom);
    w.port.FailOn(test::FakeCommPort::Op::BytesWaiting);
    EXPECT_NO_THROW(ReceiveDispatch(s, w.port));
    Link(Protocol::Kenwood);
    EXPECT_NO_THROW(ReceiveDispatch(s, w.port));
    EXPECT_FALSE(s.parsingReplies);
}

}  // namespace
}  // namespace cat

namespace cat {
namespace {

// The read at open and the first poll are a quarter second apart: a radio that counts every five
// bytes as one command drops the read's leftover in that pause instead of joining the poll to it.
TEST(ReadAtOpen, TheFirstPollKeepsAQuarterSecondOfSilence) {
    test::FakeWorld world;
    world.port.open = true;
    world.clock.now = 1000.0;
    SessionState state;
    state.protocol = Protocol::Icom;
    state.radioAddress = "5E";
    state.controllerAddress = "E0";
    test::FakeDisplay display;
    ReadAtOpen(state, world.platform);
    ASSERT_EQ(world.port.writes.size(), 1u);
    world.clock.Advance(0.2);
    PollTick(state, world.platform, false, display);
    EXPECT_EQ(world.port.writes.size(), 1u) << "polled within the silence";
    world.clock.Advance(0.1);
    PollTick(state, world.platform, false, display);
    EXPECT_EQ(world.port.writes.size(), 2u) << "the frequency read after it";
}

}  // namespace
}  // namespace cat
