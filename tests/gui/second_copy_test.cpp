// The running copy's side of a second start: this process holds the lock and shows the real window,
// as main() sets them up, and the real program is started again against the same home folder.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "qt/instance_lock.h"
#include "qt/raise_channel.h"
#include "tests/support/window_fixture.h"

namespace cat {
namespace {

using test::WindowTest;

TEST_F(WindowTest, SecondCopyBringsTheMinimisedWindowToTheFront) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString lockPath = home.filePath(".local/state/CAT/catlink.lock");
    InstanceLock lock(lockPath);
    ASSERT_TRUE(lock.Acquired());
    frmCAT& w = Start();
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

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path());
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(env);
    second.start(CATLINK_PATH, {});
    // The event loop must run meanwhile: this copy answers the second one from it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 8000));
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
