#include "app/instance_lock_qt.h"

#include <QDir>
#include <QFileInfo>

namespace cat {

QString InstanceLock::DefaultPath() {
    return QDir::homePath() + QStringLiteral("/.local/state/CAT/catlink.lock");
}

InstanceLock::InstanceLock(const QString& path) : lock_(std::make_unique<QLockFile>(path)) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    // QLockFile removes a lock whose owner process is gone, so a copy killed with -9 never blocks
    // the next start; a live owner's lock is never stale, however old.
    lock_->setStaleLockTime(0);
    acquired_ = lock_->tryLock(0);
    // A lock we cannot even create (read-only home) must not keep the program from starting.
    if (!acquired_ && lock_->error() == QLockFile::PermissionError) acquired_ = true;
}

}  // namespace cat
