#include "db/RunDatabase.h"

#include "db/SweepLog.h"

#include <sqlite3.h>

namespace kestrion::db {

RunDatabase::RunDatabase(const platform::AppPaths& paths, db::DatabaseBusy& busy,
                         std::chrono::milliseconds busyTimeout)
    : busy_(busy) {
    ++busy_.depth;
    counted_ = true;
    try {
        db_.emplace(paths.database(), busyTimeout);
        requireOwnTables(paths.database());
        bringSweepLogUpToDate(*db_);
    } catch (...) {
        --busy_.depth;
        throw;
    }
}

void RunDatabase::requireOwnTables(const QString& path) {
    // SQLite takes an empty file, or another program's database, as a database of its own; without
    // this the first query would end with "no such table", which tells the user nothing.
    Statement tables = db_->prepare(
        "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('tblSavedRuns', 'tblSuccess', "
        "'tblSchedules', 'tblDistinctSuccesses', 'tblFreeIPReport', 'tblCurrentRun');");
    if (!tables.step() || tables.intAt(0) != 6) {
        db_.reset();
        throw DbError(SQLITE_NOTADB, QStringLiteral("not a Kestrion database: ") + path);
    }
}

RunDatabase::~RunDatabase() {
    close();
}

void RunDatabase::close() {
    if (db_)
        db_.reset();
    if (counted_) {
        --busy_.depth;
        counted_ = false;
    }
}

} // namespace kestrion::db
