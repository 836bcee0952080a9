// The search for the line that keys a radio at open, and the PTT test's keying and unkeying,
// against a radio whose transmitter follows the port's lines the way an interface wires them.
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "link/ptt_test.h"
#include "link/transmit_watch.h"
#include "protocols/families.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::FakeCommPort;
using test::FakeWorld;

// A radio behind an interface: it transmits while its wired line is up, while a CAT key holds
// it, or while someone presses PTT. It answers the transmit read unless it is silent.
class WiredRadio final : public RadioFamily {
public:
    WiredRadio(FakeCommPort& port, std::optional<ControlLine> wired) : port_(port), wired_(wired) {}
    bool pressed = false;
    bool silent = false;
    std::optional<Seconds> period;  // between polls; nothing: polls on every tick
    bool catKeyed = false;
    int reads = 0;
    int answers = 1000;  // the reads it answers; silent after them
    double release = 0;  // seconds its PTT input holds on after its line drops
    // A silent radio's read waits this clock through its limit; without it, it ends at once, as
    // a refusal does.
    test::FakeClock* clock = nullptr;

    std::optional<bool> ReadTransmitting(SessionState& state, Platform& platform) const override {
        if (silent && clock) clock->Advance(0.3);
        if (++const_cast<WiredRadio*>(this)->reads > answers || silent) return std::nullopt;
        // RTS/CTS flow control holds RTS up whatever its level is set to.
        const bool heldByFlowControl =
            wired_ == ControlLine::Rts && port_.handshake == Handshake::RtsCts;
        const bool letting =
            !port_.lineChanges.empty() && platform.clock.Now().count() - port_.linesSetAt < release;
        const bool line = wired_ && (port_.lines.Level(*wired_) || heldByFlowControl || letting);
        state.transmitting = line || pressed || catKeyed;
        return state.transmitting;
    }
    void KeyByCommand(SessionState&, Platform&, bool on) const override {
        const_cast<WiredRadio*>(this)->catKeyed = on;
    }

    Protocol id = Protocol::Kenwood;
    FamilyRecord record = [] {
        FamilyRecord r;
        r.transmitRead = true;
        return r;
    }();

    std::string_view Name() const override { return "Wired"; }
    Protocol Id() const override { return id; }
    bool FlowControl(int) const override { return false; }
    const FamilyRecord& Record() const override { return record; }
    std::optional<Seconds> PollPeriod() const override { return period; }
    void Poll(SessionState&, Platform&) const override {}
    void Receive(SessionState&, CommPort&) const override {}
    void SetFrequency(SessionState&, Platform&, std::int64_t) const override {}
    void SetMode(SessionState&, Platform&, ModeIndex, bool) const override {}
    std::unique_ptr<LineReader> Reader(std::string_view) const override { return nullptr; }
    std::optional<std::size_t> Recognise(std::string_view) const override { return {}; }
    std::string ShowBytes(std::string_view) const override { return {}; }
    std::string MenuAdvice(const std::string&, const std::string&) const override { return {}; }
    std::optional<Identity> Identify(std::string_view, std::string_view) const override {
        return {};
    }
    std::string Describe(const Identity&) const override { return {}; }

private:
    FakeCommPort& port_;
    std::optional<ControlLine> wired_;
};

ControlLineLevels Levels(bool dtr, bool rts) {
    ControlLineLevels levels;
    levels.dtr = dtr;
    levels.rts = rts;
    return levels;
}

