#include "db/ScheduleStore.h"

#include "db/RunDatabase.h"
#include "platform/DateText.h"

#include <sqlite3.h>

namespace kestrion::db {

QString scheduleLine(const QDateTime& scheddate, const QString& schedip) {
    return platform::generalDateText(scheddate) + QStringLiteral("      Address: ") + schedip;
}

bool isBeforeMinuteOf(const QDateTime& when, const QDateTime& now) {
    return platform::toWholeMinute(when) < platform::toWholeMinute(now);
}

ScheduleStore::ScheduleStore(const platform::AppPaths& paths, db::DatabaseBusy& busy)
    : paths_(paths), busy_(busy) {}

std::vector<ReviewedSchedule> ScheduleStore::review(const QDateTime& now,
                                                    const std::optional<QDateTime>& held) {
    RunDatabase run(paths_, busy_);
    std::vector<ReviewedSchedule> rows;
    {
        auto all = run.db().prepare("SELECT scheddate, schedip FROM qrySchedules;");
        while (all.step()) {
            const StoredSchedule schedule{platform::fromStoredDate(all.textAt(0)), all.textAt(1)};
            const bool isHeld =
                held && platform::toWholeMinute(*held) == platform::toWholeMinute(schedule.scheddate);
            rows.push_back({schedule, !isHeld && isBeforeMinuteOf(schedule.scheddate, now), all.textAt(0)});
        }
    }
    run.close();
    return rows;
}

void ScheduleStore::removeExpired(const ReviewedSchedule& expired) {
    RunDatabase run(paths_, busy_);
    auto remove = run.db().prepare("DELETE FROM qrySchedules WHERE scheddate = ?1 AND schedip = ?2;");
    remove.bind(1, expired.storedDate).bind(2, expired.schedule.schedip);
    remove.step();
}

std::vector<StoredSchedule> ScheduleStore::list() {
    RunDatabase run(paths_, busy_);
    std::vector<StoredSchedule> schedules;
    auto all = run.db().prepare("SELECT scheddate, schedip FROM qrySchedules;");
    while (all.step())
        schedules.push_back({platform::fromStoredDate(all.textAt(0)), all.textAt(1)});
    return schedules;
}

AddOutcome ScheduleStore::add(const QDateTime& scheddate, const QString& schedip) {
    RunDatabase run(paths_, busy_);
    auto insert = run.db().prepare("INSERT INTO tblSchedules (scheddate, schedip) VALUES (?1, ?2);");
    insert.bind(1, platform::toStoredDate(scheddate)).bind(2, schedip);
    try {
        insert.step();
    } catch (const DbError& error) {
        // The only unique index of the table is the one on scheddate.
        if (error.number() == SQLITE_CONSTRAINT_UNIQUE)
            return AddOutcome::Duplicate;
        throw;
    }
    return AddOutcome::Added;
}

bool ScheduleStore::deleteByLine(const QString& line) {
    RunDatabase run(paths_, busy_);
    std::optional<int64_t> match;
    {
        auto all = run.db().prepare("SELECT rowid, scheddate, schedip FROM tblSchedules ORDER BY rowid;");
        while (all.step()) {
            if (scheduleLine(platform::fromStoredDate(all.textAt(1)), all.textAt(2)) == line) {
                match = all.intAt(0);
                break;
            }
        }
    }
    if (!match)
        return false;
    auto remove = run.db().prepare("DELETE FROM tblSchedules WHERE rowid = ?1;");
    remove.bind(1, *match);
    remove.step();
    return true;
}

} // namespace kestrion::db
