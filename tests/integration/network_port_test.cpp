// The serial-port contract over the network, against the real thing: ser2net publishes radiosim's
// pseudo-terminal as RFC 2217 and as raw TCP on loopback, and the program's port opens Com 5
// through a [Ports] mapping. The line the program sets is read back from the pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "core/comm_errors.h"
#include "qt/ports/network_transport.h"
#include "qt/ports/parked_connections.h"
#include "qt/ports/qt_comm_port.h"
#include "tests/support/fakes.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/memory_store.h"
#include "tests/support/radiosim_process.h"
#include "tests/support/ser2net_process.h"

namespace cat {
namespace {

using namespace std::chrono_literals;
using test::Bytes;
using test::ToHex;

const std::string kIcomPoll = Bytes({0xfe, 0xfe, 0x5e, 0xe0, 0x03, 0xfd});
const std::string kIcomReply = "fe fe e0 5e 03 00 40 07 14 00 fd";

// A far end that grants port control and answers every setting, but keeps its line at 9600 baud
// whatever speed is asked, and says so in its answer: one connection, on a loopback port.
class FarEndAt9600 {
public:
    FarEndAt9600() {
        listener_ = cat::test::ListenOnLoopback(port_, 1);
        thread_ = std::thread([this] { Serve(); });
    }
    ~FarEndAt9600() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    QString Address() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(port_); }

private:
    bool Readable(int fd) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, 100) > 0;
    }
    void Serve() {
        while (!stop_ && !Readable(listener_)) {
        }
        if (stop_) return;
        const int fd = ::accept(listener_, nullptr, nullptr);
        // DO COM-PORT-OPTION, WILL BINARY, DO BINARY.
        Send(fd, Bytes({0xff, 0xfd, 0x2c, 0xff, 0xfb, 0x00, 0xff, 0xfd, 0x00}));
        std::string heard;
        bool answered = false;
        while (!stop_) {
            if (!Readable(fd)) continue;
            char buffer[256];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n <= 0) break;
            heard.append(buffer, static_cast<std::size_t>(n));
            // The client's flow control (SET-CONTROL 1) follows its other settings: all are
            // asked, answer them. Its DTR and RTS came first.
            if (answered || heard.find(Bytes({0xff, 0xfa, 0x2c, 0x05, 0x01})) == std::string::npos)
                continue;
            answered = true;
            Send(fd, Bytes({0xff, 0xfa, 0x2c, 0x65, 0x00, 0x00, 0x25, 0x80, 0xff, 0xf0,  // 9600
                            0xff, 0xfa, 0x2c, 0x66, 0x08, 0xff, 0xf0,     // 8 data bits
                            0xff, 0xfa, 0x2c, 0x67, 0x01, 0xff, 0xf0,     // no parity
                            0xff, 0xfa, 0x2c, 0x68, 0x02, 0xff, 0xf0,     // 2 stop bits
                            0xff, 0xfa, 0x2c, 0x69, 0x01, 0xff, 0xf0}));  // no flow control
        }
        ::close(fd);
    }
    static void Send(int fd, const std::string& bytes) {
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class NetworkPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_SER2NET();
        ASSERT_TRUE(dir_.isValid());
        device_ = dir_.filePath("radio");
        radio_ = std::make_unique<test::Radiosim>(dir_.filePath("radiosim.ini"), 1,
                                                  QStringList{"--link", device_});
        ASSERT_TRUE(radio_->Started());
        ser2net_ = std::make_unique<test::Ser2net>(device_, dir_.path());
        ASSERT_TRUE(ser2net_->Started()) << ser2net_->Output().toStdString();
    }

    // Com 5 mapped to `address`, with the line given.
    QtCommPort& Port(const QString& address, const std::string& settings = "9600,n,8,2",
                     Handshake handshake = Handshake::None) {
        port_.reset();
        store_.Write("Ports", "Com5", address.toStdString());
        port_ = std::make_unique<QtCommPort>(store_);
        port_->SelectPort(5);
        port_->SetLineSettings(RequireLineSettings(settings));
        port_->SetHandshake(handshake);
        return *port_;
    }

    // ser2net lets its device go a moment after a connection ends; a connection that comes
    // meanwhile finds it busy and is hung up on, which the port reports as an absence. Tried
    // again, as a waiting link would.
    static void Open(QtCommPort& port, bool retryAbsence = true) {
        for (int attempt = 0;; ++attempt) {
            try {
                port.Open();
                return;
            } catch (const CatError& e) {
                if (!retryAbsence || !MeansAbsent(e.Number()) || attempt == 15) throw;
                QTest::qWait(200);
            }
        }
    }

    // The pseudo-terminal's line as ser2net left it: any descriptor of the slave shows it.
    termios Line() {
        termios t{};
        const int fd =
            ::open(radio_->Pty().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(fd, 0);
        if (fd < 0) return t;
        EXPECT_EQ(::tcgetattr(fd, &t), 0);
        ::close(fd);
        return t;
    }

    QTemporaryDir dir_;
    QString device_;
    std::unique_ptr<test::Radiosim> radio_;
    std::unique_ptr<test::Ser2net> ser2net_;
    test::MemoryStore store_;
    std::unique_ptr<QtCommPort> port_;
};

