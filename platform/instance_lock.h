#pragma once
// A per-login named lock: a lock file in the user's runtime folder held with flock(). The system
// drops the lock when the holder's process ends in any way, so a crashed copy never locks the
// user out.
#include <QString>

namespace platform {

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // True when this object now holds the lock of that name; false when another holder has it
    // or the lock file cannot be made. Holding a lock already, it is released first.
    bool acquire(const QString& name);
    void release();
    bool held() const { return fd_ >= 0; }

    // $XDG_RUNTIME_DIR when it is an absolute path, else /tmp/pellavine-<uid> (made private to
    // the user). Ends in '/'. Empty when no safe folder can be had.
    static QString lockDirectory();
    // The lock file's name for a lock name: '/' (and NUL) replaced, ".lock" added, short enough
    // for any file system.
    static QString lockFileName(const QString& name);

private:
    int fd_ = -1;
};

} // namespace platform