TEST(TransmitWatch, DropsRaisedLinesOneAtATimeUntilTheRadioReceives) {
    using L = ControlLine;
    struct Row {
        const char* name;
        std::optional<L> wired;
        bool pressed;
        ControlLineLevels opened;
        Handshake handshake;
        bool found;  // a finding at all
        std::optional<L> keying;
        std::vector<L> dropped;
        ControlLineLevels after;
        const char* status;
        double release = 0;
        int answers = 1000;
    };
    const Row rows[] = {
        {"rts_keys_it",
         L::Rts,
         false,
         Levels(true, true),
         Handshake::None,
         true,
         L::Rts,
         {L::Rts},
         Levels(true, false),
         "RTS keys this radio: set Com3.RTS=off"},
        {"dtr_keys_it_rts_already_low",
         L::Dtr,
         false,
         Levels(true, false),
         Handshake::None,
         true,
         L::Dtr,
         {L::Dtr},
         Levels(false, false),
         "DTR keys this radio: set Com3.DTR=off"},
        {"neither_line_lines_come_back",
         std::nullopt,
         true,
         Levels(true, true),
         Handshake::None,
         true,
         std::nullopt,
         {L::Rts, L::Dtr},
         Levels(true, true),
         "The radio went to transmit when the port opened, not by RTS or DTR"},
        {"rts_of_the_flow_control_is_left_alone",
         L::Rts,
         false,
         Levels(true, true),
         Handshake::RtsCts,
         true,
         std::nullopt,
         {L::Dtr},
         Levels(true, true),
         "The radio went to transmit when the port opened: RTS/CTS holds RTS up"},
        {"receiving_at_open",
         L::Rts,
         false,
         Levels(true, false),
         Handshake::None,
         false,
         std::nullopt,
         {},
         Levels(true, false),
         ""},
        // The pause after a drop outlasts an old relay's release.
        {"rts_keys_it_through_a_relay_that_lets_go_in_80_ms",
         L::Rts,
         false,
         Levels(true, true),
         Handshake::None,
         true,
         L::Rts,
         {L::Rts},
         Levels(true, false),
         "RTS keys this radio: set Com3.RTS=off",
         0.08},
        // Not known to be harmless, a dropped line stays down.
        {"radio_stops_answering_after_the_first_drop",
         L::Rts,
         false,
         Levels(true, true),
         Handshake::None,
         true,
         std::nullopt,
         {L::Rts, L::Dtr},
         Levels(false, false),
         "The radio went to transmit when the port opened",
         0,
         1},
    };
    for (const Row& row : rows) {
        FakeWorld w;
        w.port.open = true;
        w.port.portNumber = 3;
        w.port.handshake = row.handshake;
        w.port.lines = row.opened;
        WiredRadio radio(w.port, row.wired);
        radio.pressed = row.pressed;
        radio.release = row.release;
        radio.answers = row.answers;
        SessionState state;
        TransmitWatch watch;
        watch.Opened(w.clock.Now(), row.handshake);
        // The read takes the poll's turn: not while the quiet after the last poll lasts.
        radio.period = Seconds(1.0);
        state.protocol = Protocol::Kenwood;
        state.lastPoll = w.clock.Now();
        EXPECT_FALSE(watch.Tick(radio, state, w.platform)) << row.name;
        EXPECT_EQ(radio.reads, 0) << row.name;
        w.clock.Advance(1.1);
        const auto finding = watch.Tick(radio, state, w.platform);
        // The poll that follows waits its period from the end of the search.
        EXPECT_EQ(state.lastPoll->count(), w.clock.now) << row.name;
        ASSERT_EQ(finding.has_value(), row.found) << row.name;
        EXPECT_EQ(w.port.lines.dtr, row.after.dtr) << row.name;
        EXPECT_EQ(w.port.lines.rts, row.after.rts) << row.name;
        if (!finding) continue;
        EXPECT_EQ(finding->keyingLine, row.keying) << row.name;
        EXPECT_EQ(finding->dropped, row.dropped) << row.name;
        EXPECT_EQ(TransmitStatusText(*finding, 3), row.status) << row.name;
        // Each drop waited for the radio's PTT input to let go before it was read again.
        EXPECT_EQ(w.pause.sleeps.size(), row.dropped.size()) << row.name;
    }
}

