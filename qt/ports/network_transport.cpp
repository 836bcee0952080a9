#include "qt/network_port.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#ifdef __linux__
#include <linux/sockios.h>
#endif
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QThread>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>

#include "core/comm_errors.h"
#include "qt/quit_request.h"

namespace cat {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The far end answers each setting at once; a loaded network may take a second.
constexpr milliseconds kNegotiationTimeout{1500};
constexpr milliseconds kStaysUp{300};
constexpr milliseconds kGreetingWait{300};
constexpr milliseconds kHangUpWait{50};
// How long the watch keeps a connection it found up for the link to take over.
constexpr milliseconds kProbedConnectionKept{3000};
// As for a local port: a whole command at 1200 baud; what the socket has not taken by then leaves
// when the event loop runs.
constexpr int kLongestWriteWaitMs = 300;
constexpr std::size_t kHeldOutputLimit = 65536;
constexpr std::size_t kReadPerPass = 65536;
// Abandoned lookups keep their thread until the resolver gives up; never let them pile up.
constexpr int kMostLookupsAtOnce = 4;

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

std::string SystemText(int error) { return std::strerror(error); }

struct AddrInfoFree {
    void operator()(addrinfo* list) const {
        if (list) freeaddrinfo(list);
    }
};
using AddrList = std::unique_ptr<addrinfo, AddrInfoFree>;

struct Lookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    int status = 0;
    addrinfo* list = nullptr;
};

std::atomic<int> lookupsRunning{0};

// getaddrinfo on a thread of its own, waited for with a bound: a resolver that does not answer
// must not hang the window. A lookup given up on frees its own result when it ends.
AddrList Resolve(const PortTarget& target, Clock::time_point deadline, const std::string& label) {
    const std::string where = HostAndPort(target);
    if (lookupsRunning.load() >= kMostLookupsAtOnce)
        throw CommError(CommFault::NoAnswer, label, where, "the name server does not answer");
    auto job = std::make_shared<Lookup>();
    ++lookupsRunning;
    std::thread([job, host = target.host, service = std::to_string(target.port)] {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_NUMERICSERV;
        addrinfo* list = nullptr;
        const int status = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
        std::lock_guard<std::mutex> lock(job->mutex);
        --lookupsRunning;
        if (job->abandoned) {
            if (list) freeaddrinfo(list);
            return;
        }
        job->status = status;
        job->list = list;
        job->finished = true;
        job->done.notify_all();
    }).detach();

    std::unique_lock<std::mutex> lock(job->mutex);
    // Slices, so that a request to close is seen while the resolver takes its time.
    while (!job->finished) {
        const bool quit = WaitForDescriptor(-1, 0, 0) == WaitResult::QuitRequested;
        if (quit || Clock::now() >= deadline) {
            job->abandoned = true;
            throw CommError(CommFault::NoAnswer, label, where, "the name server did not answer");
        }
        job->done.wait_for(
            lock, std::min<milliseconds>(milliseconds(50), milliseconds(MsLeft(deadline) + 1)));
    }
    if (job->status == EAI_AGAIN)
        throw CommError(CommFault::NoAnswer, label, where, gai_strerror(job->status));
    if (job->status != 0)
        throw CommError(CommFault::HostNotFound, label, target.host, gai_strerror(job->status));
    return AddrList(job->list);
}

// A connected, non-blocking socket to the first address that answers, or a CatError.
int ConnectTo(const PortTarget& target, milliseconds timeout, const std::string& label) {
    const auto deadline = Clock::now() + timeout;
    const AddrList list = Resolve(target, deadline, label);
    const std::string where = HostAndPort(target);
    int lastError = ETIMEDOUT;
    for (addrinfo* a = list.get(); a; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            lastError = errno;
            continue;
        }
        int error = ::connect(fd, a->ai_addr, a->ai_addrlen) == 0 ? 0 : errno;
        if (error == EINPROGRESS) {
            error = ETIMEDOUT;
            for (;;) {
                const WaitResult r = WaitForDescriptor(fd, POLLOUT, MsLeft(deadline));
                if (r == WaitResult::Ready) {
                    socklen_t size = sizeof error;
                    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
                    break;
                }
                if (r != WaitResult::TimedOut || MsLeft(deadline) == 0) break;
            }
        }
        if (error == 0) return fd;
        ::close(fd);
        lastError = error;
        if (MsLeft(deadline) == 0) break;
    }
    if (lastError == ECONNREFUSED)
        throw CommError(CommFault::ConnectionRefused, label, where, SystemText(lastError));
    throw CommError(CommFault::NoAnswer, label, where, SystemText(lastError));
}

