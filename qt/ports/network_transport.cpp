#include "qt/ports/network_transport.h"

#include <poll.h>
#ifdef __linux__
#include <linux/sockios.h>
#endif
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QThread>
#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>
#include <optional>
#include <utility>

#include "core/comm_errors.h"
#include "qt/ports/name_lookup.h"
#include "qt/ports/parked_connections.h"
#include "qt/ports/quit_request.h"
#include "qt/ports/tcp_connect.h"

namespace cat {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The far end answers each setting at once; a loaded network may take a second.
constexpr milliseconds kNegotiationTimeout{1500};
constexpr milliseconds kGreetingWait{300};
constexpr milliseconds kHangUpWait{50};
// As for a local port: a whole command at 1200 baud; what the socket has not taken by then leaves
// when the event loop runs.
constexpr int kLongestWriteWaitMs = 300;
constexpr std::size_t kHeldOutputLimit = 65536;
constexpr std::size_t kReadPerPass = 65536;

// ser2net says why it hangs up ("Device open failure: ...") as a line of text before it does:
// worth passing on when the last bytes in are such a line.
std::string FarEndsWords(const std::string& in) {
    if (in.size() < 2 || in.compare(in.size() - 2, 2, "\r\n") != 0) return {};
    const std::size_t start = in.find_last_of('\n', in.size() - 3);
    const std::string line = in.substr(start == std::string::npos ? 0 : start + 1);
    const std::string text = line.substr(0, line.size() - 2);
    const bool printable = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return c >= 0x20 && c < 0x7f;
    });
    return printable ? ": " + text : std::string{};
}

// NOTIFY-MODEMSTATE's bits: the states of DCD, DSR and CTS, and their changes.
constexpr std::uint8_t kModemDcd = 0x80;
constexpr std::uint8_t kModemDsr = 0x20;
constexpr std::uint8_t kModemCts = 0x10;
constexpr std::uint8_t kModemStateMask = kModemDcd | kModemDsr | kModemCts | 0x0B;

// SET-CONTROL for DTR, and for RTS unless the flow control holds it, then the request to hear of
// the modem lines as they change.
std::string ControlLineBytes(const ControlLineLevels& levels, Handshake handshake) {
    std::string out =
        TelnetSession::SetControl(levels.dtr ? ComPortControl::DtrOn : ComPortControl::DtrOff);
    if (handshake != Handshake::RtsCts)
        out +=
            TelnetSession::SetControl(levels.rts ? ComPortControl::RtsOn : ComPortControl::RtsOff);
    return out + TelnetSession::SetModemStateMask(kModemStateMask);
}

ComPortControl FlowControlFor(Handshake handshake) {
    return handshake == Handshake::RtsCts ? ComPortControl::HardwareFlowControl
                                          : ComPortControl::NoFlowControl;
}

// A line setting sent to the far end, with the value its answer must carry.
struct LineRequest {
    ComPortCommand command;
    std::uint32_t value;
    const char* what;
};

std::array<LineRequest, 5> LineRequests(const LineSettings& line, Handshake handshake) {
    return {{
        {ComPortCommand::SetBaudRate, static_cast<std::uint32_t>(line.speed), "speed"},
        {ComPortCommand::SetDataSize, static_cast<std::uint32_t>(line.dataBits), "data bits"},
        {ComPortCommand::SetParity, TelnetSession::ParityValue(line.parity), "parity"},
        {ComPortCommand::SetStopSize, TelnetSession::StopSizeValue(line.stopBits), "stop bits"},
        {ComPortCommand::SetControl, static_cast<std::uint32_t>(FlowControlFor(handshake)),
         "handshaking"},
    }};
}

}  // namespace

NetworkTransport::NetworkTransport(PortTarget target, std::string label, Events events)
    : target_(std::move(target)), label_(std::move(label)), events_(std::move(events)) {}

NetworkTransport::~NetworkTransport() { Close(); }

std::string NetworkTransport::Where() const { return HostAndPort(target_); }

void NetworkTransport::Open(const LineSettings& line, Handshake handshake,
                            const ControlLineLevels& levels) {
    Close();
    levels_ = levels;
    telnet_ = TelnetSession{};
    lostDetail_.clear();
    reset_ = false;
    Connect();
    try {
        if (target_.kind == PortKind::Rfc2217) SendLinesFirst(handshake);
        if (!probed_) AwaitHangUp();
        if (reset_ && !probed_) AskWhy(handshake);
        RequireOpen();
        if (target_.kind == PortKind::Rfc2217) Negotiate(line, handshake);
    } catch (...) {
        Close();
        throw;
    }
    // What arrived before the port was ready belongs to nobody.
    in_.clear();
    WatchReads();
    WatchWrites();
}

