#pragma once

#include "db/DatabaseBusy.h"
#include "platform/AppPaths.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace kestrion::db {

// The number under which the engine's refusal of a second schedule at the same date and time is known.
constexpr int kDuplicateScheduleError = 3022;

struct StoredSchedule {
    QDateTime scheddate;
    QString schedip;
};

// "<general date>      Address: <range>": the one form of a schedule line, also the key that finds it.
QString scheduleLine(const QDateTime& scheddate, const QString& schedip);

// True when `when` lies in a minute before the minute of `now` (seconds play no part).
bool isBeforeMinuteOf(const QDateTime& when, const QDateTime& now);

// The stored schedules (tblSchedules, read through qrySchedules). Each call opens the database, works
// and closes it; failures throw DbError.
class ScheduleStore {
public:
    ScheduleStore(const platform::AppPaths& paths, db::DatabaseBusy& busy);

    // Visits the schedules earliest first with the database open throughout. Each one whose minute lies
    // before the minute of `now` (other than `held`) is handed to `expired` and deleted after it returns;
    // the others are handed to `kept` as they are met (so a list fills between the expiry messages) and
    // returned in order.
    std::vector<StoredSchedule> refresh(const QDateTime& now, const std::optional<QDateTime>& held,
                                        const std::function<void(const StoredSchedule&)>& expired,
                                        const std::function<void(const StoredSchedule&)>& kept = {});
    // Every stored schedule, earliest first, changing nothing.
    std::vector<StoredSchedule> list();
    // Stores a schedule; a second one at the same date and time throws DbError 3022, whatever the range.
    void add(const QDateTime& scheddate, const QString& schedip);
    // Deletes the first schedule whose line equals `line` exactly; false when none does.
    bool deleteByLine(const QString& line);

private:
    const platform::AppPaths& paths_;
    db::DatabaseBusy& busy_;
};

} // namespace kestrion::db
