#pragma once

// The operator's PTT test: the one time this program keys a radio. It keys by CAT command, by RTS
// or by DTR for a bounded time, reads the transmit state before, while keyed and after, and says
// whether keying and unkeying worked. Whoever runs it calls Finish on every way out (the time is
// up, the window closes, a signal, the port goes away): unkeying is not left to chance.

#include <optional>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "core/control_lines.h"
#include "core/handshake.h"
#include "core/platform.h"
#include "core/radio_family.h"
#include "core/session_state.h"

namespace cat {

enum class PttMethod { Cat, Rts, Dtr };

// "cat", "rts", "dtr" in any letter case; nothing otherwise.
std::optional<PttMethod> PttMethodNamed(std::string_view text);
// "CAT", "RTS", "DTR".
std::string_view PttMethodName(PttMethod method);

// Why `method` cannot key a radio reached through a rig-sharing server (`protocol`): the server
// owns the radio's port and its lines, and this program has none to raise. Empty when it can.
std::string ServerKeyingRefusal(PttMethod method, Protocol protocol);

inline constexpr Seconds kShortestPtt{0.2};
inline constexpr Seconds kLongestPtt{5.0};
inline constexpr Seconds kDefaultPtt{1.0};
// A time outside 0.2..5 s is brought inside; a time that is no number gets the default.
Seconds PttDuration(double seconds);

// Why the keying ended: the time was up, the window or the link closed, the program was asked
// to end, the port went away.
enum class PttEnd { TimeUp, Closed, Signal, PortLost };

class PttTest {
public:
    PttTest(PttMethod method, Seconds duration, Handshake handshake);

    // Reads the state before, then keys. False when it could not key: RTS is the flow control's
    // line, or the port refused; nothing is keyed then.
    bool Start(const RadioFamily& family, SessionState& state, Platform& platform);
    // When the keying must end, on the link's clock.
    Seconds EndsAt() const { return keyedAt_ + duration_; }
    // When to read the state while keyed: soon after keying, within the time.
    Seconds ReadAt() const;
    void ReadWhileKeyed(const RadioFamily& family, SessionState& state, Platform& platform);
    // Unkeys and reads the state after. With the port gone nothing can be sent: the line dropped
    // with it, and a CAT key is reported as possibly still on.
    void Finish(const RadioFamily& family, SessionState& state, Platform& platform, PttEnd end);

    bool Keyed() const { return keyed_; }
    PttMethod Method() const { return method_; }
    Seconds Duration() const { return duration_; }
    std::optional<bool> Before() const { return before_; }
    std::optional<bool> During() const { return during_; }
    std::optional<bool> After() const { return after_; }
    // When the radio was found back in receive, counted from the end of the time; nothing when
    // it was not.
    std::optional<Seconds> ReceiveAfterEnd() const { return receiveAfterEnd_; }

    // What the test showed, in the operator's words, naming the entry to write where the test
    // found a line that keys the radio and the port raises it.
    std::string Summary(int port) const;

private:
    std::optional<ControlLine> Line() const;
    bool SetLine(Platform& platform, bool on);

    PttMethod method_;
    Seconds duration_;
    Handshake handshake_;
    ControlLineLevels asOpened_;
    Seconds keyedAt_{0};
    bool keyed_ = false;
    bool finished_ = false;
    std::optional<PttEnd> end_;
    std::optional<bool> before_, during_, after_;
    std::optional<Seconds> receiveAfterEnd_;
    std::string refusal_;  // why Start did not key
};

}  // namespace cat
