#pragma once

#include "platform/UniqueFd.h"

#include <QString>
#include <QStringList>

namespace kestrion::platform {

// Tells whether another instance of the program runs for this user. Holds an flock on a file for the
// life of the process; the kernel drops it when the process ends, however it ends, so a crashed
// instance never leaves the lock stuck.
//
// The lock files are tried in order; the first that can be opened and locked is held. Only a lock
// that another process holds means a second instance. Where no file can be made at all (a read-only
// home, a lock path that is a folder), the program still starts, without single-instance protection.
class InstanceLock {
public:
    enum class Outcome { Acquired, HeldByAnother, NoLockFile };

    // `lockFile` empty: the per-user locations of defaultLockFiles().
    explicit InstanceLock(const QString& lockFile = QString());
    explicit InstanceLock(const QStringList& candidates);
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    bool acquired() const { return outcome_ == Outcome::Acquired; }
    Outcome outcome() const { return outcome_; }
    // The file held, or with NoLockFile why each candidate failed ("path: reason; ...").
    const QString& detail() const { return detail_; }

    // The user's runtime folder, then the cache and configuration folders, then the temporary folder.
    static QStringList defaultLockFiles();

private:
    void tryCandidates(const QStringList& candidates);

    UniqueFd fd_;
    Outcome outcome_ = Outcome::NoLockFile;
    QString detail_;
};

} // namespace kestrion::platform
