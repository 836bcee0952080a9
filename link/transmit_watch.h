#pragma once

// The radio transmitting when nobody here asked it to. Many interfaces key the transmitter from
// DTR or RTS, and the system raises both as it opens a port: right after a link opens, the
// radio's transmit state is read, and a radio whose first reading says it transmits, however
// late that reading comes, has its raised lines dropped one at a time, RTS first, the state read
// after each, until the line that keys it is found. Only once the radio has been seen receiving
// with the lines as they are does a later "transmitting" count as not ours: the operator may be
// talking, and the lines stay as they are.

#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/control_lines.h"
#include "core/handshake.h"
#include "core/platform.h"
#include "core/radio_family.h"
#include "core/session_state.h"

namespace cat {

enum class TransmitEvent {
    KeyedAtOpen,          // transmitting at the first reading after the link opened
    TransmittingUnasked,  // after a reading in receive, it transmits, and no test of ours keys it
    BackToReceive,        // after either, the radio says it receives again
};

struct TransmitFinding {
    TransmitEvent event = TransmitEvent::KeyedAtOpen;
    // KeyedAtOpen: the line whose drop brought the radio back to receive; nothing when none did.
    std::optional<ControlLine> keyingLine;
    std::vector<ControlLine> dropped;  // the lines dropped, in order
    // KeyedAtOpen: what the radio said after the last drop; nothing when it stopped answering.
    std::optional<bool> transmittingAfter;
    // RTS was left alone: it is the RTS/CTS flow control's line on this port.
    bool rtsIsFlowControl = false;
    // The link reaches the radio through a rig-sharing server, which owns its lines: none is
    // dropped or blamed.
    bool throughServer = false;
    Seconds foundAfterOpen{0};  // when the radio was found transmitting, counted from the open
    Seconds namedAfterOpen{0};  // when the search over the lines ended
};

// The radio's transmit state by its family's read; nothing when the radio did not say or the
// read failed. Never raises.
std::optional<bool> ReadTransmitState(const RadioFamily& family, SessionState& state,
                                      Platform& platform);

class TransmitWatch {
public:
    // A link opened at `now`, its RTS given to flow control when `handshake` is RTS/CTS.
    void Opened(Seconds now, Handshake handshake);
    void Closed();
    // No transmit reading has come since the open, and the link's own read may still bring one:
    // it was not made yet, or it went unanswered and the radio began answering the polls after.
    bool ReadDue(const SessionState& state) const {
        return phase_ == Phase::AwaitingReading &&
               (!read_ || (!refused_ && !answeringAtRead_ && state.frequencyHz.has_value()));
    }
    // The operator's PTT test keys the radio on purpose: nothing is reported meanwhile.
    void SetTestRunning(bool running) { testRunning_ = running; }

    // On each tick of the open link, before its poll: the read at open, in the poll's turn once
    // the link may send (see PollTurnNow), then the polls' reports. Never raises.
    std::optional<TransmitFinding> Tick(const RadioFamily& family, SessionState& state,
                                        Platform& platform);

private:
    std::optional<TransmitFinding> FirstReading(const RadioFamily& family, SessionState& state,
                                                Platform& platform);
    TransmitFinding FindKeyingLine(const RadioFamily& family, SessionState& state,
                                   Platform& platform);

    enum class Phase { Closed, AwaitingReading, Watching };
    Phase phase_ = Phase::Closed;
    Seconds openedAt_{0};
    bool read_ = false;             // the link's own read was made since the open
    bool answeringAtRead_ = false;  // and the radio had answered a poll by then
    bool refused_ = false;          // the radio refused the read
    Handshake handshake_ = Handshake::None;
    bool testRunning_ = false;
    bool reported_ = false;  // a finding is on show until the radio says it receives again
};

// The entry that keeps `line` of Com `port` low: "Com3.RTS=off"; for a port that is no Com entry
// (0: a path given on the command line), the entry's shape.
std::string LowLineEntry(int port, ControlLine line);

// One line, the fact first: "RTS keys this radio: set Com3.RTS=off".
std::string TransmitStatusText(const TransmitFinding& finding, int port);
// The same, short enough for the window's status line: "RTS keys this radio".
std::string TransmitBrief(const TransmitFinding& finding);
// The whole story, for the details and the log.
std::string TransmitAdvice(const TransmitFinding& finding, int port);

}  // namespace cat