void TuneSocket(int fd) {
    const int on = 1;
    // CAT commands are a few bytes each: send them at once instead of gathering.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    // A far end that vanishes without closing (power cut, cable pulled) is found within about
    // 25 s instead of hours.
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
#ifdef TCP_KEEPIDLE
    const int idle = 10, interval = 5, count = 3;
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
#endif
}

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

}  // namespace

NetworkPort::NetworkPort(PortTarget target, std::string label, Events events)
    : target_(std::move(target)), label_(std::move(label)), events_(std::move(events)) {}

NetworkPort::~NetworkPort() { Close(); }

std::string NetworkPort::Where() const { return HostAndPort(target_); }

void NetworkPort::Open(const LineSettings& line, bool rtsCts) {
    Close();
    telnet_ = TelnetSession{};
    lostDetail_.clear();
    std::optional<ProbedConnection> probed = TakeProbedConnection(target_);
    fd_ = probed ? probed->fd : ConnectTo(target_, kConnectTimeout, label_);
    TuneSocket(fd_);
    if (probed && target_.kind == PortKind::Rfc2217) {
        std::string reply;
        telnet_.Receive(probed->received, in_, reply);
        out_ += reply;
    }
    try {
        if (!probed) AwaitHangUp();
        RequireOpen();
        if (target_.kind == PortKind::Rfc2217) Negotiate(line, rtsCts);
    } catch (...) {
        Close();
        throw;
    }
    // What arrived before the port was ready belongs to nobody.
    in_.clear();
    readNotifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    QObject::connect(readNotifier_.get(), &QSocketNotifier::activated, readNotifier_.get(), [this] {
        const std::size_t before = in_.size();
        ReadSocket();
        if (in_.size() > before && events_.arrived) events_.arrived();
    });
    WatchWrites();
}

// ser2net takes every connection and only then opens its device; when it cannot (absent, or
// still held by the connection before) it says so and hangs up at once. Nothing goes out until
// that moment has passed: had we sent anything it had not read, its words would be lost in a
// reset. A connection the watch found up has been through this already.
void NetworkPort::AwaitHangUp() {
    holdReplies_ = true;
    if (target_.kind == PortKind::Rfc2217) {
        const auto greeting = Clock::now() + kGreetingWait;
        while (IsOpen() && in_.empty() &&
               telnet_.ComPortAgreement() == TelnetSession::Agreement::Pending &&
               MsLeft(greeting) > 0) {
            const WaitResult r = WaitForDescriptor(fd_, POLLIN, MsLeft(greeting));
            if (r == WaitResult::QuitRequested || r == WaitResult::Failed) break;
            if (r == WaitResult::Ready) ReadSocket();
        }
    }
    const auto settle = Clock::now() + kHangUpWait;
    while (IsOpen() && MsLeft(settle) > 0) {
        const WaitResult r = WaitForDescriptor(fd_, POLLIN, MsLeft(settle));
        if (r == WaitResult::QuitRequested || r == WaitResult::Failed) break;
        if (r == WaitResult::Ready) ReadSocket();
    }
    holdReplies_ = false;
}

void NetworkPort::Negotiate(const LineSettings& line, bool rtsCts) {
    RequireOpen();
    const auto deadline = Clock::now() + kNegotiationTimeout;
    out_ += telnet_.Start();
    Flush();
    while (IsOpen() && telnet_.ComPortAgreement() == TelnetSession::Agreement::Pending &&
           MsLeft(deadline) > 0) {
        const WaitResult r = WaitForDescriptor(fd_, POLLIN, MsLeft(deadline));
        if (r == WaitResult::QuitRequested || r == WaitResult::Failed) break;
        if (r == WaitResult::Ready) ReadSocket();
    }
    RequireOpen();
    if (telnet_.ComPortAgreement() != TelnetSession::Agreement::Accepted)
        throw CommError(CommFault::NoPortControl, label_, Where());
    Apply(line, rtsCts);
}

