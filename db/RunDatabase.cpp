#include "db/RunDatabase.h"

namespace kestrion::db {

RunDatabase::RunDatabase(const platform::AppPaths& paths, db::DatabaseBusy& busy,
                         std::chrono::milliseconds busyTimeout)
    : busy_(busy) {
    ++busy_.depth;
    counted_ = true;
    try {
        db_.emplace(paths.database(), busyTimeout);
    } catch (...) {
        --busy_.depth;
        throw;
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
