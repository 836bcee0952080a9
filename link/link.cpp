#include "link/link.h"

#include "core/failure_policy.h"
#include "link/five_byte_check.h"
#include "protocols/families.h"

namespace cat {

void Link::Open(const LinkChoices& choices) {
    choices_ = choices;
    readingsAtOpen_ = state_.readings;
    transmit_.Closed();
    handshake_ = OpenLink(state_, platform_, choices);
    transmit_.Opened(platform_.clock.Now(), handshake_);
    observer_.Opened(state_, handshake_);
    ReadAtOpen(state_, platform_);
}

void Link::Reopen() {
    state_.received.clear();
    state_.lastPoll.reset();
    // The device went away and came back: whatever is on it now is checked afresh.
    choices_.checkKnownDone = false;
    Open(choices_);
}

void Link::Close() {
    transmit_.Closed();
    CloseLink(platform_);
}

std::optional<TransmitFinding> Link::Tick(bool minimised, DisplayBox& display) {
    std::optional<TransmitFinding> finding;
    // The transmit reading takes the poll's turn; a tick that meets a running one (from a box it
    // opened) leaves both to it.
    if (const RadioFamily* family = FamilyFor(state_.protocol);
        family && !state_.busy && platform_.port.IsOpen())
        finding = transmit_.Tick(*family, state_, platform_);
    PollTick(state_, platform_, minimised, display);
    observer_.Ticked(state_);
    return finding;
}

void Link::Receive() { ReceiveDispatch(state_, platform_.port); }

void Link::Receive(bool minimised, DisplayBox& display) {
    Receive();
    // An ICOM radio's own announcements of a turned dial show as they come, not a tick later.
    if (!minimised && !state_.busy) SkipOnFailure([&] { ShowReading(state_, display); });
}

bool Link::AnsweredAfterCheck() const {
    return LinkMaySend(state_) && state_.readings != readingsAtOpen_;
}

bool Link::FiveByteRadioFound() const {
    return state_.fiveByteCheck && state_.fiveByteCheck->Found();
}

bool Link::PausePolling() {
    const bool polling = platform_.pollTimer.Enabled();
    platform_.pollTimer.SetEnabled(false);
    return polling;
}

void Link::ResumePolling() { platform_.pollTimer.SetEnabled(true); }

}  // namespace cat
