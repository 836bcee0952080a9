#include "link/poll_cycle.h"

#include <cmath>
#include <optional>
#include <string>

#include "control/frequency_text.h"
#include "core/failure_policy.h"
#include "core/mode.h"
#include "protocols/families.h"

namespace cat {

namespace {

constexpr float kQuietAfterRead = 0.25f;

// The absolute difference makes midnight (the clock falling back to 0) and a clock set back
// poll at once instead of stalling.
bool PeriodPassed(SessionState& state, Platform& platform, float period) {
    const float now = platform.clock.SecondsSinceMidnight();
    const float elapsed = std::fabs(state.LastPoll - now);
    return elapsed > period;
}

void Poll(SessionState& state, Platform& platform) {
    const RadioFamily* protocol = FamilyFor(state.ProtocolCode);
    if (!protocol) return;
    const std::optional<float> period = protocol->PollPeriod();
    if (!period) {
        protocol->Poll(state, platform);
    } else if (PeriodPassed(state, platform, *period)) {
        protocol->Poll(state, platform);
        state.LastPoll = platform.clock.SecondsSinceMidnight();
    }
}

}  // namespace

std::string DisplayText(const SessionState& state) {
    // A link tester must not show a frequency no radio sent.
    if (!state.RadioReported) return {};
    std::string text;
    EcriF(state, state.CurFreq, text);
    if (state.ModeKnown)
        if (const auto name = ModeName(state.CurMode)) text += " " + std::string(*name);
    return text;
}

void PollTick(SessionState& state, Platform& platform, bool minimised, DisplayBox& txtFreq) {
    if (state.ProtocolCode <= 0 || minimised || state.Busy) return;
    state.Busy = true;
    // Failure style: abandon. A tick never reports; the next one starts afresh.
    SkipOnFailure([&] {
        Poll(state, platform);
        const std::string text = DisplayText(state);
        if (txtFreq.Text() != text) txtFreq.SetText(text);
    });
    state.Busy = false;
}

void ReadAtOpen(SessionState& state, Platform& platform) {
    const RadioFamily* protocol = FamilyFor(state.ProtocolCode);
    if (!protocol) return;
    SkipOnFailure([&] { protocol->ReadAtOpen(state, platform); });
    // The first poll keeps a quarter second of silence after this read. A radio that counts
    // every five bytes as one command (an FT-817 on a link set up for another family) drops the
    // read's leftover bytes in that pause; sent straight after it, the poll's bytes would join
    // them into a command (at ICOM's read and poll, "lock the dial").
    if (const std::optional<float> period = protocol->PollPeriod();
        period && *period > kQuietAfterRead)
        SkipOnFailure([&] {
            state.LastPoll = platform.clock.SecondsSinceMidnight() - (*period - kQuietAfterRead);
        });
}

void ReceiveDispatch(SessionState& state, CommPort& port) {
    // Failure style: ignore, for every step.
    if (const RadioFamily* protocol = FamilyFor(state.ProtocolCode))
        SkipOnFailure([&] { protocol->Receive(state, port); });
}

}  // namespace cat
