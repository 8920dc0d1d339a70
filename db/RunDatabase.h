#pragma once

#include "db/Database.h"
#include "db/DatabaseBusy.h"
#include "platform/AppPaths.h"

#include <optional>

namespace kestrion::db {

// The one database handle of the program. Every database operation opens the file through it,
// works, and closes it before it returns; while one is open the schedule timer holds back.
class RunDatabase {
public:
    RunDatabase(const platform::AppPaths& paths, db::DatabaseBusy& busy,
                std::chrono::milliseconds busyTimeout = kBusyTimeout);
    ~RunDatabase();
    RunDatabase(const RunDatabase&) = delete;
    RunDatabase& operator=(const RunDatabase&) = delete;

    Database& db() { return *db_; }
    // Closes the file before the operation ends (an operation that calls another closes first).
    void close();

private:
    // Throws DbError "not a Kestrion database: PATH" for a file without the program's tables.
    void requireOwnTables(const QString& path);

    db::DatabaseBusy& busy_;
    std::optional<Database> db_;
    bool counted_ = false;
};

} // namespace kestrion::db
