// What only the radiosim process shows: the pty itself, clients coming and going, the link and
// the settings entry, signals, control lines, and the faults that happen at the pty (echo, delay,
// silence, noise, wrong speed, a radio that stops). The radio's answers themselves are tested in
// process (radio_test.cpp).

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/radiosim/hex.h"
#include "tests/radiosim/scratch.h"
#include "tests/support/radiosim_runner.h"

namespace radiosim {
namespace {

using cat::test::RadiosimRunner;
using test::Bytes;
using test::Hex;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How long a check for "nothing more arrives" watches, after radiosim was seen to handle the
// input in question.
constexpr auto kQuietSpell = 250ms;

const std::string kReadMode = Bytes("fe fe 5e e0 04 fd");
const std::string kModeUsb = Bytes("fe fe e0 5e 04 01 01 fd");

// The program's end of the pty.
class Client {
public:
    explicit Client(const std::string& path)
        : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    // A connection to radiosim's RFC 2217 port, "127.0.0.1:40123".
    static Client Connect(const std::string& address) {
        const std::size_t colon = address.rfind(':');
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<std::uint16_t>(std::stoi(address.substr(colon + 1))));
        ::inet_pton(AF_INET, address.substr(0, colon).c_str(), &to.sin_addr);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
            ::close(fd);
            return Client(-1);
        }
        return Client(fd);
    }
    Client(Client&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    ~Client() { Close(); }
    bool Open() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    void Send(const std::string& bytes) {
        ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // The next `count` bytes, or fewer if they do not come within the patience.
    std::string Receive(std::size_t count, std::chrono::milliseconds patience = 5000ms) {
        const auto deadline = Clock::now() + patience;
        while (got_.size() < count && Fill(deadline)) {
        }
        std::string out = got_.substr(0, count);
        got_.erase(0, out.size());
        return out;
    }
    // Whatever arrives within the quiet spell.
    std::string Leftover() {
        const auto deadline = Clock::now() + kQuietSpell;
        while (Fill(deadline)) {
        }
        return std::exchange(got_, {});
    }
    bool SetLine(speed_t speed, tcflag_t extra) {
        termios tio{};
        if (::tcgetattr(fd_, &tio) != 0) return false;
        ::cfmakeraw(&tio);
        tio.c_cflag = (tio.c_cflag & ~static_cast<tcflag_t>(CSTOPB | CRTSCTS)) | extra;
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        return ::tcsetattr(fd_, TCSANOW, &tio) == 0;
    }

private:
    explicit Client(int fd) : fd_(fd) {}
    bool Fill(Clock::time_point deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd fd{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
            return false;
        }
        char buffer[512];
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got > 0) got_.append(buffer, static_cast<std::size_t>(got));
        return got > 0;
    }
    int fd_;
    std::string got_;
};

#define START(sim)                                            \
    ASSERT_TRUE((sim).Started()) << "radiosim did not start"; \
    Client client((sim).PtyPath());                           \
    ASSERT_TRUE(client.Open()) << "cannot open " << (sim).PtyPath()

using test::Scratch;

// CPU ticks (user and system) the process has used.
long CpuTicks(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int index = 3; fields >> field && index <= 15; ++index) {
        if (index >= 14) ticks += std::stol(field);
    }
    return ticks;
}

// ---- The pty and its clients ---------------------------------------------------------------