TEST_F(NetworkPortTest, PollAndReplyPassBothWaysAndFfIsOneByte) {
    for (const QString& address : {ser2net_->Rfc2217Address(), ser2net_->RawAddress()}) {
        SCOPED_TRACE(address.toStdString());
        QtCommPort& port = Port(address);
        Open(port);
        ASSERT_TRUE(port.IsOpen());
        port.Write(kIcomPoll);
        EXPECT_EQ(port.WaitForInput(11, 2000ms), 11);
        EXPECT_EQ(ToHex(port.ReadAll()), kIcomReply);

        // Telnet doubles 0xFF on the wire; neither end may see it twice.
        port.Write(Bytes({0xff, 0x41, 0xff}));
        EXPECT_TRUE(radio_->WaitForLine("rx ff 41 ff")) << radio_->Lines().join("|").toStdString();
        radio_->Control("send ff fe ff ff");
        EXPECT_EQ(port.WaitForInput(4, 2000ms), 4);
        EXPECT_EQ(ToHex(port.ReadAll()), "ff fe ff ff");
        port.Close();
        EXPECT_FALSE(port.IsOpen());
    }
}

TEST_F(NetworkPortTest, Rfc2217SetsTheFarLineAndRawTcpLeavesIt) {
    struct Row {
        const char* settings;
        Handshake handshake;
        speed_t speed;
        bool twoStopBits;
    };
    const Row rows[] = {
        {"1200,n,8,2", Handshake::None, B1200, true},
        {"38400,n,8,1", Handshake::RtsCts, B38400, false},
        {"115200,n,8,2", Handshake::RtsCts, B115200, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.settings);
        QtCommPort& port = Port(ser2net_->Rfc2217Address(), row.settings, row.handshake);
        Open(port);
        const termios line = Line();
        EXPECT_EQ(cfgetospeed(&line), row.speed);
        EXPECT_EQ((line.c_cflag & CSTOPB) != 0, row.twoStopBits);
        EXPECT_EQ((line.c_cflag & CRTSCTS) != 0, row.handshake == Handshake::RtsCts);
        EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(line.c_cflag & PARENB, 0u);
        port.Close();
    }
    // A change while open reaches the far port too.
    QtCommPort& port = Port(ser2net_->Rfc2217Address(), "4800,n,8,2");
    Open(port);
    port.SetLineSettings(RequireLineSettings("19200,n,8,2"));
    const termios changed = Line();
    EXPECT_EQ(cfgetospeed(&changed), static_cast<speed_t>(B19200));
    port.Close();

    // Raw TCP: the far end keeps the line of its own configuration; the program's never reaches
    // it.
    QtCommPort& raw = Port(ser2net_->RawAddress(), "1200,n,8,2");
    Open(raw);
    const termios kept = Line();
    EXPECT_NE(cfgetospeed(&kept), static_cast<speed_t>(B1200));
}

