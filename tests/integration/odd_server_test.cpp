// catlink --doctor against a rigctld that answers oddly: a flood of answer headers that never
// ends, answers split by the network, a mode name thousands of characters long. A small fake
// server on loopback plays it; what the doctor says, how long it takes and how much it prints
// are what count.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "tests/support/doctor_process.h"
#include "tests/support/loopback_listener.h"

namespace cat {
namespace {

using Clock = std::chrono::steady_clock;

// What the fake answers to one command line ("+f"): the bytes, each sent `splitMs` apart in two
// halves when that is not 0.
struct Behaviour {
    std::function<std::string(const std::string& command)> answer;
    int splitMs = 0;
};

// rigctld's answers to what the link asks, as its dummy radio gives them.
std::string PlainAnswer(const std::string& command) {
    static const std::map<std::string, std::string> kAnswers = {
        {"+\\dump_caps", "dump_caps:\nModel name:\tDummy\nMfg name:\tHamlib\nRPRT 0\n"},
        {"+f", "get_freq:\nFrequency: 7074000\nRPRT 0\n"},
        {"+m", "get_mode:\nMode: USB\nPassband: 2400\nRPRT 0\n"},
        {"+t", "get_ptt:\nPTT: 0\nRPRT 0\n"},
    };
    const auto found = kAnswers.find(command);
    return found != kAnswers.end() ? found->second : "RPRT -11\n";
}

// One client at a time on a loopback port; each command line is answered as `behaviour` says.
class FakeRigctld {
public:
    explicit FakeRigctld(Behaviour behaviour) : behaviour_(std::move(behaviour)) {
        listener_ = cat::test::ListenOnLoopback(port_);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FakeRigctld() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    QString Address() const { return QStringLiteral("rigctld://127.0.0.1:%1").arg(port_); }
    int Connections() const { return connections_; }

private:
    struct Due {
        Clock::time_point at;
        std::string bytes;
    };

    void Serve() {
        int client = -1;
        std::string received;
        std::deque<Due> due;
        while (!stop_) {
            pollfd fds[2] = {{listener_, POLLIN, 0}, {client, POLLIN, 0}};
            ::poll(fds, client >= 0 ? 2 : 1, 20);
            if (fds[0].revents & POLLIN) {
                if (client >= 0) ::close(client);
                client = ::accept(listener_, nullptr, nullptr);
                ++connections_;
                received.clear();
                due.clear();
            }
            if (client >= 0 && (fds[1].revents & (POLLIN | POLLHUP))) {
                char buffer[4096];
                const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    ::close(client);
                    client = -1;
                    continue;
                }
                received.append(buffer, static_cast<std::size_t>(got));
                TakeCommands(received, due);
            }
            while (client >= 0 && !due.empty() && due.front().at <= Clock::now()) {
                ::send(client, due.front().bytes.data(), due.front().bytes.size(), MSG_NOSIGNAL);
                due.pop_front();
            }
        }
        if (client >= 0) ::close(client);
    }

    void TakeCommands(std::string& received, std::deque<Due>& due) {
        for (std::size_t end; (end = received.find('\n')) != std::string::npos;) {
            std::string answer = behaviour_.answer(received.substr(0, end));
            received.erase(0, end + 1);
            const auto start = due.empty() ? Clock::now() : due.back().at;
            if (behaviour_.splitMs == 0 || answer.size() < 2) {
                due.push_back({start, std::move(answer)});
                continue;
            }
            const std::size_t half = answer.size() / 2;
            due.push_back({start, answer.substr(0, half)});
            due.push_back(
                {start + std::chrono::milliseconds(behaviour_.splitMs), answer.substr(half)});
        }
    }

    Behaviour behaviour_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

std::size_t LongestLine(const QString& text) {
    qsizetype longest = 0;
    for (const QString& line : text.split('\n')) longest = std::max(longest, line.size());
    return static_cast<std::size_t>(longest);
}

TEST(OddRigctld, TheDoctorJudgesWhatTheServerDoesInBoundedTimeAndText) {
    const std::string flood = [] {
        std::string text;
        for (int i = 0; i < 70'000; ++i) text += "a:\n";
        return text;
    }();
    const struct {
        const char* name;
        Behaviour behaviour;
        int status;
        QStringList said;
    } rows[] = {
        // 200 kB of answer headers and never an RPRT: no rigctld sends that.
        {"flood_of_headers_is_not_rigctld",
         {[&](const std::string&) { return flood; }},
         1,
         {"verdict: not-the-server", "bytes not shown"}},
        // A slow link: every answer in two halves half a second apart is still rigctld's.
        {"answers_in_halves_are_answers",
         {PlainAnswer, 500},
         0,
         {"verdict: answering", "frequency: 7.074000 MHz"}},
        {"a_huge_mode_name_is_cut",
         {[](const std::string& command) {
             return command == "+m"
                        ? "get_mode:\nMode: " + std::string(5000, 'X') + "\nPassband: 0\nRPRT 0\n"
                        : PlainAnswer(command);
         }},
         0,
         {"verdict: answering", "more characters"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir home;
        FakeRigctld server(row.behaviour);
        QElapsedTimer took;
        took.start();
        const test::DoctorOutcome run = test::RunDoctor(home.path(), {server.Address()}, 40000);
        const std::string out = run.out.left(4000).toStdString();
        std::printf("%s: %.1f s, %lld bytes printed\n", row.name, took.elapsed() / 1000.0,
                    static_cast<long long>(run.out.size()));
        EXPECT_EQ(run.status, row.status) << out;
        for (const QString& said : row.said) EXPECT_TRUE(run.out.contains(said)) << out;
        // Whatever the server sends, the report stays a few screens of short lines.
        EXPECT_LT(run.out.size(), 100'000);
        EXPECT_LT(LongestLine(run.out), 1000u);
    }
}

// A server owns the radio's port and its lines: keying by one is refused before anything opens.
TEST(OddRigctld, KeyingByALineThroughTheServerIsRefusedAtOnce) {
    for (const char* line : {"rts", "dtr"}) {
        SCOPED_TRACE(line);
        QTemporaryDir home;
        FakeRigctld server({PlainAnswer});
        const test::DoctorOutcome run =
            test::RunDoctor(home.path(), {server.Address(), "--ptt", line}, 20000);
        EXPECT_EQ(run.status, 2) << run.out.toStdString();
        EXPECT_TRUE(run.out.contains("owns its port and its RTS and DTR lines"))
            << run.out.toStdString();
        EXPECT_EQ(server.Connections(), 0);
    }
}

}  // namespace
}  // namespace cat
