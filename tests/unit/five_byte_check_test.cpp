// The link's look for a five-byte radio before its first bytes: at which speeds it asks, that the
// link's own line comes back, and that a radio found there is never polled in the link's family.

#include "link/five_byte_check.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/link.h"
#include "link/link_control.h"
#include "link/poll_cycle.h"
#include "protocols/families.h"
#include "tests/support/fakes.h"

namespace cat {
namespace {

using test::Bytes;

const std::string kFt817Read = Bytes({0x00, 0x00, 0x00, 0x00, 0x03});

// A five-byte radio's reading as the line gives it back at one speed: `late` seconds after the
// read, to the first `times` reads there.
struct Reading {
    int speed;
    double late = 0;
    int times = 1000;
};

struct OpenedLink {
    struct Sent {
        std::string settings;
        std::optional<Handshake> handshake;
        double at;
        std::string bytes;
    };
    test::FakeWorld world;
    SessionState state;
    test::FakeDisplay display;
    std::vector<Sent> sent;
    std::vector<std::pair<double, std::string>> due;  // bytes on their way, and when they land

    // Opens the link at 1000 s and ticks the poll timer for `seconds`, the line giving back
    // `readings` to the five-byte read.
    OpenedLink(const char* family, const char* speed, std::vector<Reading> readings,
               double seconds) {
        world.port.responder = [this, readings](const std::string& bytes) mutable {
            const std::string& line = world.port.settings;
            sent.push_back({line, world.port.handshake, world.clock.now, bytes});
            for (Reading& r : readings)
                if (bytes == kFt817Read && line.rfind(std::to_string(r.speed) + ",", 0) == 0 &&
                    r.times-- > 0)
                    due.emplace_back(world.clock.now + r.late,
                                     Bytes({0x01, 0x40, 0x74, 0x00, 0x01}));
            return std::string();
        };
        world.port.onCall = [this](test::FakeCommPort::Op) {
            for (auto& [at, bytes] : due)
                if (!bytes.empty() && at <= world.clock.now)
                    world.port.waiting += std::exchange(bytes, "");
        };
        world.clock.now = 1000.0;
        LinkChoices choices;
        choices.family = FamilyNamed(family);
        choices.portListIndex = 0;
        choices.addressText = "5E";
        choices.speedText = speed;
        OpenLink(state, world.platform, choices);
        ReadAtOpen(state, world.platform);
        // Ticks of an eighth of a second keep the clock exact.
        for (double t = 0; t < seconds; t += 0.125) {
            PollTick(state, world.platform, false, display);
            world.clock.Advance(0.125);
        }
    }
    std::vector<std::string> CheckedAt() const {
        std::vector<std::string> speeds;
        for (const Sent& s : sent)
            if (s.bytes == kFt817Read) speeds.push_back(s.settings.substr(0, s.settings.find(',')));
        return speeds;
    }
};

TEST(FiveByteCheck, AsksOnlyAtTheSpeedsFasterThanTheLinkAndThenPollsOnItsOwnLine) {
    const struct {
        const char* family;
        const char* speed;
        std::vector<std::string> checked;
    } rows[] = {
        {"ICOM", "9600", {"38400"}},
        {"Kenwood", "4800", {"38400", "9600"}},
        {"Yaesu", "1200", {"38400", "9600", "4800"}},
        {"ICOM", "38400", {}},
        {"Kenwood", "115200", {}},
        {"FT-817", "4800", {}},  // frames by count itself: no check
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.family) + " at " + row.speed);
        OpenedLink run(row.family, row.speed, {}, 3.0);
        std::vector<std::string> checked = run.CheckedAt();
        if (std::string(row.family) == "FT-817") {
            EXPECT_FALSE(run.state.fiveByteCheck);
            continue;
        }
        EXPECT_EQ(checked, row.checked);
        // Everything after the check goes out on the link's own line.
        const std::size_t own = checked.size();
        ASSERT_GT(run.sent.size(), own) << "the link never polled";
        for (std::size_t i = own; i < run.sent.size(); ++i)
            EXPECT_EQ(run.sent[i].settings.substr(0, run.sent[i].settings.find(',')), row.speed);
    }
}

