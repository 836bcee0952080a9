#include "link/poll_cycle.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "link/link.h"
#include "protocols/families.h"
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

const std::string kIcomReadAddress = Bytes({0xFE, 0xFE, 0x00, 0xE0, 0x19, 0x00, 0xFD, 0x00});
const std::string kIcomFrequency =
    Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD});

// The pace of an ICOM link, turn by turn on ticks 1/8 s apart: what each turn writes and when.
// Until the radio at the chosen address has answered a read, one frame per turn with more than a
// quarter second after it: a five-byte radio on the line at another speed counts a burst of two
// frames as whole commands. Four quick reads show silence or a refusal soon, then a read a
// second; "which address?" comes second only when nothing at the chosen address replied to the
// first. A radio heard answering speaks CI-V: both reads go together every fifth of a second.
TEST_F(PollTest, IcomPaceFollowsWhatTheRadioShowed) {
    const auto answering = [](const std::string& sent) {
        return sent == kIcomReadFreq   ? kIcomFrequency
               : sent == kIcomReadMode ? Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0x01, 0x02, 0xFD})
                                       : std::string();
    };
    const std::string F = kIcomReadFreq, M = kIcomReadMode, A = kIcomReadAddress;
    const struct {
        const char* name;
        std::function<std::string(const std::string&)> radio;
        std::vector<std::pair<double, std::string>> turns;  // the first 2.5 s
    } rows[] = {
        {"silent_radio_one_frame_a_turn",
         nullptr,
         {{0, F}, {0.375, A}, {0.75, M}, {1.125, F}, {2.25, M}}},
        // fe fe e0 5e fa fd: NG. One refusal may be of a read the radio lacks; two are plain.
        {"refusing_radio_one_frame_a_turn",
         [](const std::string&) {
             return Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0xFA, 0xFD});
         },
         {{0, F}, {0.375, M}, {1.5, F}}},
        // An interface that gives our own bytes back proves no radio.
        {"echo_alone_one_frame_a_turn",
         [](const std::string& sent) { return sent; },
         {{0, F}, {0.375, A}, {0.75, M}, {1.125, F}, {2.25, M}}},
        {"answering_radio_both_reads_together",
         answering,
         {{0, F},
          {0.25, F + M},
          {0.5, F + M},
          {0.75, F + M},
          {1.0, F + M},
          {1.25, F + M},
          {1.5, F + M},
          {1.75, F + M},
          {2.0, F + M},
          {2.25, F + M}}},
    };
    for (const auto& row : rows) {
        FakeWorld world;
        world.port.open = true;
        world.port.responder = row.radio;
        SessionState state;
        state.protocol = Protocol::Icom;
        state.radioAddress = "5E";
        state.controllerAddress = "E0";
        std::vector<std::pair<double, std::string>> turns;
        const double start = world.clock.now;
        for (int tick = 0; tick < 20; ++tick) {
            const std::size_t before = world.port.writes.size();
            PollTick(state, world.platform, false, display);
            ReceiveDispatch(state, world.port);
            std::string written;
            for (std::size_t i = before; i < world.port.writes.size(); ++i)
                written += world.port.writes[i];
            if (!written.empty()) turns.emplace_back(0.125 * tick, ToHex(written));
            world.clock.now = start + 0.125 * (tick + 1);
        }
        std::vector<std::pair<double, std::string>> expected;
        for (const auto& [at, bytes] : row.turns) expected.emplace_back(at, ToHex(bytes));
        EXPECT_EQ(turns, expected) << row.name;
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

// An ICOM radio's own announcement of a turned dial (fe fe 00 5e 00 <7.074 MHz> fd, to every
// controller) shows as it arrives, not a tick later; a minimised window leaves the display.
TEST(LinkReceive, AnAnnouncementShowsAsItArrives) {
    for (const bool minimised : {false, true}) {
        FakeWorld world;
        test::Unwatched unwatched;
        cat::Link link(world.platform, unwatched);
        FillDigitCharacters(link.State());
        LinkChoices choices;
        choices.family = FamilyNamed("ICOM");
        choices.portListIndex = 0;
        choices.addressText = "5E";
        choices.speedText = "38400";
        link.Open(choices);
        FakeDisplay display;
        world.port.Arrive(
            Bytes({0xFE, 0xFE, 0x00, 0x5E, 0x00, 0x00, 0x40, 0x07, 0x07, 0x00, 0xFD}));
        link.Receive(minimised, display);
        EXPECT_EQ(display.text, minimised ? "" : " 7.074.00") << minimised;
    }
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

// The read at open is the link's first reading, at once; the next read keeps a quarter second of
// silence after it: a radio that counts every five bytes as one command drops the read's leftover
// in that pause instead of joining the next read to it.
TEST(ReadAtOpen, TheFirstReadingIsAskedAtOnceAndTheNextAfterTheSilence) {
    const struct {
        const char* name;
        Protocol protocol;
        std::string first;
    } rows[] = {
        {"ICOM", Protocol::Icom, kIcomReadFreq},
        {"Kenwood", Protocol::Kenwood, "IF;"},
    };
    for (const auto& row : rows) {
        test::FakeWorld world;
        world.port.open = true;
        world.clock.now = 1000.0;
        SessionState state;
        state.protocol = row.protocol;
        state.radioAddress = "5E";
        state.controllerAddress = "E0";
        test::FakeDisplay display;
        ReadAtOpen(state, world.platform);
        ASSERT_EQ(world.port.writes.size(), 1u) << row.name;
        EXPECT_EQ(ToHex(world.port.writes[0]), ToHex(row.first)) << row.name;
        const double start = world.clock.now;
        double next = start;
        for (; world.port.writes.size() == 1 && next - start < 1; world.clock.Advance(0.05)) {
            next = world.clock.now;
            PollTick(state, world.platform, false, display);
        }
        EXPECT_GE(next - start, 0.25 - 1e-6) << row.name;
        EXPECT_LT(next - start, 0.3 + 1e-6) << row.name;
    }
}

}  // namespace
}  // namespace cat