// The first reading after the open decides, however late it comes: a radio found transmitting
// then has its lines searched, whether the reading was a poll's or the link's own read made again.
TEST(TransmitWatch, TheFirstReadingRunsTheSearchHoweverLateItComes) {
    struct Row {
        const char* name;
        bool pollSaysTransmitting;  // the late reading is a poll's (Kenwood's IF)
        bool answeredBefore;        // the radio answered a poll before the read at open
        bool answersPolls;          // it answers the polls after that read
        int reads;                  // transmit reads made in all
        const char* status;         // empty: nothing said
    };
    const Row rows[] = {
        {"a_polls_reading_counts", true, false, true, 2, "RTS keys this radio: set Com3.RTS=off"},
        {"read_again_once_the_radio_answers", false, false, true, 3,
         "RTS keys this radio: set Com3.RTS=off"},
        {"not_again_while_the_radio_answers_nothing", false, false, false, 1, ""},
        // It answered the polls and not the read, or refused it: it has no such read.
        {"not_again_from_a_radio_without_the_read", false, true, true, 1, ""},
        {"not_again_after_a_refusal", false, false, true, 1, ""},
    };
    for (const Row& row : rows) {
        FakeWorld w;
        w.port.open = true;
        w.port.lines = Levels(true, true);
        WiredRadio radio(w.port, ControlLine::Rts);
        SessionState state;
        state.protocol = Protocol::Kenwood;
        TransmitWatch watch;
        watch.Opened(w.clock.Now(), Handshake::None);
        if (row.answeredBefore) state.frequencyHz = 14'074'000;
        if (std::string(row.name) != "not_again_after_a_refusal") radio.clock = &w.clock;
        radio.silent = true;  // the read at open goes unanswered
        EXPECT_FALSE(watch.Tick(radio, state, w.platform)) << row.name;
        radio.silent = !row.answersPolls || row.answeredBefore;
        if (row.answersPolls) state.frequencyHz = 14'074'000;
        if (row.pollSaysTransmitting) state.transmitting = true;
        w.clock.Advance(1.0);
        std::optional<TransmitFinding> finding;
        for (int tick = 0; tick < 10 && !finding; ++tick)
            finding = watch.Tick(radio, state, w.platform);
        EXPECT_EQ(finding ? TransmitStatusText(*finding, 3) : "", row.status) << row.name;
        EXPECT_EQ(w.port.lines.rts, !finding) << row.name;
        EXPECT_EQ(radio.reads, row.reads) << row.name;
    }
}

// A family whose record says it has no transmit read is never asked, and its lines stay.
TEST(TransmitWatch, AFamilyWithoutATransmitReadIsNotAsked) {
    FakeWorld w;
    w.port.open = true;
    w.port.lines = Levels(true, true);
    WiredRadio radio(w.port, ControlLine::Rts);
    radio.record.transmitRead = false;
    SessionState state;
    state.protocol = Protocol::Kenwood;
    TransmitWatch watch;
    watch.Opened(w.clock.Now(), Handshake::None);
    EXPECT_FALSE(watch.Tick(radio, state, w.platform));
    EXPECT_EQ(radio.reads, 0);
    EXPECT_TRUE(w.port.lineChanges.empty());
}

// Once the radio was seen receiving with the lines as they are, a later "transmitting" is the
// operator's: reported once per change, and the lines are not touched.
TEST(TransmitWatch, AfterAReadingInReceiveLaterReportsNeverTouchTheLines) {
    FakeWorld w;
    w.port.open = true;
    w.port.lines = Levels(true, true);
    WiredRadio radio(w.port, std::nullopt);
    SessionState state;
    state.protocol = Protocol::Kenwood;
    TransmitWatch watch;
    watch.Opened(w.clock.Now(), Handshake::None);
    EXPECT_FALSE(watch.Tick(radio, state, w.platform));  // receiving at open

    const std::vector<std::optional<bool>> polls = {true, true, false, false, true};
    std::vector<std::string> events;
    for (const auto& reported : polls) {
        state.transmitting = reported;
        if (const auto finding = watch.Tick(radio, state, w.platform))
            events.push_back(TransmitStatusText(*finding, 3));
    }
    EXPECT_EQ(events,
              (std::vector<std::string>{"The radio is transmitting: not keyed by this program",
                                        "The radio is back in receive.",
                                        "The radio is transmitting: not keyed by this program"}));
    watch.SetTestRunning(true);
    state.transmitting = false;
    EXPECT_FALSE(watch.Tick(radio, state, w.platform));
    EXPECT_TRUE(w.port.lineChanges.empty());
    EXPECT_EQ(radio.reads, 1);
}

