#pragma once

// Find my radio: the chosen port is tried for each radio family at each speed of the list, the
// likely settings first, until a radio answers. Only reads are ever sent, and a radio that frames
// by count (the FT-817) is asked first, fastest speed first, each time after a silence: what
// another family's bytes would do to it at a wrong speed (arrive re-sampled, and be executed as
// whatever lands in the opcode place) can never happen, because none has reached it yet.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/comm_port.h"
#include "core/radio_family.h"

namespace cat::doctor {

struct Probe {
    // The families that judge the answer: one read can serve several (ID; asks Kenwood's and
    // Yaesu's radios alike).
    std::vector<const RadioFamily*> families;
    int speed = 0;
    bool flowControl = false;
    std::string bytes;           // sent in one write
    double silenceBefore = 0;    // no byte of ours on the line for this long before it
    double listenSeconds = 0.2;  // from the write to the judgement
};

struct Found {
    Protocol protocol = Protocol::None;
    int speed = 0;
    std::string address;        // where the family has addresses: two hexadecimal digits
    std::string model;          // when the reply says, "IC-7300"
    std::string described;      // "IC-705 at A4", "Yaesu FT-991A", "Elecraft K3 (Kenwood commands)"
    bool everyAddress = false;  // an ICOM radio that answers at any address
};

// "Yaesu FT-991A answers at 38400 baud".
std::string Describe(const Found& found);

// Every family at every speed of `speeds`: first the families that frame by count, then the
// operator's own choice, then each family's usual speeds; the first (shortest) read of every
// setting before any longer one.
std::vector<Probe> ScanPlan(std::span<const int> speeds, Protocol chosenProtocol, int chosenSpeed);

// What a probe's answer shows: a radio of one of the probe's families, or nothing.
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
    enum class Stage { Send, Listen, ConfirmSend, Confirm, FollowUp };

    void Finish();
    void Send(const Probe& probe, const std::string& bytes, double now);
    std::string Receive(const Probe& probe, double now);
    std::optional<double> Judged(const Probe& probe, const std::string& received, double now);
    std::optional<double> FollowedUp(const Probe& probe, const std::string& received, double now);
    // Sends a further read of the probe's families and listens for its answer.
    std::optional<double> Ask(const Probe& probe, const std::string& bytes, double now);

    CommPort& port_;
    std::vector<Probe> plan_;
    std::size_t next_ = 0;
    Stage stage_ = Stage::Send;
    std::optional<Found> candidate_;  // a reply that waits for its confirmation or follow-up
    std::string candidateBytes_;
    std::optional<double> lastSent_;
    bool over_ = false;
    std::optional<Found> found_;
    std::string failure_;
    std::vector<std::string> log_;
};

}  // namespace cat::doctor
