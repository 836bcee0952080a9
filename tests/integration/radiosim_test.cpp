// The virtual transceiver, driven from the computer's side of its pty as a controller would:
// bytes go in, answers come back, and the report lines on its standard output tell what it did.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/fakes.h"

extern char** environ;

namespace {

using cat::test::Bytes;
using cat::test::ToHex;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Generous for a loaded machine; every wait ends as soon as what it waits for is there.
constexpr auto kPatience = 5s;
// How long a check for "nothing arrives" watches the pty, after the simulator has been seen to
// handle the input in question.
constexpr auto kQuietSpell = 250ms;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// One radiosim process with its pty, its standard input and its report lines. Always killed
// and reaped when the test ends, whatever happened.
class Radiosim {
public:
    explicit Radiosim(std::vector<std::string> args) {
        int to_child[2];
        int from_child[2];
        if (::pipe2(to_child, O_CLOEXEC) != 0 || ::pipe2(from_child, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, to_child[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, from_child[1], STDOUT_FILENO);
        args.insert(args.begin(), RADIOSIM_PATH);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, RADIOSIM_PATH, &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(to_child[0]);
        ::close(from_child[1]);
        control_ = to_child[1];
        report_ = from_child[0];
        ::fcntl(report_, F_SETFL, O_NONBLOCK);

        const std::string first = NextLine(Clock::now() + kPatience);
        if (first.rfind("pty ", 0) == 0) pty_path_ = first.substr(4);
    }

    ~Radiosim() {
        if (pty_ >= 0) ::close(pty_);
        if (control_ >= 0) ::close(control_);
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (report_ >= 0) ::close(report_);
    }

    Radiosim(const Radiosim&) = delete;
    Radiosim& operator=(const Radiosim&) = delete;

    bool started() const { return !pty_path_.empty(); }
    const std::string& pty_path() const { return pty_path_; }
    pid_t pid() const { return pid_; }
    int pty() const { return pty_; }

    // Opens the pty as a client would, leaving its line settings as radiosim made them.
    bool Open() {
        pty_ = ::open(pty_path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        return pty_ >= 0;
    }

    void Close() {
        ::close(pty_);
        pty_ = -1;
        received_.clear();
    }

    void Send(const std::string& bytes) {
        ASSERT_EQ(::write(pty_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // The next `count` bytes from the pty, or fewer if they do not come in time.
    std::string Receive(std::size_t count, std::chrono::milliseconds patience = kPatience) {
        const auto deadline = Clock::now() + patience;
        while (received_.size() < count && Fill(MillisecondsLeft(deadline))) {
        }
        const std::string out = received_.substr(0, count);
        received_.erase(0, out.size());
        return out;
    }

    // Whatever arrives within the quiet spell; empty when the radio keeps still.
    std::string Leftover() {
        const auto deadline = Clock::now() + kQuietSpell;
        while (Fill(MillisecondsLeft(deadline))) {
        }
        return std::exchange(received_, {});
    }

    void Control(const std::string& line) {
        const std::string text = line + "\n";
        ASSERT_EQ(::write(control_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }

    void CloseControl() {
        ::close(control_);
        control_ = -1;
    }

    // Skips report lines until this one; later waits continue after it.
    bool AwaitLine(const std::string& wanted) {
        const auto deadline = Clock::now() + kPatience;
        for (;;) {
            for (; checked_ < lines_.size(); ++checked_) {
                if (lines_[checked_] == wanted) {
                    ++checked_;
                    return true;
                }
            }
            const std::string line = NextLine(deadline);
            if (line.empty() && Clock::now() >= deadline) return false;
        }
    }

    // True once the rx lines, joined, hold these bytes: one command may be read in pieces.
    bool AwaitReceived(const std::string& bytes) {
        const auto deadline = Clock::now() + kPatience;
        for (;;) {
            std::string joined;
            for (const std::string& line : lines_) {
                if (line.rfind("rx ", 0) != 0) continue;
                if (!joined.empty()) joined.push_back(' ');
                joined += line.substr(3);
            }
            if (joined.find(ToHex(bytes)) != std::string::npos) return true;
            if (NextLine(deadline).empty() && Clock::now() >= deadline) return false;
        }
    }

    // After this, everything radiosim read before has been handled and written out.
    bool Settle() {
        Control("ping settle" + std::to_string(++pings_));
        return AwaitLine("pong settle" + std::to_string(pings_));
    }

    std::string Transcript() const {
        std::string text = "radiosim said:\n";
        for (const std::string& line : lines_) text += "  " + line + "\n";
        return text;
    }

    // SIGTERM or another signal; the exit status as waitpid gives it, -1 if it would not stop.
    int Stop(int signal = SIGTERM) {
        ::kill(pid_, signal);
        const auto deadline = Clock::now() + kPatience;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() >= deadline) return -1;
            std::this_thread::sleep_for(5ms);
        }
        pid_ = -1;
        return status;
    }

    // Exit status of a radiosim that ends by itself (a refused start).
    int Reap() {
        const auto deadline = Clock::now() + kPatience;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() >= deadline) return -1;
            std::this_thread::sleep_for(5ms);
        }
        pid_ = -1;
        return status;
    }

private:
    bool Fill(int timeout_ms) {
        pollfd fd{pty_, POLLIN, 0};
        if (::poll(&fd, 1, timeout_ms) <= 0) return false;
        char buffer[512];
        const ssize_t got = ::read(pty_, buffer, sizeof buffer);
        if (got <= 0) return timeout_ms > 0;
        received_.append(buffer, static_cast<std::size_t>(got));
        return true;
    }

    // The next report line, or empty at the deadline or at the end of the output.
    std::string NextLine(Clock::time_point deadline) {
        for (;;) {
            const std::size_t end = report_text_.find('\n');
            if (end != std::string::npos) {
                std::string line = report_text_.substr(0, end);
                report_text_.erase(0, end + 1);
                lines_.push_back(line);
                return line;
            }
            pollfd fd{report_, POLLIN, 0};
            if (::poll(&fd, 1, MillisecondsLeft(deadline)) <= 0) return {};
            char buffer[512];
            const ssize_t got = ::read(report_, buffer, sizeof buffer);
            if (got <= 0) return {};
            report_text_.append(buffer, static_cast<std::size_t>(got));
        }
    }

    pid_t pid_ = -1;
    int control_ = -1;
    int report_ = -1;
    int pty_ = -1;
    std::string pty_path_;
    std::string received_;
    std::string report_text_;
    std::vector<std::string> lines_;
    std::size_t checked_ = 0;
    int pings_ = 0;
};

// A started radiosim with its pty open.
#define START(sim)                                            \
    ASSERT_TRUE((sim).started()) << "radiosim did not start"; \
    ASSERT_TRUE((sim).Open()) << "cannot open " << (sim).pty_path()

// A scratch folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "radiosim-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const std::string kReadFrequency = Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x03, 0xFD, 0x00});
const std::string kReadMode = Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x04, 0xFD, 0x00});
const std::string kAck = Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0xFB, 0xFD});
const std::string kNak = Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0xFA, 0xFD});
const std::string kFt817Read = Bytes({0x00, 0x00, 0x00, 0x00, 0x03});

