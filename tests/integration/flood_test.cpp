// A far end that floods the network port (anything listening at a mapped address can): the
// event loop keeps turning, everything is read in bounded passes, and the noise names no radio;
// a far end that floods telnet negotiation is dropped, saying so; and the window closes at once
// when told to, whatever comes in.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#include "doctor/line_analyzer.h"
#include "qt/ports/qt_comm_port.h"
#include "qt/program/close_on_signal.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/memory_store.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using namespace test;

std::string RandomChunk() {
    std::mt19937 random(3);
    std::string chunk(64 * 1024, '\0');
    for (char& c : chunk) c = static_cast<char>(random() & 0xFF);
    return chunk;
}

// Every option but binary and the serial port's, offered, refused, asked for and forbidden.
std::string NegotiationStorm() {
    std::string chunk;
    for (int option = 1; option < 256; ++option)
        for (const int verb : {251, 252, 253, 254})  // WILL, WONT, DO, DONT
            if (option != 44) chunk += {'\xFF', static_cast<char>(verb), static_cast<char>(option)};
    return chunk;
}

// Accepts one connection on loopback and sends `chunk` over and over as fast as the socket takes
// it, reading nothing, until stopped, and for `seconds` at most.
class FloodServer {
public:
    explicit FloodServer(std::string chunk, int seconds = 4)
        : chunk_(std::move(chunk)), seconds_(seconds) {
        listener_ = cat::test::ListenOnLoopback(port_, 1);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FloodServer() {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        // A send blocked on a reader that stopped reading returns.
        if (const int client = client_; client >= 0) ::shutdown(client, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    int Port() const { return port_; }

private:
    void Serve() {
        const int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        client_ = client;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds_);
        while (!stop_ && std::chrono::steady_clock::now() < end)
            if (::send(client, chunk_.data(), chunk_.size(), MSG_NOSIGNAL) <= 0) break;
        client_ = -1;
        ::close(client);
    }

    const std::string chunk_;
    const int seconds_;
    int listener_ = -1;
    std::atomic<int> client_{-1};
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Com 5, mapped to the server through `scheme`, set as a link sets it; not opened yet.
std::unique_ptr<QtCommPort> Com5(test::MemoryStore& store, const char* scheme,
                                 const FloodServer& server) {
    store.Write("Ports", "Com5", scheme + ("://127.0.0.1:" + std::to_string(server.Port())));
    auto port = std::make_unique<QtCommPort>(store);
    port->SelectPort(5);
    port->SetLineSettings(RequireLineSettings("9600,n,8,2"));
    return port;
}

TEST(Flood, ABurstIntoTheNetworkPortKeepsTheEventLoopTurning) {
    FloodServer server(RandomChunk());
    test::MemoryStore store;
    const auto com5 = Com5(store, "tcp", server);
    QtCommPort& port = *com5;
    port.Open();

    doctor::LineAnalyzer line(Protocol::Icom, "5E");
    std::size_t received = 0;
    QObject::connect(&port, &QtCommPort::BytesArrived, [&] {
        if (!port.IsOpen()) return;
        const std::string bytes = port.ReadAll();
        received += bytes.size();
        line.Received(0, bytes);
    });
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(100);
    QTest::qWait(2000);
    timer.stop();
    port.Close();

    // Twenty ticks are due; a loop kept in the port would have let none through.
    EXPECT_GE(ticks, 10);
    EXPECT_GT(received, 1u << 20) << "the flood was read";
    EXPECT_TRUE(line.Summary().otherAddresses.empty());
    EXPECT_FALSE(line.Summary().lastReply.has_value());
}

TEST(Flood, ATelnetNegotiationStormIsDroppedSayingSo) {
    FloodServer server(NegotiationStorm());
    test::MemoryStore store;
    const auto com5 = Com5(store, "rfc2217", server);
    QtCommPort& port = *com5;
    // Our answers pile up while the far end reads none of them: the connection goes, during the
    // open or soon after, and not the program's memory.
    std::string why;
    QObject::connect(&port, &QtCommPort::PortLost,
                     [&](const QString& description) { why = description.toStdString(); });
    try {
        port.Open();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !why.empty(); }, 4000));
    } catch (const CatError& e) {
        why = e.Description();
    }
    EXPECT_NE(why.find("the far end floods telnet option negotiation"), std::string::npos) << why;
    EXPECT_FALSE(port.IsOpen());
}

// The window, with its link open on a far end that floods it, closes on SIGTERM as on a quiet
// line: the signal's byte waits behind one bounded read pass at most.
TEST_F(WindowTest, TheWindowClosesOnSigtermUnderAFlood) {
    FloodServer server(RandomChunk(), 10);
    MainWindow& w = Start();
    store->Write("Ports", "Com5", "tcp://127.0.0.1:" + std::to_string(server.Port()));
    ProtocolList(w)->setCurrentIndex(0);
    PortList(w)->setCurrentIndex(4);
    w.show();
    OpenButton(w)->click();
    ASSERT_TRUE(OpenButton(w)->isChecked());
    CloseOnSignal closeOnSignal(w);
    QTest::qWait(1000);  // well into the flood
    ASSERT_TRUE(w.isVisible());
    QElapsedTimer clock;
    clock.start();
    ::raise(SIGTERM);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.isVisible(); }, 3000)) << "SIGTERM went unheard";
    std::printf("closed %lld ms after SIGTERM\n", static_cast<long long>(clock.elapsed()));
}

}  // namespace
}  // namespace cat
