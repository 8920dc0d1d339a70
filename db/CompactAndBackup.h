#pragma once

#include "db/Database.h"
#include "platform/AppPaths.h"

#include <chrono>

#include <functional>

namespace kestrion::db {

// The steps of CompactAndBackup, in order. Tests hook in before each one to make it fail or to end
// the process there, as a crash or a power cut would. Every new file is made in a folder of the
// compaction's own beside the database file and renamed into place, so "KRDB.bak", "KRDB.old" and
// the database are at every moment either the old complete file or the new one.
enum class CompactionStep {
    ClearBackup,       // remove what an interrupted compaction left behind
    CompactIntoBackup, // VACUUM INTO the new "KRDB.bak", still in the compaction's own folder
    SyncBackup,        // ... synced, with the database's file mode
    CopyToTemporary,   // the new "KRDB.bak" -> the new database file
    SyncTemporary,
    ReplaceBackup,   // atomic rename of the new "KRDB.bak" into place
    KeepOld,         // "KRDB.old" becomes the database file as it is now, by the same kind of rename
    ReplaceDatabase, // atomic rename of the compacted copy over the database file
    SyncFolder,
};

// A file-system step that fails throws DbError with the errno value as its number.
// As CompactAndBackup(paths), calling `beforeStep` before each step; whatever it throws ends the
// compaction as a failure of that step would.
// A "KRdb.mdb" that is a symbolic link is the user's way to keep the database elsewhere (a bigger
// disk): the compaction works on the file the link names, beside which the backups live, and the
// link stays.
void CompactAndBackup(const platform::AppPaths& paths, const std::function<void(CompactionStep)>& beforeStep,
                      std::chrono::milliseconds busyTimeout = kBusyTimeout);

// The change that a compaction followed, already committed when the compaction failed.
enum class StoredChange {
    Sweep,    // a save: the sweep is in the database
    Deletion, // a saved run is deleted
};

// A compaction or backup that failed after its change was committed. Still the one fatal path (a
// file-system failure ends the program), so it is a DbError with the failure's number and text; it
// also tells what is stored, so nobody repeats a change that is already there.
class CompactionFailedAfterCommit : public DbError {
public:
    CompactionFailedAfterCommit(const DbError& failure, StoredChange stored)
        : DbError(failure.number(), failure.text()), stored_(stored) {}
    StoredChange stored() const { return stored_; }

private:
    StoredChange stored_;
};

// CompactAndBackup after a committed change: a failure throws CompactionFailedAfterCommit.
void CompactAfterCommit(const platform::AppPaths& paths, StoredChange stored,
                        std::chrono::milliseconds busyTimeout = kBusyTimeout);

} // namespace kestrion::db
