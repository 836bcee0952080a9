// The program itself, started as a user would: one copy per user, a crashed copy never blocks, and
// every file in the way of the lock or the settings is named.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

namespace {

class InstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home_.isValid());
        homePath_ = home_.path();
    }
    void TearDown() override {
        // Folders made read-only by a test must not keep the temporary home from going.
        QDirIterator it(home_.path(), QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            QFile(it.next()).setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        for (auto& p : processes_) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    // As the user running the tests, or with `unprivileged` as user nobody when that is root, so
    // that permissions count.
    QProcess& Launch(bool unprivileged = false, const QStringList& args = {}) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", homePath_);
        env.insert("XDG_CONFIG_HOME", homePath_ + "/config");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p->setProcessEnvironment(env);
        if (unprivileged && ::getuid() == 0) {
            p->start("setpriv", QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                            CATLINK_PATH} +
                                    args);
        } else {
            p->start(CATLINK_PATH, args);
        }
        EXPECT_TRUE(p->waitForStarted(5000));
        processes_.push_back(std::move(p));
        return *processes_.back();
    }

    // When the tests run as root, hands the home folder to nobody; false when that user cannot
    // run the program here.
    bool PrepareUnprivileged() {
        if (::getuid() != 0) return true;
        const passwd* nobody = ::getpwnam("nobody");
        const group* nogroup = ::getgrnam("nogroup");
        if (!nobody || !nogroup || QStandardPaths::findExecutable("setpriv").isEmpty())
            return false;
        QDir().mkpath(homePath_ + "/config");
        QDir().mkpath(QFileInfo(LockPath()).absolutePath());
        QDirIterator it(homePath_, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        bool owned = true;
        for (const QString& folder : {home_.path(), homePath_})
            owned =
                ::chown(QFile::encodeName(folder), nobody->pw_uid, nogroup->gr_gid) == 0 && owned;
        while (it.hasNext())
            owned = ::chown(QFile::encodeName(it.next()), nobody->pw_uid, nogroup->gr_gid) == 0 &&
                    owned;
        QProcess& probe = Launch(true, {"--version"});
        return owned && probe.waitForFinished(5000) && probe.exitCode() == 0;
    }

    QString LockPath() const { return homePath_ + "/.local/state/CAT/catlink.lock"; }
    QString IniPath() const { return homePath_ + "/config/CAT/CAT.ini"; }
    // The lock file is made first and its owner written into it after: only a file that names
    // `owner` is its finished lock (an earlier look sees it empty, and its time changes once
    // more).
    bool WaitForLock(const QProcess& owner) {
        const QByteArray pid = QByteArray::number(owner.processId());
        return QTest::qWaitFor(
            [&] {
                QFile lock(LockPath());
                return lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed() == pid;
            },
            10000);
    }

    QTemporaryDir home_;
    QString homePath_;  // HOME of the copies started next
    std::vector<std::unique_ptr<QProcess>> processes_;
};

TEST_F(InstanceTest, SecondCopyRaisesTheFirstEndsWithStatus3AndChangesNoSetting) {
    QDir().mkpath(home_.filePath("config/CAT"));
    {
        QFile ini(IniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Setup]\nType=1\nTop= 1200\n");
    }
    QProcess& first = Launch();
    ASSERT_TRUE(WaitForLock(first));
    QProcess& second = Launch();
    EXPECT_TRUE(second.waitForFinished(10000)) << "the second copy is still running";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 3);
    // Said only once the first copy has answered that its window is at the front.
    EXPECT_EQ(QString(second.readAllStandardError()).trimmed(),
              QString("CAT is already running (process %1); its window was brought to the front.")
                  .arg(first.processId()));
    EXPECT_EQ(first.state(), QProcess::Running);

    QFile ini(IniPath());
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), QByteArray("[Setup]\nType=1\nTop= 1200\n"));
}

TEST_F(InstanceTest, KilledCopyDoesNotBlockTheNext) {
    QProcess& first = Launch();
    ASSERT_TRUE(WaitForLock(first));
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

TEST_F(InstanceTest, LiveCopysLockIsNeverTakenOverHoweverOld) {
    QProcess& first = Launch();
    ASSERT_TRUE(WaitForLock(first));
    QFile lock(LockPath());
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    const QByteArray owner = lock.readAll();
    const QDateTime dayAgo = QDateTime::currentDateTime().addDays(-1);
    ASSERT_TRUE(lock.setFileTime(dayAgo, QFileDevice::FileModificationTime));
    lock.close();
    QProcess& second = Launch();
    EXPECT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 3);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_EQ(QFileInfo(LockPath()).lastModified(), dayAgo) << "the lock was taken over";

    // The running copy's file lock (flock) guards its lock file only where the file system has
    // such locks; the same day-old lock in another home, which nothing guards, must hold too.
    homePath_ = home_.filePath("unguarded");
    QDir().mkpath(QFileInfo(LockPath()).absolutePath());
    QFile copy(LockPath());
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
    copy.write(owner);
    copy.flush();
    ASSERT_TRUE(copy.setFileTime(dayAgo, QFileDevice::FileModificationTime));
    copy.close();
    QProcess& third = Launch();
    EXPECT_TRUE(third.waitForFinished(10000));
    EXPECT_EQ(third.exitCode(), 3) << third.readAllStandardError().toStdString();
    EXPECT_EQ(QFileInfo(LockPath()).lastModified(), dayAgo) << "the lock was taken over";
}

