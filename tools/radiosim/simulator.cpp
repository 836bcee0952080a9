#include "tools/radiosim/simulator.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#ifdef __linux__
#include <sys/inotify.h>
#endif

#include "tools/radiosim/line.h"
#include "tools/radiosim/port_setting.h"
#include "tools/radiosim/report_time.h"
#include "tools/radiosim/text.h"

namespace radiosim {
namespace {

// Nobody reads the pty past this much; a radio does not wait for the computer either.
constexpr std::size_t kMaxPending = 64 * 1024;

// How often the line settings are looked at while a client has the pty open: a client may change
// them without sending anything, and a pty tells nobody.
constexpr int kLineCheckMs = 200;

volatile sig_atomic_t g_signal_fd = -1;

void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    if (g_signal_fd >= 0) (void)!::write(g_signal_fd, &byte, 1);
    errno = saved;
}

void SetRaw(int fd) {
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return;
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &tio);
}

void SetFlags(int fd, int flags) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | flags);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

[[noreturn]] void Fail(const std::string& problem) { throw SetupFailure{problem}; }

std::string Reason() { return std::strerror(errno); }

}  // namespace

Simulator::Simulator(const Options& options)
    : options_(options),
      silent_(options.silent),
      garble_(options.garble),
      delay_(options.delay_ms),
      radio_(options.radio, options.tuning, *this) {}

Simulator::~Simulator() {
    RemoveLink();
    for (int fd :
         {master_, held_slave_, watch_, signal_pipe_[0], signal_pipe_[1], listen_fd_, client_fd_}) {
        if (fd >= 0) ::close(fd);
    }
}

void Simulator::Setup() {
    if (Flrig()) {
        Listen(options_.flrig_host, options_.flrig_port);
        if (options_.com != 0) {
            const std::string failure =
                WritePortSetting(options_.settings, options_.com, "flrig://" + address_);
            if (!failure.empty()) Fail(failure);
        }
        InstallSignals();
        Line("flrig " + address_, true);
        if (options_.keyed) radio_.Key(KeySource::kHand, true);
        return;
    }
    if (Network()) {
        Listen(options_.rfc2217_host, options_.rfc2217_port);
        if (options_.com != 0) {
            const std::string failure =
                WritePortSetting(options_.settings, options_.com, "rfc2217://" + address_);
            if (!failure.empty()) Fail(failure);
        }
        InstallSignals();
        Line("rfc2217 " + address_, true);
        if (options_.keyed) radio_.Key(KeySource::kHand, true);
        return;
    }
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        Fail("cannot create a pseudo-terminal: " + Reason());
    }
    const char* name = ::ptsname(master_);
    if (name == nullptr) Fail("cannot name the pty: " + Reason());
    pty_path_ = name;
    SetFlags(master_, O_NONBLOCK);
    OpenHeldSlave();
    WatchClients();

    if (!options_.link.empty()) MakeLink();
    if (options_.com != 0) {
        const std::string failure = WritePortSetting(options_.settings, options_.com, pty_path_);
        if (!failure.empty()) Fail(failure);
    }
    InstallSignals();
    // What the pty starts with is no change to report.
    if (termios settings{}; ::tcgetattr(held_slave_, &settings) == 0) {
        line_text_ = LineText(settings);
        client_baud_ = Baud(settings);
    }
    Line("pty " + pty_path_, true);
    if (options_.keyed) radio_.Key(KeySource::kHand, true);
}

void Simulator::Listen(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const int failed = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    if (failed != 0 || found == nullptr) {
        Fail("cannot find the address " + host + ": " + ::gai_strerror(failed));
    }
    sockaddr_in address{};
    std::memcpy(&address, found->ai_addr, sizeof address);
    ::freeaddrinfo(found);
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0) Fail("cannot make a socket: " + Reason());
    const int on = 1;
    ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    socklen_t size = sizeof address;
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listen_fd_, 4) != 0 ||
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        Fail("cannot listen on " + host + ":" + std::to_string(port) + ": " + Reason());
    }
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    address_ = std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