TEST(RadiosimPty, IsRawAndPassesControlCharactersUnchanged) {
    RadiosimRunner sim({});
    START(sim);
    termios tio{};
    ASSERT_EQ(::tcgetattr(client.fd(), &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    // XOFF 13, XON 11 and ^C 03 in the data: a line discipline would eat or act on them.
    client.Send(Bytes("fe fe 5e e0 05 00 13 11 03 00 fd fe fe 5e e0 03 fd"));
    EXPECT_EQ(Hex(client.Receive(17)), "fe fe e0 5e fb fd fe fe e0 5e 03 00 13 11 03 00 fd");
    EXPECT_TRUE(sim.AwaitLine("freq 3111300")) << sim.Transcript();
}

TEST(RadiosimPty, ReportsClientsAndTheirLineAndUndoesAVanishedClientsLock) {
    RadiosimRunner sim({});
    START(sim);
    EXPECT_TRUE(sim.AwaitLine("open")) << sim.Transcript();
    ASSERT_TRUE(client.SetLine(B9600, CS8 | CSTOPB | CRTSCTS));
    EXPECT_TRUE(sim.AwaitLine("line 9600 8N2 rtscts")) << sim.Transcript();
    ASSERT_TRUE(client.SetLine(B4800, CS8 | CSTOPB));
    EXPECT_TRUE(sim.AwaitLine("line 4800 8N2 none")) << sim.Transcript();
    // A serial library's lock, never undone, as when the program crashes.
    ASSERT_EQ(::ioctl(client.fd(), TIOCEXCL), 0);
    client.Close();
    EXPECT_TRUE(sim.AwaitLine("close")) << sim.Transcript();
    ASSERT_TRUE(sim.Settle());
    Client again(sim.PtyPath());
    ASSERT_TRUE(again.Open());
    // A client that opens is told the line as it finds it.
    EXPECT_TRUE(sim.AwaitLine("line 4800 8N2 none")) << sim.Transcript();
    int exclusive = -1;
    ASSERT_EQ(::ioctl(again.fd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
}

TEST(RadiosimPty, IdlesWithoutClientOrInputAndAnswersTheNextClient) {
    RadiosimRunner sim({});
    START(sim);
    client.Close();
    sim.CloseControl();
    ASSERT_TRUE(sim.AwaitLine("close")) << sim.Transcript();
    // Closed client and ended input: a radio that spun on either would burn a whole core here.
    const long before = CpuTicks(sim.Pid());
    std::this_thread::sleep_for(500ms);
    const long used = CpuTicks(sim.Pid()) - before;
    EXPECT_LT(used, 10) << "ticks of CPU while idle: " << used;
    Client next(sim.PtyPath());
    ASSERT_TRUE(next.Open());
    next.Send(kReadMode);
    EXPECT_EQ(Hex(next.Receive(8)), Hex(kModeUsb));
}

// ---- Where the program finds it, and how it stops ------------------------------------------

TEST(RadiosimProcess, LinkAndSettingsEntryUntilASignalEndsIt) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        Scratch scratch;
        const std::string link = scratch / "radio";
        const std::string settings = scratch / "CAT.ini";
        ASSERT_EQ(::symlink("/dev/null", link.c_str()), 0);  // a stale link from an earlier run
        RadiosimRunner sim({"--link", link, "--settings", settings, "--com", "4"});
        ASSERT_TRUE(sim.Started());
        EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.PtyPath());
        std::ifstream in(settings);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, "[Ports]\nCom4=" + sim.PtyPath() + "\n");
        const int status = sim.Stop(signal);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        EXPECT_FALSE(std::filesystem::is_symlink(link));
    }
}

TEST(RadiosimProcess, RefusesABadStart) {
    Scratch scratch;
    const std::string file = scratch / "precious";
    std::ofstream(file) << "keep me\n";
    struct Row {
        const char* name;
        std::vector<std::string> args;
        int status;
    };
    const Row rows[] = {
        {"a link over a file", {"--link", file}, 1},
        {"a bad option", {"--speed", "14400"}, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RadiosimRunner sim(row.args);
        EXPECT_FALSE(sim.Started());
        const int status = sim.Reap();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == row.status) << status;
    }
    std::ifstream in(file);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "keep me\n");
}

// ---- The rig-sharing server ----------------------------------------------------------------

TEST(RadiosimFlrig, ServesTheRadioAsFlrigAndLosesItWhenSilent) {
    Scratch scratch;
    const std::string settings = scratch / "CAT.ini";
    RadiosimRunner sim(
        {"--flrig", "127.0.0.1:0", "--model", "ic7300", "--settings", settings, "--com", "6"});
    ASSERT_TRUE(sim.Started()) << sim.Transcript();
    std::ifstream in(settings);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "[Ports]\nCom6=\"flrig://" + sim.Address() + "\"\n");

    Client client = Client::Connect(sim.Address());
    ASSERT_TRUE(client.Open()) << "cannot connect to " << sim.Address();
    const std::string call =
        "POST /RPC2 HTTP/1.1\r\nContent-Type: text/xml\r\nContent-Length: 83\r\n\r\n<?xml "
        "version=\"1.0\"?><methodCall><methodName>rig.get_xcvr</methodName></methodCall>";
    const std::string header =
        "HTTP/1.1 200 OK\r\nServer: XMLRPC++ 0.8\r\nContent-Type: text/xml\r\nContent-length: ";
    const std::string named = header +
                              "117\r\n\r\n<?xml version=\"1.0\"?>\r\n<methodResponse><params>"
                              "<param>\r\n\t<value>IC-7300</value>\r\n</param></params>"
                              "</methodResponse>\r\n";
    const std::string none = header +
                             "110\r\n\r\n<?xml version=\"1.0\"?>\r\n<methodResponse><params>"
                             "<param>\r\n\t<value></value>\r\n</param></params>"
                             "</methodResponse>\r\n";
    // Two calls on one kept-alive connection, the radio lost in between.
    client.Send(call);
    EXPECT_EQ(client.Receive(named.size()), named);
    sim.Control("silent on");
    EXPECT_TRUE(sim.AwaitLine("silent on")) << sim.Transcript();
    client.Send(call);
    EXPECT_EQ(client.Receive(none.size()), none);
    EXPECT_TRUE(sim.AwaitLine("call rig.get_xcvr")) << sim.Transcript();
}

