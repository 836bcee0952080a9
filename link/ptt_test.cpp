#include "link/ptt_test.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "core/failure_policy.h"
#include "core/lookup.h"
#include "core/text.h"
#include "link/transmit_watch.h"
#include "protocols/families.h"

namespace cat {

namespace {

constexpr std::array<std::pair<std::string_view, PttMethod>, 3> kMethods{{
    {"CAT", PttMethod::Cat},
    {"RTS", PttMethod::Rts},
    {"DTR", PttMethod::Dtr},
}};

// As for the search at open: a PTT input lets go, or takes hold, within a hundred milliseconds.
constexpr int kSwitchMs = 100;
constexpr Seconds kLatestReadWhileKeyed{0.3};

}  // namespace

std::optional<PttMethod> PttMethodNamed(std::string_view text) {
    return Lookup(kMethods, std::string_view(UpperCase(Trim(text, kBlanks))));
}

std::string_view PttMethodName(PttMethod method) {
    for (const auto& [name, value] : kMethods)
        if (value == method) return name;
    return {};
}

std::string ServerKeyingRefusal(PttMethod method, Protocol protocol) {
    if (method == PttMethod::Cat || !IsSharingServer(protocol)) return {};
    return "Not keyed: the radio is reached through a rig-sharing server, which owns its port and "
           "its RTS and DTR lines; this program has no line of the radio's to raise. Key by CAT, "
           "or set up keying by " +
           std::string(PttMethodName(method)) + " in the server itself.";
}

Seconds PttDuration(double seconds) {
    if (!std::isfinite(seconds)) return kDefaultPtt;
    return Seconds(std::clamp(seconds, kShortestPtt.count(), kLongestPtt.count()));
}

PttTest::PttTest(PttMethod method, Seconds duration, Handshake handshake)
    : method_(method), duration_(PttDuration(duration.count())), handshake_(handshake) {}

std::optional<ControlLine> PttTest::Line() const {
    if (method_ == PttMethod::Rts) return ControlLine::Rts;
    if (method_ == PttMethod::Dtr) return ControlLine::Dtr;
    return std::nullopt;
}

bool PttTest::SetLine(Platform& platform, bool on) {
    ControlLineLevels levels = platform.port.ControlLines();
    levels.Set(*Line(), on);
    return SkipOnFailure([&] { platform.port.SetControlLines(levels); });
}

bool PttTest::Start(const RadioFamily& family, SessionState& state, Platform& platform) {
    asOpened_ = platform.port.ControlLines();
    const std::optional<ControlLine> line = Line();
    if (line == ControlLine::Rts && handshake_ == Handshake::RtsCts) {
        refusal_ =
            "RTS belongs to the RTS/CTS flow control on this port: test by CAT or DTR, or "
            "turn flow control off for it.";
        return false;
    }
    // The state before is read with the line low, as it will be after.
    if (line && asOpened_.Level(*line)) {
        SetLine(platform, false);
        SkipOnFailure([&] { platform.pause.Sleep(kSwitchMs); });
    }
    before_ = ReadTransmitState(family, state, platform);
    if (before_ == true) {
        refusal_ = "The radio already transmits, so the test did not key it.";
        return false;
    }
    const bool keyed = line ? SetLine(platform, true)
                            : SkipOnFailure([&] { family.KeyByCommand(state, platform, true); });
    if (!keyed) {
        refusal_ = "The port did not take the " + std::string(PttMethodName(method_)) +
                   " keying, so nothing was keyed.";
        return false;
    }
    keyed_ = true;
    keyedAt_ = platform.clock.Now();
    return true;
}

Seconds PttTest::ReadAt() const {
    return keyedAt_ + std::min(duration_ / 2, kLatestReadWhileKeyed);
}

void PttTest::ReadWhileKeyed(const RadioFamily& family, SessionState& state, Platform& platform) {
    if (keyed_ && !finished_ && !during_) during_ = ReadTransmitState(family, state, platform);
}

void PttTest::Finish(const RadioFamily& family, SessionState& state, Platform& platform,
                     PttEnd end) {
    if (!keyed_ || finished_) return;
    finished_ = true;
    end_ = end;
    if (end == PttEnd::PortLost) return;
    const std::optional<ControlLine> line = Line();
    const Seconds unkeyedAt = platform.clock.Now();
    if (line)
        SetLine(platform, false);
    else
        SkipOnFailure([&] { family.KeyByCommand(state, platform, false); });
    SkipOnFailure([&] { platform.pause.Sleep(kSwitchMs); });
    after_ = ReadTransmitState(family, state, platform);
    if (after_ == false) receiveAfterEnd_ = platform.clock.Now() - unkeyedAt;
    // A line that did not key the radio goes back up, for an interface powered from it; one
    // that did stays low for as long as the link is open.
    if (line && asOpened_.Level(*line) && during_ != true && after_ == false)
        SetLine(platform, true);
}

std::string PttTest::Summary(int port) const {
    if (!refusal_.empty()) return refusal_;
    const std::string way(PttMethodName(method_));
    if (end_ == PttEnd::PortLost)
        return Line() ? "The port went away while " + way +
                            " was up: the line dropped with it. Check that the radio is in "
                            "receive."
                      : "! The port went away while the radio was keyed by CAT, and the unkey "
                        "could not be sent: the radio may still transmit. Switch it to receive "
                        "by hand.";
    std::string text;
    if (during_ == true)
        text = "Keying by " + way + " worked: the radio transmitted.";
    else if (during_ == false)
        text = "Keying by " + way +
               " did nothing: the radio stayed in receive. Check which line the interface keys "
               "from, and the radio's PTT input setting.";
    else
        text = "The radio did not say whether it transmitted while keyed by " + way + ".";
    if (after_ == true)
        return "! " + text + " It still transmits after the unkey: switch it to receive by hand.";
    text += after_ == false ? " It is back in receive."
                            : " It did not say whether it is back in receive.";
    if (const std::optional<ControlLine> line = Line();
        line && during_ == true && asOpened_.Level(*line))
        text += " This port raises " + way + " when it opens, which keys the radio: set " +
                LowLineEntry(port, *line) + ".";
    return text;
}

}  // namespace cat
