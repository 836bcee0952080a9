#pragma once

// What is wrong with the link, in the operator's words, from what was observed on it. A pure
// function: the window's status line, the monitor and `catlink --doctor` all feed it the same
// record, and every verdict is tested from byte traces.

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/comm_errors.h"
#include "doctor/line_analyzer.h"

namespace cat::doctor {

// What the shell saw when the port would not open, with the facts only it can gather.
struct OpenFailure {
    std::optional<CommFault> fault;    // nothing when the failure is not the port's own
    std::string text;                  // the port's own sentence
    std::vector<std::string> present;  // serial devices present now (device missing)
    std::string holder;                // "flrig (process 1234)" (device in use), when known
    std::string user;                  // who runs the program (no permission), when known
};

// A radio that frames by count, found on the line before the link sent anything of its own.
struct FoundFiveByteRadio {
    Protocol protocol = Protocol::None;
    int speed = 0;
};

struct Observation {
    Protocol protocol = Protocol::None;
    bool protocolChosen = true;  // false: Open was ticked with no protocol in the list
    std::string radioAddress;    // ICOM: two hexadecimal digits
    std::string port;            // "Com 3"
    int com = 0;                 // 3 for "Com 3"; 0 for a port named by its device
    std::string device;          // "/dev/ttyUSB0"
    std::string speed;           // "9600"
    bool handshaking = false;    // RTS/CTS flow control is on
    bool open = false;           // the link is open (Open is ticked and the port opened)
    bool everOpened = false;     // a link was opened since the program started
    double now = 0;              // seconds on the analyzer's watch
    std::optional<OpenFailure> failure;
    std::optional<double> lostAt;  // the device vanished while open
    std::string lostWhy;           // what the port said of it, when it did
    // How long our first unanswered read had waited when the connection was lost: on this
    // connection, or on the one before it while the link reconnects by itself.
    std::optional<double> unansweredAtLoss;
    bool waitingForDevice = false;          // the link opens by itself once the device is there
    std::optional<double> outputHeldSince;  // bytes have been waiting to leave since then
    const LineSummary* line = nullptr;      // the line since the link opened
    std::optional<FoundFiveByteRadio> fiveByteRadio;
};

enum class VerdictKind {
    Closed,
    NoProtocol,
    Waiting,
    Answering,
    DeviceMissing,
    InUse,
    NoPermission,
    PortError,
    NoReply,
    EchoOnly,
    OtherAddress,
    Garbled,
    OtherProtocol,
    Unreadable,
    Refuses,
    OutputBlocked,
    Vanished,
    Stopped,
    NoServer,          // nothing listens where the sharing server should
    NotTheServer,      // something answers there, but not as that server does
    ServerRadioFails,  // the server answers, but its own link to the radio fails
};

struct Verdict {
    VerdictKind kind = VerdictKind::Closed;
    bool problem = false;
    std::string id;          // a short stable name to grep for: "no-reply"
    std::string brief;       // one short line for the status line
    std::string text;        // what is wrong, in full
    std::string advice;      // the next thing to try
    std::string useAddress;  // OtherAddress: the address the radio answers at ("94")
    bool offerScan = false;
};

// How long a command may go unanswered before the radio counts as silent.
inline constexpr double kAnswerSeconds = 1.0;
// A sharing server answers a read only once its own radio has answered or its own timeouts and
// retries are spent: rigctld's defaults take about 7 s for a silent radio.
inline constexpr double kServerAnswerSeconds = 10.0;
// A server that cannot reach its radio may instead close the connection once its own retries are
// spent: rigctld 4.5 with a Kenwood backend's defaults does after about 18 s. A server that has
// not answered is listened to this long before its silence is the verdict.
inline constexpr double kServerGivesUpSeconds = 25.0;
// How long after its last reply a radio counts as live although no read is out: the longest a
// family's poll leaves between two reads of one value, with room for a busy machine.
inline constexpr double kLiveSeconds = 2.5;
// How long bytes may wait to leave before the line counts as held.
inline constexpr double kHeldSeconds = 0.5;

Verdict Diagnose(const Observation& observation);

// "ICOM", "Kenwood", "FT-817", "Yaesu"; "no" for no family.
std::string ProtocolName(Protocol protocol);

}  // namespace cat::doctor