// ---- ICOM ----------------------------------------------------------------------------------

TEST(RadiosimIcom, AnswersReadFrequencyFromItsAddressToTheController) {
    Radiosim sim({});
    START(sim);
    sim.Send(kReadFrequency);
    EXPECT_EQ(ToHex(sim.Receive(11)),
              ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD})));
    EXPECT_TRUE(sim.AwaitLine("rx fe fe 5e e0 03 fd 00")) << sim.Transcript();
}

TEST(RadiosimIcom, StartsAtTheFrequencyAndModeGiven) {
    Radiosim sim({"--freq", "7.0745", "--mode", "cw"});
    START(sim);
    sim.Send(kReadFrequency + kReadMode);
    EXPECT_EQ(ToHex(sim.Receive(19)),
              ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x45, 0x07, 0x07, 0x00, 0xFD, 0xFE,
                           0xFE, 0xE0, 0x5E, 0x04, 0x03, 0x01, 0xFD})));
}

TEST(RadiosimIcom, AnswersTheAddressTheCommandCameFrom) {
    Radiosim sim({});
    START(sim);
    sim.Send(Bytes({0xFE, 0xFE, 0x5E, 0xE1, 0x04, 0xFD}));
    EXPECT_EQ(ToHex(sim.Receive(8)),
              ToHex(Bytes({0xFE, 0xFE, 0xE1, 0x5E, 0x04, 0x01, 0x01, 0xFD})));
}

TEST(RadiosimIcom, ModeReplyCarriesTheCivModeByte) {
    struct Row {
        const char* mode;
        int code;
    };
    const Row rows[] = {{"LSB", 0x00}, {"USB", 0x01}, {"AM", 0x02},   {"CW", 0x03},
                        {"FSK", 0x04}, {"FM", 0x05},  {"CW-R", 0x07}, {"FSK-R", 0x08}};
    Radiosim sim({});
    START(sim);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        sim.Control(std::string("mode ") + row.mode);
        ASSERT_TRUE(sim.AwaitLine(std::string("mode ") + row.mode)) << sim.Transcript();
        sim.Send(kReadMode);
        EXPECT_EQ(ToHex(sim.Receive(8)),
                  ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, row.code, 0x01, 0xFD})));
    }
}

