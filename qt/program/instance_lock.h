#pragma once

#include <sys/types.h>

#include <QFile>
#include <QLockFile>
#include <QString>
#include <memory>

#include "shell/lock_owner.h"

namespace cat {

// One running copy per user. The lock lives at a fixed place under the home folder, so it does not
// move with the session's environment. A lock left by a copy that crashed is taken over; a live
// copy's lock never is, however old.
class InstanceLock {
public:
    enum class Outcome {
        Acquired,     // this copy holds the lock
        RunningCopy,  // a live copy on this computer holds it: OwnerPid()
        // No lock can be had, and a second copy is the worst that can follow: the folder cannot
        // be written, or a copy on another computer sharing the home folder holds the lock.
        WithoutLock,
        // Something CAT never makes is in the way, or a file it cannot read: the user must look.
        Blocked,
    };

    explicit InstanceLock(const QString& path = DefaultPath());
    Outcome Result() const { return outcome_; }
    bool Acquired() const { return outcome_ == Outcome::Acquired; }
    qint64 OwnerPid() const { return ownerPid_; }
    // For WithoutLock and Blocked: sentences for the user naming the file and what to do.
    QString Problem() const { return problem_; }
    QString Path() const { return path_; }
    static QString DefaultPath();

private:
    void Classify();
    void ClassifyWithoutOwner(QFile& file);
    void ClassifyOwner(const LockOwner& owner, uid_t fileOwner);
    void Block(const QString& text);

    QString path_;
    std::unique_ptr<QLockFile> lock_;
    Outcome outcome_ = Outcome::Blocked;
    qint64 ownerPid_ = 0;
    QString problem_;
};

}  // namespace cat
