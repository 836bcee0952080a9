// A far end that floods the network port (anything listening at a mapped address can): the
// event loop keeps turning, everything is read in bounded passes, and the noise names no radio.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "doctor/line_analyzer.h"
#include "protocols/common/family_codes.h"
#include "qt/serial_port.h"
#include "tests/support/memory_store.h"

namespace cat {
namespace {

// Accepts one connection on loopback and sends random bytes as fast as the socket takes them,
// until stopped, and for 4 s at most.
class FloodServer {
public:
    FloodServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 1);
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FloodServer() {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    int Port() const { return port_; }

private:
    void Serve() {
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        std::mt19937 random(3);
        std::string chunk(64 * 1024, '\0');
        for (char& c : chunk) c = static_cast<char>(random() & 0xFF);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(4);
        while (!stop_ && std::chrono::steady_clock::now() < end)
            if (::send(client, chunk.data(), chunk.size(), MSG_NOSIGNAL) <= 0) break;
        ::close(client);
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(Flood, ABurstIntoTheNetworkPortKeepsTheEventLoopTurning) {
    FloodServer server;
    test::MemoryStore store;
    store.Write("Ports", "Com5", "tcp://127.0.0.1:" + std::to_string(server.Port()));
    QtCommPort port(store);
    port.SetCommPort(5);
    port.SetSettings("9600,n,8,2");
    port.SetPortOpen(true);

    doctor::LineAnalyzer line(kICOM, "5E");
    std::size_t received = 0;
    QObject::connect(&port, &QtCommPort::OnComm, [&] {
        if (!port.PortOpen()) return;
        const std::string bytes = port.Input();
        received += bytes.size();
        line.Received(0, bytes);
    });
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(100);
    QTest::qWait(2000);
    timer.stop();
    port.SetPortOpen(false);

    // Twenty ticks are due; a loop kept in the port would have let none through.
    EXPECT_GE(ticks, 10);
    EXPECT_GT(received, 1u << 20) << "the flood was read";
    EXPECT_TRUE(line.Summary().otherAddresses.empty());
    EXPECT_FALSE(line.Summary().lastReply.has_value());
}

}  // namespace
}  // namespace cat