void NetworkPort::Apply(const LineSettings& line, bool rtsCts) {
    if (target_.kind != PortKind::Rfc2217 || !IsOpen()) return;
    telnet_.ForgetReports();
    // The order the option's authors recommend: speed, data size, parity, stop size.
    const ComPortControl flow =
        rtsCts ? ComPortControl::HardwareFlowControl : ComPortControl::NoFlowControl;
    out_ += TelnetSession::SetBaudRate(static_cast<std::uint32_t>(line.speed)) +
            TelnetSession::SetDataSize(line.dataBits) + TelnetSession::SetParity(line.parity) +
            TelnetSession::SetStopSize(line.stopBits) + TelnetSession::SetControl(flow);
    Flush();

    struct Expected {
        ComPortCommand command;
        std::uint32_t value;
        const char* what;
    };
    const Expected expected[] = {
        {ComPortCommand::SetBaudRate, static_cast<std::uint32_t>(line.speed), "speed"},
        {ComPortCommand::SetDataSize, static_cast<std::uint32_t>(line.dataBits), "data bits"},
        {ComPortCommand::SetParity, TelnetSession::ParityValue(line.parity), "parity"},
        {ComPortCommand::SetStopSize, TelnetSession::StopSizeValue(line.stopBits), "stop bits"},
        {ComPortCommand::SetControl, static_cast<std::uint32_t>(flow), "handshaking"},
    };
    const auto allAnswered = [&] {
        return std::all_of(std::begin(expected), std::end(expected),
                           [&](const Expected& e) { return telnet_.Reported(e.command); });
    };
    const auto deadline = Clock::now() + kNegotiationTimeout;
    while (IsOpen() && !allAnswered() && MsLeft(deadline) > 0) {
        const WaitResult r = WaitForDescriptor(fd_, POLLIN, MsLeft(deadline));
        if (r == WaitResult::QuitRequested || r == WaitResult::Failed) break;
        if (r == WaitResult::Ready) ReadSocket();
    }
    RequireOpen();
    std::string refused;
    for (const Expected& e : expected) {
        const auto reported = telnet_.Reported(e.command);
        if (reported == e.value) continue;
        if (!refused.empty()) refused += "; ";
        refused += std::string(e.what) + ": " +
                   (reported ? "it answered " + std::to_string(*reported) : "no answer");
    }
    if (!refused.empty())
        throw CommError(CommFault::FarPortRefused, label_,
                        line.text + (rtsCts ? " with RTS/CTS handshaking" : ""), refused);
    // As on a local port: DTR on, RTS off unless it is the handshake line. A far port without
    // modem lines (a pseudo-terminal) does not answer these; that is harmless.
    out_ += TelnetSession::SetControl(ComPortControl::DtrOn);
    if (!rtsCts) out_ += TelnetSession::SetControl(ComPortControl::RtsOff);
    Flush();
}

void NetworkPort::Close() {
    readNotifier_.reset();
    writeNotifier_.reset();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    out_.clear();
}

void NetworkPort::Lose(const std::string& detail) {
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
    if (events_.lost) events_.lost(detail);
}

void NetworkPort::RequireOpen() const {
    if (!IsOpen()) throw CommError(CommFault::ConnectionLost, label_, Where(), lostDetail_);
}

void NetworkPort::ReadSocket() {
    char buffer[4096];
    // One pass takes at most this much: a far end that floods must not keep the event loop in
    // here. What is left stays in the socket, whose notifier fires again on the next turn.
    std::size_t taken = 0;
    while (IsOpen() && taken < kReadPerPass) {
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            taken += static_cast<std::size_t>(n);
            const std::string_view bytes(buffer, static_cast<std::size_t>(n));
            if (target_.kind == PortKind::Rfc2217) {
                std::string reply;
                telnet_.Receive(bytes, in_, reply);
                out_ += reply;
                // Answers to negotiation are bounded like data: a far end that floods them while
                // its answers pile up is no serial port.
                if (out_.size() > kHeldOutputLimit) {
                    out_.clear();
                    Lose("the far end floods telnet option negotiation");
                    return;
                }
            } else {
                in_.append(bytes);
            }
            continue;
        }
        if (n == 0) {
            Lose("the far end closed the connection" + FarEndsWords(in_));
            return;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) Lose(SystemText(errno));
        break;
    }
    if (!out_.empty() && !holdReplies_) Flush();
}