TEST(RadiosimIcom, SetFrequencyIsAcknowledgedReportedAndReadBack) {
    struct Row {
        const char* name;
        std::string data;
        const char* event;
        std::string read_back;
    };
    const Row rows[] = {
        {"five bytes", Bytes({0x00, 0x05, 0x25, 0x14, 0x00}), "freq 14250500",
         Bytes({0x00, 0x05, 0x25, 0x14, 0x00})},
        {"four bytes of an older radio", Bytes({0x00, 0x50, 0x25, 0x14}), "freq 14255000",
         Bytes({0x00, 0x50, 0x25, 0x14, 0x00})},
        {"above 1 GHz", Bytes({0x00, 0x00, 0x00, 0x96, 0x12}), "freq 1296000000",
         Bytes({0x00, 0x00, 0x00, 0x96, 0x12})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Radiosim sim({});
        START(sim);
        sim.Send(Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x05}) + row.data + Bytes({0xFD, 0x00}));
        EXPECT_EQ(ToHex(sim.Receive(6)), ToHex(kAck));
        EXPECT_TRUE(sim.AwaitLine(row.event)) << sim.Transcript();
        sim.Send(kReadFrequency);
        EXPECT_EQ(ToHex(sim.Receive(11)),
                  ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03}) + row.read_back + Bytes({0xFD})));
    }
}

TEST(RadiosimIcom, SetModeWithOrWithoutFilter) {
    struct Row {
        const char* name;
        std::string data;
        const char* event;
        std::string read_back;  // mode byte, filter byte
    };
    const Row rows[] = {
        {"FM without filter keeps filter 1", Bytes({0x05}), "mode FM", Bytes({0x05, 0x01})},
        {"CW with filter 2", Bytes({0x03, 0x02}), "mode CW", Bytes({0x03, 0x02})},
        {"CW-R", Bytes({0x07}), "mode CW-R", Bytes({0x07, 0x01})},
        {"RTTY-R", Bytes({0x08, 0x03}), "mode FSK-R", Bytes({0x08, 0x03})},
        {"wide FM", Bytes({0x06}), "mode WFM", Bytes({0x06, 0x01})},
        {"synchronous AM read back as AM", Bytes({0x11}), "mode AM", Bytes({0x02, 0x01})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Radiosim sim({});
        START(sim);
        sim.Send(Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x06}) + row.data + Bytes({0xFD, 0x00}));
        EXPECT_EQ(ToHex(sim.Receive(6)), ToHex(kAck));
        EXPECT_TRUE(sim.AwaitLine(row.event)) << sim.Transcript();
        sim.Send(kReadMode);
        EXPECT_EQ(ToHex(sim.Receive(8)),
                  ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04}) + row.read_back + Bytes({0xFD})));
    }
}

TEST(RadiosimIcom, UnknownCommandsAndBadValuesGetNgAndChangeNothing) {
    struct Row {
        const char* name;
        std::string body;  // command and data
    };
    const Row rows[] = {
        {"unknown command", Bytes({0x77})},
        {"read frequency with data", Bytes({0x03, 0x01})},
        {"frequency not packed decimal", Bytes({0x05, 0x00, 0x0A, 0x25, 0x14, 0x00})},
        {"frequency of three bytes", Bytes({0x05, 0x00, 0x25, 0x14})},
        {"unknown mode", Bytes({0x06, 0x09})},
        {"filter 4", Bytes({0x06, 0x03, 0x04})},
        {"set mode without data", Bytes({0x06})},
    };
    Radiosim sim({});
    START(sim);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sim.Send(Bytes({0xFE, 0xFE, 0x5E, 0xE0}) + row.body + Bytes({0xFD, 0x00}));
        EXPECT_EQ(ToHex(sim.Receive(6)), ToHex(kNak));
    }
    sim.Send(kReadFrequency + kReadMode);
    EXPECT_EQ(ToHex(sim.Receive(19)),
              ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD, 0xFE,
                           0xFE, 0xE0, 0x5E, 0x04, 0x01, 0x01, 0xFD})));
}

TEST(RadiosimIcom, IgnoresOtherAddressesAndWhatLiesBetweenFrames) {
    struct Row {
        const char* name;
        std::string before;  // must draw no answer
    };
    const Row rows[] = {
        {"frame for another radio", Bytes({0xFE, 0xFE, 0x70, 0xE0, 0x03, 0xFD, 0x00})},
        {"broadcast address", Bytes({0xFE, 0xFE, 0x00, 0xE0, 0x03, 0xFD})},
        {"stray zeros", Bytes({0x00, 0x00, 0x00})},
        {"lone preamble byte", Bytes({0xFE, 0x00})},
        {"a radio's own reply on the bus",
         Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD})},
        {"frame cut by a collision", Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x03, 0xFC, 0xFD})},
        {"frame that lost its end", Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x03})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Radiosim sim({});
        START(sim);
        // The first answer must be the one to the mode request that follows.
        sim.Send(row.before + kReadMode);
        EXPECT_EQ(ToHex(sim.Receive(8)),
                  ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0x01, 0x01, 0xFD})));
    }
}