// Through a rig-sharing server the lines are the server's: none is dropped, and none is blamed.
TEST(TransmitWatch, ThroughAServerNoLineIsDroppedOrBlamed) {
    for (const Protocol server : {Protocol::Rigctld, Protocol::Flrig}) {
        FakeWorld w;
        w.port.open = true;
        w.port.lines = Levels(true, true);
        WiredRadio radio(w.port, ControlLine::Rts);
        radio.id = server;
        radio.record = FamilyFor(server)->Record();
        SessionState state;
        state.protocol = server;
        TransmitWatch watch;
        watch.Opened(w.clock.Now(), Handshake::None);
        const auto finding = watch.Tick(radio, state, w.platform);
        ASSERT_TRUE(finding);
        EXPECT_TRUE(w.port.lineChanges.empty());
        EXPECT_TRUE(finding->dropped.empty());
        const std::string said = TransmitStatusText(*finding, 3) + " " + TransmitBrief(*finding) +
                                 " " + TransmitAdvice(*finding, 3);
        EXPECT_NE(said.find("server"), std::string::npos) << said;
        for (const char* blame : {"not by RTS or DTR", "lines are back", "Com3."})
            EXPECT_EQ(said.find(blame), std::string::npos) << said;
    }
}

// The unkey of a CAT key must be ready before the key, and a server owns the radio's lines.
TEST(PttTest, KeyingByALineThroughAServerIsRefused) {
    for (const Protocol server : {Protocol::Rigctld, Protocol::Flrig}) {
        EXPECT_EQ(ServerKeyingRefusal(PttMethod::Cat, server), "");
        for (const PttMethod line : {PttMethod::Rts, PttMethod::Dtr})
            EXPECT_NE(ServerKeyingRefusal(line, server).find("owns its port"), std::string::npos);
    }
    EXPECT_EQ(ServerKeyingRefusal(PttMethod::Rts, Protocol::Kenwood), "");
}

