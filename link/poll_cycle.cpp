#include "link/poll_cycle.h"

#include <array>
#include <cmath>
#include <string_view>

#include "control/frequency_text.h"
#include "protocols/civ/civ.h"
#include "protocols/ft817/ft817.h"
#include "protocols/kenwood/kenwood.h"

namespace cat {

namespace {

constexpr float kKenwoodPeriod = 0.25f;
constexpr float kICOMPeriod = 2.0f;

constexpr std::array<std::string_view, 7> kModeSuffixes = {" LSB", " USB", " CW", " AM",
                                                           " FM",  " FSK", " PKT"};

// The absolute difference makes midnight (the clock falling back to 0) and a clock set back
// poll at once instead of stalling.
bool PeriodPassed(SessionState& state, Platform& platform, float period) {
    const float now = platform.clock.SecondsSinceMidnight();
    const float elapsed = std::fabs(state.LastPoll - now);
    return elapsed > period;
}

void Poll(SessionState& state, Platform& platform) {
    const std::int16_t code = state.ProtocolCode;
    if (IsFT817(code)) {
        Poll817(state, platform);
    } else if (IsKenwood(code)) {
        if (PeriodPassed(state, platform, kKenwoodPeriod)) {
            ComKenwood(state, platform, "IF", 0);
            state.LastPoll = platform.clock.SecondsSinceMidnight();
        }
    } else if (IsICOM(code)) {
        if (PeriodPassed(state, platform, kICOMPeriod)) {
            ComICOM(state, platform, "03", "", "");
            ComICOM(state, platform, "04", "", "");
            state.LastPoll = platform.clock.SecondsSinceMidnight();
        }
    }
}

}  // namespace

std::string DisplayText(const SessionState& state) {
    // A link tester must not show a frequency no radio sent.
    if (!state.RadioReported) return {};
    std::string text;
    EcriF(state, state.CurFreq, text);
    if (state.ModeReported && state.CurMode >= 0 &&
        state.CurMode < static_cast<int>(kModeSuffixes.size()))
        text += kModeSuffixes[static_cast<std::size_t>(state.CurMode)];
    return text;
}

void PollTick(SessionState& state, Platform& platform, bool minimised, DisplayBox& txtFreq) {
    if (state.ProtocolCode <= 0 || minimised || state.Busy) return;
    state.Busy = true;
    try {
        Poll(state, platform);
        const std::string text = DisplayText(state);
        if (txtFreq.Text() != text) txtFreq.SetText(text);
    } catch (...) {
        // A tick never reports: the next one starts afresh.
    }
    state.Busy = false;
}

void ReceiveDispatch(SessionState& state, CommPort& port) {
    try {
        if (IsKenwood(state.ProtocolCode)) {
            ReadKenwoodBuffer(state, port, state.RxBuffer, true);
        } else if (IsICOM(state.ProtocolCode)) {
            ReadICOMBuffer(state, port);
        }
    } catch (...) {
        // The notification ignores every failure.
    }
}

}  // namespace cat
