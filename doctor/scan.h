#pragma once

// Find my radio: the chosen port is tried for each protocol at each speed of the list, the likely
// settings first, until a radio answers. Only reads are ever sent: ICOM's "which address?" to
// every radio (00) and "read frequency" to the factory addresses of common models, Kenwood's ID;,
// and the FT-817's read of frequency and mode. None of them can make a radio transmit.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/comm_port.h"
#include "doctor/line_analyzer.h"

namespace cat::doctor {

struct Probe {
    std::int16_t protocolCode = 0;
    int speed = 0;
    std::string bytes;           // sent in one write
    double listenSeconds = 0.2;  // from the write to the judgement
};

struct Found {
    std::int16_t protocolCode = 0;
    int speed = 0;
    std::string address;  // ICOM: two hexadecimal digits
    std::string model;    // when the reply says, "IC-7300"
};

// "ICOM radio at address 94 (IC-7300), 19200 baud".
std::string Describe(const Found& found);

// Every protocol at every speed of `speeds`, starting with the choice the operator made and then
// each protocol's usual speeds.
std::vector<Probe> ScanPlan(std::span<const int> speeds, std::int16_t chosenProtocol,
                            int chosenSpeed);

// What a probe's answer shows: a radio of the probe's protocol, or nothing.
std::optional<Found> Judge(const Probe& probe, const std::string& received);

// Runs a plan on a port, a step at a time, so that a window stays responsive and a command line
// can simply sleep between steps.
class Scanner {
public:
    Scanner(CommPort& port, std::vector<Probe> plan) : port_(port), plan_(std::move(plan)) {}

    // Does the next piece of work at time `now` (seconds); returns how long to wait before the
    // next call, or nothing once the scan is over.
    std::optional<double> Step(double now);
    void Cancel();

    bool Over() const { return over_; }
    const std::optional<Found>& Result() const { return found_; }
    const std::string& Failure() const { return failure_; }  // a port error that ended it
    std::size_t ProbesDone() const { return next_; }
    std::size_t ProbesTotal() const { return plan_.size(); }
    const std::vector<std::string>& Log() const { return log_; }  // the traffic, for people

private:
    void Finish();
    void Send(const Probe& probe, double now);

    CommPort& port_;
    std::vector<Probe> plan_;
    std::size_t next_ = 0;
    bool listening_ = false;
    bool confirming_ = false;  // an FT-817 reply waits for a second one to agree
    std::string candidate_;
    bool over_ = false;
    std::optional<Found> found_;
    std::string failure_;
    std::vector<std::string> log_;
};

}  // namespace cat::doctor
