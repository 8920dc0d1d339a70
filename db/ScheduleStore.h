#pragma once

#include "db/DatabaseBusy.h"
#include "platform/AppPaths.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace kestrion::db {

struct StoredSchedule {
    QDateTime scheddate;
    QString schedip;
};

// "<general date>      Address: <range>": the one form of a schedule line, also the key that finds it.
QString scheduleLine(const QDateTime& scheddate, const QString& schedip);

// True when `when` lies in a minute before the minute of `now` (seconds play no part).
bool isBeforeMinuteOf(const QDateTime& when, const QDateTime& now);

// One stored schedule as a review finds it.
struct ReviewedSchedule {
    StoredSchedule schedule;
    bool expired = false;
    QString storedDate; // scheddate as the table holds it: the key removeExpired deletes by
};

enum class AddOutcome {
    Added,
    Duplicate, // a schedule at that date and time is stored already (whatever its range): nothing added
};

// The stored schedules (tblSchedules, read through qrySchedules). Each call opens the database, works
// and closes it; failures throw DbError.
class ScheduleStore {
public:
    ScheduleStore(const platform::AppPaths& paths, db::DatabaseBusy& busy);

    // Every stored schedule, earliest first, read in one go with the database closed again on return;
    // each whose minute lies before the minute of `now` (other than `held`) is marked expired.
    // Changes nothing: the caller tells the user of each expired one, then removes it.
    std::vector<ReviewedSchedule> review(const QDateTime& now, const std::optional<QDateTime>& held);
    // Deletes one schedule that review() found expired; nothing when it is gone already.
    void removeExpired(const ReviewedSchedule& expired);
    // Every stored schedule, earliest first, changing nothing.
    std::vector<StoredSchedule> list();
    // Stores a schedule, unless one at the same date and time is stored already.
    AddOutcome add(const QDateTime& scheddate, const QString& schedip);
    // Deletes the first schedule whose line equals `line` exactly; false when none does.
    bool deleteByLine(const QString& line);

private:
    const platform::AppPaths& paths_;
    db::DatabaseBusy& busy_;
};

} // namespace kestrion::db