void NetworkPort::Flush() {
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

void NetworkPort::WatchWrites() {
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

void NetworkPort::Output(const std::string& bytes, int speed) {
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
                                        std::max(speed, 50));
    const auto deadline =
        Clock::now() + milliseconds(held ? 0 : std::min(kLongestWriteWaitMs, 100 + lineMs));
    while (IsOpen() && !out_.empty() && MsLeft(deadline) > 0) {
        const WaitResult r = WaitForDescriptor(fd_, POLLOUT, MsLeft(deadline));
        if (r == WaitResult::QuitRequested) break;
        if (r == WaitResult::Failed) QThread::msleep(1);
        Flush();
    }
    RequireOpen();
}

int NetworkPort::Unsent() const {
    int queued = 0;  // what the system holds and has not sent, when it says
#ifdef SIOCOUTQNSD
    if (fd_ < 0 || ::ioctl(fd_, SIOCOUTQNSD, &queued) != 0) queued = 0;
#endif
    return static_cast<int>(std::min<std::size_t>(out_.size() + static_cast<std::size_t>(queued),
                                                  std::numeric_limits<int>::max()));
}

int NetworkPort::Pull() {
    RequireOpen();
    ReadSocket();
    RequireOpen();
    return Waiting();
}

std::string NetworkPort::Take() {
    RequireOpen();
    if (in_.empty()) ReadSocket();
    std::string out;
    out.swap(in_);
    return out;
}

int NetworkPort::WaitFor(int count, milliseconds timeout) {
    const auto deadline = Clock::now() + std::max(timeout, milliseconds(0));
    Pull();
    while (Waiting() < count && MsLeft(deadline) > 0) {
        const short events = POLLIN | (out_.empty() ? 0 : POLLOUT);
        const WaitResult r = WaitForDescriptor(fd_, events, MsLeft(deadline));
        if (r == WaitResult::QuitRequested) break;
        // A poll that fails must not turn the wait into a spin.
        if (r == WaitResult::Failed) QThread::msleep(1);
        ReadSocket();
        RequireOpen();
    }
    return Waiting();
}

namespace {

std::string TargetKey(const PortTarget& target) {
    return std::to_string(static_cast<int>(target.kind)) + target.host + ":" +
           std::to_string(target.port);
}

struct Parked {
    std::string key;
    ProbedConnection connection;
    Clock::time_point at;
};
std::mutex parkedMutex;
std::optional<Parked> parked;

void DropParkedLocked() {
    if (parked) ::close(parked->connection.fd);
    parked.reset();
}

}  // namespace

std::optional<ProbedConnection> ProbeNetworkPort(const PortTarget& target, milliseconds timeout) {
    int fd = -1;
    try {
        fd = ConnectTo(target, timeout, {});
    } catch (const CatError&) {
        return std::nullopt;
    }
    // ser2net takes the connection even when it cannot open its serial device, says so and
    // hangs up at once: only a connection that stays up counts.
    std::string received;
    const auto deadline = Clock::now() + kStaysUp;
    bool up = true;
    while (up && MsLeft(deadline) > 0) {
        if (WaitForDescriptor(fd, POLLIN, MsLeft(deadline)) != WaitResult::Ready) continue;
        char buffer[512];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) received.append(buffer, static_cast<std::size_t>(n));
        up = n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
    }
    if (!up) {
        ::close(fd);
        return std::nullopt;
    }
    return ProbedConnection{fd, std::move(received)};
}

void KeepProbedConnection(const PortTarget& target, ProbedConnection connection) {
    std::lock_guard<std::mutex> lock(parkedMutex);
    DropParkedLocked();
    parked = Parked{TargetKey(target), std::move(connection), Clock::now()};
}

std::optional<ProbedConnection> TakeProbedConnection(const PortTarget& target) {
    std::lock_guard<std::mutex> lock(parkedMutex);
    if (!parked) return std::nullopt;
    if (parked->key != TargetKey(target) || Clock::now() - parked->at > kProbedConnectionKept) {
        DropParkedLocked();
        return std::nullopt;
    }
    ProbedConnection taken = std::move(parked->connection);
    parked.reset();
    return taken;
}

void DiscardProbedConnection() {
    std::lock_guard<std::mutex> lock(parkedMutex);
    DropParkedLocked();
}

}  // namespace cat
