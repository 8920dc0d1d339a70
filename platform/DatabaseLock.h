#pragma once

#include "platform/UniqueFd.h"

#include <QString>

namespace kestrion::platform {

// Who holds a database's lock, as the note in its lock file says.
enum class LockHolder { Window, Command, Unknown };

// The lock of one database file, held by every process that writes it (the window for its whole life,
// a command of kestrion-cli while it works). It is an flock on one file beside the database,
// "<database>.lock", whatever the process's environment says, so two processes that would write the
// same file always meet at the same lock. The kernel drops an flock when its process ends, however it
// ends, so a crashed holder never leaves the database locked. The holder writes "<pid> window" or
// "<pid> command" into the file, so that the next one can tell who it waits for.
//
// Where no lock file can be opened and locked (a read-only folder, a folder or a link in its place, a
// file system without locks), the outcome is NoLockFile: the process must not write the database,
// since another one could be writing it at the same time.
class DatabaseLock {
public:
    enum class Outcome { Acquired, HeldByAnother, NoLockFile };

    DatabaseLock(const QString& databaseFile, LockHolder as);
    DatabaseLock(const DatabaseLock&) = delete;
    DatabaseLock& operator=(const DatabaseLock&) = delete;

    bool acquired() const { return outcome_ == Outcome::Acquired; }
    Outcome outcome() const { return outcome_; }
    // HeldByAnother: who holds it.
    LockHolder holder() const { return holder_; }
    // The lock file; with NoLockFile followed by why it cannot be had ("path: reason").
    const QString& detail() const { return detail_; }

    // After HeldByAnother: tries once more, without waiting.
    void retry();

    static QString lockFileFor(const QString& databaseFile);

private:
    void take();

    QString path_;
    LockHolder as_;
    UniqueFd fd_;
    bool writable_ = false;
    Outcome outcome_ = Outcome::NoLockFile;
    LockHolder holder_ = LockHolder::Unknown;
    QString detail_;
};

} // namespace kestrion::platform