TEST(RadiosimIcom, TakesAFrameInPiecesAndALongerPreamble) {
    Radiosim sim({});
    START(sim);
    sim.Send(Bytes({0xFE, 0xFE, 0xFE, 0x5E}));
    ASSERT_TRUE(sim.AwaitReceived(Bytes({0xFE, 0xFE, 0xFE, 0x5E}))) << sim.Transcript();
    sim.Send(Bytes({0xE0, 0x04}));
    ASSERT_TRUE(sim.AwaitReceived(Bytes({0xE0, 0x04}))) << sim.Transcript();
    sim.Send(Bytes({0xFD, 0x00}));
    EXPECT_EQ(ToHex(sim.Receive(8)),
              ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0x01, 0x01, 0xFD})));
}

TEST(RadiosimIcom, AddressOptionChoosesWhichFramesItAnswers) {
    Radiosim sim({"--address", "94"});
    START(sim);
    sim.Send(kReadMode + Bytes({0xFE, 0xFE, 0x94, 0xE0, 0x04, 0xFD, 0x00}));
    EXPECT_EQ(ToHex(sim.Receive(8)),
              ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x94, 0x04, 0x01, 0x01, 0xFD})));
    ASSERT_TRUE(sim.Settle());
    EXPECT_EQ(ToHex(sim.Leftover()), "");
}

TEST(RadiosimIcom, EchoReturnsTheCommandBeforeTheAnswer) {
    Radiosim sim({"--echo"});
    START(sim);
    sim.Send(kReadFrequency);
    EXPECT_EQ(ToHex(sim.Receive(18)),
              ToHex(kReadFrequency +
                    Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD})));
}

TEST(RadiosimIcom, TransceiveAnnouncesEveryChangeToAddress00) {
    Radiosim sim({"--transceive"});
    START(sim);
    sim.Control("freq 7.074");
    EXPECT_EQ(ToHex(sim.Receive(11)),
              ToHex(Bytes({0xFE, 0xFE, 0x00, 0x5E, 0x00, 0x00, 0x40, 0x07, 0x07, 0x00, 0xFD})));
    EXPECT_TRUE(sim.AwaitLine("freq 7074000")) << sim.Transcript();
    sim.Control("mode CW");
    EXPECT_EQ(ToHex(sim.Receive(8)),
              ToHex(Bytes({0xFE, 0xFE, 0x00, 0x5E, 0x01, 0x03, 0x01, 0xFD})));
    EXPECT_TRUE(sim.AwaitLine("mode CW")) << sim.Transcript();
    // A set command is acknowledged first, then announced.
    sim.Send(Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x05, 0x00, 0x05, 0x25, 0x14, 0x00, 0xFD, 0x00}));
    EXPECT_EQ(
        ToHex(sim.Receive(17)),
        ToHex(kAck + Bytes({0xFE, 0xFE, 0x00, 0x5E, 0x00, 0x00, 0x05, 0x25, 0x14, 0x00, 0xFD})));
}

// ---- Kenwood -------------------------------------------------------------------------------

TEST(RadiosimKenwood, IfReplyHasTheCommonLayout) {
    Radiosim sim({"--protocol", "kenwood"});
    START(sim);
    sim.Send("IF;");
    const std::string reply = sim.Receive(38);
    // IF, frequency, step, RIT/XIT offset, RIT, XIT, memory, TX/RX, mode, VFO, scan, split,
    // tone, tone number, shift.
    EXPECT_EQ(reply,
              "IF"
              "00014074000"
              "0000"
              "+00000"
              "0"
              "0"
              "000"
              "0"
              "2"
              "0"
              "0"
              "0"
              "0"
              "00"
              "0"
              ";");
    ASSERT_EQ(reply.size(), 38u);
    EXPECT_EQ(reply.substr(2, 11), "00014074000");  // positions 3-13
    EXPECT_EQ(reply[29], '2');                      // position 30
}

TEST(RadiosimKenwood, ModeDigitOfTheIfReply) {
    struct Row {
        const char* mode;
        char digit;
    };
    const Row rows[] = {{"LSB", '1'}, {"USB", '2'}, {"CW", '3'},   {"FM", '4'},
                        {"AM", '5'},  {"FSK", '6'}, {"CW-R", '7'}, {"FSK-R", '9'}};
    Radiosim sim({"--protocol", "kenwood"});
    START(sim);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        sim.Control(std::string("mode ") + row.mode);
        ASSERT_TRUE(sim.AwaitLine(std::string("mode ") + row.mode)) << sim.Transcript();
        sim.Send("IF;");
        const std::string reply = sim.Receive(38);
        ASSERT_EQ(reply.size(), 38u) << reply;
        EXPECT_EQ(reply[29], row.digit) << reply;
    }
}

TEST(RadiosimKenwood, SetCommandsTakeEffectWithoutAnswer) {
    Radiosim sim({"--protocol", "kenwood"});
    START(sim);
    sim.Send("FA00007074000;");
    EXPECT_TRUE(sim.AwaitLine("freq 7074000")) << sim.Transcript();
    sim.Send("MD3;");
    EXPECT_TRUE(sim.AwaitLine("mode CW")) << sim.Transcript();
    sim.Send("AI0;");
    // Nothing came for the set commands: the first bytes are the answers to these reads.
    sim.Send("FA;MD;IF;");
    EXPECT_EQ(sim.Receive(14 + 4 + 38),
              "FA00007074000;MD3;IF00007074000"
              "0000+00000000000"
              "3"
              "0000000;");
}

