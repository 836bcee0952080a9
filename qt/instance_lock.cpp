#include "qt/instance_lock.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

namespace cat {

namespace {

// A copy killed between creating the lock file and writing its process number leaves a file no one
// owns. A live copy writes that number at once, so a file still unreadable after this long is left
// over from a crash.
constexpr int kUnreadableLockGraceMs = 1000;

}  // namespace

QString InstanceLock::DefaultPath() {
    return QDir::homePath() + QStringLiteral("/.local/state/CAT/catlink.lock");
}

InstanceLock::InstanceLock(const QString& path) : lock_(std::make_unique<QLockFile>(path)) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    // QLockFile removes a lock whose owner process is gone, so a copy killed with -9 never blocks
    // the next start; a live owner's lock is never stale, however old.
    lock_->setStaleLockTime(0);
    acquired_ = lock_->tryLock(0);
    if (!acquired_ && lock_->error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host;
        QString app;
        for (int waited = 0; !lock_->getLockInfo(&pid, &host, &app); waited += 100) {
            if (waited >= kUnreadableLockGraceMs) {
                lock_->removeStaleLockFile();
                acquired_ = lock_->tryLock(0);
                break;
            }
            QThread::msleep(100);
        }
    }
    // A lock we cannot even create (read-only home) must not keep the program from starting.
    if (!acquired_ && lock_->error() == QLockFile::PermissionError) acquired_ = true;
}

}  // namespace cat