TEST_F(InstanceTest, TerminationByTheSystemSavesTheSettings) {
    QDir().mkpath(home_.filePath("config/CAT"));
    {
        QFile ini(IniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Setup]\nType=2\nComPort=5\nAddress=5E\n");
    }
    QProcess& only = Launch();
    ASSERT_TRUE(WaitForLock(only));
    // Its signal handling is in place before it listens for later copies; a fixed wait here was
    // outlasted by a busy machine's start-up, and SIGTERM then simply killed it.
    const QString channel = QFileInfo(LockPath()).absolutePath() + "/catlink-" +
                            QSysInfo::machineHostName() + ".socket";
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(channel); }, 10000));
    only.terminate();  // SIGTERM, as at logout
    ASSERT_TRUE(only.waitForFinished(5000));
    EXPECT_EQ(only.exitStatus(), QProcess::NormalExit);
    QSettings ini(IniPath(), QSettings::IniFormat);
    EXPECT_EQ(ini.value("Setup/Type").toString(), "2");
    EXPECT_EQ(ini.value("Setup/ComPort").toString(), "5");
    EXPECT_EQ(ini.value("Setup/OnTop").toString(), "0") << "written only by a proper close";
    EXPECT_TRUE(ini.value("Setup/Top").toString().startsWith(' '));
}