TEST(RadiosimKenwood, FixedReadsInOneWrite) {
    Radiosim sim({"--protocol", "kenwood"});
    START(sim);
    sim.Send("ID;PS;AI;");
    EXPECT_EQ(sim.Receive(14), "ID019;PS1;AI0;");
}

TEST(RadiosimKenwood, UnknownOrMalformedCommandsGetQuestionMark) {
    const char* rows[] = {"XX;", "FA123;", "FA0001407400A;", "FA000140740000;", "MD8;", "MD;;",
                          "if;", "ID0;"};
    Radiosim sim({"--protocol", "kenwood"});
    START(sim);
    for (const char* row : rows) {
        SCOPED_TRACE(row);
        sim.Send(std::string(row) + "ID;");
        std::string expected = "?;ID019;";
        if (std::string(row) == "MD;;") expected = "MD2;?;ID019;";
        EXPECT_EQ(sim.Receive(expected.size()), expected);
    }
    sim.Send("FA;");
    EXPECT_EQ(sim.Receive(14), "FA00014074000;");
}

TEST(RadiosimKenwood, CommandArrivingInPieces) {
    Radiosim sim({"--protocol", "kenwood", "--freq", "3.5735", "--mode", "LSB"});
    START(sim);
    sim.Send("I");
    ASSERT_TRUE(sim.AwaitReceived("I")) << sim.Transcript();
    sim.Send("F");
    ASSERT_TRUE(sim.AwaitReceived("F")) << sim.Transcript();
    sim.Send(";F");
    EXPECT_EQ(sim.Receive(38),
              "IF00003573500"
              "0000+00000000000"
              "1"
              "0000000;");
    sim.Send("A;");
    EXPECT_EQ(sim.Receive(14), "FA00003573500;");
}

// ---- FT-817 --------------------------------------------------------------------------------

TEST(RadiosimFt817, ReadGivesPackedDecimalTensOfHertzAndTheModeByte) {
    struct Row {
        const char* freq;
        const char* mode;
        std::string reply;
    };
    const Row rows[] = {
        {"14.074", "USB", Bytes({0x01, 0x40, 0x74, 0x00, 0x01})},
        {"7.07405", "CW", Bytes({0x00, 0x70, 0x74, 0x05, 0x02})},
        {"439.5", "FM", Bytes({0x43, 0x95, 0x00, 0x00, 0x08})},
        {"0.136", "LSB", Bytes({0x00, 0x01, 0x36, 0x00, 0x00})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.freq);
        Radiosim sim({"--protocol", "ft817", "--freq", row.freq, "--mode", row.mode});
        START(sim);
        sim.Send(kFt817Read);
        EXPECT_EQ(ToHex(sim.Receive(5)), ToHex(row.reply));
    }
}

TEST(RadiosimFt817, ModeBytes) {
    struct Row {
        const char* mode;
        int code;
    };
    const Row rows[] = {{"LSB", 0x00}, {"USB", 0x01}, {"CW", 0x02},  {"CW-R", 0x03}, {"AM", 0x04},
                        {"WFM", 0x06}, {"FM", 0x08},  {"FSK", 0x0A}, {"PKT", 0x0C}};
    Radiosim sim({"--protocol", "ft817"});
    START(sim);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.mode);
        sim.Control(std::string("mode ") + row.mode);
        ASSERT_TRUE(sim.AwaitLine(std::string("mode ") + row.mode)) << sim.Transcript();
        sim.Send(kFt817Read);
        EXPECT_EQ(ToHex(sim.Receive(5)), ToHex(Bytes({0x01, 0x40, 0x74, 0x00, row.code})));
    }
}

TEST(RadiosimFt817, SetFrequencyAndModeWithoutAnswer) {
    Radiosim sim({"--protocol", "ft817"});
    START(sim);
    sim.Send(Bytes({0x14, 0x43, 0x00, 0x00, 0x01}));
    EXPECT_TRUE(sim.AwaitLine("freq 144300000")) << sim.Transcript();
    sim.Send(Bytes({0x0C, 0x00, 0x00, 0x00, 0x07}));
    EXPECT_TRUE(sim.AwaitLine("mode PKT")) << sim.Transcript();
    // Not packed decimal, and a mode byte it does not have: both ignored.
    sim.Send(Bytes({0x1A, 0x00, 0x00, 0x00, 0x01}) + Bytes({0x05, 0x00, 0x00, 0x00, 0x07}));
    sim.Send(kFt817Read);
    EXPECT_EQ(ToHex(sim.Receive(5)), ToHex(Bytes({0x14, 0x43, 0x00, 0x00, 0x0C})));
    ASSERT_TRUE(sim.Settle());
    EXPECT_EQ(ToHex(sim.Leftover()), "");
}