void Simulator::Accept() {
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (client_fd_ >= 0) {
        // One client at a time, as a serial port has one owner; the second hears why.
        static constexpr std::string_view kBusy = "Port already in use by another connection\r\n";
        (void)!::send(fd, kBusy.data(), kBusy.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::close(fd);
        Warn("a second connection was turned away");
        return;
    }
    client_fd_ = fd;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (Flrig()) {
        flrig_.emplace(radio_, *this);
        flrig_->SetTransceiver(!silent_);
        TimedLine("open");
        return;
    }
    server_.emplace(*this);
    outgoing_ = server_->Greeting();
    held_.clear();
    // The line of a port just opened: its default settings, CTS and DSR from the radio, and DTR
    // and RTS raised at once, as an operating system raises them when a program opens a port.
    server_->SetModemLines(!options_.cts_low, true, false);
    line_text_ = ComPortLineText(server_->line());
    client_baud_ = server_->line().baud;
    TimedLine("open");
    TimedLine("line " + line_text_);
    ControlLinesChanged();
}

void Simulator::ReadClient() {
    char buffer[4096];
    // A client that floods must not keep standard input and the answers waiting.
    for (std::size_t taken = 0; client_fd_ >= 0 && taken < kMaxPending;) {
        const ssize_t got = ::recv(client_fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got > 0) {
            taken += static_cast<std::size_t>(got);
            const std::string_view bytes(buffer, static_cast<std::size_t>(got));
            if (flrig_) {
                flrig_->Receive(bytes);
                continue;
            }
            server_->Receive(bytes);
            CheckNetworkLine();
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        Disconnect();
    }
}

void Simulator::Disconnect() {
    if (client_fd_ < 0) return;
    ::close(client_fd_);
    client_fd_ = -1;
    server_.reset();
    outgoing_.clear();
    held_.clear();
    TimedLine("close");
    if (flrig_) {
        // No serial port behind it: no lines to drop.
        flrig_.reset();
        return;
    }
    // Closing a port drops both lines, and with them a transmitter wired to one.
    TimedLine("lines dtr off rts off");
    WirePtt(false, false);
}

void Simulator::SerialData(std::string_view bytes) {
    // A setting made just before these bytes applies to them, and is reported before them.
    CheckNetworkLine();
    if (options_.cts_low && server_->line().hardware_flow) {
        // CTS low stops a UART that obeys it: the bytes wait at the port server.
        if (held_.size() + bytes.size() > kMaxPending) {
            Warn("CTS holds more than the port server keeps; dropped " +
                 std::to_string(bytes.size()) + " bytes");
            return;
        }
        held_.append(bytes);
        return;
    }
    Received(bytes);
}

void Simulator::CheckNetworkLine() {
    if (!server_) return;
    const ComPortLine& line = server_->line();
    client_baud_ = line.baud;
    std::string text = ComPortLineText(line);
    if (text != line_text_) {
        TimedLine("line " + text);
        // Flow control taking RTS over, or giving it back, moves it as a level change would.
        if (line.hardware_flow != line_text_.ends_with("rtscts") && !line_text_.empty())
            WirePtt(line.dtr, RtsLevel(line));
    }
    line_text_ = std::move(text);
    if (!held_.empty() && !(options_.cts_low && line.hardware_flow)) {
        Received(std::exchange(held_, {}));
    }
}

void Simulator::ControlLinesChanged() {
    // Settings the client made before this change are reported before it.
    CheckNetworkLine();
    const ComPortLine& line = server_->line();
    TimedLine(std::string("lines dtr ") + (line.dtr ? "on" : "off") + " rts " +
              (RtsLevel(line) ? "on" : "off"));
    WirePtt(line.dtr, RtsLevel(line));
}

// Under RTS/CTS flow control the port's UART holds RTS up while it can take bytes, whatever
// level the client last asked for.
bool Simulator::RtsLevel(const ComPortLine& line) { return line.rts || line.hardware_flow; }

void Simulator::WirePtt(bool dtr, bool rts) {
    if (!options_.ptt_line) return;
    radio_.Key(*options_.ptt_line, *options_.ptt_line == KeySource::kRts ? rts : dtr);
}

void Simulator::InstallSignals() {
    if (::pipe(signal_pipe_) != 0) Fail("pipe: " + Reason());
    SetFlags(signal_pipe_[0], O_NONBLOCK);
    SetFlags(signal_pipe_[1], O_NONBLOCK);
    g_signal_fd = signal_pipe_[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
    // A reader that went away, or a background job that touches its terminal, must not stop
    // the radio.
    for (int signal : {SIGPIPE, SIGTTIN, SIGTTOU}) ::signal(signal, SIG_IGN);
}

void Simulator::Run() {
    bool stdin_open = true;
    for (;;) {
        pollfd fds[5] = {
            {signal_pipe_[0], POLLIN, 0},
            {PortFd(), static_cast<short>(POLLIN | (outgoing_.empty() ? 0 : POLLOUT)), 0},
            {stdin_open ? STDIN_FILENO : -1, POLLIN, 0},
            {watch_, POLLIN, 0},
            {listen_fd_, POLLIN, 0},
        };
        if (::poll(fds, 5, Timeout()) < 0) {
            if (errno == EINTR) continue;
            Fail("poll: " + Reason());
        }
        if (fds[0].revents != 0) return;
        // Before the bytes: a client's open is reported ahead of what it sends.
        if (fds[3].revents != 0) ReadClientEvents();
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (Network()) {
                ReadClient();
            } else {
                ReadPty();
            }
        }
        // After the reads: a client that closed and came back is taken on its new connection.
        if (fds[4].revents != 0) Accept();
        if (fds[2].revents != 0) stdin_open = ReadControl();
        if (clients_ > 0) CheckLine(false);
        ReleaseDue();
        Flush();
    }
}

void Simulator::Transmit(std::string bytes) {
    // Behind flrig the radio's own bytes reach flrig, not the client.
    if (silent_ || Stopped() || Flrig()) return;
    if (garble_) {
        for (char& c : bytes) c = static_cast<char>(Noise());
    }
    if (WrongSpeed()) bytes = Resample(bytes, options_.speed, client_baud_);
    if (bytes.empty()) return;
    Schedule(Clock::now() + std::chrono::milliseconds(delay_), std::move(bytes), true);
    ReleaseDue();
}

void Simulator::Answer(std::string bytes) {
    if (options_.split_ms == 0) {
        outgoing_ += bytes;
        return;
    }
    Schedule(Clock::now(), std::move(bytes), false);
    ReleaseDue();
}

void Simulator::Schedule(Clock::time_point due, std::string bytes, bool reported) {
    // A slow network or a busy server: the first half now, the rest a while later.
    if (options_.split_ms > 0 && bytes.size() > 1) {
        const std::size_t half = bytes.size() / 2;
        scheduled_.push_back({due, bytes.substr(0, half), reported});
        bytes.erase(0, half);
        due += std::chrono::milliseconds(options_.split_ms);
    }
    scheduled_.push_back({due, std::move(bytes), reported});
}

void Simulator::OpenHeldSlave() {
    // Our own descriptor on the slave keeps the pty alive while the client closes and reopens
    // it; without one the master reports a hangup on every poll.
    if (held_slave_ >= 0) ::close(held_slave_);
    held_slave_ = ::open(pty_path_.c_str(), O_RDWR | O_NOCTTY);
    if (held_slave_ < 0) Fail("cannot open " + pty_path_ + ": " + Reason());
    ::fcntl(held_slave_, F_SETFD, FD_CLOEXEC);
    SetRaw(held_slave_);
    // Flow control holding the line: a pty has no CTS wire, but its output can be stopped as a
    // UART stops when CTS falls, so nothing the client writes reaches the radio.
    if (options_.cts_low) ::tcflow(held_slave_, TCOOFF);
}

void Simulator::WatchClients() {
#ifdef __linux__
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && ::inotify_add_watch(watch_, pty_path_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
#endif
}

void Simulator::ReadClientEvents() {
#ifdef __linux__
    alignas(inotify_event) char buffer[4096];
    const ssize_t got = ::read(watch_, buffer, sizeof buffer);
    for (ssize_t at = 0; got > 0 && at < got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->mask & IN_OPEN) {
            ++clients_;
            TimedLine("open");
            CheckLine(true);
        }
        if (event->mask & IN_CLOSE) {
            if (clients_ > 0) --clients_;
            // A serial port library locks the tty for itself (TIOCEXCL) and unlocks it when it
            // closes; a client that crashed never does, and since our descriptor keeps the tty
            // alive, nobody but root could open it again.
            ::ioctl(held_slave_, TIOCNXCL);
            TimedLine("close");
        }
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
#endif
}

void Simulator::MakeLink() {
    const std::string& link = options_.link;
    struct stat info {};
    if (::lstat(link.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        Fail(link + " exists and is not a symlink; not replacing it");
    }
    const std::string temporary = link + ".radiosim-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(pty_path_.c_str(), temporary.c_str()) != 0 ||
        ::rename(temporary.c_str(), link.c_str()) != 0) {
        const std::string reason = Reason();
        ::unlink(temporary.c_str());
        Fail("cannot make the link " + link + ": " + reason);
    }
    link_made_ = true;
}

void Simulator::RemoveLink() {
    if (!link_made_) return;
    // Only our own link: someone may have pointed the name elsewhere meanwhile.
    char target[4096];
    const ssize_t size = ::readlink(options_.link.c_str(), target, sizeof target - 1);
    if (size >= 0 && std::string_view(target, static_cast<std::size_t>(size)) == pty_path_) {
        ::unlink(options_.link.c_str());
    }
    link_made_ = false;
}

void Simulator::Line(const std::string& line, bool always) {
    if (options_.quiet && !always) return;
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Simulator::TimedLine(const std::string& line) {
    Line(line + TimeSuffix(std::chrono::duration<double>(Clock::now() - started_).count()));
}

void Simulator::ReadPty() {
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got > 0) {
            hangups_ = 0;
            CheckLine(false);
            Received(std::string_view(buffer, static_cast<std::size_t>(got)));
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EAGAIN) return;
        // A hangup although we hold the slave: someone revoked it. Take a fresh hold once; a
        // second hangup in a row would only spin.
        if (++hangups_ > 1) Fail("the pty " + pty_path_ + " was hung up");
        OpenHeldSlave();
        return;
    }
}

void Simulator::Received(std::string_view bytes) {
    Line("rx " + Hex(bytes));
    // The bus returns every byte to its sender before the radio can answer.
    if (options_.echo || options_.echo_only) Deliver(bytes);
    if (options_.echo_only) return;
    if (!commanded_) {
        commanded_ = true;
        first_command_ = Clock::now();
    }
    if (WrongSpeed()) {
        radio_.Receive(Resample(bytes, client_baud_, options_.speed));
    } else {
        radio_.Receive(bytes);
    }
}

void Simulator::Deliver(std::string_view bytes) {
    if (!Network()) {
        outgoing_.append(bytes);
    } else if (server_) {
        outgoing_ += server_->EncodeData(bytes);
    } else if (flrig_) {
        outgoing_.append(bytes);  // 'send': bytes a test puts on the connection as they are
    }
    // A network port with nobody connected: what the radio sends is lost, as at a port server
    // that reads its device only for a client.
}

bool Simulator::ReadControl() {
    char buffer[1024];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) return true;
    if (got <= 0) {
        if (!control_.empty()) Control(std::exchange(control_, {}));
        return false;
    }
    control_.append(buffer, static_cast<std::size_t>(got));
    for (std::size_t end; (end = control_.find('\n')) != std::string::npos;) {
        const std::string line = control_.substr(0, end);
        control_.erase(0, end + 1);
        Control(line);
    }
    if (control_.size() > 4096) {
        Warn("control line too long, dropped");
        control_.clear();
    }
    return true;
}

void Simulator::Control(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    if (line.empty() || line.front() == '#') return;
    const std::size_t space = line.find(' ');
    const std::string_view word = line.substr(0, space);
    std::string_view rest = space == std::string_view::npos ? "" : line.substr(space + 1);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);

    if (word == "freq") {
        const auto hz = ParseMegahertz(rest);
        if (!hz || !radio_.Tune(*hz)) Warn("freq takes megahertz, e.g. freq 7.074");
    } else if (word == "mode") {
        const Mode* mode = FindMode(rest);
        if (mode == nullptr || !radio_.SelectMode(*mode, radio_.tuning().filter)) {
            Warn("unknown mode '" + std::string(rest) + "' (" + ModeNames(radio_.model()) + ")");
        }
    } else if (word == "silent" && ParseOnOff(rest)) {
        silent_ = *ParseOnOff(rest);
        // Behind flrig, a silent radio is one flrig has lost.
        if (flrig_) flrig_->SetTransceiver(!silent_);
        Line("silent " + std::string(rest));
    } else if (word == "garble" && ParseOnOff(rest)) {
        garble_ = *ParseOnOff(rest);
        Line("garble " + std::string(rest));
    } else if (word == "delay" && ParseInt(rest, 0, 60'000)) {
        delay_ = *ParseInt(rest, 0, 60'000);
        Line("delay " + std::to_string(delay_));
    } else if (word == "send") {
        if (const auto bytes = ParseHexBytes(rest); bytes && !bytes->empty()) {
            // Exactly these bytes, past the fault switches: the test chose them.
            scheduled_.push_back({Clock::now(), *bytes});
        } else {
            Warn("send takes hexadecimal bytes, e.g. send fe fe e0 5e fb fd");
        }
    } else if (word == "key" && ParseOnOff(rest)) {
        // The operator's PTT button, VOX or a foot switch.
        radio_.Key(KeySource::kHand, *ParseOnOff(rest));
    } else if (word == "ping") {
        Line(rest.empty() ? "pong" : "pong " + std::string(rest));
    } else {
        Warn("unknown control line '" + std::string(line) + "'");
    }
}

void Simulator::Warn(const std::string& text) {
    std::fprintf(stderr, "radiosim: %s\n", text.c_str());
}

void Simulator::CheckLine(bool report_always) {
    // A client's settings may restart a stopped output; the radio keeps holding it.
    if (options_.cts_low) ::tcflow(held_slave_, TCOOFF);
    termios settings{};
    if (::tcgetattr(held_slave_, &settings) != 0) return;
    client_baud_ = Baud(settings);
    std::string text = LineText(settings);
    if (text != line_text_ || report_always) TimedLine("line " + text);
    line_text_ = std::move(text);
}

bool Simulator::Stopped() {
    if (stopped_ || options_.stop_after_ms < 0 || !commanded_) return stopped_;
    if (Clock::now() - first_command_ < std::chrono::milliseconds(options_.stop_after_ms)) {
        return false;
    }
    stopped_ = true;
    Line("stopped");
    return true;
}

int Simulator::Timeout() const {
    if (scheduled_.empty()) return clients_ > 0 ? kLineCheckMs : -1;
    const auto wait = scheduled_.front().due - Clock::now();
    if (wait <= Clock::duration::zero()) return 0;
    // Round up, or poll wakes a little early and goes round once more for nothing.
    const auto ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
    return clients_ > 0 && ms > kLineCheckMs ? kLineCheckMs : ms;
}

void Simulator::ReleaseDue() {
    const auto now = Clock::now();
    // In order of scheduling: a later answer never overtakes an earlier one.
    while (!scheduled_.empty() && scheduled_.front().due <= now) {
        const std::string& bytes = scheduled_.front().bytes;
        if (outgoing_.size() + bytes.size() > kMaxPending) {
            Warn("nobody reads the pty; dropped " + std::to_string(bytes.size()) + " bytes");
        } else {
            if (scheduled_.front().reported) Line("tx " + Hex(bytes));
            Deliver(bytes);
        }
        scheduled_.pop_front();
    }
}

void Simulator::Flush() {
    while (!outgoing_.empty() && PortFd() >= 0) {
        const ssize_t wrote = Network() ? ::send(client_fd_, outgoing_.data(), outgoing_.size(),
                                                 MSG_NOSIGNAL | MSG_DONTWAIT)
                                        : ::write(master_, outgoing_.data(), outgoing_.size());
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote < 0 && Network() && errno != EAGAIN && errno != EWOULDBLOCK) {
            Disconnect();  // the client went away
            return;
        }
        if (wrote <= 0) return;  // full: poll tells when there is room
        outgoing_.erase(0, static_cast<std::size_t>(wrote));
    }
}

std::uint8_t Simulator::Noise() {
    // Fixed seed: a failing test sees the same noise on every run.
    for (;;) {
        noise_ ^= noise_ << 13;
        noise_ ^= noise_ >> 17;
        noise_ ^= noise_ << 5;
        const auto byte = static_cast<std::uint8_t>(noise_ >> 11);
        if (byte != 0xFD && byte != 0xFE && byte != ';') return byte;
    }
}

}  // namespace radiosim
