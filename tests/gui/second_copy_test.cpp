// The running copy's side of a second start: this process holds the lock and shows the real window,
// as main() sets them up, and the real program is started again against the same home folder.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <cstring>
#include <thread>

#include "qt/program/instance_lock.h"
#include "qt/program/raise_channel.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using namespace test;

// A client of the same user that asks one byte every 450 ms, over and over, until stopped.
class SlowAsker {
public:
    explicit SlowAsker(const QString& socketPath) : path_(QFile::encodeName(socketPath)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~SlowAsker() {
        stop_ = true;
        thread_.join();
    }

private:
    void Run() {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path_.constData(), std::size_t(path_.size()));
        while (!stop_) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0)
                for (const char* c = "raise\n"; *c && !stop_; ++c) {
                    ::send(fd, c, 1, MSG_NOSIGNAL);
                    std::this_thread::sleep_for(std::chrono::milliseconds(450));
                }
            ::close(fd);
        }
    }

    QByteArray path_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// ... while another client asks too slowly: it is not waited for, so neither the window nor the
// second copy is held up.
TEST_F(WindowTest, SecondCopyBringsTheMinimisedWindowToTheFront) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString lockPath = home.filePath(".local/state/CAT/catlink.lock");
    InstanceLock lock(lockPath);
    ASSERT_TRUE(lock.Acquired());
    MainWindow& w = Start();
    RaiseListener listener(RaiseChannelPath(lockPath), w);
    ASSERT_TRUE(listener.Listening());
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QWidget other;  // holds the focus meanwhile
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    w.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(w.isMinimized());

    SlowAsker slow(RaiseChannelPath(lockPath));
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(100);
    QElapsedTimer clock;
    clock.start();

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(env);
    second.start(CATLINK_PATH, {});
    // The event loop must run meanwhile: this copy answers the second one from it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 8000));
    // A window held up by the slow client would miss nearly every tick.
    EXPECT_GE(ticks, clock.elapsed() / 300) << ticks << " ticks in " << clock.elapsed() << " ms";
    EXPECT_EQ(second.exitCode(), 3);
    EXPECT_EQ(QString(second.readAllStandardError()).trimmed(),
              QString("CAT is already running (process %1); its window was brought to the front.")
                  .arg(QCoreApplication::applicationPid()));
    EXPECT_FALSE(w.isMinimized());
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.isActiveWindow(); }, 2000));
    EXPECT_FALSE(QFile::exists(home.filePath("config/CAT/CAT.ini")))
        << "the second copy wrote settings";
}

}  // namespace
}  // namespace cat