// A connection the watch found up is taken over, with what the far end said to it meanwhile.
void NetworkTransport::Connect() {
    std::optional<ProbedConnection> probed = TakeProbedConnection(target_);
    probed_ = probed.has_value();
    fd_ = probed ? probed->fd : ConnectTo(target_, kConnectTimeout, label_);
    TuneSocket(fd_);
    if (probed && target_.kind == PortKind::Rfc2217) {
        std::string reply;
        telnet_.Receive(probed->received, in_, reply);
        out_ += reply;
    }
}

template <typename Done>
void NetworkTransport::ReadUntil(Done done, Clock::time_point deadline) {
    while (IsOpen() && !done() && MillisecondsLeft(deadline) > 0) {
        const WaitResult r = WaitForDescriptor(fd_, POLLIN, MillisecondsLeft(deadline));
        if (r == WaitResult::QuitRequested || r == WaitResult::Failed) break;
        if (r == WaitResult::Ready) ReadSocket();
    }
}

// ser2net raised DTR and RTS as it opened its device for this connection, and a radio keyed from
// either transmits until they are set: they go out with the connection's first bytes, before
// anything is awaited. The far end takes port settings only from a client that has agreed to
// control the port (ser2net drops them before that), so the offer to do so goes in front, in
// the same write.
void NetworkTransport::SendLinesFirst(Handshake handshake) {
    out_ += telnet_.Start();
    SendControlLines(handshake);
}

std::string NetworkTransport::LinesFirst(const ControlLineLevels& levels, Handshake handshake) {
    TelnetSession session;
    return session.Start() + ControlLineBytes(levels, handshake);
}

// ser2net takes every connection and only then opens its device; when it cannot (absent, or
// still held by the connection before) it says so and hangs up at once. Nothing but the lines
// goes out until that moment has passed (see AskWhy for a far end that hung up on them). A
// connection the watch found up has been through this already.
void NetworkTransport::AwaitHangUp() {
    holdReplies_ = true;
    if (target_.kind == PortKind::Rfc2217) {
        ReadUntil(
            [this] {
                return !in_.empty() ||
                       telnet_.ComPortAgreement() != TelnetSession::Agreement::Pending;
            },
            Clock::now() + kGreetingWait);
    }
    ReadUntil([] { return false; }, Clock::now() + kHangUpWait);
    holdReplies_ = false;
}

// A far end that could not open its device (ser2net: absent, or still held by the connection
// before) says why and hangs up at once; the lines we sent first, unread, turned its words into a
// reset. No line was raised on that connection: a second one stays quiet until the far end has
// had its moment, so that its words come through, and sends the lines the moment it is over.
void NetworkTransport::AskWhy(Handshake handshake) {
    telnet_ = TelnetSession{};
    lostDetail_.clear();
    reset_ = false;
    fd_ = ConnectTo(target_, kConnectTimeout, label_);
    TuneSocket(fd_);
    AwaitHangUp();
    if (IsOpen()) SendLinesFirst(handshake);
}

void NetworkTransport::Negotiate(const LineSettings& line, Handshake handshake) {
    RequireOpen();
    out_ += telnet_.Start();
    Flush();
    ReadUntil([this] { return telnet_.ComPortAgreement() != TelnetSession::Agreement::Pending; },
              Clock::now() + kNegotiationTimeout);
    RequireOpen();
    if (telnet_.ComPortAgreement() != TelnetSession::Agreement::Accepted)
        throw CommError(CommFault::NoPortControl, label_, Where());
    SetLine(line, handshake);
}

void NetworkTransport::SetLine(const LineSettings& line, Handshake handshake) {
    if (target_.kind != PortKind::Rfc2217 || !IsOpen()) return;
    SendLineSettings(line, handshake);
    CheckLineAnswers(line, handshake);
    SendControlLines(handshake);
}

void NetworkTransport::SetControlLines(const ControlLineLevels& levels, Handshake handshake) {
    levels_ = levels;
    if (target_.kind == PortKind::Rfc2217 && IsOpen()) SendControlLines(handshake);
}

// As on a local port: the far end raised both lines as it opened its device. A far port without
// modem lines (a pseudo-terminal) may not answer these; that is harmless. Asking for the modem
// state's notifications makes the far end report CTS, DSR and DCD as they change.
void NetworkTransport::SendControlLines(Handshake handshake) {
    out_ += ControlLineBytes(levels_, handshake);
    Flush();
}

