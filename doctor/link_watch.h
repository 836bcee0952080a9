#pragma once

// The link as the doctor watches it: a serial port that records every byte both ways on a
// stopwatch (give it to the core routines in place of the port it wraps), and the link's life as
// the window or the command line reports it. Observe() turns both into the record Diagnose reads.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/comm_port.h"
#include "core/platform.h"
#include "core/session_state.h"
#include "doctor/diagnosis.h"
#include "doctor/line_analyzer.h"

namespace cat::doctor {

struct LinkFacts {
    Protocol protocol = Protocol::None;
    std::string radioAddress;  // ICOM: two hexadecimal digits
    std::string port;          // "Com 3"
    int com = 0;               // 3 for "Com 3"; 0 for a port named by its device
    std::string device;        // "/dev/ttyUSB0"
    std::string speed;         // "9600"
    bool handshaking = false;
};

class LinkWatch : public CommPort {
public:
    LinkWatch(CommPort& port, Clock& clock) : port_(port), clock_(clock) {}

    // The link's life. Each opening starts a fresh account of the line.
    void Opened(const LinkFacts& facts);
    void OpenFailed(const LinkFacts& facts, OpenFailure failure);
    void NoProtocolChosen(const LinkFacts& facts);
    void Closed();
    // The port went away under the open link; `why`, where the port says, in its words ("the far
    // end floods telnet option negotiation").
    void Lost(std::string why = {});
    void WaitingForDevice(bool waiting) { waitingForDevice_ = waiting; }
    // What the link's check before its first bytes found: a radio that frames by count. Called
    // after each poll tick.
    void FollowCheck(const SessionState& state);

    Observation Observe();
    Verdict Diagnose() { return doctor::Diagnose(Observe()); }
    const LineAnalyzer& Line() const { return *line_; }
    const LinkFacts& Facts() const { return facts_; }
    double OpenedAt() const { return openedAt_; }
    double Now() { return clock_.Now().count(); }

    // CommPort: everything goes to the wrapped port; what is written and read is recorded.
    void SelectPort(int number) override { port_.SelectPort(number); }
    int PortNumber() const override { return port_.PortNumber(); }
    void SetLineSettings(const LineSettings& settings) override { port_.SetLineSettings(settings); }
    void SetHandshake(Handshake handshake) override { port_.SetHandshake(handshake); }
    void Open() override;
    void Close() override;
    bool IsOpen() const override { return port_.IsOpen(); }
    void Write(const std::string& bytes) override;
    int BytesWaiting() override { return port_.BytesWaiting(); }
    void DiscardInput() override;
    std::string ReadAll() override;
    int WaitForInput(int count, std::chrono::milliseconds timeout) override {
        return port_.WaitForInput(count, timeout);
    }
    int BytesPending() override { return port_.BytesPending(); }
    void SetControlLines(const ControlLineLevels& levels) override {
        port_.SetControlLines(levels);
    }
    ControlLineLevels ControlLines() const override { return port_.ControlLines(); }
    ModemLines Lines() override { return port_.Lines(); }

private:
    void Start(const LinkFacts& facts);

    CommPort& port_;
    Clock& clock_;
    LinkFacts facts_;
    std::unique_ptr<LineAnalyzer> line_ = std::make_unique<LineAnalyzer>(Protocol::None, "");
    bool open_ = false;
    bool everOpened_ = false;
    bool protocolChosen_ = true;
    double openedAt_ = 0;
    std::optional<OpenFailure> failure_;
    std::optional<double> lostAt_;
    std::string lostWhy_;
    std::optional<double> unansweredAtLoss_;  // kept across a reconnect, until Closed
    bool waitingForDevice_ = false;
    std::optional<double> heldSince_;
    std::optional<FoundFiveByteRadio> fiveByteRadio_;
};

}  // namespace cat::doctor
