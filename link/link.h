#pragma once

// One link's whole life in one object: open the port with the operator's choices, set its lines,
// look for a five-byte radio, make the read at open, read the transmit state, poll, and take in
// what the radio sends. The window and `--doctor` both drive this object, so the same choices put
// the same bytes on the line in the same order whoever asks; those who watch the link (the
// doctor's record of the line, the window's transmit section) hear of it through LinkObserver.

#include <optional>

#include "core/handshake.h"
#include "core/mode.h"
#include "core/platform.h"
#include "core/session_state.h"
#include "link/link_control.h"
#include "link/poll_cycle.h"
#include "link/transmit_watch.h"

namespace cat {

class LinkObserver {
public:
    virtual ~LinkObserver() = default;
    // The port is open and configured, before the link's first read: a record of the line starts
    // here, so that it holds every byte the link sends. `flowControl`: what the link set.
    virtual void Opened(const SessionState& state, Handshake flowControl) = 0;
    // After every tick: what the check before the link's first bytes found so far.
    virtual void Ticked(const SessionState& state) = 0;
};

class Link {
public:
    // `platform.port` is the port every byte goes through (a recording one for the doctor).
    Link(Platform& platform, LinkObserver& observer) : platform_(platform), observer_(observer) {}

    const SessionState& State() const { return state_; }
    // For the routines that act on the link for the operator (sets, the PTT test).
    SessionState& State() { return state_; }
    TransmitWatch& Transmit() { return transmit_; }
    const LinkChoices& Choices() const { return choices_; }
    // The flow control the open link set on its port.
    Handshake FlowControl() const { return handshake_; }

    // Opens the link with `choices` (see OpenLink). Raises CatError at the first failing step;
    // the steps before it keep their effect.
    void Open(const LinkChoices& choices);
    // The last choices again, after their device came back: half a reply from the vanished
    // device must not spoil the first one after it, and the radio is asked at once.
    void Reopen();
    void Close();

    // One tick of the poll timer: the transmit reading in the poll's turn, then the poll, then
    // the display. A finding of the transmit watch is returned to be shown. Never raises.
    std::optional<TransmitFinding> Tick(bool minimised, DisplayBox& display);
    // The port's receive notification.
    void Receive();
    // The same, and the display shows what came as a tick would show it. Never raises.
    void Receive(bool minimised, DisplayBox& display);
    // When the link wants its next tick (see NextTurnAt): a shell ticking it then, besides its
    // regular timer, shows the first reading as soon as the line allows.
    std::optional<Seconds> NextDue() const { return NextTurnAt(state_, platform_); }
    // The check for a five-byte radio found none (or was known done for this device) and the
    // link's own radio answered since: what may be remembered of this device.
    bool AnsweredAfterCheck() const;
    // A five-byte radio answered the check: nothing may be remembered of this device.
    bool FiveByteRadioFound() const;

    // Holds the polls off while something else has the line (Find radio, a PTT test) and says
    // whether they ran; ResumePolling gives them back.
    bool PausePolling();
    void ResumePolling();

private:
    Platform& platform_;
    LinkObserver& observer_;
    SessionState state_;
    TransmitWatch transmit_;
    LinkChoices choices_;
    Handshake handshake_ = Handshake::None;
    std::uint32_t readingsAtOpen_ = 0;
};

}  // namespace cat
