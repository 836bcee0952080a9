#pragma once

#include <optional>
#include <string>

#include "core/platform.h"
#include "core/radio_family.h"
#include "core/session_state.h"

namespace cat {

// The frequency and mode box the poll keeps up to date.
class DisplayBox {
public:
    virtual ~DisplayBox() = default;
    virtual std::string Text() const = 0;
    virtual void SetText(const std::string& text) = 0;
};

// One tick of the poll timer: asks the radio of the open link for frequency and mode (Kenwood at
// most every 0.25 s, ICOM at its family's pace, FT-817 every tick) and refreshes the display.
// Never raises; busy is always clear again when it returns.
void PollTick(SessionState& state, Platform& platform, bool minimised, DisplayBox& display);

// The link's first read, made the moment it opens, or once the check for a five-byte radio is
// over when one runs, so that the radio's reading shows at once. Never raises.
void ReadAtOpen(SessionState& state, Platform& platform);

// Whether the open link sends its own family's commands yet: no check for a five-byte radio runs,
// or it is over and found none.
bool LinkMaySend(const SessionState& state);

// A read of the link's own besides the poll (the transmit state at open) takes the poll's turn,
// so that it keeps the quiet the poll keeps around its reads for a radio that counts bytes in
// fives: true when the link may send and the poll is due now. After such a read, TookPollTurn
// makes the poll wait its period from the read's end.
bool PollTurnNow(const RadioFamily& family, const SessionState& state, Platform& platform);
void TookPollTurn(SessionState& state, Platform& platform);

// When the open link next has something to do: the check's next step, or the poll's next turn.
// Nothing when it only waits for the regular tick (a family that polls on every tick, a closed
// port, a five-byte radio found). Ticking the link at this moment rather than on the next 100 ms
// tick is what makes the first reading come as soon as the line allows. Never raises.
std::optional<Seconds> NextTurnAt(const SessionState& state, Platform& platform);

// Brings `display` up to the link's reading (written only on change).
void ShowReading(const SessionState& state, DisplayBox& display);

// The port's receive notification: hands waiting bytes to the open protocol's parser.
void ReceiveDispatch(SessionState& state, CommPort& port);

// "14.074.00 USB"; empty until a radio has reported a frequency, and without a mode until it
// has reported one.
std::string DisplayText(const SessionState& state);

}  // namespace cat
