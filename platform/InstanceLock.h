#pragma once

#include <QString>

namespace kestrion::platform {

// Tells whether another instance of the program runs for this user. Holds an flock on a file in
// the user's runtime folder for the life of the process; the kernel drops it when the process
// ends, however it ends, so a crashed instance never leaves the lock stuck.
class InstanceLock {
public:
    explicit InstanceLock(const QString& lockFile = QString());
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    bool acquired() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

} // namespace kestrion::platform
