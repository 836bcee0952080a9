#include "link/transmit_watch.h"

#include "core/failure_policy.h"
#include "link/poll_cycle.h"
#include "protocols/common/family_support.h"

namespace cat {

namespace {

// A radio's PTT input lets go within a few tens of milliseconds; the relay of an old one within
// a hundred.
constexpr int kReleaseMs = 100;

// A transmit read that ends well within its limit without a reading was answered, if only with
// a refusal: the radio has no such read, and asking again gets the same.
constexpr Seconds kAnsweredWithin = family::kTransmitReadLimit * 0.8;

std::string LineText(ControlLine line) { return std::string(LineName(line)); }

}  // namespace

std::string LowLineEntry(int port, ControlLine line) {
    if (port <= 0) return "ComN." + LineText(line) + "=off (N: the entry that opens this port)";
    return ControlLineEntry(static_cast<std::int16_t>(port), line, false);
}

std::optional<bool> ReadTransmitState(const RadioFamily& family, SessionState& state,
                                      Platform& platform) {
    // A family whose record has no transmit read is not asked: its answer would be nothing.
    if (!family.Record().transmitRead) return std::nullopt;
    std::optional<bool> transmitting;
    SkipOnFailure([&] { transmitting = family.ReadTransmitting(state, platform); });
    return transmitting;
}

void TransmitWatch::Opened(Seconds now, Handshake handshake) {
    phase_ = Phase::AwaitingReading;
    read_ = false;
    answeringAtRead_ = false;
    refused_ = false;
    openedAt_ = now;
    handshake_ = handshake;
    reported_ = false;
}

void TransmitWatch::Closed() { phase_ = Phase::Closed; }

std::optional<TransmitFinding> TransmitWatch::Tick(const RadioFamily& family, SessionState& state,
                                                   Platform& platform) {
    if (phase_ == Phase::Closed) return std::nullopt;
    if (phase_ == Phase::AwaitingReading) return FirstReading(family, state, platform);
    if (testRunning_ || !state.transmitting) return std::nullopt;
    if (*state.transmitting == reported_) return std::nullopt;
    reported_ = *state.transmitting;
    TransmitFinding finding;
    finding.event = reported_ ? TransmitEvent::TransmittingUnasked : TransmitEvent::BackToReceive;
    finding.foundAfterOpen = platform.clock.Now() - openedAt_;
    return finding;
}

// The first reading after the open decides, however late it comes: a radio whose first read
// went unanswered (bytes of the check still in its buffer, a slow start) and that turns out to
// transmit is keyed by the open as much as one that said so at once. A reading a poll took
// meanwhile counts; the link's own read is made once more when it went unanswered and the radio
// began answering the polls only after it (one that refused it, or answered the polls already
// and not the read, has no such read).
std::optional<TransmitFinding> TransmitWatch::FirstReading(const RadioFamily& family,
                                                           SessionState& state,
                                                           Platform& platform) {
    // A family whose replies carry no frame (one byte answers the FT-817's read) is read only
    // once the radio has shown it speaks it: another radio's "?" would pass for an answer.
    if (family.ConfirmByRepeat() && !state.frequencyHz) return std::nullopt;
    // The operator's PTT test keys the radio on purpose; the reading waits for its end.
    if (testRunning_ || !PollTurnNow(family, state, platform)) return std::nullopt;
    std::optional<bool> transmitting = state.transmitting;
    if (!transmitting) {
        if (!ReadDue(state)) return std::nullopt;
        read_ = true;
        answeringAtRead_ = state.frequencyHz.has_value();
        const Seconds sent = platform.clock.Now();
        transmitting = ReadTransmitState(family, state, platform);
        refused_ = !transmitting && platform.clock.Now() - sent < kAnsweredWithin;
        TookPollTurn(state, platform);
    }
    if (!transmitting) return std::nullopt;
    phase_ = Phase::Watching;
    if (!*transmitting) return std::nullopt;
    TransmitFinding finding;
    if (family.Record().server) {
        // The server owns the radio's lines: there is none here to drop or to blame.
        finding.throughServer = true;
        finding.transmittingAfter = true;
        finding.foundAfterOpen = finding.namedAfterOpen = platform.clock.Now() - openedAt_;
    } else {
        finding = FindKeyingLine(family, state, platform);
    }
    TookPollTurn(state, platform);
    // A radio a dropped line brought back to receive is not reported back in receive: the
    // finding stays on show, it is the line that matters.
    reported_ = finding.transmittingAfter != false;
    return finding;
}

TransmitFinding TransmitWatch::FindKeyingLine(const RadioFamily& family, SessionState& state,
                                              Platform& platform) {
    TransmitFinding finding;
    finding.foundAfterOpen = platform.clock.Now() - openedAt_;
    finding.transmittingAfter = true;
    CommPort& port = platform.port;
    ControlLineLevels levels = port.ControlLines();
    const ControlLineLevels asOpened = levels;
    for (ControlLine line : {ControlLine::Rts, ControlLine::Dtr}) {
        if (line == ControlLine::Rts && handshake_ == Handshake::RtsCts) {
            finding.rtsIsFlowControl = true;
            continue;
        }
        if (!levels.Level(line)) continue;
        levels.Set(line, false);
        if (!SkipOnFailure([&] { port.SetControlLines(levels); })) break;
        finding.dropped.push_back(line);
        SkipOnFailure([&] { platform.pause.Sleep(kReleaseMs); });
        finding.transmittingAfter = ReadTransmitState(family, state, platform);
        if (finding.transmittingAfter == false) {
            finding.keyingLine = line;
            break;
        }
    }
    // Lines that did not key the radio go back up: an interface may draw its power from them.
    if (!finding.keyingLine && finding.transmittingAfter == true)
        SkipOnFailure([&] { port.SetControlLines(asOpened); });
    finding.namedAfterOpen = platform.clock.Now() - openedAt_;
    return finding;
}

std::string TransmitStatusText(const TransmitFinding& finding, int port) {
    if (finding.event == TransmitEvent::BackToReceive) return "The radio is back in receive.";
    if (finding.event == TransmitEvent::TransmittingUnasked)
        return "The radio is transmitting: not keyed by this program";
    if (finding.throughServer)
        return "The radio was transmitting when the link to its server opened: not keyed by "
               "this program";
    if (finding.keyingLine)
        return LineText(*finding.keyingLine) + " keys this radio: set " +
               LowLineEntry(port, *finding.keyingLine);
    if (finding.transmittingAfter == true && finding.rtsIsFlowControl)
        return "The radio went to transmit when the port opened: RTS/CTS holds RTS up";
    if (finding.transmittingAfter == true)
        return "The radio went to transmit when the port opened, not by RTS or DTR";
    return "The radio went to transmit when the port opened";
}

std::string TransmitBrief(const TransmitFinding& finding) {
    if (finding.event == TransmitEvent::BackToReceive) return "Back in receive";
    if (finding.event == TransmitEvent::TransmittingUnasked) return "Radio is transmitting";
    if (finding.throughServer) return "Transmitting at open";
    if (finding.keyingLine) return LineText(*finding.keyingLine) + " keys this radio";
    if (finding.transmittingAfter == true && finding.rtsIsFlowControl)
        return "Keyed at open: RTS/CTS?";
    if (finding.transmittingAfter == true) return "Transmits: not RTS or DTR";
    return "Keyed at open: check radio";
}

std::string TransmitAdvice(const TransmitFinding& finding, int port) {
    const auto number = static_cast<std::int16_t>(port);
    if (finding.event == TransmitEvent::BackToReceive) return "The radio is back in receive.";
    if (finding.event == TransmitEvent::TransmittingUnasked)
        return "The radio is transmitting, and this program did not key it: PTT pressed, VOX, a "
               "stuck foot switch or another program. The lines are left as they are.";
    if (finding.throughServer)
        return "The radio was transmitting when the link to its server opened. The server owns "
               "the radio's port and its RTS and DTR lines, so this program keyed nothing and has "
               "no line to drop: it transmits for another reason (PTT pressed, VOX, a stuck foot "
               "switch, another program using the server).";
    std::string text = "The radio went to transmit when the port opened.";
    std::string dropped;
    for (ControlLine line : finding.dropped)
        dropped += (dropped.empty() ? "" : ", then ") + LineText(line);
    if (finding.keyingLine) {
        const std::string line = LineText(*finding.keyingLine);
        return text + " Dropping " + dropped + " brought it back to receive: " + line +
               " keys this radio. Set " + LowLineEntry(port, *finding.keyingLine) +
               " in [Ports] so that the line stays low when the port opens, or use " + line +
               " for PTT only in the program that sends audio.";
    }
    if (finding.transmittingAfter == true && finding.rtsIsFlowControl)
        return text + (dropped.empty() ? "" : " Dropping " + dropped + " did not end it.") +
               " RTS belongs to the RTS/CTS flow control on this port, which holds it up: if "
               "the interface keys the radio from RTS, set " +
               (port > 0 ? HandshakeKey(number) : std::string("ComN.Handshake")) + "=none and " +
               LowLineEntry(port, ControlLine::Rts) +
               " in [Ports]. Otherwise the radio transmits for another reason (PTT pressed, "
               "VOX, a stuck foot switch, another program).";
    if (finding.transmittingAfter == true)
        return text +
               (dropped.empty() ? " Neither RTS nor DTR is up on this port"
                                : " It still transmits with " + dropped + " dropped") +
               ": it transmits for another reason (PTT pressed, VOX, a stuck foot switch, "
               "another program). Its lines are back as they were.";
    return text + " After " + (dropped.empty() ? "that" : dropped + " dropped") +
           " it stopped answering, so the line that keys it is not known. Check "
           "the radio now.";
}

}  // namespace cat