ModemLines NetworkTransport::Lines() {
    ModemLines lines;
    if (target_.kind != PortKind::Rfc2217 || !IsOpen()) return lines;
    ReadSocket();  // notifications that came meanwhile
    lines.dtr = telnet_.ReportedDtr();
    lines.rts = telnet_.ReportedRts();
    if (const std::optional<std::uint8_t> state = telnet_.ModemState()) {
        lines.cts = (*state & kModemCts) != 0;
        lines.dsr = (*state & kModemDsr) != 0;
        lines.dcd = (*state & kModemDcd) != 0;
    }
    return lines;
}

std::string NetworkTransport::WireBytes(std::string_view data) const {
    return target_.kind == PortKind::Rfc2217 ? telnet_.EncodeData(data) : std::string(data);
}

void NetworkTransport::SendLineSettings(const LineSettings& line, Handshake handshake) {
    telnet_.ForgetReports();
    // The order the option's authors recommend: speed, data size, parity, stop size.
    out_ += TelnetSession::SetBaudRate(static_cast<std::uint32_t>(line.speed)) +
            TelnetSession::SetDataSize(line.dataBits) + TelnetSession::SetParity(line.parity) +
            TelnetSession::SetStopSize(line.stopBits) +
            TelnetSession::SetControl(FlowControlFor(handshake));
    Flush();
}

// Waits for the far end to answer every setting, and raises what it did not take.
void NetworkTransport::CheckLineAnswers(const LineSettings& line, Handshake handshake) {
    const auto requests = LineRequests(line, handshake);
    ReadUntil(
        [&] {
            return std::all_of(requests.begin(), requests.end(), [&](const LineRequest& r) {
                return telnet_.Reported(r.command).has_value();
            });
        },
        Clock::now() + kNegotiationTimeout);
    RequireOpen();
    std::string refused;
    for (const LineRequest& request : requests) {
        const auto reported = telnet_.Reported(request.command);
        if (reported == request.value) continue;
        if (!refused.empty()) refused += "; ";
        refused += std::string(request.what) + ": " +
                   (reported ? "it answered " + std::to_string(*reported) : "no answer");
    }
    if (!refused.empty())
        throw CommError(
            CommFault::FarPortRefused, label_,
            line.text + (handshake == Handshake::RtsCts ? " with RTS/CTS handshaking" : ""),
            refused);
}

void NetworkTransport::Close() {
    readNotifier_.reset();
    writeNotifier_.reset();
    // As a local port does: both lines low before the far end closes its device. Sent once,
    // without waiting; a connection that is gone takes nothing.
    if (fd_ >= 0 && target_.kind == PortKind::Rfc2217 &&
        telnet_.ComPortAgreement() == TelnetSession::Agreement::Accepted) {
        const std::string drop = TelnetSession::SetControl(ComPortControl::RtsOff) +
                                 TelnetSession::SetControl(ComPortControl::DtrOff);
        [[maybe_unused]] const ssize_t n =
            ::send(fd_, drop.data(), drop.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    out_.clear();
}

void NetworkTransport::Lose(const std::string& detail) {
    lostDetail_ = detail;
    // Called from inside a notifier's own signal as well: the notifiers go after it returns.
    if (readNotifier_) {
        readNotifier_->setEnabled(false);
        readNotifier_.release()->deleteLater();
    }
    if (writeNotifier_) {
        writeNotifier_->setEnabled(false);
        writeNotifier_.release()->deleteLater();
    }
    Close();
    if (events_.lost) events_.lost(CommFault::ConnectionLost, detail);
}

void NetworkTransport::RequireOpen() const {
    if (!IsOpen()) throw CommError(CommFault::ConnectionLost, label_, Where(), lostDetail_);
}

void NetworkTransport::ReadSocket() {
    char buffer[4096];
    // One pass takes at most this much: a far end that floods must not keep the event loop in
    // here. What is left stays in the socket, whose notifier fires again on the next turn.
    std::size_t taken = 0;
    while (IsOpen() && taken < kReadPerPass) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            taken += static_cast<std::size_t>(n);
            const std::string_view bytes(buffer, static_cast<std::size_t>(n));
            if (target_.kind != PortKind::Rfc2217) {
                in_.append(bytes);
                continue;
            }
            std::string reply;
            telnet_.Receive(bytes, in_, reply);
            out_ += reply;
            // Answers to negotiation are bounded like data: a far end that floods them while
            // its answers pile up is no serial port.
            if (out_.size() > kHeldOutputLimit) {
                out_.clear();
                return Lose("the far end floods telnet option negotiation");
            }
            continue;
        }
        if (n == 0) return Lose("the far end closed the connection" + FarEndsWords(in_));
        if (errno == EINTR) continue;
        if (errno == ECONNRESET) reset_ = true;
        if (errno != EAGAIN && errno != EWOULDBLOCK) Lose(SystemText(errno));
        break;
    }
    if (!out_.empty() && !holdReplies_) Flush();
}

