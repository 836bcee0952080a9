#pragma once

#include <QSocketNotifier>
#include <chrono>
#include <memory>
#include <string>

#include "core/port_names.h"
#include "qt/ports/port_transport.h"
#include "shell/rfc2217.h"

namespace cat {

// A serial port published on the network (ser2net): raw TCP, where bytes pass as they are and the
// far end keeps its own line settings, or telnet with RFC 2217, where the program sets the far
// port's line. Plain POSIX sockets: the program does not load a network module at every start
// for a feature that only some stations use.
//
// Synchronous like the serial device: reads first take what the system holds, waits block in
// poll() with a bound and end at once when the program is asked to close. Name lookups run with a
// bound too, so a slow resolver cannot hang the window. Failures are raised as CatError in the
// operator's words, naming `label` ("Com 5 (rfc2217://shack-pi:2000)").
class NetworkTransport : public PortTransport {
public:
    NetworkTransport(PortTarget target, std::string label, Events events);
    ~NetworkTransport() override;
    NetworkTransport(const NetworkTransport&) = delete;
    NetworkTransport& operator=(const NetworkTransport&) = delete;

    void Open(const LineSettings& line, Handshake handshake,
              const ControlLineLevels& levels) override;
    bool IsOpen() const override { return fd_ >= 0; }
    // RFC 2217: sets the far port's line and checks the far end's answers; raw TCP: nothing to
    // set, so a handshake alone is the same request.
    void SetLine(const LineSettings& line, Handshake handshake) override;
    void SetHandshake(const LineSettings& line, Handshake handshake) override {
        SetLine(line, handshake);
    }

    void Write(const std::string& bytes, const LineSettings& line) override;
    int BytesWaiting() override;
    void DiscardInput() override { in_.clear(); }
    std::string ReadAll() override;
    int WaitForInput(int count, std::chrono::milliseconds timeout) override;
    // Bytes handed to Write that have not left this computer yet.
    int BytesPending() const override;

    // RFC 2217: SET-CONTROL for each line; raw TCP has no lines to set.
    void SetControlLines(const ControlLineLevels& levels, Handshake handshake) override;
    // DTR and RTS as the far end answered, CTS, DSR and DCD as it notified.
    ModemLines Lines() override;
    int Descriptor() const override { return fd_; }
    std::string WireBytes(std::string_view data) const override;

    // The first bytes on an RFC 2217 connection: the offer to control the far port, then DTR
    // and RTS at `levels` (RTS left to the flow control under RTS/CTS).
    static std::string LinesFirst(const ControlLineLevels& levels, Handshake handshake);

    // How long a connection attempt may take before it counts as no answer.
    static constexpr std::chrono::milliseconds kConnectTimeout{3000};

private:
    void Connect();
    void SendLinesFirst(Handshake handshake);
    void AskWhy(Handshake handshake);
    void AwaitHangUp();
    void Negotiate(const LineSettings& line, Handshake handshake);
    void SendLineSettings(const LineSettings& line, Handshake handshake);
    void SendControlLines(Handshake handshake);
    void CheckLineAnswers(const LineSettings& line, Handshake handshake);
    template <typename Done>
    void ReadUntil(Done done, std::chrono::steady_clock::time_point deadline);
    void ReadSocket();
    void Flush();
    void Close();
    void Lose(const std::string& detail);
    void RequireOpen() const;
    void WatchReads();
    void WatchWrites();
    int Waiting() const { return static_cast<int>(in_.size()); }
    std::string Where() const;

    PortTarget target_;
    std::string label_;
    Events events_;
    int fd_ = -1;
    TelnetSession telnet_;
    ControlLineLevels levels_;
    std::string in_;
    std::string out_;  // encoded bytes the socket has not taken yet
    std::string lostDetail_;
    bool holdReplies_ = false;  // while ser2net may still hang up on us
    bool probed_ = false;       // the connection came from a watch that found it up
    bool reset_ = false;        // the far end reset the connection
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
};

}  // namespace cat