// A text radio keeps the check's bytes up to its next ";": its family ends them with a lone ";"
// on the link's own line before the first command, and drops the radio's "?;" to it.
TEST(FiveByteCheck, ATextRadiosBufferIsEmptiedBeforeTheLinksFirstCommand) {
    const struct {
        const char* family;
        const char* speed;
        const char* first;  // the first bytes after the check, or of the link without one
    } rows[] = {
        {"Kenwood", "9600", ";"},
        {"Yaesu", "4800", ";"},
        {"ICOM", "9600", "\xFE"},
        {"Kenwood", "115200", "IF;"},  // no check, nothing to empty
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.family) + " at " + row.speed);
        OpenedLink run(row.family, row.speed, {}, 3.0);
        const std::size_t own = run.CheckedAt().size();
        ASSERT_GT(run.sent.size(), own + 1) << "the link never polled";
        const OpenedLink::Sent& first = run.sent[own];
        EXPECT_EQ(first.settings.substr(0, first.settings.find(',')), row.speed);
        EXPECT_EQ(first.bytes.substr(0, std::string(row.first).size()), row.first);
        EXPECT_NE(run.sent[own + 1].bytes, ";") << "emptied once";
    }
}

TEST(FiveByteCheck, AFiveByteRadioFoundIsNeverPolledInTheLinksFamily) {
    OpenedLink run("ICOM", "9600", {{38400}}, 5.0);
    ASSERT_TRUE(run.state.fiveByteCheck);
    ASSERT_TRUE(run.state.fiveByteCheck->Found());
    EXPECT_EQ(run.state.fiveByteCheck->Found()->Name(), "FT-817");
    EXPECT_EQ(run.state.fiveByteCheck->FoundSpeed(), 38400);
    // The read, and the same read again to be sure: nothing of ICOM's.
    EXPECT_EQ(run.CheckedAt(), (std::vector<std::string>{"38400", "38400"}));
    EXPECT_EQ(run.sent.size(), 2u);
    EXPECT_EQ(run.world.port.settings, "9600,n,8,2") << "the link's own line is back";
}

// One row per rule of the check. On every row, each read follows a quarter second of quiet (the
// first counted from the open: whatever the line carried then counts as just sent) and goes out
// at 8N2 without flow control, and the link's own flow control is back at the end.
TEST(FiveByteCheck, KeepsEachRuleOnTheLine) {
    const struct {
        const char* name;
        const char* family;
        const char* speed;
        std::vector<Reading> readings;
        int found;  // the speed the radio is found at; 0: none
    } rows[] = {
        {"a_link_with_flow_control_reads_without_it", "Yaesu", "1200", {}, 0},
        {"one_reading_at_each_speed_is_no_radio",
         "Kenwood",
         "4800",
         {{38400, 0, 1}, {9600, 0, 1}},
         0},
        {"a_reading_0_28_s_late_is_still_heard", "ICOM", "9600", {{38400, 0.28}}, 38400},
        {"bytes_later_than_the_listening_time_answer_no_read",
         "Kenwood",
         "4800",
         {{38400, 0.45}, {9600}},
         9600},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        OpenedLink run(row.family, row.speed, row.readings, 4.0);
        ASSERT_TRUE(run.state.fiveByteCheck && run.state.fiveByteCheck->Over());
        const bool found = run.state.fiveByteCheck->Found() != nullptr;
        EXPECT_EQ(found ? run.state.fiveByteCheck->FoundSpeed() : 0, row.found);
        double last = 1000.0;
        for (const OpenedLink::Sent& s : run.sent) {
            if (s.bytes != kFt817Read) break;
            EXPECT_GE(s.at - last, 0.25) << s.settings;
            EXPECT_EQ(s.handshake, Handshake::None) << s.settings;
            EXPECT_EQ(s.settings.substr(s.settings.find(',')), ",n,8,2");
            last = s.at;
        }
        std::vector<std::string> handshakes;
        for (const std::string& entry : run.world.port.log)
            if (entry.rfind("Handshake=", 0) == 0) handshakes.push_back(entry);
        EXPECT_EQ(handshakes.back(), handshakes.front()) << "the link's own flow control";
    }
}

}  // namespace
}  // namespace cat

