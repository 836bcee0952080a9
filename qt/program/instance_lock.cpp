#include "qt/program/instance_lock.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>
#include <cerrno>
#include <cstring>

#include "shell/lock_owner.h"

namespace cat {

namespace {

// A copy killed between creating the lock file and writing its process number leaves a file no one
// owns. A live copy writes that number at once, so a file still without one after this long is
// left over from a crash.
constexpr int kUnreadableLockGraceMs = 1000;

// The host test QLockFile itself uses: the machine id when the file has one, else the name.
bool OnThisComputer(const LockOwner& owner) {
    const QByteArray ours = QSysInfo::machineUniqueId();
    if (!owner.machineId.empty() && !ours.isEmpty()) return ours.toStdString() == owner.machineId;
    return owner.host.empty() || QString::fromStdString(owner.host) == QSysInfo::machineHostName();
}

bool ProcessExists(qint64 pid) { return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

QString UserName(uid_t uid) {
    const passwd* entry = ::getpwuid(uid);
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QStringLiteral("user %1").arg(uid);
}

QString Quote(const QString& path) { return QLatin1Char('"') + path + QLatin1Char('"'); }

// Why a lock file cannot be made in `folder`, in the user's words.
QString WhyNotWritable(const QString& folder) {
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("the folder %1 cannot be made").arg(Quote(folder));
    if (::access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QStringLiteral("the file cannot be written");
}

// QLockFile only ever makes a plain file; anything else was put there by someone else, and
// removing it is the user's call. Empty for a plain file.
QString NotAPlainFile(const QString& path, mode_t mode) {
    if (S_ISLNK(mode))
        return QStringLiteral(
                   "the lock file %1 is a symbolic link (to %2), which CAT never makes. "
                   "Remove the link (rm %1) and start CAT again.")
            .arg(Quote(path), Quote(QFile::symLinkTarget(path)));
    if (S_ISDIR(mode))
        return QStringLiteral(
                   "the lock file %1 is a folder. Remove the folder (rmdir %1) and start "
                   "CAT again.")
            .arg(Quote(path));
    if (!S_ISREG(mode))
        return QStringLiteral(
                   "the lock file %1 is not a plain file. Remove it (rm %1) and start CAT "
                   "again.")
            .arg(Quote(path));
    return {};
}

}  // namespace

QString InstanceLock::DefaultPath() {
    return QDir::homePath() + QStringLiteral("/.local/state/CAT/catlink.lock");
}

InstanceLock::InstanceLock(const QString& path)
    : path_(path), lock_(std::make_unique<QLockFile>(path)) {
    const QString folder = QFileInfo(path).absolutePath();
    QDir().mkpath(folder);
    // QLockFile removes a lock whose owner process is gone (a copy killed with -9, a reboot);
    // without a stale time it never takes a live owner's lock, however old the file.
    lock_->setStaleLockTime(0);
    // The file may change hands while it is looked at (a copy closing, a crash being cleaned up),
    // so a look that finds it gone or replaced starts over.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (lock_->tryLock(0)) {
            outcome_ = Outcome::Acquired;
            return;
        }
        if (lock_->error() != QLockFile::LockFailedError) {
            // Only the folder stands in the way (a read-only home, a full disk): one copy too many
            // is all that can go wrong without the lock, so the program starts.
            outcome_ = Outcome::WithoutLock;
            problem_ = QStringLiteral(
                           "CAT cannot create its lock file %1 (%2) and starts without it, so a "
                           "second copy will not be stopped.")
                           .arg(Quote(path_), WhyNotWritable(folder));
            return;
        }
        Classify();
        if (!problem_.isEmpty() || outcome_ == Outcome::RunningCopy) return;
    }
    outcome_ = Outcome::Blocked;
    problem_ = QStringLiteral(
                   "CAT cannot start: the lock file %1 keeps changing and cannot be taken. Close "
                   "every copy of CAT "
                   "and start it again.")
                   .arg(Quote(path_));
}

void InstanceLock::Block(const QString& text) {
    outcome_ = Outcome::Blocked;
    problem_ = QStringLiteral("CAT cannot start: ") + text;
}

// Says who holds the lock, or what is in its place; leaves problem_ empty and the outcome as it was
// when the file went away meanwhile, so the caller tries again.
void InstanceLock::Classify() {
    const QByteArray native = QFile::encodeName(path_);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0) return;
    if (const QString odd = NotAPlainFile(path_, st.st_mode); !odd.isEmpty()) return Block(odd);

    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) {
        if (!QFileInfo::exists(path_)) return;
        // Most likely left by a copy started as another user (with sudo): it may still run.
        return Block(
            QStringLiteral(
                "the lock file %1 belongs to %2 and cannot be read, so CAT cannot tell whether "
                "a copy started as %2 is running. Close that copy; if none runs, remove the file "
                "(sudo rm %1) and start CAT again.")
                .arg(Quote(path_), UserName(st.st_uid)));
    }
    const std::optional<LockOwner> owner = ParseLockOwner(file.readAll().toStdString());
    if (!owner) return ClassifyWithoutOwner(file);
    ClassifyOwner(*owner, st.st_uid);
}

// The file names no process: its owner may be writing it just now, or died before it could.
void InstanceLock::ClassifyWithoutOwner(QFile& file) {
    for (int waited = 0; waited < kUnreadableLockGraceMs; waited += 100) {
        QThread::msleep(100);
        file.seek(0);
        // Its owner just wrote: look again.
        if (ParseLockOwner(file.readAll().toStdString())) return;
    }
    // removeStaleLockFile fails while a process holds the file's lock, so a live owner who
    // wrote nothing keeps it.
    if (lock_->removeStaleLockFile()) return;
    Block(QStringLiteral("the lock file %1 holds no process number and cannot be removed. "
                         "Close every copy of CAT, remove the file (rm %1) and start CAT again.")
              .arg(Quote(path_)));
}

void InstanceLock::ClassifyOwner(const LockOwner& owner, uid_t fileOwner) {
    if (!OnThisComputer(owner)) {
        // That copy cannot be asked or checked from here. It uses that computer's serial ports; the
        // settings file is shared, and the copy that closes last saves its choices.
        outcome_ = Outcome::WithoutLock;
        problem_ = QStringLiteral(
                       "The lock file %1 is held by process %2 on %3, another computer that "
                       "shares this home folder. CAT starts without the lock. If CAT no longer "
                       "runs on %3, remove the file (rm %1).")
                       .arg(Quote(path_))
                       .arg(owner.pid)
                       .arg(QString::fromStdString(owner.host));
        return;
    }
    if (ProcessExists(owner.pid)) {
        outcome_ = Outcome::RunningCopy;
        ownerPid_ = owner.pid;
        return;
    }
    // QLockFile removes a dead owner's file itself unless it may not: the file belongs to another
    // user.
    Block(QStringLiteral(
              "the lock file %1 was left by process %2, which has ended, and cannot be removed "
              "(it belongs to %3). Remove it (sudo rm %1) and start CAT again.")
              .arg(Quote(path_))
              .arg(owner.pid)
              .arg(UserName(fileOwner)));
}

}  // namespace cat