TEST_F(NetworkPortTest, FailuresSayWhatIsWrongInTheOperatorsWords) {
    struct Row {
        const char* name;
        QString address;
        std::string settings;
        CommFault fault;
        const char* says;
    };
    const QString nobody = QStringLiteral("rfc2217://127.0.0.1:%1").arg(test::Ser2net::FreePort());
    const FarEndAt9600 at9600;
    const Row rows[] = {
        {"nothing_listens", nobody, "9600,n,8,2", CommFault::ConnectionRefused,
         "refused the connection"},
        {"no_such_computer", "tcp://no-such-host.invalid:2000", "9600,n,8,2",
         CommFault::HostNotFound, "was not found on the network"},
        {"no_port_number", "rfc2217://127.0.0.1", "9600,n,8,2", CommFault::InvalidNetworkAddress,
         "is not a network port this program can use"},
        {"far_port_without_one_and_a_half_stop_bits", ser2net_->Rfc2217Address(), "9600,n,8,1.5",
         CommFault::FarPortRefused, "stop bits: no answer"},
        {"far_port_answering_another_speed", at9600.Address(), "4800,n,8,2",
         CommFault::FarPortRefused, "speed: it answered 9600"},
        {"raw_port_taken_for_rfc2217",
         QStringLiteral("rfc2217://127.0.0.1:%1").arg(ser2net_->RawPort()), "9600,n,8,2",
         CommFault::NoPortControl, "does not let the program set its serial port"},
    };
    for (const Row& row : rows) {
        QtCommPort& port = Port(row.address, row.settings);
        try {
            Open(port, !MeansAbsent(CommErrorNumber(row.fault)));
            ADD_FAILURE() << row.name << ": opened";
        } catch (const CatError& e) {
            // Without a name server the lookup cannot say "no such name", only "no answer".
            const bool offline = row.fault == CommFault::HostNotFound &&
                                 e.Number() == CommErrorNumber(CommFault::NoAnswer);
            if (!offline) {
                EXPECT_EQ(e.Number(), CommErrorNumber(row.fault)) << row.name;
            }
            EXPECT_NE(e.Description().find(offline ? "did not answer" : row.says),
                      std::string::npos)
                << row.name << ": " << e.Description();
            EXPECT_EQ(e.Description().rfind("Com 5 (" + row.address.toStdString() + ")", 0), 0u)
                << row.name << ": " << e.Description();
        }
        EXPECT_FALSE(port.IsOpen()) << row.name;
    }
}

TEST_F(NetworkPortTest, FarEndGoingAwayClosesThePortOnceAndItsAbsenceIsSaid) {
    QtCommPort& port = Port(ser2net_->Rfc2217Address());
    QSignalSpy lost(&port, &QtCommPort::PortLost);
    Open(port);
    radio_->Stop();  // ser2net loses its device and drops the connection
    ASSERT_TRUE(QTest::qWaitFor([&] { return lost.count() > 0; }, 3000));
    QTest::qWait(100);
    EXPECT_EQ(lost.count(), 1);
    EXPECT_FALSE(port.IsOpen());
    try {
        port.Write(kIcomPoll);
        ADD_FAILURE() << "wrote to a lost connection";
    } catch (const CatError& e) {
        EXPECT_EQ(e.Number(), CommErrorNumber(CommFault::ConnectionLost)) << e.Description();
    }
    // Opened again while ser2net cannot open its device: an absence, in ser2net's own words.
    try {
        port.Open();
        ADD_FAILURE() << "opened";
    } catch (const CatError& e) {
        EXPECT_TRUE(MeansAbsent(e.Number())) << e.Description();
        EXPECT_NE(e.Description().find("the far end closed the connection: Device open failure"),
                  std::string::npos)
            << e.Description();
    }
}

// The watch's probe of a network port that is back holds the far end's device open, its lines
// raised, until the link takes the connection over: it sets the lines the link will set as its
// first bytes, so that a radio keyed from RTS is released at once.
TEST(NetworkProbe, SetsTheLinkLinesAsItsFirstBytes) {
    QTemporaryDir dir;
    test::Radiosim radio(dir.filePath("CAT.ini"), 5, {"--rfc2217", "0", "--ptt", "rts"});
    ASSERT_TRUE(radio.Started());
    const std::optional<PortTarget> target =
        ParsePortTarget("rfc2217://" + radio.Address().toStdString());
    ASSERT_TRUE(target);
    const std::optional<ProbedConnection> connection = ProbeNetworkPort(
        *target, 1000ms, NetworkTransport::LinesFirst(ControlLineLevels{}, Handshake::None));
    ASSERT_TRUE(connection);
    EXPECT_TRUE(radio.WaitForLine("transmit off", 1000)) << radio.Lines().join('\n').toStdString();
    const QStringList lines = radio.Lines();
    EXPECT_EQ(lines.indexOf("lines dtr on rts off"), lines.indexOf("transmit on (rts)") + 1)
        << lines.join('\n').toStdString();
    const std::optional<double> on = radio.TimeOf("transmit on (rts)");
    const std::optional<double> off = radio.TimeOf("transmit off");
    if (on && off) std::printf("probe: radio keyed %.1f ms\n", (*off - *on) * 1000);
    ::close(connection->fd);
}

}  // namespace
}  // namespace cat