TEST(RadiosimFt817, StatusAndMemoryReadsAnswerTheirByteCount) {
    struct Row {
        const char* name;
        std::string command;
        std::string reply;
    };
    const Row rows[] = {
        {"receiver status E7", Bytes({0x00, 0x00, 0x00, 0x00, 0xE7}), Bytes({0x00})},
        {"transmitter status F7", Bytes({0x00, 0x00, 0x00, 0x00, 0xF7}), Bytes({0xFF})},
        {"memory read BB", Bytes({0x00, 0x55, 0x00, 0x00, 0xBB}), Bytes({0x00, 0x00})},
        {"PTT off 88, no answer", Bytes({0x00, 0x00, 0x00, 0x00, 0x88}), ""},
        {"lock 00, no answer", Bytes({0x00, 0x00, 0x00, 0x00, 0x00}), ""},
    };
    Radiosim sim({"--protocol", "ft817"});
    START(sim);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        // The read that follows shows exactly where the answer ends.
        sim.Send(row.command + kFt817Read);
        EXPECT_EQ(ToHex(sim.Receive(row.reply.size() + 5)),
                  ToHex(row.reply + Bytes({0x01, 0x40, 0x74, 0x00, 0x01})));
    }
}

TEST(RadiosimFt817, CountsCommandBytesAcrossPieces) {
    Radiosim sim({"--protocol", "ft817"});
    START(sim);
    sim.Send(Bytes({0x00, 0x00}));
    ASSERT_TRUE(sim.AwaitReceived(Bytes({0x00, 0x00}))) << sim.Transcript();
    sim.Send(Bytes({0x00, 0x00, 0x03, 0x00, 0x00}));
    ASSERT_TRUE(sim.AwaitReceived(Bytes({0x00, 0x00, 0x03, 0x00, 0x00}))) << sim.Transcript();
    sim.Send(Bytes({0x00, 0x00, 0x03}));
    EXPECT_EQ(ToHex(sim.Receive(10)),
              ToHex(Bytes({0x01, 0x40, 0x74, 0x00, 0x01, 0x01, 0x40, 0x74, 0x00, 0x01})));
}

// ---- Faults --------------------------------------------------------------------------------

TEST(RadiosimFaults, SilentRadioTakesSetCommandsButNeverAnswers) {
    Radiosim sim({"--silent", "--transceive"});
    START(sim);
    sim.Send(Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x05, 0x00, 0x05, 0x25, 0x14, 0x00, 0xFD, 0x00}));
    EXPECT_TRUE(sim.AwaitLine("freq 14250500")) << sim.Transcript();
    sim.Send(kReadFrequency);
    ASSERT_TRUE(sim.AwaitReceived(kReadFrequency)) << sim.Transcript();
    ASSERT_TRUE(sim.Settle());
    EXPECT_EQ(ToHex(sim.Leftover()), "");
}

TEST(RadiosimFaults, SilentRadioOnAnEchoingBusStillEchoes) {
    Radiosim sim({"--silent", "--echo"});
    START(sim);
    sim.Send(kReadFrequency);
    EXPECT_EQ(ToHex(sim.Receive(7)), ToHex(kReadFrequency));
    ASSERT_TRUE(sim.Settle());
    EXPECT_EQ(ToHex(sim.Leftover()), "");
}

TEST(RadiosimFaults, GarbledAnswersHaveTheirLengthButNoFraming) {
    struct Row {
        const char* protocol;
        std::string command;
        std::string true_reply;
    };
    const Row rows[] = {
        {"icom", kReadFrequency,
         Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x40, 0x07, 0x14, 0x00, 0xFD})},
        {"kenwood", "ID;", "ID019;"},
        {"ft817", kFt817Read, Bytes({0x01, 0x40, 0x74, 0x00, 0x01})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.protocol);
        Radiosim sim({"--protocol", row.protocol, "--garble"});
        START(sim);
        sim.Send(row.command);
        const std::string noise = sim.Receive(row.true_reply.size());
        ASSERT_EQ(noise.size(), row.true_reply.size());
        EXPECT_NE(ToHex(noise), ToHex(row.true_reply));
        EXPECT_EQ(noise.find_first_of(Bytes({0xFD, 0xFE, ';'})), std::string::npos) << ToHex(noise);
        ASSERT_TRUE(sim.Settle());
        EXPECT_EQ(ToHex(sim.Leftover()), "");
    }
}

TEST(RadiosimFaults, DelayHoldsTheAnswerBackButNotTheEcho) {
    Radiosim sim({"--delay", "300", "--echo"});
    START(sim);
    const auto sent = Clock::now();
    sim.Send(kReadMode);
    EXPECT_EQ(ToHex(sim.Receive(7)), ToHex(kReadMode));
    EXPECT_EQ(ToHex(sim.Receive(8)),
              ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0x01, 0x01, 0xFD})));
    EXPECT_GE(Clock::now() - sent, 290ms);
}