namespace cat {
namespace {

// The quick re-reads of a new ICOM link keep the five-byte radio's safety: no CI-V byte before the
// check is over, and each frame alone, followed by more than a quarter second of silence, in
// which such a radio drops what reached it of the frame.
TEST(FiveByteCheck, QuickReReadsOfANewIcomLinkKeepAQuarterSecondBetweenFrames) {
    test::FakeWorld world;
    std::vector<std::pair<double, std::string>> writes;
    world.port.responder = [&](const std::string& bytes) {
        writes.emplace_back(world.clock.now, bytes);
        return std::string();  // a silent radio: the quick re-reads go on longest
    };
    world.clock.now = 1000.0;
    SessionState state;
    test::FakeDisplay display;
    LinkChoices choices;
    choices.family = FamilyNamed("ICOM");
    choices.portListIndex = 0;
    choices.addressText = "5E";
    choices.speedText = "9600";
    OpenLink(state, world.platform, choices);
    ReadAtOpen(state, world.platform);
    for (int tick = 0; tick < 40; ++tick) {
        PollTick(state, world.platform, false, display);
        world.clock.Advance(0.1);
    }
    ASSERT_GE(writes.size(), 6u);
    EXPECT_EQ(writes.front().second, kFt817Read) << "the check's read goes first";
    std::size_t civ = 0;
    for (std::size_t i = 1; i < writes.size(); ++i) {
        EXPECT_EQ(static_cast<unsigned char>(writes[i].second[0]), 0xFE) << "frame " << i;
        EXPECT_GT(writes[i].first - writes[i - 1].first, 0.25) << "frame " << i;
        ++civ;
    }
    EXPECT_GE(civ, 5u) << "the read at the open and four quick re-reads";
}

}  // namespace
}  // namespace cat

namespace cat {
namespace {

LinkChoices Choices(const char* family, const char* speed, bool checkKnownDone) {
    LinkChoices choices;
    choices.family = FamilyNamed(family);
    choices.portListIndex = 0;
    choices.addressText = "5E";
    choices.speedText = speed;
    choices.checkKnownDone = checkKnownDone;
    return choices;
}

// Seconds from the open to the link's first read of its own, the link ticked only when it asks
// (NextTurnAt) as the window and the doctor tick it; a text radio answers the clearing ";".
double FirstReadAfterOpen(const LinkChoices& choices) {
    test::FakeWorld world;
    world.clock.now = 1000.0;
    double first = -1;
    world.port.responder = [&](const std::string& bytes) {
        if (first < 0 && bytes != kFt817Read && bytes != ";") first = world.clock.now - 1000.0;
        return bytes == ";" ? std::string("?;") : std::string();
    };
    SessionState state;
    test::FakeDisplay display;
    OpenLink(state, world.platform, choices);
    ReadAtOpen(state, world.platform);
    while (first < 0 && world.clock.now < 1002.0) {
        const std::optional<Seconds> due = NextTurnAt(state, world.platform);
        world.clock.now = std::max(world.clock.now + 0.001, due ? due->count() : 1e9);
        PollTick(state, world.platform, false, display);
    }
    return first;
}

// Ticked when it asks, a link reads as soon as the check's rules allow and no sooner: a quarter
// second of silence, the probe, its listening time, the text radio's clearing answer. A check
// known done on this very device is not made again, nor where no five-byte radio runs faster.
TEST(FiveByteCheck, TickedWhenItAsksTheLinkReadsAsSoonAsTheRulesAllow) {
    const struct {
        const char* name;
        LinkChoices choices;
        double earliest, latest;
    } rows[] = {
        {"icom_new_port", Choices("ICOM", "9600", false), 0.55, 0.56},
        {"kenwood_new_port_after_the_clearing_answer", Choices("Kenwood", "9600", false), 0.55,
         0.575},
        {"icom_check_known_done", Choices("ICOM", "9600", true), 0, 0.001},
        {"kenwood_faster_than_any_five_byte_radio", Choices("Kenwood", "115200", false), 0, 0.001},
    };
    for (const auto& row : rows) {
        const double first = FirstReadAfterOpen(row.choices);
        EXPECT_GE(first, row.earliest) << row.name;
        EXPECT_LE(first, row.latest) << row.name;
    }
}

// A device that went away and came back may be another radio: the check is made afresh.
TEST(FiveByteCheck, AReopenAfterTheDeviceCameBackChecksAgain) {
    test::FakeWorld world;
    test::Unwatched unwatched;
    Link link(world.platform, unwatched);
    link.Open(Choices("ICOM", "9600", true));
    EXPECT_FALSE(link.State().fiveByteCheck) << "known done before the loss";
    link.Reopen();
    EXPECT_TRUE(link.State().fiveByteCheck);
}

}  // namespace
}  // namespace cat
