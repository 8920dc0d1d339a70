#include "db/RunDatabase.h"

namespace kestrion::db {

RunDatabase::RunDatabase(const platform::AppPaths& paths, platform::AppState& state,
                         std::chrono::milliseconds busyTimeout)
    : state_(state) {
    ++state_.DatabaseBusy;
    counted_ = true;
    try {
        db_.emplace(paths.database(), busyTimeout);
    } catch (...) {
        --state_.DatabaseBusy;
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
        --state_.DatabaseBusy;
        counted_ = false;
    }
}

} // namespace kestrion::db
