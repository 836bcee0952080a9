#include "doctor/listen.h"

#include <algorithm>
#include <cmath>

#include "protocols/families.h"

namespace cat::doctor {

namespace {

// A read unanswered this long means the radio stopped (the diagnosis's own rule is a second).
constexpr double kUnansweredSeconds = 1.2;

// The verdicts a server's silence gives, which its answer or its closing the connection may yet
// change.
bool SilenceOnly(VerdictKind kind) {
    using K = VerdictKind;
    return kind == K::Answering || kind == K::Waiting || kind == K::NoReply || kind == K::Stopped;
}

}  // namespace

void WatchFollowsLink::Opened(const SessionState& state, Handshake flowControl) {
    facts_.protocol = state.protocol;
    facts_.radioAddress = state.radioAddress;
    facts_.handshaking = flowControl == Handshake::RtsCts;
    // Nothing is sent for a link without a protocol; the verdict says so.
    if (state.protocol == Protocol::None) {
        watch_.NoProtocolChosen(facts_);
    } else {
        watch_.Opened(facts_);
    }
}

std::optional<TransmitFinding> Listen::Tick() { return link_.Tick(false, display_); }

int Listen::WaitMs() const {
    const std::optional<Seconds> due = link_.NextDue();
    if (!due) return kListenTickMs;
    const double ms = std::ceil((due->count() - watch_.Now()) * 1000.0);
    return static_cast<int>(std::clamp(ms, 1.0, static_cast<double>(kListenTickMs)));
}

std::optional<Verdict> Listen::Settled() {
    const SessionState& state = link_.State();
    Verdict verdict = watch_.Diagnose();
    const double listened = watch_.Now() - watch_.OpenedAt();
    const LineSummary& line = watch_.Line().Summary();
    // A read still out may yet go unanswered: a radio that stopped is only known as one once a
    // read has waited long enough, and must not end the listen as "answering". A sharing server
    // answers only once its own radio has, or its timeouts are spent; or it closes the
    // connection then.
    const RadioFamily* family = FamilyFor(state.protocol);
    const bool server = family && IsSharingServer(family->Id());
    const double unanswered = server ? kServerGivesUpSeconds : kUnansweredSeconds;
    const double longest = server ? kServerGivesUpSeconds + 2 : 2 * kListenSeconds;
    // What a server said of its radio, or something else's answer, decides at once; only its
    // silence takes that long.
    const bool readOut = line.firstUnanswered &&
                         watch_.Now() - *line.firstUnanswered < unanswered &&
                         (!server || SilenceOnly(verdict.kind));
    // A radio that answers while its first transmit reading is still to come may be keyed by a
    // line: the listen lasts until it is known.
    const bool transmitUnknown = link_.Transmit().ReadDue(state) && state.frequencyHz;
    // A radio that answers has not made the link work until it sent the frequency.
    const bool decided = verdict.kind != VerdictKind::Waiting && !readOut && !transmitUnknown &&
                         (verdict.kind != VerdictKind::Answering || line.lastReading);
    if (!(decided && listened >= kListenSeconds) && listened < longest) return std::nullopt;
    if (verdict.kind == VerdictKind::Answering && !line.lastReading)
        verdict = WithoutReading(verdict);
    return verdict;
}

Verdict WithoutReading(Verdict verdict) {
    verdict.kind = VerdictKind::Unreadable;
    verdict.problem = true;
    verdict.id = "no-frequency";
    verdict.brief = "Radio answers, sends no frequency";
    verdict.text = "The radio answers, but sent no frequency while the link listened.";
    verdict.advice =
        "Copy the traffic to ask why; Find radio tries every protocol this program reads.";
    return verdict;
}

}  // namespace cat::doctor