TEST(RadiosimFaults, ControlLinesSwitchFaultsAtRunTime) {
    Radiosim sim({});
    START(sim);
    sim.Control("silent on");
    ASSERT_TRUE(sim.AwaitLine("silent on")) << sim.Transcript();
    sim.Send(kReadMode);
    ASSERT_TRUE(sim.AwaitReceived(kReadMode)) << sim.Transcript();
    ASSERT_TRUE(sim.Settle());
    EXPECT_EQ(ToHex(sim.Leftover()), "");
    sim.Control("silent off");
    ASSERT_TRUE(sim.AwaitLine("silent off")) << sim.Transcript();
    sim.Send(kReadMode);
    EXPECT_EQ(ToHex(sim.Receive(8)),
              ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0x01, 0x01, 0xFD})));
}

// ---- Control and report channel ------------------------------------------------------------

TEST(RadiosimControl, OperatorLinesChangeStateAndBadOnesChangeNothing) {
    Radiosim sim({});
    START(sim);
    sim.Control("freq 7.074");
    EXPECT_TRUE(sim.AwaitLine("freq 7074000")) << sim.Transcript();
    sim.Control("mode am");
    EXPECT_TRUE(sim.AwaitLine("mode AM")) << sim.Transcript();
    for (const char* bad : {"freq 7,074", "freq -1", "freq 14.0740001", "freq 10000", "mode XYZ",
                            "tune 7", "send fe f"}) {
        sim.Control(bad);
    }
    ASSERT_TRUE(sim.Settle());
    sim.Send(kReadFrequency + kReadMode);
    EXPECT_EQ(ToHex(sim.Receive(19)),
              ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x40, 0x07, 0x07, 0x00, 0xFD, 0xFE,
                           0xFE, 0xE0, 0x5E, 0x04, 0x02, 0x01, 0xFD})));
}

TEST(RadiosimControl, SendPutsTheseBytesOnTheLineAndReportsThem) {
    Radiosim sim({});
    START(sim);
    sim.Control("send fe fe e0 5e fb fd");
    EXPECT_EQ(ToHex(sim.Receive(6)), ToHex(kAck));
    EXPECT_TRUE(sim.AwaitLine("tx fe fe e0 5e fb fd")) << sim.Transcript();
}

TEST(RadiosimControl, EndOfStandardInputDoesNotStopTheRadio) {
    Radiosim sim({});
    START(sim);
    sim.Control("freq 3.6");
    ASSERT_TRUE(sim.AwaitLine("freq 3600000")) << sim.Transcript();
    sim.CloseControl();
    sim.Send(kReadFrequency);
    EXPECT_EQ(ToHex(sim.Receive(11)),
              ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x00, 0x60, 0x03, 0x00, 0xFD})));
    EXPECT_TRUE(sim.AwaitLine("tx fe fe e0 5e 03 00 00 60 03 00 fd")) << sim.Transcript();
}

TEST(RadiosimControl, StopsCleanlyOnTermAndInterrupt) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        Radiosim sim({});
        START(sim);
        const int status = sim.Stop(signal);
        ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
}

// ---- The pty -------------------------------------------------------------------------------

TEST(RadiosimPty, IsRawEightBitWithoutEcho) {
    Radiosim sim({});
    START(sim);
    termios tio{};
    ASSERT_EQ(::tcgetattr(sim.pty(), &tio), 0);
    EXPECT_EQ(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(tio.c_iflag & (ICRNL | INLCR | IGNCR | IXON | ISTRIP), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
}

TEST(RadiosimPty, ControlCharactersPassBothWaysUnchanged) {
    Radiosim sim({});
    START(sim);
    // XOFF 13, XON 11, ^C 03 in the data: a line discipline would eat or act on them.
    sim.Send(Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x05, 0x00, 0x13, 0x11, 0x03, 0x00, 0xFD, 0x00}));
    EXPECT_EQ(ToHex(sim.Receive(6)), ToHex(kAck));
    EXPECT_TRUE(sim.AwaitLine("freq 3111300")) << sim.Transcript();
    sim.Send(kReadFrequency);
    EXPECT_EQ(ToHex(sim.Receive(11)),
              ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x03, 0x00, 0x13, 0x11, 0x03, 0x00, 0xFD})));
}

// Clock ticks of CPU time the process has used, user and system.
long CpuTicks(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long utime = 0;
    long stime = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14) utime = std::stol(field);
        if (index == 15) {
            stime = std::stol(field);
            break;
        }
    }
    return utime + stime;
}

