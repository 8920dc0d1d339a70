#pragma once

#include "db/Database.h"
#include "db/DatabaseBusy.h"
#include "db/SweepLog.h"
#include "platform/AppPaths.h"
#include "platform/Clock.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace kestrion::db {

struct SavedRunInfo {
    int RunNo = 0;
    QString runip;
    QDateTime runcreatedate;
    int numberofruns = 0;
};

// One answering address of a sweep, as a saved run stores it (the time as text, in milliseconds).
struct ResultRow {
    QString address;
    uint32_t roundTripTime = 0;
};

// The range text that the Save button stores for a sweep, e.g. "192.168.1.1-254": the block's three
// octets, then the first and last value of the fourth.
QString rangeTextForSweep(const QString& octet1, const QString& octet2, const QString& octet3,
                          int16_t firstHost, int16_t lastHost);

enum class SaveOutcome {
    Saved,
    NoRunNumberLeft, // every run number 1..32767 is taken: nothing was stored
};

// Saved runs: the data side of the Database tab's "Saved Run Database" frame and of the Save button.
// Each call opens the database, works and closes it; database failures throw DbError.
class SavedRuns {
public:
    // `busyTimeout`: how long each of its operations (the compaction too) waits for a locked file.
    SavedRuns(const platform::AppPaths& paths, db::DatabaseBusy& busy, platform::Clock& clock,
              std::chrono::milliseconds busyTimeout = kBusyTimeout);

    // Range texts of all saved runs, in the table's stored order.
    QStringList listRanges();
    // The saved run with exactly this range text.
    std::optional<SavedRunInfo> find(const QString& rangeText);
    // Appends the rows under the range's run (creating the run at its first save), counts the sweep,
    // logs it with `facts`, all in one transaction; then compacts and renews the backups. A compaction
    // that fails after the commit throws CompactionFailedAfterCommit: the sweep is stored.
    SaveOutcome SaveRun(const QString& rangeText, const std::vector<ResultRow>& rows,
                        const SweepFacts& facts = {});
    // The run number of the saved run with exactly this range text; nullopt when there is none.
    std::optional<int16_t> FindRunNo(const QString& rangeText);
    // Deletes the saved run with its results and schedules, then compacts; false when there is none.
    bool DeleteSavedRun(const QString& rangeText);
    // The logged sweeps of the saved run with exactly this range text; nullopt when there is none.
    std::optional<SweepLog> sweepLog(const QString& rangeText);

private:
    const platform::AppPaths& paths_;
    db::DatabaseBusy& busy_;
    platform::Clock& clock_;
    std::chrono::milliseconds busyTimeout_;
};

// Compacts the database file into "KRDB.bak", keeps the file as it was in "KRDB.old", and puts the
// compacted copy in place by an atomic rename; a failure at any step leaves the database holding all data.
void CompactAndBackup(const platform::AppPaths& paths, std::chrono::milliseconds busyTimeout = kBusyTimeout);

} // namespace kestrion::db