// ---- The network serial port ----------------------------------------------------------------

TEST(RadiosimNetwork, ServesTheRadioOverRfc2217AndKeysFromTheWiredLine) {
    Scratch scratch;
    const std::string settings = scratch / "CAT.ini";
    RadiosimRunner sim({"--rfc2217", "127.0.0.1:0", "--ptt", "rts", "--model", "ts590s",
                        "--settings", settings, "--com", "5"});
    ASSERT_TRUE(sim.Started()) << sim.Transcript();
    std::ifstream in(settings);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Quoted: the settings reader would split a value with a colon.
    EXPECT_EQ(text, "[Ports]\nCom5=\"rfc2217://" + sim.Address() + "\"\n");

    Client client = Client::Connect(sim.Address());
    ASSERT_TRUE(client.Open()) << "cannot connect to " << sim.Address();
    // WILL and DO suppress-go-ahead, DO and WILL binary, DO COM-PORT-OPTION.
    EXPECT_EQ(Hex(client.Receive(15)), "ff fb 03 ff fd 03 ff fd 00 ff fb 00 ff fd 2c");
    // Opening the port raised RTS, and the radio wired to it transmits at once.
    for (const char* line :
         {"open", "line 9600 8N1 none", "lines dtr on rts on", "transmit on (rts)"}) {
        EXPECT_TRUE(sim.AwaitLine(line)) << line << "\n" << sim.Transcript();
    }
    // The client takes the port, sets 4800 baud and drops RTS; then asks the radio.
    client.Send(Bytes("ff fb 2c ff fd 00 ff fb 00 ff fa 2c 01 00 00 12 c0 ff f0 "
                      "ff fa 2c 05 0c ff f0") +
                "IF;");
    EXPECT_EQ(Hex(client.Receive(24)),
              "ff fa 2c 6b 30 ff f0 ff fa 2c 65 00 00 12 c0 ff f0 ff fa 2c 69 0c ff f0");
    EXPECT_EQ(client.Receive(38), "IF000140740000000+0000000000020000000;");
    for (const char* line : {"line 4800 8N1 none", "lines dtr on rts off", "transmit off"}) {
        EXPECT_TRUE(sim.AwaitLine(line)) << line << "\n" << sim.Transcript();
    }
    // RTS raised again keys the radio; IF says so (TX/RX digit at index 28).
    client.Send(Bytes("ff fa 2c 05 0b ff f0") + "IF;");
    EXPECT_EQ(Hex(client.Receive(7)), "ff fa 2c 69 0b ff f0");
    EXPECT_EQ(client.Receive(38), "IF000140740000000+0000000000120000000;");
    EXPECT_TRUE(sim.AwaitLine("transmit on (rts)")) << sim.Transcript();

    // One client at a time: a second connection hears why and is closed.
    Client second = Client::Connect(sim.Address());
    ASSERT_TRUE(second.Open());
    EXPECT_EQ(second.Receive(100, 2000ms), "Port already in use by another connection\r\n");
    // A closed connection drops both lines, and the transmitter with them.
    client.Close();
    for (const char* line : {"close", "lines dtr off rts off", "transmit off"}) {
        EXPECT_TRUE(sim.AwaitLine(line)) << line << "\n" << sim.Transcript();
    }
}