TEST(RadiosimPty, ClientMayCloseAndReopenAndTheRadioIdlesMeanwhile) {
    Radiosim sim({});
    START(sim);
    sim.Send(kReadMode);
    EXPECT_EQ(sim.Receive(8).size(), 8u);
    sim.Close();
    sim.CloseControl();

    // Closed client and ended input: a radio that spun on either would burn a whole core here.
    const long before = CpuTicks(sim.pid());
    std::this_thread::sleep_for(500ms);
    const long used = CpuTicks(sim.pid()) - before;
    EXPECT_LT(used, 10) << "ticks of CPU while idle: " << used;

    ASSERT_TRUE(sim.Open());
    sim.Send(kReadMode);
    EXPECT_EQ(ToHex(sim.Receive(8)),
              ToHex(Bytes({0xFE, 0xFE, 0xE0, 0x5E, 0x04, 0x01, 0x01, 0xFD})));
}

TEST(RadiosimPty, ReportsClientsAndUndoesTheExclusiveLockOfOneThatVanished) {
    Radiosim sim({});
    START(sim);
    EXPECT_TRUE(sim.AwaitLine("open")) << sim.Transcript();
    // A serial library's lock, never undone, as when the program crashes.
    ASSERT_EQ(::ioctl(sim.pty(), TIOCEXCL), 0);
    sim.Close();
    EXPECT_TRUE(sim.AwaitLine("close")) << sim.Transcript();
    ASSERT_TRUE(sim.Settle());
    ASSERT_TRUE(sim.Open());
    int exclusive = -1;
    ASSERT_EQ(::ioctl(sim.pty(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
}

// ---- Where the program finds it ------------------------------------------------------------

TEST(RadiosimSettings, WritesComKeyUnderPortsAndKeepsEverythingElse) {
    const std::string original =
        "[General]\n"
        "Com1=not this one\n"
        "\n"
        "[Setup]\n"
        "Top=\" 1200\"\n"
        "Address=5E\n"
        "Type=ICOM\n"
        "\n"
        "[Ports]\n"
        "; chosen by hand\n"
        "Com1=/dev/ttyUSB9\n"
        "Com2=/dev/ttyUSB0\n"
        "\n"
        "[Other]\n"
        "Com3=keep\n";
    struct Row {
        const char* com;
        const char* name;
        std::string (*expected)(const std::string& pty);
    };
    const Row rows[] = {
        {"1", "replaces an existing key",
         [](const std::string& pty) {
             return std::string(
                        "[General]\nCom1=not this one\n\n[Setup]\nTop=\" 1200\"\n"
                        "Address=5E\nType=ICOM\n\n[Ports]\n; chosen by hand\nCom1=") +
                    pty + "\nCom2=/dev/ttyUSB0\n\n[Other]\nCom3=keep\n";
         }},
        {"3", "adds a key at the end of the section",
         [](const std::string& pty) {
             return std::string(
                        "[General]\nCom1=not this one\n\n[Setup]\nTop=\" 1200\"\n"
                        "Address=5E\nType=ICOM\n\n[Ports]\n; chosen by hand\n"
                        "Com1=/dev/ttyUSB9\nCom2=/dev/ttyUSB0\nCom3=") +
                    pty + "\n\n[Other]\nCom3=keep\n";
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder folder;
        const std::string file = folder / "CAT.ini";
        std::ofstream(file, std::ios::binary) << original;
        Radiosim sim({"--settings", file, "--com", row.com});
        ASSERT_TRUE(sim.started());
        EXPECT_EQ(ReadFile(file), row.expected(sim.pty_path()));
    }
}

TEST(RadiosimSettings, AddsThePortsSectionOrTheWholeFile) {
    ScratchFolder folder;
    const std::string existing = folder / "existing.ini";
    std::ofstream(existing, std::ios::binary) << "[Setup]\nSpeed=9600";
    const std::string missing = folder / "new/CAT/CAT.ini";

    Radiosim first({"--settings", existing, "--com", "2"});
    ASSERT_TRUE(first.started());
    EXPECT_EQ(ReadFile(existing),
              "[Setup]\nSpeed=9600\n\n[Ports]\nCom2=" + first.pty_path() + "\n");

    Radiosim second({"--settings", missing, "--com", "32"});
    ASSERT_TRUE(second.started());
    EXPECT_EQ(ReadFile(missing), "[Ports]\nCom32=" + second.pty_path() + "\n");
}

TEST(RadiosimSettings, LinkPointsAtThePtyUntilExit) {
    ScratchFolder folder;
    const std::string link = folder / "radio";
    ASSERT_EQ(::symlink("/dev/null", link.c_str()), 0);  // a stale link from an earlier run
    Radiosim sim({"--link", link});
    START(sim);
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.pty_path());
    const int status = sim.Stop();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

TEST(RadiosimSettings, RefusesToReplaceAFileWithTheLink) {
    ScratchFolder folder;
    const std::string file = folder / "precious";
    std::ofstream(file) << "keep me\n";
    Radiosim sim({"--link", file});
    EXPECT_FALSE(sim.started());
    const int status = sim.Reap();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "status " << status;
    EXPECT_EQ(ReadFile(file), "keep me\n");
}

}  // namespace