// Each thing that can stand where the lock goes, and what the program does about it: it ends with
// status 1 naming the file when the user must look (a live copy may hide behind it, or something
// CAT never makes is there), and starts without the lock, saying so, when one copy too many is the
// worst that can follow.
TEST_F(InstanceTest, WhateverIsInTheWayOfTheLockIsNamed) {
    struct Row {
        const char* name;
        bool unprivileged;  // needs permissions to count
        std::function<void(const QString& lock)> setUp;
        bool starts;
        const char* said;
    };
    const Row rows[] = {
        {"folder", false, [](const QString& lock) { QDir().mkpath(lock); }, false,
         "is a folder. Remove the folder"},
        {"dangling_symbolic_link", false,
         [](const QString& lock) { QFile::link(lock + ".gone", lock); }, false,
         "is a symbolic link"},
        {"file_it_may_not_read", true,
         [](const QString& lock) {
             QFile file(lock);
             file.open(QIODevice::WriteOnly);
             file.write("4242\ncatlink\nhost\n");
             file.setPermissions(::getuid() == 0 ? QFile::ReadOwner | QFile::WriteOwner
                                                 : QFile::Permissions());
         },
         false, "cannot be read"},
        {"copy_on_another_computer", false,
         [](const QString& lock) {
             QFile file(lock);
             file.open(QIODevice::WriteOnly);
             file.write("4242\ncatlink\nfar-away-host\n0123456789abcdef\nboot\n");
         },
         true, "is held by process 4242 on far-away-host"},
        {"folder_it_may_not_write", true,
         [](const QString& lock) {
             QFile(QFileInfo(lock).absolutePath())
                 .setPermissions(QFile::ReadOwner | QFile::ExeOwner);
         },
         true, "and starts without it"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        homePath_ = home_.filePath(row.name);
        QDir().mkpath(QFileInfo(LockPath()).absolutePath());
        if (row.unprivileged && !PrepareUnprivileged()) {
            ADD_FAILURE() << "cannot run the program as user nobody (setpriv, from util-linux, "
                             "and a build folder nobody may enter are needed)";
            continue;
        }
        row.setUp(LockPath());
        const auto snapshot = [&] {
            const QFileInfo info(LockPath());
            QFile file(LockPath());
            return info.symLinkTarget() + (info.isDir() ? "folder" : "") +
                   (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
        };
        const QString before = snapshot();
        QProcess& copy = Launch(row.unprivileged);
        if (row.starts) {
            EXPECT_FALSE(copy.waitForFinished(1500)) << "ended with status " << copy.exitCode();
            copy.terminate();
        }
        ASSERT_TRUE(copy.waitForFinished(5000));
        const QString said = copy.readAllStandardError();
        EXPECT_TRUE(said.contains(row.said) && said.contains(LockPath())) << said.toStdString();
        EXPECT_EQ(copy.exitCode(), row.starts ? 0 : 1) << said.toStdString();
        EXPECT_EQ(QFile::exists(IniPath()), row.starts) << "only a window that ran saves";
        EXPECT_EQ(snapshot(), before) << "what was in the way was changed";
    }
}

// A file QSettings cannot parse whole (comments, junk) is still read, and saving over it works; a
// file that cannot be read is named at start, and only a save that failed is reported as failed.
TEST_F(InstanceTest, SettingsFileProblemsAreNamedAndOnlyFailedSavesReported) {
    struct Row {
        const char* name;
        bool unprivileged;
        QByteArray contents;
        bool readable;
        const char* saidAtStart;
        bool saved;
    };
    const Row rows[] = {
        {"comments", false, "; mine\n[Setup]\n# the IC-706\nType=2\nComPort=4\n", true,
         "holds lines that are not settings", true},
        {"binary_junk", false, "[Setup]\nType=2\nComPort=4\n\x01\x02\xff\xfe junk\n", true,
         "holds lines that are not settings", true},
        {"clean", false, "[Setup]\nType=2\nComPort=4\n", true, nullptr, true},
        {"unreadable", true, "[Setup]\nType=2\nComPort=4\n", false, "could not be read", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        homePath_ = home_.filePath(row.name);
        QDir().mkpath(QFileInfo(IniPath()).absolutePath());
        if (row.unprivileged && !PrepareUnprivileged()) {
            ADD_FAILURE() << "cannot run the program as user nobody";
            continue;
        }
        QFile ini(IniPath());
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(row.contents);
        ini.close();
        if (!row.readable)
            ini.setPermissions(::getuid() == 0 ? QFile::ReadOwner | QFile::WriteOwner
                                               : QFile::Permissions());
        QProcess& copy = Launch(row.unprivileged);
        EXPECT_FALSE(copy.waitForFinished(1000));
        // Another program maps a port meanwhile, as radiosim does: the store reads the file
        // again when it saves.
        if (row.readable && ini.open(QIODevice::Append)) {
            ini.write("[Ports]\nCom1=/dev/pts/9\n");
            ini.close();
        }
        EXPECT_FALSE(copy.waitForFinished(300));
        copy.terminate();
        ASSERT_TRUE(copy.waitForFinished(5000));
        const QString said = copy.readAllStandardError();
        EXPECT_EQ(said.contains(IniPath()), row.saidAtStart != nullptr) << said.toStdString();
        if (row.saidAtStart) {
            EXPECT_TRUE(said.contains(row.saidAtStart)) << said.toStdString();
        }
        EXPECT_EQ(said.contains("could not be saved"), !row.saved) << said.toStdString();
        ini.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        const QSettings saved(IniPath(), QSettings::IniFormat);
        EXPECT_EQ(saved.value("Setup/ComPort").toString(), "4");
        EXPECT_EQ(saved.contains("Ports/Com1"), row.readable)
            << "the other program's entry was lost";
        EXPECT_EQ(saved.contains("Setup/OnTop"), row.saved);
    }
}

// Over SSH: every answer comes without a display, and the window's absence is said, not dumped.
TEST_F(InstanceTest, WithoutADisplayTheCommandLineIsAnswered) {
    struct Row {
        QStringList args;
        int status;
        const char* out;  // start of standard output
        const char* err;  // all of standard error, or its start
    };
    const Row rows[] = {
        {{"--help"}, 0, "Usage: catlink [OPTION]...\n", ""},
        {{"--version"}, 0, "catlink ", ""},
        {{"--colour"}, 2, "", "catlink: unknown option '--colour' (try 'catlink --help')\n"},
        {{}, 1, "", "CAT opens a window, and there is no display here"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
        env.insert("HOME", homePath_);
        env.insert("XDG_CONFIG_HOME", homePath_ + "/config");
        p.setProcessEnvironment(env);
        p.start(CATLINK_PATH, row.args);
        ASSERT_TRUE(p.waitForFinished(5000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), row.status);
        EXPECT_TRUE(p.readAllStandardOutput().startsWith(row.out));
        const QByteArray err = p.readAllStandardError();
        EXPECT_TRUE(*row.err ? err.startsWith(row.err) : err.isEmpty()) << err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(IniPath())) << "no answer reads or writes the settings";
}

// A copy started as another user (with sudo, keeping HOME) holds the lock. This user may not signal
// it, so kill(pid, 0) fails with EPERM: that copy lives all the same, and its lock is not taken.
TEST_F(InstanceTest, ACopyRunningAsAnotherUserIsRunning) {
    if (::getuid() != 0) GTEST_SKIP() << "needs root, to run copies as root and as user nobody";
    ASSERT_TRUE(PrepareUnprivileged()) << "cannot run the program as user nobody";
    QProcess& first = Launch();
    ASSERT_TRUE(WaitForLock(first));
    QProcess& second = Launch(true);
    ASSERT_TRUE(second.waitForFinished(10000)) << "the second copy is still running";
    const QString said = second.readAllStandardError();
    EXPECT_EQ(second.exitCode(), 3) << said.toStdString();
    EXPECT_TRUE(said.startsWith(
        QStringLiteral("CAT is already running (process %1)").arg(first.processId())))
        << said.toStdString();
    EXPECT_EQ(first.state(), QProcess::Running);
}

}  // namespace
