// The verdict from the first second of a link, end to end: the real port on radiosim's
// pseudo-terminal, the link ticking as the window's timer ticks it, and the diagnosis asked
// after every tick as the status line asks it. Whatever the radio does, the verdicts in a row
// never say a thing that a later one takes back.

#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/cat_error.h"
#include "core/platform.h"
#include "doctor/link_watch.h"
#include "doctor/listen.h"
#include "link/link.h"
#include "protocols/families.h"
#include "qt/platform/qt_platform.h"
#include "qt/platform/qt_settings_store.h"
#include "qt/ports/qt_comm_port.h"
#include "shell/startup.h"
#include "tests/support/fakes.h"
#include "tests/support/radiosim_process.h"

namespace cat {
namespace {

using namespace std::chrono_literals;
using doctor::VerdictKind;

// The verdicts an ICOM link at 9600 baud shows over its first `seconds`, each change once, and
// the traffic for a failure message.
struct OpenRun {
    std::vector<std::string> verdicts;
    std::string traffic;
    double decidedAfter = -1;  // seconds from the open to the first verdict that is not waiting
};

OpenRun WatchTheOpen(const QStringList& radioOptions, double seconds) {
    OpenRun run;
    QTemporaryDir dir;
    const QString ini = dir.filePath("CAT.ini");
    test::Radiosim radio(ini, 1, radioOptions);
    if (!radio.Started()) {
        ADD_FAILURE() << "radiosim did not start";
        return run;
    }
    QtSettingsStore store(ini);
    QtCommPort port(store);
    QtClock clock;
    QtPause pause;
    test::FakeMessages messages;
    test::FakeTimer timer;
    doctor::LinkWatch watch(port, clock);
    Platform platform{watch, clock, pause, messages, timer};
    doctor::LinkFacts facts;
    facts.port = "Com 1";
    facts.speed = "9600";
    doctor::WatchFollowsLink follower(watch, facts);
    Link link(platform, follower);
    FillDigitCharacters(link.State());
    LinkChoices choices;
    choices.family = FamilyNamed("ICOM");
    choices.portListIndex = 0;
    choices.addressText = "5E";
    choices.speedText = "9600";
    try {
        link.Open(choices);
    } catch (const CatError& e) {
        ADD_FAILURE() << "the link did not open: " << e.what();
        return run;
    }
    test::FakeDisplay display;
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration<double>(seconds);
    auto nextTick = start;
    while (std::chrono::steady_clock::now() < end) {
        if (std::chrono::steady_clock::now() >= nextTick) {
            (void)link.Tick(false, display);
            nextTick += 100ms;
        }
        watch.WaitForInput(1, 10ms);
        link.Receive();
        const doctor::Verdict verdict = watch.Diagnose();
        if (run.verdicts.empty() || run.verdicts.back() != verdict.id)
            run.verdicts.push_back(verdict.id);
        if (run.decidedAfter < 0 && verdict.kind != VerdictKind::Waiting)
            run.decidedAfter = watch.Now() - watch.OpenedAt();
    }
    for (const doctor::LineUnit& unit : watch.Line().Units())
        run.traffic += std::to_string(unit.at - watch.OpenedAt()) + " " + test::ToHex(unit.bytes) +
                       " " + unit.note + "\n";
    link.Close();
    return run;
}

TEST(FirstVerdict, NeverSaysFirstWhatALaterReplyTakesBack) {
    const struct {
        const char* name;
        QStringList radio;
        std::vector<std::string> verdicts;
        double decidedWithin;  // seconds from the open to the first verdict
    } rows[] = {
        // The generic radio refuses the transmit read (fe fe e0 5e fa fd) and answers the
        // polls: one NG is not yet a refusing radio.
        {"healthy_radio_that_lacks_the_transmit_read", {}, {"waiting", "answering"}, 1.5},
        // Refused again 0.3 s later: plain well before "no reply" could be said.
        {"refusing_radio", {"--refuse"}, {"waiting", "refuses"}, 1.5},
        {"silent_radio", {"--silent"}, {"waiting", "no-reply"}, 2.0},
        // Answers its first reads, then nothing: said within about a second of the read it
        // left unanswered, and never answering still.
        {"radio_that_stops_after_one_and_a_half_seconds",
         {"--stop-after", "1.5"},
         {"waiting", "answering", "stopped"},
         1.5},
    };
    for (const auto& row : rows) {
        const OpenRun run = WatchTheOpen(row.radio, 3.6);
        EXPECT_EQ(run.verdicts, row.verdicts) << row.name << "\n" << run.traffic;
        EXPECT_GT(run.decidedAfter, 0) << row.name;
        EXPECT_LT(run.decidedAfter, row.decidedWithin) << row.name << "\n" << run.traffic;
    }
}

}  // namespace
}  // namespace cat