void NetworkTransport::Flush() {
    while (IsOpen() && !out_.empty()) {
        const ssize_t n = ::send(fd_, out_.data(), out_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            out_.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) Lose(SystemText(errno));
        break;
    }
    WatchWrites();
}

void NetworkTransport::WatchReads() {
    readNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(readNotifier_.get(), &QSocketNotifier::activated, readNotifier_.get(), [this] {
        const std::size_t before = in_.size();
        ReadSocket();
        if (in_.size() > before && events_.arrived) events_.arrived();
    });
}

void NetworkTransport::WatchWrites() {
    if (!IsOpen()) return;
    if (out_.empty()) {
        if (writeNotifier_) writeNotifier_->setEnabled(false);
        return;
    }
    // What the socket did not take leaves when the event loop runs.
    if (!writeNotifier_) {
        writeNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Write);
        QObject::connect(writeNotifier_.get(), &QSocketNotifier::activated, writeNotifier_.get(),
                         [this] { Flush(); });
    }
    writeNotifier_->setEnabled(true);
}

void NetworkTransport::Write(const std::string& bytes, const LineSettings& line) {
    RequireOpen();
    // Bytes still waiting from earlier mean the far end has stopped taking them: these queue
    // behind at once instead of blocking the window again, and past a limit a command is
    // dropped whole (cutting into what is queued could split a telnet sequence).
    const bool held = !out_.empty();
    if (out_.size() > kHeldOutputLimit) return;
    out_ += target_.kind == PortKind::Rfc2217 ? telnet_.EncodeData(bytes) : bytes;
    Flush();
    // Wait, within what the bytes need at the line's speed, for the socket to take them.
    const int lineMs = static_cast<int>(2LL * static_cast<long long>(bytes.size()) * 11 * 1000 /
                                        std::max(line.speed, 50));
    const auto deadline =
        Clock::now() + milliseconds(held ? 0 : std::min(kLongestWriteWaitMs, 100 + lineMs));
    while (IsOpen() && !out_.empty() && MillisecondsLeft(deadline) > 0) {
        const WaitResult r = WaitForDescriptor(fd_, POLLOUT, MillisecondsLeft(deadline));
        if (r == WaitResult::QuitRequested) break;
        if (r == WaitResult::Failed) QThread::msleep(1);
        Flush();
    }
    RequireOpen();
}

int NetworkTransport::BytesPending() const {
    if (!IsOpen()) return 0;
    int queued = 0;  // what the system holds and has not sent, when it says
#ifdef SIOCOUTQNSD
    if (::ioctl(fd_, SIOCOUTQNSD, &queued) != 0) queued = 0;
#endif
    return static_cast<int>(std::min<std::size_t>(out_.size() + static_cast<std::size_t>(queued),
                                                  std::numeric_limits<int>::max()));
}

int NetworkTransport::BytesWaiting() {
    RequireOpen();
    ReadSocket();
    RequireOpen();
    return Waiting();
}

std::string NetworkTransport::ReadAll() {
    RequireOpen();
    if (in_.empty()) ReadSocket();
    std::string out;
    out.swap(in_);
    return out;
}

int NetworkTransport::WaitForInput(int count, milliseconds timeout) {
    const auto deadline = Clock::now() + std::max(timeout, milliseconds(0));
    BytesWaiting();
    while (Waiting() < count && MillisecondsLeft(deadline) > 0) {
        const short events = POLLIN | (out_.empty() ? 0 : POLLOUT);
        const WaitResult r = WaitForDescriptor(fd_, events, MillisecondsLeft(deadline));
        if (r == WaitResult::QuitRequested) break;
        // A poll that fails must not turn the wait into a spin.
        if (r == WaitResult::Failed) QThread::msleep(1);
        ReadSocket();
        RequireOpen();
    }
    return Waiting();
}

}  // namespace cat
