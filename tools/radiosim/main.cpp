// radiosim: a virtual transceiver on a pseudo-terminal. Run with --help for the whole story.

#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#ifdef __linux__
#include <sys/inotify.h>
#endif

#include "tools/radiosim/port_setting.h"
#include "tools/radiosim/radio.h"

namespace radiosim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kHelp = R"(Usage: catlink-radiosim [OPTION]...
A virtual transceiver on a pseudo-terminal: open the pty it names as a serial
port and it answers like an ICOM (CI-V), Kenwood or FT-817 radio.

Radio:
  --protocol icom|kenwood|ft817   command language (default icom)
  --address HH      CI-V address in hexadecimal, icom only (default 5E)
  --freq MHZ        starting frequency in MHz, '.' as decimal point (default 14.074)
  --mode NAME       starting mode (default USB); one of
                    LSB USB CW CW-R AM FM WFM FSK FSK-R PKT
  --echo            repeat every received byte back at once, before any answer,
                    as a one-wire CI-V bus does (works with every protocol)
  --transceive      icom: announce every new frequency (command 00) and mode
                    (command 01) to address 00, FE FE 00 <addr> 00|01 ... FD

Faults, for tests:
  --silent          never transmit: set commands still take effect and are
                    reported, but no answer, acknowledgement or announcement
                    leaves the radio (a broken wire towards the computer);
                    --echo still echoes, since the bus does that, not the radio
  --garble          replace every answer by noise of the same length, as a wrong
                    line speed would; the noise never holds FD, FE or ';', so it
                    never forms a frame or ends a reply
  --delay MS        hold every answer back MS milliseconds (echo is not held)

Where the program finds it:
  --link PATH       make PATH a symlink to the pty (replaced if it is a symlink,
                    refused if it is anything else); removed again at exit
  --com N           write Ports/ComN=<pty> into the program's settings, so that
                    "Com N" in its port list opens the pty (N = 1..32)
  --settings FILE   the INI file for --com (default $XDG_CONFIG_HOME/CAT/CAT.ini
                    or ~/.config/CAT/CAT.ini); every other line is kept, the
                    file and its folders are created when missing
  --quiet           print only the first line (pty ...), no events
  -h, --help        show this text

Standard output, one line per event, flushed at once:
  pty PATH          always the first line, once the pty, --link and --com are ready
  rx HEX            bytes read from the pty, one line per read, e.g.
                    rx fe fe 5e e0 03 fd 00   (a command may span several lines)
  tx HEX            bytes the radio transmits (answers, FB/FA, announcements,
                    noise, 'send' lines), when they are written; echoed bytes
                    are not listed
  freq HZ           the frequency was set (by a command or a control line), in Hz
  mode NAME         the mode was set, e.g. mode CW
  open, close       a client opened or closed the pty (Linux)
  silent on|off, garble on|off, delay MS, pong [TEXT]
                    answers to the control lines below
Set commands report freq/mode every time they are accepted, even when the value
does not change. Errors and warnings go to standard error.

Control lines on standard input (end of input is not a reason to stop):
  freq MHZ          tune, as if the operator turned the dial, e.g. freq 7.074
  mode NAME         select a mode, e.g. mode CW
  silent on|off     garble on|off     delay MS      switch the faults above
  send HEX...       transmit these bytes as they are, e.g. send fe fe e0 5e fb fd
  ping [TEXT]       answer pong [TEXT]: everything read before has been handled
Lines that are empty or start with # are skipped.

What the radio answers:
  icom     03 -> FE FE <from> <addr> 03 <5 BCD bytes, least significant first> FD
           04 -> FE FE <from> <addr> 04 <mode> <filter> FD
           05 <4|5 BCD bytes>, 06 <mode> [<filter 1..3>] -> FB; anything else,
           or a bad value -> FA. Frames for other addresses are ignored, bytes
           between frames (such as a 00 after each frame) are skipped.
           Modes: 00 LSB 01 USB 02 AM 03 CW 04 FSK 05 FM 06 WFM 07 CW-R 08 FSK-R
           (11, synchronous AM, is taken as AM). Replies go to the address the
           command came from.
  kenwood  IF; FA; MD; ID; (ID019;) PS; (PS1;) AI; (AI0;) are answered;
           FA<11 digits>; MD<digit>; AI0; are taken without answer; anything
           else -> ?;  Mode digits: 1 LSB 2 USB 3 CW 4 FM 5 AM 6 FSK 7 CW-R 9 FSK-R.
           The IF reply is IF, 11 frequency digits, 0000+00000000000, the mode
           digit, 0000000 and ';' (38 characters).
  ft817    five-byte commands P1 P2 P3 P4 opcode, counted from the first byte:
           03 -> 4 BCD bytes of 10 Hz, most significant first, and the mode byte;
           01 sets the frequency from P1..P4, 07 the mode from P1; E7 -> 00,
           F7 -> FF, BB -> 00 00; other opcodes are ignored.
           Modes: 00 LSB 01 USB 02 CW 03 CW-R 04 AM 06 WFM 08 FM 0A FSK 0C PKT.
  A mode a protocol has no code for reads back as its nearest one (PKT as USB
  on icom and kenwood, WFM as FM on kenwood, FSK-R as 0A on ft817).

