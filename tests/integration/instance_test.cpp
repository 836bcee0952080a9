// The program itself, started as a user would: one copy per user, and a crashed copy never blocks.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home_.isValid()); }
    void TearDown() override {
        for (auto& p : processes_) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    QProcess& Launch() {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home_.path());
        env.insert("XDG_CONFIG_HOME", home_.filePath("config"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p->setProcessEnvironment(env);
        p->start(CATLINK_PATH, {});
        EXPECT_TRUE(p->waitForStarted(5000));
        processes_.push_back(std::move(p));
        return *processes_.back();
    }

    QString LockPath() const { return home_.filePath(".local/state/CAT/catlink.lock"); }
    QString IniPath() const { return home_.filePath("config/CAT/CAT.ini"); }
    bool WaitForLock() {
        return QTest::qWaitFor([&] { return QFile::exists(LockPath()); }, 10000);
    }

    QTemporaryDir home_;
    std::vector<std::unique_ptr<QProcess>> processes_;
};

TEST_F(InstanceTest, SecondCopyEndsAtOnceAndChangesNoSetting) {
    QDir().mkpath(home_.filePath("config/CAT"));
    {
        QFile ini(IniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Setup]\nType=1\nTop= 1200\n");
    }
    QProcess& first = Launch();
    ASSERT_TRUE(WaitForLock());
    QProcess& second = Launch();
    EXPECT_TRUE(second.waitForFinished(10000)) << "the second copy is still running";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);

    QFile ini(IniPath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), QByteArray("[Setup]\nType=1\nTop= 1200\n"));
}

TEST_F(InstanceTest, KilledCopyDoesNotBlockTheNext) {
    QProcess& first = Launch();
    ASSERT_TRUE(WaitForLock());
    ::kill(static_cast<pid_t>(first.processId()), SIGKILL);
    ASSERT_TRUE(first.waitForFinished(5000));
    ASSERT_TRUE(QFile::exists(LockPath())) << "a killed copy leaves its lock behind";

    QProcess& next = Launch();
    EXPECT_FALSE(next.waitForFinished(1500)) << "the next copy ended (status " << next.exitCode()
                                             << "): " << next.readAllStandardError().toStdString();
    EXPECT_EQ(next.state(), QProcess::Running);
    next.terminate();
    EXPECT_TRUE(next.waitForFinished(5000));
}

TEST_F(InstanceTest, LockFileLeftEmptyByACrashDoesNotBlockTheNext) {
    // A copy killed between creating its lock file and writing its process number into it.
    QDir().mkpath(QFileInfo(LockPath()).absolutePath());
    {
        QFile lock(LockPath());
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    }
    QProcess& next = Launch();
    EXPECT_FALSE(next.waitForFinished(3000)) << "the next copy ended: the empty lock blocked it";
    next.terminate();
    EXPECT_TRUE(next.waitForFinished(5000));
}

TEST_F(InstanceTest, LiveCopysLockIsNeverTakenOver) {
    QProcess& first = Launch();
    ASSERT_TRUE(WaitForLock());
    QTest::qWait(1500);  // older than any grace period
    QProcess& second = Launch();
    EXPECT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(first.state(), QProcess::Running);
}

TEST_F(InstanceTest, TerminationByTheSystemSavesTheSettings) {
    QDir().mkpath(home_.filePath("config/CAT"));
    {
        QFile ini(IniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Setup]\nType=2\nComPort=5\nAddress=5E\n");
    }
    QProcess& only = Launch();
    ASSERT_TRUE(WaitForLock());
    QTest::qWait(300);
    only.terminate();  // SIGTERM, as at logout
    ASSERT_TRUE(only.waitForFinished(5000));
    EXPECT_EQ(only.exitStatus(), QProcess::NormalExit);
    QSettings ini(IniPath(), QSettings::IniFormat);
    EXPECT_EQ(ini.value("Setup/Type").toString(), "2");
    EXPECT_EQ(ini.value("Setup/ComPort").toString(), "5");
    EXPECT_EQ(ini.value("Setup/OnTop").toString(), "0") << "written only by a proper close";
    EXPECT_TRUE(ini.value("Setup/Top").toString().startsWith(' '));
}

}  // namespace
