#pragma once

#include <QLockFile>
#include <QString>
#include <memory>

namespace cat {

// One running copy per user. The lock lives at a fixed place under the home folder, so it does not
// move with the session's environment; a lock left by a copy that crashed is taken over.
class InstanceLock {
public:
    explicit InstanceLock(const QString& path = DefaultPath());
    bool Acquired() const { return acquired_; }
    static QString DefaultPath();

private:
    std::unique_ptr<QLockFile> lock_;
    bool acquired_ = false;
};

}  // namespace cat
