#pragma once

#include <QSocketNotifier>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/line_settings.h"
#include "core/port_names.h"
#include "core/rfc2217.h"

namespace cat {

// A serial port published on the network (ser2net): raw TCP, where bytes pass as they are and the
// far end keeps its own line settings, or telnet with RFC 2217, where the program sets the far
// port's line. Plain POSIX sockets: the program does not load a network module at every start
// for a feature that only some stations use.
//
// Synchronous like the serial port: reads first take what the system holds, waits block in poll()
// with a bound and end at once when the program is asked to close. Name lookups run with a bound
// too, so a slow resolver cannot hang the window. Failures are raised as CatError in the
// operator's words, naming `label` ("Com 5 (rfc2217://shack-pi:2000)").
class NetworkPort {
public:
    struct Events {
        std::function<void()> arrived;                 // bytes came in from the event loop
        std::function<void(const std::string&)> lost;  // the connection dropped; now closed
    };

    NetworkPort(PortTarget target, std::string label, Events events);
    ~NetworkPort();
    NetworkPort(const NetworkPort&) = delete;
    NetworkPort& operator=(const NetworkPort&) = delete;

    void Open(const LineSettings& line, bool rtsCts);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }

    // RFC 2217: sets the far port's line and checks the far end's answers; raw TCP: nothing to set.
    void Apply(const LineSettings& line, bool rtsCts);

    void Output(const std::string& bytes, int speed);
    int Pull();  // takes what has arrived, without waiting; the count waiting
    int Waiting() const { return static_cast<int>(in_.size()); }
    // Bytes handed to Output that have not left this computer yet.
    int Unsent() const;
    std::string Take();
    void Clear() { in_.clear(); }
    int WaitFor(int count, std::chrono::milliseconds timeout);

    // How long a connection attempt may take before it counts as no answer.
    static constexpr std::chrono::milliseconds kConnectTimeout{3000};

private:
    void AwaitHangUp();
    void Negotiate(const LineSettings& line, bool rtsCts);
    void ReadSocket();
    void Flush();
    void Lose(const std::string& detail);
    void RequireOpen() const;
    void WatchWrites();
    std::string Where() const;

    PortTarget target_;
    std::string label_;
    Events events_;
    int fd_ = -1;
    TelnetSession telnet_;
    std::string in_;
    std::string out_;  // encoded bytes the socket has not taken yet
    std::string lostDetail_;
    bool holdReplies_ = false;  // while ser2net may still hang up on us
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
};

struct ProbedConnection {
    int fd = -1;
    std::string received;  // what the far end said meanwhile (ser2net's telnet greeting)
};

// The wait for a network port that is not up yet: a connection to `target` made within
// `timeout` that stays up, or nothing. Safe to call from any thread.
std::optional<ProbedConnection> ProbeNetworkPort(const PortTarget& target,
                                                 std::chrono::milliseconds timeout);

// A far end like ser2net takes one connection at a time: the connection a probe found up is kept
// for a few seconds for the next NetworkPort::Open of the same address, instead of being closed
// and asked for again (the far end would still be busy with the first). Keeping another closes
// the one kept before.
void KeepProbedConnection(const PortTarget& target, ProbedConnection connection);
std::optional<ProbedConnection> TakeProbedConnection(const PortTarget& target);
// The link no longer waits: a kept connection would hold the far end's port for nobody.
void DiscardProbedConnection();

}  // namespace cat
