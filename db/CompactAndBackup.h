#pragma once

#include "db/Database.h"
#include "platform/AppPaths.h"

#include <chrono>

#include <functional>

namespace kestrion::db {

// The steps of CompactAndBackup, in order. Tests hook in before each one to make it fail or to end
// the process there, as a crash or a power cut would.
enum class CompactionStep {
    ClearBackup,       // remove the previous "KRDB.bak" and a temporary copy left by an interrupted run
    CompactIntoBackup, // VACUUM INTO "KRDB.bak"
    SyncBackup,
    CopyToTemporary, // "KRDB.bak" -> "KRdb.mdb.new"
    SyncTemporary,
    KeepOld,         // "KRDB.old" becomes the database file as it is now
    ReplaceDatabase, // atomic rename of the temporary copy over "KRdb.mdb"
    SyncFolder,
};

// A file-system step that fails throws DbError with the errno value as its number.
// As CompactAndBackup(paths), calling `beforeStep` before each step; whatever it throws ends the
// compaction as a failure of that step would.
void CompactAndBackup(const platform::AppPaths& paths, const std::function<void(CompactionStep)>& beforeStep,
                      std::chrono::milliseconds busyTimeout = kBusyTimeout);

} // namespace kestrion::db
