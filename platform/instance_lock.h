#pragma once
// A per-login named lock: a lock file held with flock() in the user's runtime folder, or in the
// program's data folder when there is no runtime folder. The system drops the lock when the
// holder's process ends in any way, so a crashed copy never locks the user out.
#include <QString>

namespace platform {

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this object now holds the lock of that name. False when another holder has it,
    // or, with failure() telling why, when the lock file cannot be made or locked. Holding a
    // lock already, it is released first.
    bool acquire(const QString& name);
    void release();
    bool held() const { return fd_ >= 0; }
    // For the user: what kept the lock file from being made or used, and what to do about it.
    // Empty after success, or when another holder has the lock.
    const QString& failure() const { return failure_; }

    // $XDG_RUNTIME_DIR when it names a folder, else the data folder (platform::paths()), which
    // only the user can write to. Ends in '/'. Empty when there is neither.
    static QString lockDirectory();
    // The lock file's name for a lock name: '/' (and NUL) replaced, ".lock" added, short enough
    // for any file system.
    static QString lockFileName(const QString& name);

private:
    int fd_ = -1;
    QString failure_;
};

} // namespace platform