TEST(RadiosimNetwork, CtsLowHoldsDataUnderRtsCtsAndTheOperatorKeys) {
    RadiosimRunner sim({"--rfc2217", "0", "--cts-low", "--keyed"});
    ASSERT_TRUE(sim.Started()) << sim.Transcript();
    EXPECT_TRUE(sim.AwaitLine("transmit on (key)")) << sim.Transcript();
    Client client = Client::Connect(sim.Address());
    ASSERT_TRUE(client.Open());
    ASSERT_EQ(client.Receive(15).size(), 15u);
    // CTS off in the modem state (DSR only); under RTS/CTS the read waits at the server.
    client.Send(Bytes("ff fb 2c ff fa 2c 05 03 ff f0") + kReadMode);
    EXPECT_EQ(Hex(client.Receive(14)), "ff fa 2c 6b 20 ff f0 ff fa 2c 69 03 ff f0");
    ASSERT_TRUE(sim.AwaitLine("line 9600 8N1 rtscts")) << sim.Transcript();
    ASSERT_TRUE(sim.Settle());
    EXPECT_EQ(Hex(client.Leftover()), "");
    // Without flow control the held read goes through.
    client.Send(Bytes("ff fa 2c 05 01 ff f0"));
    EXPECT_EQ(Hex(client.Receive(15)), "ff fa 2c 69 01 ff f0 " + Hex(kModeUsb));
    sim.Control("key off");
    EXPECT_TRUE(sim.AwaitLine("transmit off")) << sim.Transcript();
}

TEST(RadiosimNetwork, TheSpeedTheClientSetsCountsForSpeedFaults) {
    RadiosimRunner sim({"--rfc2217", "0", "--protocol", "kenwood", "--speed", "4800", "--echo"});
    ASSERT_TRUE(sim.Started()) << sim.Transcript();
    Client client = Client::Connect(sim.Address());
    ASSERT_TRUE(client.Open());
    ASSERT_EQ(client.Receive(15).size(), 15u);
    // At the 9600 of a fresh connection the radio hears noise; the bus echo comes back as sent.
    client.Send("ID;");
    ASSERT_TRUE(sim.AwaitLine("rx 49 44 3b")) << sim.Transcript();
    ASSERT_TRUE(sim.Settle());
    const std::string garbled = client.Leftover();
    EXPECT_EQ(garbled.substr(0, 3), "ID;");
    EXPECT_EQ(garbled.find("ID019;"), std::string::npos) << Hex(garbled);
    // The port is set only by a client that agreed to control it; the noise stays in the
    // radio's buffer until a lone ";" ends it.
    client.Send(Bytes("ff fa 2c 01 00 00 12 c0 ff f0"));
    client.Send(Bytes("ff fb 2c ff fa 2c 01 00 00 12 c0 ff f0") + ";ID;");
    EXPECT_EQ(Hex(client.Receive(7)), "ff fa 2c 6b 30 ff f0");  // the modem lines, at the agreement
    EXPECT_EQ(Hex(client.Receive(10)), "ff fa 2c 65 00 00 12 c0 ff f0");
    EXPECT_EQ(client.Receive(12), ";ID;?;ID019;");
}

// ---- Control lines ---------------------------------------------------------------------------

TEST(RadiosimControl, OperatorLinesSendAndTheEndOfInput) {
    RadiosimRunner sim({});
    START(sim);
    sim.Control("freq 7.074");
    EXPECT_TRUE(sim.AwaitLine("freq 7074000")) << sim.Transcript();
    sim.Control("mode am");
    EXPECT_TRUE(sim.AwaitLine("mode AM")) << sim.Transcript();
    for (const char* bad :
         {"freq 7,074", "freq -1", "freq 10000", "mode XYZ", "tune 7", "send fe f"}) {
        sim.Control(bad);
    }
    sim.Control("send fe fe e0 5e fb fd");
    EXPECT_TRUE(sim.AwaitLine("tx fe fe e0 5e fb fd")) << sim.Transcript();
    EXPECT_EQ(Hex(client.Receive(6)), "fe fe e0 5e fb fd");
    sim.CloseControl();
    client.Send(Bytes("fe fe 5e e0 03 fd") + kReadMode);
    EXPECT_EQ(Hex(client.Receive(19)), "fe fe e0 5e 03 00 40 07 07 00 fd fe fe e0 5e 04 02 01 fd");
}

// ---- Faults at the pty -----------------------------------------------------------------------

TEST(RadiosimFaults, WhatComesBackForOneModeRead) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string back;  // everything that arrives
    };
    const Row rows[] = {
        {"echo comes before the answer", {"--echo"}, kReadMode + kModeUsb},
        {"a silent radio on an echoing bus: only the echo", {"--silent", "--echo"}, kReadMode},
        {"an interface with no radio: only the echo", {"--echo-only"}, kReadMode},
        {"refuse", {"--refuse"}, Bytes("fe fe e0 5e fa fd")},
        {"the same speed as the client's", {"--speed", "38400"}, kModeUsb},
        // The client keeps the pty's 38400; the radio hears noise and answers nothing.
        {"another speed than the client's", {"--speed", "4800"}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RadiosimRunner sim(row.args);
        START(sim);
        ASSERT_TRUE(client.SetLine(B38400, CS8));
        client.Send(kReadMode);
        ASSERT_TRUE(sim.AwaitLine("rx " + Hex(kReadMode))) << sim.Transcript();
        ASSERT_TRUE(sim.Settle());
        EXPECT_EQ(Hex(client.Leftover()), Hex(row.back));
    }
}