Notes:
  Frequencies run from 0 to below 10 GHz (icom, kenwood) or 1 GHz (ft817, which
  tunes in 10 Hz steps). 'send' lines ignore the silent, garble and delay faults.
  Keep reading standard output, or use --quiet or send it to /dev/null: a full
  pipe stalls the radio. The line speed is not simulated (a pty has none).
  The ComN entry stays in the settings after exit; the next run rewrites it.

It stops cleanly on SIGTERM, SIGINT or SIGHUP. Exit status: 0 after a signal,
1 when the pty, the link or the settings cannot be set up, 2 for a bad option.
)";

constexpr std::size_t kMaxPending = 64 * 1024;

struct Options {
    Radio::Config radio;
    Tuning tuning;
    bool echo = false;
    bool silent = false;
    bool garble = false;
    int delay_ms = 0;
    bool quiet = false;
    std::string link;
    std::string settings;
    int com = 0;
};

volatile sig_atomic_t g_signal_fd = -1;

void OnSignal(int) {
    const int saved = errno;
    const char byte = 1;
    if (g_signal_fd >= 0) (void)!::write(g_signal_fd, &byte, 1);
    errno = saved;
}

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (!out.empty()) out.push_back(' ');
        out.push_back(kDigits[byte >> 4]);
        out.push_back(kDigits[byte & 15]);
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "fe fe e0 5e fb fd" or "fefee05efbfd".
std::optional<std::string> ParseHexBytes(std::string_view text) {
    std::string out;
    int high = -1;
    for (char c : text) {
        if (c == ' ' || c == '\t') {
            if (high >= 0) return std::nullopt;
            continue;
        }
        const int digit = HexDigit(c);
        if (digit < 0) return std::nullopt;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<char>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0) return std::nullopt;
    return out;
}

// Megahertz with '.' as decimal point, to whole hertz; never the locale's conversion.
std::optional<std::int64_t> ParseMegahertz(std::string_view text) {
    std::int64_t mhz = 0;
    std::int64_t fraction = 0;
    int whole_digits = 0;
    int fraction_digits = 0;
    std::size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (++whole_digits > 5) return std::nullopt;
        mhz = mhz * 10 + (text[i] - '0');
    }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (fraction_digits < 6) {
                fraction = fraction * 10 + (text[i] - '0');
                ++fraction_digits;
            } else if (text[i] != '0') {
                return std::nullopt;  // finer than 1 Hz
            }
        }
        if (fraction_digits == 0 && whole_digits == 0) return std::nullopt;
    }
    if (i != text.size() || (whole_digits == 0 && fraction_digits == 0)) return std::nullopt;
    for (; fraction_digits < 6; ++fraction_digits) fraction *= 10;
    return mhz * 1'000'000 + fraction;
}

std::optional<int> ParseInt(std::string_view text, int low, int high) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::optional<bool> ParseOnOff(std::string_view text) {
    if (text == "on") return true;
    if (text == "off") return false;
    return std::nullopt;
}

[[noreturn]] void Usage(const std::string& problem) {
    std::fprintf(stderr, "radiosim: %s\nTry 'catlink-radiosim --help'.\n", problem.c_str());
    std::exit(2);
}