TEST(PttTest, KeysForTheTimeAndUnkeysOnEveryWayOut) {
    using L = ControlLine;
    struct Row {
        const char* name;
        PttMethod method;
        std::optional<L> wired;
        ControlLineLevels opened;
        PttEnd end;
        std::optional<bool> before, during, after;
        bool started;
        ControlLineLevels linesAfter;
        const char* summaryStart;
        double seconds = 1.0;
        int answers = 1000;
        double release = 0;
    };
    const Row rows[] = {
        {"cat_time_up", PttMethod::Cat, std::nullopt, Levels(true, false), PttEnd::TimeUp, false,
         true, false, true, Levels(true, false), "Keying by CAT worked"},
        {"rts_window_closed", PttMethod::Rts, L::Rts, Levels(true, false), PttEnd::Closed, false,
         true, false, true, Levels(true, false), "Keying by RTS worked"},
        // Its reads before and after wait out an old relay's release.
        {"dtr_raised_at_open_stays_low", PttMethod::Dtr, L::Dtr, Levels(true, false),
         PttEnd::Signal, false, true, false, true, Levels(false, false), "Keying by DTR worked",
         1.0, 1000, 0.08},
        {"rts_on_a_dtr_interface", PttMethod::Rts, L::Dtr, Levels(false, false), PttEnd::TimeUp,
         false, false, false, true, Levels(false, false), "Keying by RTS did nothing"},
        {"line_lost_with_the_port", PttMethod::Rts, L::Rts, Levels(true, false), PttEnd::PortLost,
         false, true, std::nullopt, true, Levels(true, true),
         "The port went away while RTS was up"},
        {"cat_lost_with_the_port", PttMethod::Cat, std::nullopt, Levels(true, false),
         PttEnd::PortLost, false, true, std::nullopt, true, Levels(true, false),
         "! The port went away while the radio was keyed by CAT"},
        {"shortest_test_reads_while_keyed", PttMethod::Cat, std::nullopt, Levels(true, false),
         PttEnd::TimeUp, false, true, false, true, Levels(true, false), "Keying by CAT worked",
         0.2},
        // Not known to be back in receive: the line raised at open stays low.
        {"rts_raised_at_open_stays_low_when_the_radio_goes_quiet", PttMethod::Rts, L::Dtr,
         Levels(false, true), PttEnd::TimeUp, false, false, std::nullopt, true,
         Levels(false, false), "Keying by RTS did nothing", 1.0, 2},
    };
    for (const Row& row : rows) {
        FakeWorld w;
        w.port.open = true;
        w.port.lines = row.opened;
        WiredRadio radio(w.port, row.wired);
        radio.answers = row.answers;
        radio.release = row.release;
        SessionState state;
        PttTest test(row.method, Seconds(row.seconds), Handshake::None);
        ASSERT_EQ(test.Start(radio, state, w.platform), row.started) << row.name;
        EXPECT_NEAR(test.EndsAt().count() - w.clock.now, row.seconds, 1e-9) << row.name;
        // Driven as the doctor and the window drive it: the read once its time comes, until
        // the time is up.
        for (; w.clock.now < test.EndsAt().count(); w.clock.Advance(0.01))
            if (w.clock.now >= test.ReadAt().count()) test.ReadWhileKeyed(radio, state, w.platform);
        test.Finish(radio, state, w.platform, row.end);
        test.Finish(radio, state, w.platform, PttEnd::TimeUp);  // a second way out does nothing
        EXPECT_EQ(test.Before(), row.before) << row.name;
        EXPECT_EQ(test.During(), row.during) << row.name;
        EXPECT_EQ(test.After(), row.after) << row.name;
        EXPECT_EQ(w.port.lines.dtr, row.linesAfter.dtr) << row.name;
        EXPECT_EQ(w.port.lines.rts, row.linesAfter.rts) << row.name;
        EXPECT_EQ(radio.catKeyed, row.method == PttMethod::Cat && row.end == PttEnd::PortLost)
            << row.name;
        EXPECT_EQ(test.Summary(3).rfind(row.summaryStart, 0), 0u)
            << row.name << ": " << test.Summary(3);
    }
}

TEST(PttTest, RefusesToKeyWhatItCannotTestSafely) {
    struct Row {
        const char* name;
        PttMethod method;
        Handshake handshake;
        bool pressed;
        const char* summaryStart;
    };
    const Row rows[] = {
        {"rts_belongs_to_flow_control", PttMethod::Rts, Handshake::RtsCts, false,
         "RTS belongs to the RTS/CTS flow control"},
        {"already_transmitting", PttMethod::Cat, Handshake::None, true,
         "The radio already transmits"},
    };
    for (const Row& row : rows) {
        FakeWorld w;
        w.port.open = true;
        WiredRadio radio(w.port, std::nullopt);
        radio.pressed = row.pressed;
        SessionState state;
        PttTest test(row.method, Seconds(1.0), row.handshake);
        EXPECT_FALSE(test.Start(radio, state, w.platform)) << row.name;
        EXPECT_FALSE(test.Keyed()) << row.name;
        EXPECT_FALSE(radio.catKeyed) << row.name;
        EXPECT_EQ(test.Summary(3).rfind(row.summaryStart, 0), 0u) << row.name;
    }
    // The time is the operator's, within bounds.
    EXPECT_DOUBLE_EQ(PttDuration(0.05).count(), 0.2);
    EXPECT_DOUBLE_EQ(PttDuration(9).count(), 5.0);
    EXPECT_DOUBLE_EQ(PttDuration(std::nan("")).count(), 1.0);
}

}  // namespace
}  // namespace cat