TEST(RadiosimFaults, GarbledAnswersHaveTheirLengthButNoFraming) {
    struct Row {
        const char* protocol;
        std::string command;
        std::string true_reply;
    };
    const Row rows[] = {
        {"icom", kReadMode, kModeUsb},
        {"kenwood", "ID;", "ID019;"},
        {"ft817", Bytes("00 00 00 00 03"), Bytes("01 40 74 00 01")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.protocol);
        RadiosimRunner sim({"--protocol", row.protocol, "--garble"});
        START(sim);
        client.Send(row.command);
        const std::string noise = client.Receive(row.true_reply.size());
        ASSERT_EQ(noise.size(), row.true_reply.size());
        EXPECT_NE(Hex(noise), Hex(row.true_reply));
        EXPECT_EQ(noise.find_first_of(Bytes("fd fe 3b")), std::string::npos) << Hex(noise);
    }
}

TEST(RadiosimFaults, WrongSpeedGarblesTheAnswerTooAndTheRightSpeedMends) {
    RadiosimRunner sim({"--protocol", "kenwood", "--speed", "9600"});
    START(sim);
    ASSERT_TRUE(client.SetLine(B19200, CS8));
    ASSERT_TRUE(sim.AwaitLine("line 19200 8N1 none")) << sim.Transcript();
    client.Send("ID;");
    ASSERT_TRUE(sim.AwaitLine("rx 49 44 3b")) << sim.Transcript();
    ASSERT_TRUE(sim.Settle());
    const std::string garbled = client.Leftover();
    EXPECT_EQ(garbled.find("ID019;"), std::string::npos) << Hex(garbled);
    ASSERT_TRUE(client.SetLine(B9600, CS8));
    ASSERT_TRUE(sim.AwaitLine("line 9600 8N1 none")) << sim.Transcript();
    client.Send(";ID;");
    EXPECT_EQ(client.Receive(8), "?;ID019;");
}

TEST(RadiosimFaults, DelayHoldsTheAnswerAndStopAfterEndsThemAll) {
    RadiosimRunner sim({"--delay", "300", "--stop-after", "0.8"});
    START(sim);
    const auto sent = Clock::now();
    client.Send(kReadMode);
    EXPECT_EQ(Hex(client.Receive(8)), Hex(kModeUsb));
    EXPECT_GE(Clock::now() - sent, 290ms);
    std::this_thread::sleep_for(800ms);
    client.Send(kReadMode);
    EXPECT_TRUE(sim.AwaitLine("stopped")) << sim.Transcript();
    ASSERT_TRUE(sim.Settle());
    EXPECT_EQ(Hex(client.Leftover()), "");
}

// A slow network or a busy server: the first half of the answer now, the rest a while later.
TEST(RadiosimFaults, SplitSendsEachAnswerInTwoHalves) {
    RadiosimRunner sim({"--split", "300"});
    START(sim);
    client.Send(kReadMode);
    const std::string first = client.Receive(4);
    const auto firstAt = Clock::now();
    EXPECT_EQ(Hex(first + client.Receive(4)), Hex(kModeUsb));
    EXPECT_GE(Clock::now() - firstAt, 250ms);
}

TEST(RadiosimFaults, ControlLinesSwitchFaultsAtRunTime) {
    RadiosimRunner sim({});
    START(sim);
    sim.Control("silent on");
    ASSERT_TRUE(sim.AwaitLine("silent on")) << sim.Transcript();
    client.Send(kReadMode);
    ASSERT_TRUE(sim.AwaitLine("rx " + Hex(kReadMode))) << sim.Transcript();
    ASSERT_TRUE(sim.Settle());
    EXPECT_EQ(Hex(client.Leftover()), "");
    sim.Control("silent off");
    ASSERT_TRUE(sim.AwaitLine("silent off")) << sim.Transcript();
    client.Send(kReadMode);
    EXPECT_EQ(Hex(client.Receive(8)), Hex(kModeUsb));
}

}  // namespace
}  // namespace radiosim
