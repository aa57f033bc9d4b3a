#pragma once
// A per-login named lock: a lock file held with flock() in the user's runtime folder, or in the
// program's private folder on this computer when there is no runtime folder. The system drops the lock when the
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

    // $XDG_RUNTIME_DIR when it names a folder, else the user's folder for the program on this
    // computer (desktop::localFolder() in the temporary folder), made private when missing.
    // Ends in '/'. Empty, with *problem saying why, when that folder is not the user's alone.
    static QString lockDirectory(QString* problem = nullptr);
    // The lock file's name for a lock name: '/' (and NUL) replaced, ".lock" added, short enough
    // for any file system.
    static QString lockFileName(const QString& name);

private:
    int fd_ = -1;
    QString failure_;
};

} // namespace platform
