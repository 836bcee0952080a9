#include "link/poll_cycle.h"

#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "control/frequency_text.h"
#include "core/failure_policy.h"
#include "core/mode.h"
#include "link/five_byte_check.h"
#include "protocols/families.h"

namespace cat {

namespace {

constexpr Seconds kQuietAfterRead{0.25};

bool PeriodPassed(const SessionState& state, Platform& platform, Seconds period) {
    return !state.lastPoll || platform.clock.Now() - *state.lastPoll > period;
}

// The family's own read at open, and the quiet after it.
void FamilyReadAtOpen(SessionState& state, Platform& platform, const RadioFamily& protocol) {
    SkipOnFailure([&] { protocol.ReadAtOpen(state, platform); });
    // A server's read at open is no poll, and its line holds no radio to keep quiet for.
    if (protocol.Record().server) return;
    // The read took the poll's turn. The next keeps a quarter second of silence after it, and no
    // more when the family would read again sooner: a radio that counts every five bytes as one
    // command (an FT-817 on a link set up for another family) drops the read's leftover bytes in
    // that pause; sent straight after it, the next read's bytes would join them into a command
    // (at ICOM's two reads, "lock the dial").
    SkipOnFailure([&] {
        Seconds taken = platform.clock.Now();
        if (const std::optional<Seconds> period = protocol.PollPeriodNow(state);
            period && *period > kQuietAfterRead)
            taken -= *period - kQuietAfterRead;
        state.lastPoll = taken;
    });
}

// True once the link may send its own family's bytes: its check for a five-byte radio is over
// and found none. The check's last step is followed by the read at open it held back.
bool Checked(SessionState& state, Platform& platform, const RadioFamily& protocol) {
    FiveByteCheck* check = state.fiveByteCheck.get();
    if (!check || (check->Over() && !check->Found())) return true;
    if (check->Found()) return false;
    if (check->Step(platform, platform.clock.Now().count()) && !check->Found())
        FamilyReadAtOpen(state, platform, protocol);
    return false;
}

void Poll(SessionState& state, Platform& platform) {
    const RadioFamily* protocol = FamilyFor(state.protocol);
    if (!protocol || !Checked(state, platform, *protocol)) return;
    const std::optional<Seconds> period = protocol->PollPeriodNow(state);
    if (!period) {
        protocol->Poll(state, platform);
    } else if (PeriodPassed(state, platform, *period)) {
        protocol->Poll(state, platform);
        state.lastPoll = platform.clock.Now();
    }
}

}  // namespace

std::string DisplayText(const SessionState& state) {
    // A link tester must not show a frequency no radio sent.
    if (!state.frequencyHz) return {};
    std::string text;
    FrequencyDisplayText(state, *state.frequencyHz, text);
    if (const std::string_view name = state.mode ? ModeName(*state.mode) : ""; !name.empty())
        text += " " + std::string(name);
    return text;
}

void ShowReading(const SessionState& state, DisplayBox& display) {
    const std::string text = DisplayText(state);
    if (display.Text() != text) display.SetText(text);
}

void PollTick(SessionState& state, Platform& platform, bool minimised, DisplayBox& display) {
    if (state.protocol == Protocol::None || minimised || state.busy) return;
    state.busy = true;
    // Failure style: abandon. A tick never reports; the next one starts afresh.
    SkipOnFailure([&] {
        Poll(state, platform);
        ShowReading(state, display);
    });
    state.busy = false;
}

std::optional<Seconds> NextTurnAt(const SessionState& state, Platform& platform) {
    const RadioFamily* protocol = FamilyFor(state.protocol);
    std::optional<Seconds> due;
    if (!protocol) return due;
    SkipOnFailure([&] {
        if (!platform.port.IsOpen()) return;
        const Seconds now = platform.clock.Now();
        if (const FiveByteCheck* check = state.fiveByteCheck.get(); check && !check->Over()) {
            due = Seconds{check->NextStepAt(now.count())};
            return;
        }
        if (!LinkMaySend(state)) return;
        const std::optional<Seconds> period = protocol->PollPeriodNow(state);
        // A period is passed once the clock is beyond it (see PeriodPassed).
        if (period) due = state.lastPoll ? *state.lastPoll + *period + Seconds{0.001} : now;
    });
    return due;
}

void ReadAtOpen(SessionState& state, Platform& platform) {
    const RadioFamily* protocol = FamilyFor(state.protocol);
    // A link that looks for a five-byte radio first reads at open when that check is over.
    if (!protocol || (state.fiveByteCheck && !state.fiveByteCheck->Over())) return;
    if (!state.fiveByteCheck || !state.fiveByteCheck->Found())
        FamilyReadAtOpen(state, platform, *protocol);
}

bool LinkMaySend(const SessionState& state) {
    const FiveByteCheck* check = state.fiveByteCheck.get();
    return state.protocol != Protocol::None && (!check || (check->Over() && !check->Found()));
}

bool PollTurnNow(const RadioFamily& family, const SessionState& state, Platform& platform) {
    if (!LinkMaySend(state)) return false;
    const std::optional<Seconds> period = family.PollPeriodNow(state);
    bool due = true;
    if (period) SkipOnFailure([&] { due = PeriodPassed(state, platform, *period); });
    return due;
}

void TookPollTurn(SessionState& state, Platform& platform) {
    SkipOnFailure([&] { state.lastPoll = platform.clock.Now(); });
}

void ReceiveDispatch(SessionState& state, CommPort& port) {
    // The check reads its own answers; a five-byte radio found is not read as the link's.
    if (state.fiveByteCheck && (!state.fiveByteCheck->Over() || state.fiveByteCheck->Found()))
        return;
    // Failure style: ignore, for every step.
    if (const RadioFamily* protocol = FamilyFor(state.protocol))
        SkipOnFailure([&] { protocol->Receive(state, port); });
}

}  // namespace cat
