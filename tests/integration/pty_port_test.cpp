// The Qt serial port against a real pseudo-terminal: the test holds the master end, the port
// opens the slave through the [Ports] mapping of a throw-away settings file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <pwd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/cat_error.h"
#include "core/comm_errors.h"
#include "qt/ports/qt_comm_port.h"
#include "qt/platform/qt_settings_store.h"
#include "tests/support/fakes.h"
#include "tests/support/raw_pty.h"

namespace cat {
namespace {

using namespace std::chrono_literals;
using test::ToHex;
using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void RunEventLoop(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

// Runs the event loop until `done` holds or `limit` passes.
bool RunEventLoopUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (!done() && Clock::now() < end) RunEventLoop(10ms);
    return done();
}

class Pty {
public:
    Pty() : master_(test::OpenRawPty(slave_)) {}
    ~Pty() { Close(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool Ok() const { return master_ >= 0; }
    const std::string& Slave() const { return slave_; }
    int Master() const { return master_; }

    void Write(const std::string& bytes) const {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Everything that reaches the master within `limit`, stopping once `expected` bytes came.
    std::string Read(std::size_t expected, std::chrono::milliseconds limit = 1000ms) const {
        std::string got;
        const auto end = Clock::now() + limit;
        while (got.size() < expected && Clock::now() < end) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
            char buffer[512];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    void Close() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

private:
    std::string slave_;  // filled by the master's initialiser, so declared first
    int master_ = -1;
};

// One test's world: its own directory, settings file and pseudo-terminal mapped as Com 1.
struct World {
    QTemporaryDir dir;
    std::unique_ptr<QtSettingsStore> store;
    Pty pty;

    World() {
        store = std::make_unique<QtSettingsStore>(dir.filePath(QStringLiteral("cat.ini")));
        store->Write("Ports", "Com1", pty.Slave());
    }

    std::unique_ptr<QtCommPort> NewPort(const std::string& settings = "9600,n,8,2",
                                        Handshake handshake = Handshake::None) {
        auto port = std::make_unique<QtCommPort>(*store);
        port->SelectPort(1);
        port->SetLineSettings(RequireLineSettings(settings));
        port->SetHandshake(handshake);
        return port;
    }

    std::unique_ptr<QtCommPort> OpenPort(const std::string& settings = "9600,n,8,2",
                                         Handshake handshake = Handshake::None) {
        auto port = NewPort(settings, handshake);
        port->Open();
        return port;
    }
};

std::string AllByteValues() {
    std::string bytes;
    for (int v = 0; v < 256; ++v) bytes.push_back(static_cast<char>(v));
    return bytes;
}

// Runs `call`, expecting a CatError with `fault`; returns its description.
template <typename Call>
std::string RaisedDescription(Call&& call, CommFault fault) {
    try {
        call();
    } catch (const CatError& e) {
        EXPECT_EQ(e.Number(), CommErrorNumber(fault)) << e.Description();
        return e.Description();
    }
    ADD_FAILURE() << "no error raised";
    return {};
}

class PtyPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(world.dir.isValid());
        ASSERT_TRUE(world.pty.Ok());
    }
    World world;
};

TEST_F(PtyPortTest, EveryByteValueArrivesWithNoEventLoop) {
    auto port = world.OpenPort();
    const std::string sent = test::Bytes({0x00, 0xFF, 0xFE, 0xFE, 0x5E, 0xE0, 0x03, 0xFD, 0x0D,
                                          0x0A, 0x11, 0x13, 0x03, 0x1A, 0x7F, 0x00});
    world.pty.Write(sent);
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(port->BytesWaiting(), static_cast<int>(sent.size()));
    const std::string got = port->ReadAll();
    EXPECT_EQ(ToHex(got), ToHex(sent));
    EXPECT_EQ(port->BytesWaiting(), 0);
}

TEST_F(PtyPortTest, WrittenBytesAreOnTheLineWhenWriteReturns) {
    auto port = world.OpenPort();
    const std::string sent = AllByteValues();
    port->Write(sent);
    const std::string got = world.pty.Read(sent.size());
    EXPECT_EQ(ToHex(got), ToHex(sent));
}

TEST_F(PtyPortTest, CountIncludesBytesThatCameAfterOthersWereBuffered) {
    auto port = world.OpenPort();
    world.pty.Write("IF0");
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(port->BytesWaiting(), 3);
    world.pty.Write("14;");
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(port->BytesWaiting(), 6);
    EXPECT_EQ(port->ReadAll(), "IF014;");
}

TEST_F(PtyPortTest, ReadAllReturnsNoMoreThanWasCounted) {
    auto port = world.OpenPort();
    world.pty.Write("FA");
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(port->BytesWaiting(), 2);
    world.pty.Write(";");
    std::this_thread::sleep_for(20ms);
    // A reader uses the first BytesWaiting bytes of ReadAll: the late ';' must wait for the next
    // count rather than be handed over and dropped.
    EXPECT_EQ(port->ReadAll(), "FA");
    EXPECT_EQ(port->BytesWaiting(), 1);
    EXPECT_EQ(port->ReadAll(), ";");
}

TEST_F(PtyPortTest, StaleInputIsDiscardedAtOpen) {
    world.pty.Write("left over from before");
    std::this_thread::sleep_for(20ms);
    auto port = world.OpenPort();
    EXPECT_EQ(port->BytesWaiting(), 0);
    world.pty.Write("new");
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(port->ReadAll(), "new");
}

TEST_F(PtyPortTest, DiscardInputDropsWhatIsWaiting) {
    auto port = world.OpenPort();
    world.pty.Write("junk");
    std::this_thread::sleep_for(20ms);
    ASSERT_EQ(port->BytesWaiting(), 4);
    port->DiscardInput();
    EXPECT_EQ(port->BytesWaiting(), 0);
}

TEST_F(PtyPortTest, WaitReturnsAsSoonAsTheBytesArrive) {
    auto port = world.OpenPort();
    std::thread radio([&] {
        std::this_thread::sleep_for(50ms);
        world.pty.Write(test::Bytes({0x00, 0x14, 0x07, 0x40, 0x01}));
    });
    const auto start = Clock::now();
    const int count = port->WaitForInput(5, 3000ms);
    const auto elapsed = Clock::now() - start;
    radio.join();
    EXPECT_EQ(count, 5);
    EXPECT_LT(elapsed, 2000ms);
    EXPECT_EQ(ToHex(port->ReadAll()), "00 14 07 40 01");
}

TEST_F(PtyPortTest, WaitCollectsPiecesUntilTheCountIsIn) {
    auto port = world.OpenPort();
    std::thread radio([&] {
        for (const char* piece : {"\x01\x02", "\x03", "\x04\x05"}) {
            std::this_thread::sleep_for(30ms);
            world.pty.Write(piece);
        }
    });
    const int count = port->WaitForInput(5, 3000ms);
    radio.join();
    EXPECT_EQ(count, 5);
    EXPECT_EQ(ToHex(port->ReadAll()), "01 02 03 04 05");
}

TEST_F(PtyPortTest, WaitTimesOutWithWhatCame) {
    auto port = world.OpenPort();
    world.pty.Write("ab");
    const auto start = Clock::now();
    const int count = port->WaitForInput(5, 300ms);
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(count, 2);
    EXPECT_GE(elapsed, 280ms);
    EXPECT_LT(elapsed, 2000ms);
}

TEST_F(PtyPortTest, SilentWaitBlocksInsteadOfSpinning) {
    auto port = world.OpenPort();
    const double cpuBefore = ProcessCpuSeconds();
    EXPECT_EQ(port->WaitForInput(5, 300ms), 0);
    // A spinning wait burns the whole 0.3 s; a blocking one almost nothing.
    EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.1);
}

TEST_F(PtyPortTest, VanishedDeviceClosesThePortWithoutBusyLoop) {
    auto port = world.OpenPort();
    int lost = 0;
    QString lostText;
    QObject::connect(port.get(), &QtCommPort::PortLost, [&](const QString& text) {
        ++lost;
        lostText = text;
    });
    world.pty.Close();

    const double cpuBefore = ProcessCpuSeconds();
    RunEventLoop(500ms);
    const double cpu = ProcessCpuSeconds() - cpuBefore;

    EXPECT_LT(cpu, 0.1) << "the event loop kept handling a dead device";
    EXPECT_FALSE(port->IsOpen());
    EXPECT_EQ(lost, 1);
    EXPECT_NE(lostText.toStdString().find(world.pty.Slave()), std::string::npos)
        << lostText.toStdString();
    for (const auto& call : std::initializer_list<std::function<void()>>{
             [&] { port->BytesWaiting(); }, [&] { port->Write("FA;"); }, [&] { port->ReadAll(); },
             [&] { port->WaitForInput(5, 300ms); }}) {
        const std::string text = RaisedDescription(call, CommFault::DeviceLost);
        EXPECT_NE(text.find("Com 1 (" + world.pty.Slave() + ") is not open"), std::string::npos)
            << text;
    }
    port->Close();
    RaisedDescription([&] { port->BytesWaiting(); }, CommFault::PortNotOpen);
}

TEST_F(PtyPortTest, ReadNotificationForBytesAlreadyTakenKeepsThePortOpen) {
    // Under load the event loop can learn that bytes arrived after a tick has already taken them
    // synchronously; Qt's read then returns nothing and reports a read error. The device is fine.
    auto port = world.OpenPort();
    world.pty.Write("IF;");
    ASSERT_EQ(port->WaitForInput(3, 1000ms), 3);
    EXPECT_EQ(port->ReadAll(), "IF;");
    const auto notifiers = port->findChildren<QSocketNotifier*>();
    ASSERT_FALSE(notifiers.isEmpty());
    for (QSocketNotifier* notifier : notifiers) {
        if (notifier->type() != QSocketNotifier::Read || !notifier->isEnabled()) continue;
        QEvent activation(QEvent::SockAct);
        QCoreApplication::sendEvent(notifier, &activation);
    }
    RunEventLoop(50ms);
    EXPECT_TRUE(port->IsOpen());
    world.pty.Write("FA;");
    EXPECT_EQ(port->WaitForInput(3, 1000ms), 3);
    EXPECT_EQ(port->ReadAll(), "FA;");
}

TEST_F(PtyPortTest, DeviceVanishingDuringAWaitEndsTheWait) {
    auto port = world.OpenPort();
    std::thread unplug([&] {
        std::this_thread::sleep_for(50ms);
        world.pty.Close();
    });
    const auto start = Clock::now();
    RaisedDescription([&] { port->WaitForInput(5, 3000ms); }, CommFault::DeviceLost);
    unplug.join();
    EXPECT_LT(Clock::now() - start, 2000ms);
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(PtyPortTest, WritingToAVanishedDeviceRaises) {
    auto port = world.OpenPort();
    world.pty.Close();
    RaisedDescription(
        [&] {
            port->Write(test::Bytes({0xFE, 0xFE, 0x5E, 0xE0, 0x03, 0xFD}));
        },
        CommFault::DeviceLost);
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(PtyPortTest, OpensAgainOnceTheDeviceIsBack) {
    auto port = world.OpenPort();
    world.pty.Close();
    RunEventLoop(100ms);
    ASSERT_FALSE(port->IsOpen());

    Pty back;
    ASSERT_TRUE(back.Ok());
    world.store->Write("Ports", "Com1", back.Slave());
    port->Open();
    EXPECT_TRUE(port->IsOpen());
    EXPECT_EQ(port->DeviceName(), back.Slave());
    port->Write("ID;");
    EXPECT_EQ(back.Read(3), "ID;");
    back.Write("ID020;");
    EXPECT_EQ(port->WaitForInput(6, 2000ms), 6);
}

TEST_F(PtyPortTest, SecondOpenOfTheSameDeviceIsRefusedAsInUse) {
    auto first = world.OpenPort();
    auto second = world.NewPort();
    const std::string text = RaisedDescription([&] { second->Open(); }, CommFault::DeviceInUse);
    EXPECT_NE(text.find("Com 1 (" + world.pty.Slave() + ") is in use by another program"),
              std::string::npos)
        << text;
    EXPECT_FALSE(second->IsOpen());
    first->Write("ok");
    EXPECT_EQ(world.pty.Read(2), "ok");

    first->Close();
    second->Open();
    EXPECT_TRUE(second->IsOpen());
}

TEST_F(PtyPortTest, OpenFailuresNameTheDevice) {
    struct Row {
        const char* name;
        std::string device;
        CommFault fault;
        std::string says;
    };
    const std::string missing = world.dir.filePath(QStringLiteral("ttyUSB7")).toStdString();
    const Row rows[] = {
        {"MissingDevice", missing, CommFault::DeviceNotFound,
         "Com 1 (" + missing + ") was not found"},
        {"NotASerialDevice", "/dev/null", CommFault::SettingsRejected,
         "Com 1 (/dev/null) did not accept the line settings 9600,n,8,2"},
        // A path no file can have is missing, not a matter of permission.
        {"PathTooLongForAnyFile", "/dev/" + std::string(5000, 'x'), CommFault::DeviceNotFound,
         "was not found"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        world.store->Write("Ports", "Com1", row.device);
        auto port = world.NewPort();
        const std::string text = RaisedDescription([&] { port->Open(); }, row.fault);
        EXPECT_NE(text.find(row.says), std::string::npos) << text;
        EXPECT_FALSE(port->IsOpen());
    }
}

TEST_F(PtyPortTest, DeviceWeMayNotUseSaysHowToGetAccess) {
    if (geteuid() == 0) GTEST_SKIP() << "root may open any device";
    ASSERT_EQ(chmod(world.pty.Slave().c_str(), 0), 0);
    auto port = world.NewPort();
    const std::string text = RaisedDescription([&] { port->Open(); }, CommFault::PermissionDenied);
    EXPECT_NE(text.find(world.pty.Slave()), std::string::npos) << text;
    // The command to type, with the user's own name in it.
    EXPECT_NE(text.find("sudo adduser " + std::string(getpwuid(geteuid())->pw_name) + " dialout"),
              std::string::npos)
        << text;
}

TEST_F(PtyPortTest, OpenAndCloseTwice) {
    auto port = world.OpenPort();
    RaisedDescription([&] { port->Open(); }, CommFault::PortAlreadyOpen);
    EXPECT_TRUE(port->IsOpen());
    port->Close();
    EXPECT_FALSE(port->IsOpen());
    EXPECT_NO_THROW(port->Close());
    const std::string text = RaisedDescription([&] { port->Write("x"); }, CommFault::PortNotOpen);
    EXPECT_EQ(text, "Com 1 (" + world.pty.Slave() + ") is not open.");
}

TEST_F(PtyPortTest, NoPortChosenRaises) {
    QtCommPort port(*world.store);
    RaisedDescription([&] { port.Open(); }, CommFault::NoPortChosen);
    RaisedDescription([&] { port.SelectPort(0); }, CommFault::NoPortChosen);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(PtyPortTest, PortNumbersOutsideTheListRaiseAndKeepTheChoice) {
    QtCommPort port(*world.store);
    port.SelectPort(5);
    for (const int number : {33, -1, 1000}) {
        SCOPED_TRACE(number);
        const std::string text =
            RaisedDescription([&] { port.SelectPort(number); }, CommFault::InvalidPortNumber);
        EXPECT_NE(text.find("Com " + std::to_string(number) + " "), std::string::npos) << text;
    }
    EXPECT_EQ(port.PortNumber(), 5);
}

TEST_F(PtyPortTest, AnotherPortCannotBeChosenWhileOpen) {
    auto port = world.OpenPort();
    RaisedDescription([&] { port->SelectPort(2); }, CommFault::PortChangeWhileOpen);
    EXPECT_NO_THROW(port->SelectPort(1));
    EXPECT_EQ(port->PortNumber(), 1);
}

// The master end reports the slave's line settings, so the test sees what the port set. A
// Linux pseudo-terminal forces 8 data bits without parity, so only speed and stop bits show.
termios LineOf(const Pty& pty) {
    termios t{};
    tcgetattr(pty.Master(), &t);
    return t;
}

TEST_F(PtyPortTest, SettingsReachTheLine) {
    struct Row {
        const char* name;
        const char* text;
        speed_t speed;
        bool twoStopBits;
    };
    const Row rows[] = {
        {"IcomLine", "9600,n,8,2", B9600, true},
        {"SlowKenwood", "4800,n,8,2", B4800, true},
        {"FastOneStop", "115200,n,8,1", B115200, false},
        {"SevenEven", "19200,e,7,1", B19200, false},
        {"UpperCaseOdd", "38400,O,8,2", B38400, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto port = world.OpenPort(row.text);
        const termios t = LineOf(world.pty);
        EXPECT_EQ(cfgetospeed(&t), row.speed);
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, row.twoStopBits);
    }
}

TEST_F(PtyPortTest, SettingsAndHandshakingChangeWhileOpen) {
    auto port = world.OpenPort("4800,n,8,2");
    EXPECT_EQ(LineOf(world.pty).c_cflag & CRTSCTS, 0u);
    port->SetLineSettings(RequireLineSettings("19200,n,8,1"));
    port->SetHandshake(Handshake::RtsCts);
    const termios t = LineOf(world.pty);
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_EQ(t.c_cflag & CSTOPB, 0u);
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
}

TEST_F(PtyPortTest, HandshakingChosenBeforeOpenApplies) {
    auto port = world.OpenPort("9600,n,8,2", Handshake::RtsCts);
    EXPECT_NE(LineOf(world.pty).c_cflag & CRTSCTS, 0u);
}

TEST_F(PtyPortTest, ArrivalNoticeComesFromTheEventLoopNotFromReads) {
    auto port = world.OpenPort();
    bool inSyncCall = false;
    int duringSync = 0;
    int notifications = 0;
    std::string received;
    QObject::connect(port.get(), &QtCommPort::BytesArrived, [&] {
        ++notifications;
        if (inSyncCall) ++duringSync;
        // Like the receive dispatch: the bytes may already be gone.
        if (port->BytesWaiting() > 0) received += port->ReadAll();
    });

    world.pty.Write("FA00014074000;");
    std::this_thread::sleep_for(20ms);
    inSyncCall = true;
    EXPECT_EQ(port->BytesWaiting(), 14);
    world.pty.Write("MD2;");
    EXPECT_EQ(port->WaitForInput(18, 2000ms), 18);
    inSyncCall = false;
    EXPECT_EQ(port->ReadAll(), "FA00014074000;MD2;");
    EXPECT_EQ(notifications, 0);

    // The notification queued by those reads runs now and finds nothing waiting.
    RunEventLoop(50ms);
    EXPECT_EQ(duringSync, 0);
    EXPECT_GE(notifications, 1);
    EXPECT_EQ(received, "");

    // Bytes arriving while the loop runs reach the handler.
    notifications = 0;
    world.pty.Write("IF;");
    EXPECT_TRUE(RunEventLoopUntil([&] { return received == "IF;"; }, 2000ms)) << received;
    EXPECT_GE(notifications, 1);
}

TEST_F(PtyPortTest, TooltipAndDeviceFollowTheMapping) {
    QtCommPort port(*world.store);
    port.SelectPort(1);
    EXPECT_EQ(port.DeviceName(), world.pty.Slave());
    port.SelectPort(4);
    EXPECT_EQ(port.DeviceName(), "/dev/ttyS3");
}

}  // namespace
}  // namespace cat