Options ParseOptions(int argc, char** argv) {
    enum : int {
        kProtocol = 1000,
        kAddress,
        kFreq,
        kMode,
        kEcho,
        kTransceive,
        kSilent,
        kGarble,
        kDelay,
        kLink,
        kSettings,
        kCom,
        kQuiet
    };
    static const option kLong[] = {
        {"protocol", required_argument, nullptr, kProtocol},
        {"address", required_argument, nullptr, kAddress},
        {"freq", required_argument, nullptr, kFreq},
        {"mode", required_argument, nullptr, kMode},
        {"echo", no_argument, nullptr, kEcho},
        {"transceive", no_argument, nullptr, kTransceive},
        {"silent", no_argument, nullptr, kSilent},
        {"garble", no_argument, nullptr, kGarble},
        {"delay", required_argument, nullptr, kDelay},
        {"link", required_argument, nullptr, kLink},
        {"settings", required_argument, nullptr, kSettings},
        {"com", required_argument, nullptr, kCom},
        {"quiet", no_argument, nullptr, kQuiet},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    Options options;
    std::string freq_text = "14.074";
    std::string mode_text = "USB";
    int choice;
    while ((choice = getopt_long(argc, argv, "h", kLong, nullptr)) != -1) {
        const std::string_view arg = optarg != nullptr ? optarg : "";
        switch (choice) {
            case 'h':
                std::fputs(kHelp, stdout);
                std::exit(0);
            case kProtocol:
                if (arg == "icom") {
                    options.radio.protocol = Protocol::kIcom;
                } else if (arg == "kenwood") {
                    options.radio.protocol = Protocol::kKenwood;
                } else if (arg == "ft817") {
                    options.radio.protocol = Protocol::kFt817;
                } else {
                    Usage("unknown protocol '" + std::string(arg) + "' (icom, kenwood or ft817)");
                }
                break;
            case kAddress: {
                std::string_view digits = arg;
                if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
                    digits.remove_prefix(2);
                if (digits.size() == 1) {
                    // One digit is unambiguous.
                } else if (digits.size() != 2) {
                    Usage("the address is one or two hexadecimal digits, e.g. 5E");
                }
                int value = 0;
                for (char c : digits) {
                    const int digit = HexDigit(c);
                    if (digit < 0) Usage("the address is one or two hexadecimal digits, e.g. 5E");
                    value = value * 16 + digit;
                }
                options.radio.address = static_cast<std::uint8_t>(value);
                break;
            }
            case kFreq:
                freq_text = arg;
                break;
            case kMode:
                mode_text = arg;
                break;
            case kEcho:
                options.echo = true;
                break;
            case kTransceive:
                options.radio.transceive = true;
                break;
            case kSilent:
                options.silent = true;
                break;
            case kGarble:
                options.garble = true;
                break;
            case kDelay: {
                const auto value = ParseInt(arg, 0, 60'000);
                if (!value) Usage("--delay takes milliseconds, 0 to 60000");
                options.delay_ms = *value;
                break;
            }
            case kLink:
                options.link = arg;
                break;
            case kSettings:
                options.settings = arg;
                break;
            case kCom: {
                const auto value = ParseInt(arg, 1, 32);
                if (!value) Usage("--com takes a port number from 1 to 32");
                options.com = *value;
                break;
            }
            case kQuiet:
                options.quiet = true;
                break;
            default:
                Usage("unknown option");
        }
    }
    if (optind < argc) Usage("unexpected argument '" + std::string(argv[optind]) + "'");

    const auto hz = ParseMegahertz(freq_text);
    if (!hz || *hz >= Radio::Limit(options.radio.protocol)) {
        Usage("--freq takes megahertz below " +
              std::to_string(Radio::Limit(options.radio.protocol) / 1'000'000) + ", e.g. 14.074");
    }
    options.tuning.hz = *hz;
    options.tuning.mode = FindMode(mode_text);
    if (options.tuning.mode == nullptr) {
        Usage("unknown mode '" + mode_text + "' (" + ModeNames() + ")");
    }
    if (!options.settings.empty() && options.com == 0) Usage("--settings needs --com N");
    if (options.com != 0 && options.settings.empty()) options.settings = DefaultSettingsFile();
    return options;
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

// Thrown rather than exiting, so the link made so far is removed on the way out.
struct SetupFailure {
    std::string problem;
};

[[noreturn]] void Fail(const std::string& problem) { throw SetupFailure{problem}; }

class Simulator final : public Radio::Listener {
public:
    explicit Simulator(const Options& options)
        : options_(options),
          silent_(options.silent),
          garble_(options.garble),
          delay_(options.delay_ms),
          radio_(options.radio, options.tuning, *this) {}

    ~Simulator() override {
        if (link_made_) {
            // Only our own link: someone may have pointed the name elsewhere meanwhile.
            char target[4096];
            const ssize_t size = ::readlink(options_.link.c_str(), target, sizeof target - 1);
            if (size >= 0 &&
                std::string_view(target, static_cast<std::size_t>(size)) == pty_path_) {
                ::unlink(options_.link.c_str());
            }
        }
        for (int fd : {master_, held_slave_, watch_, signal_pipe_[0], signal_pipe_[1]}) {
            if (fd >= 0) ::close(fd);
        }
    }

    void Setup() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
            Fail(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
        }
        const char* name = ::ptsname(master_);
        if (name == nullptr) Fail(std::string("cannot name the pty: ") + std::strerror(errno));
        pty_path_ = name;
        SetFlags(master_, O_NONBLOCK);
        OpenHeldSlave();
        WatchClients();

        if (!options_.link.empty()) MakeLink();
        if (options_.com != 0) {
            const std::string failure =
                WritePortSetting(options_.settings, options_.com, pty_path_);
            if (!failure.empty()) Fail(failure);
        }

        if (::pipe(signal_pipe_) != 0) Fail(std::string("pipe: ") + std::strerror(errno));
        SetFlags(signal_pipe_[0], O_NONBLOCK);
        SetFlags(signal_pipe_[1], O_NONBLOCK);
        g_signal_fd = signal_pipe_[1];
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
        // A reader that went away, or a background job that touches its terminal, must not
        // stop the radio.
        for (int signal : {SIGPIPE, SIGTTIN, SIGTTOU}) ::signal(signal, SIG_IGN);

        Line("pty " + pty_path_, true);
    }

    void Run() {
        bool stdin_open = true;
        for (;;) {
            pollfd fds[4] = {
                {signal_pipe_[0], POLLIN, 0},
                {master_, static_cast<short>(POLLIN | (outgoing_.empty() ? 0 : POLLOUT)), 0},
                {stdin_open ? STDIN_FILENO : -1, POLLIN, 0},
                {watch_, POLLIN, 0},
            };
            if (::poll(fds, 4, Timeout()) < 0) {
                if (errno == EINTR) continue;
                Fail(std::string("poll: ") + std::strerror(errno));
            }
            if (fds[0].revents != 0) return;
            // Before the bytes: a client's open is reported ahead of what it sends.
            if (fds[3].revents != 0) ReadClientEvents();
            if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) ReadPty();
            if (fds[2].revents != 0) stdin_open = ReadControl();
            ReleaseDue();
            Flush();
        }
    }

    // Radio::Listener
    void Transmit(std::string bytes) override {
        if (silent_) return;
        if (garble_) {
            for (char& c : bytes) c = static_cast<char>(Noise());
        }
        scheduled_.push_back({Clock::now() + std::chrono::milliseconds(delay_), std::move(bytes)});
        ReleaseDue();
    }

    void Report(std::string line) override { Line(line); }

private:
    struct Pending {
        Clock::time_point due;
        std::string bytes;
    };

    void OpenHeldSlave() {
        // Our own descriptor on the slave keeps the pty alive while the client closes and
        // reopens it; without one the master reports a hangup on every poll.
        if (held_slave_ >= 0) ::close(held_slave_);
        held_slave_ = ::open(pty_path_.c_str(), O_RDWR | O_NOCTTY);
        if (held_slave_ < 0) Fail("cannot open " + pty_path_ + ": " + std::strerror(errno));
        ::fcntl(held_slave_, F_SETFD, FD_CLOEXEC);
        SetRaw(held_slave_);
    }

    void WatchClients() {
#ifdef __linux__
        watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (watch_ >= 0 && ::inotify_add_watch(watch_, pty_path_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
            ::close(watch_);
            watch_ = -1;
        }
#endif
    }

    void ReadClientEvents() {
#ifdef __linux__
        alignas(inotify_event) char buffer[4096];
        const ssize_t got = ::read(watch_, buffer, sizeof buffer);
        for (ssize_t at = 0; got > 0 && at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->mask & IN_OPEN) Line("open");
            if (event->mask & IN_CLOSE) {
                // A serial port library locks the tty for itself (TIOCEXCL) and unlocks it when
                // it closes; a client that crashed never does, and since our descriptor keeps
                // the tty alive, nobody but root could open it again.
                ::ioctl(held_slave_, TIOCNXCL);
                Line("close");
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
#endif
    }

    void MakeLink() {
        const std::string& link = options_.link;
        struct stat info {};
        if (::lstat(link.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
            Fail(link + " exists and is not a symlink; not replacing it");
        }
        const std::string temporary = link + ".radiosim-" + std::to_string(::getpid());
        ::unlink(temporary.c_str());
        if (::symlink(pty_path_.c_str(), temporary.c_str()) != 0 ||
            ::rename(temporary.c_str(), link.c_str()) != 0) {
            const std::string reason = std::strerror(errno);
            ::unlink(temporary.c_str());
            Fail("cannot make the link " + link + ": " + reason);
        }
        link_made_ = true;
    }

    void Line(const std::string& line, bool always = false) {
        if (options_.quiet && !always) return;
        std::fputs(line.c_str(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
    }

    void ReadPty() {
        char buffer[4096];
        for (;;) {
            const ssize_t got = ::read(master_, buffer, sizeof buffer);
            if (got > 0) {
                hangups_ = 0;
                const std::string_view bytes(buffer, static_cast<std::size_t>(got));
                Line("rx " + Hex(bytes));
                // The bus returns every byte to its sender before the radio can answer.
                if (options_.echo) outgoing_.append(bytes);
                radio_.Receive(bytes);
                continue;
            }
            if (got < 0 && errno == EINTR) continue;
            if (got < 0 && errno == EAGAIN) return;
            // A hangup although we hold the slave: someone revoked it. Take a fresh hold once;
            // a second hangup in a row would only spin.
            if (++hangups_ > 1) Fail("the pty " + pty_path_ + " was hung up");
            OpenHeldSlave();
            return;
        }
    }

    // False once standard input has ended.
    bool ReadControl() {
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

    void Control(std::string_view line) {
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
            if (const Mode* mode = FindMode(rest)) {
                radio_.SelectMode(*mode, radio_.tuning().filter);
            } else {
                Warn("unknown mode '" + std::string(rest) + "' (" + ModeNames() + ")");
            }
        } else if (word == "silent" && ParseOnOff(rest)) {
            silent_ = *ParseOnOff(rest);
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
        } else if (word == "ping") {
            Line(rest.empty() ? "pong" : "pong " + std::string(rest));
        } else {
            Warn("unknown control line '" + std::string(line) + "'");
        }
    }

    void Warn(const std::string& text) { std::fprintf(stderr, "radiosim: %s\n", text.c_str()); }

    int Timeout() const {
        if (scheduled_.empty()) return -1;
        const auto wait = scheduled_.front().due - Clock::now();
        if (wait <= Clock::duration::zero()) return 0;
        // Round up, or poll wakes a little early and goes round once more for nothing.
        return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
    }

    void ReleaseDue() {
        const auto now = Clock::now();
        // In order of scheduling: a later answer never overtakes an earlier one.
        while (!scheduled_.empty() && scheduled_.front().due <= now) {
            const std::string& bytes = scheduled_.front().bytes;
            if (outgoing_.size() + bytes.size() > kMaxPending) {
                // Nobody reads the pty; a radio does not wait for the computer either.
                Warn("nobody reads the pty; dropped " + std::to_string(bytes.size()) + " bytes");
            } else {
                Line("tx " + Hex(bytes));
                outgoing_.append(bytes);
            }
            scheduled_.pop_front();
        }
    }

    void Flush() {
        while (!outgoing_.empty()) {
            const ssize_t wrote = ::write(master_, outgoing_.data(), outgoing_.size());
            if (wrote < 0 && errno == EINTR) continue;
            if (wrote <= 0) return;  // full: poll tells when there is room
            outgoing_.erase(0, static_cast<std::size_t>(wrote));
        }
    }

    std::uint8_t Noise() {
        // Fixed seed: a failing test sees the same noise on every run.
        for (;;) {
            noise_ ^= noise_ << 13;
            noise_ ^= noise_ >> 17;
            noise_ ^= noise_ << 5;
            const auto byte = static_cast<std::uint8_t>(noise_ >> 11);
            if (byte != 0xFD && byte != 0xFE && byte != ';') return byte;
        }
    }

    const Options& options_;
    bool silent_;
    bool garble_;
    int delay_;
    Radio radio_;
    std::string pty_path_;
    int master_ = -1;
    int held_slave_ = -1;
    int watch_ = -1;  // client opens and closes of the pty
    int signal_pipe_[2] = {-1, -1};
    bool link_made_ = false;
    int hangups_ = 0;
    std::string control_;
    std::deque<Pending> scheduled_;
    std::string outgoing_;
    std::uint32_t noise_ = 0x2545F491;
};

}  // namespace
}  // namespace radiosim

int main(int argc, char** argv) {
    const radiosim::Options options = radiosim::ParseOptions(argc, argv);
    try {
        radiosim::Simulator simulator(options);
        simulator.Setup();
        simulator.Run();
    } catch (const radiosim::SetupFailure& failure) {
        std::fprintf(stderr, "radiosim: %s\n", failure.problem.c_str());
        return 1;
    }
    return 0;
}
