#pragma once

// The doctor's run of a link: the link ticks as the window's timer ticks it, with a record of the
// line beside it, until the verdict cannot change any more. A radio that answers is heard for the
// whole listen, so the traffic shows it more than once; a read still out, a server still silent
// or a transmit reading still to come keep the listen going.

#include <optional>

#include "doctor/diagnosis.h"
#include "doctor/link_watch.h"
#include "link/link.h"

namespace cat::doctor {

// How long the radio is listened to at least: long enough for every protocol's first answers,
// and for a silent radio to count as one.
inline constexpr double kListenSeconds = 2.0;
// The ticks' spacing, as the window's poll timer.
inline constexpr int kListenTickMs = 100;

// Keeps `watch` following `link`: the record starts at each open, named with `facts` and what the
// open set.
class WatchFollowsLink : public LinkObserver {
public:
    WatchFollowsLink(LinkWatch& watch, LinkFacts facts) : watch_(watch), facts_(std::move(facts)) {}
    void Opened(const SessionState& state, Handshake flowControl) override;
    void Ticked(const SessionState& state) override { watch_.FollowCheck(state); }

private:
    LinkWatch& watch_;
    LinkFacts facts_;
};

class Listen {
public:
    Listen(Link& link, LinkWatch& watch) : link_(link), watch_(watch) {}

    // One tick of the link; what the transmit watch found, to be told at once.
    std::optional<TransmitFinding> Tick();
    // How long to wait for the next tick: the ticks' spacing, or less when the link has
    // something to do sooner (the check's next step, its first read, a poll's turn).
    int WaitMs() const;
    // After the tick's wait: the verdict once it is settled.
    std::optional<Verdict> Settled();
    // The link's display as the window would show it.
    const std::string& Display() const { return display_.text; }

private:
    struct ShownText : DisplayBox {
        std::string Text() const override { return text; }
        void SetText(const std::string& shown) override { text = shown; }
        std::string text;
    };

    Link& link_;
    LinkWatch& watch_;
    ShownText display_;
};

// A radio that answers but sent no frequency in the whole listen is no working link: the verdict
// says so rather than "answering", which the exit status would contradict.
Verdict WithoutReading(Verdict verdict);

}  // namespace cat::doctor
