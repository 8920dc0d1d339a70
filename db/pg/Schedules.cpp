#include "db/pg/Schedules.h"

#include "platform/DateText.h"

namespace kestrion::db::pg {

AddOutcome addSchedule(Connection& connection, const QDateTime& scheddate, const QString& schedip,
                       const QString& site) {
    // The unique date index decides, so two agents adding the same minute at once store one of them.
    const Result added =
        connection.exec("INSERT INTO tblSchedules (scheddate, schedip, Site) VALUES ($1, $2, $3) "
                        "ON CONFLICT (scheddate) DO NOTHING",
                        {Param::text(platform::toStoredDate(scheddate)), Param::text(schedip),
                         site.isEmpty() ? Param::null() : Param::text(site)});
    return added.changed() == 1 ? AddOutcome::Added : AddOutcome::Duplicate;
}

std::optional<StoredSchedule> claimDueSchedule(Connection& connection, const QString& site,
                                               const QDateTime& now) {
    // Due: its minute is not after the minute of `now`, i.e. its stored text sorts before the next minute.
    const QString nextMinute = platform::toStoredDate(platform::toWholeMinute(now).addSecs(60));
    // SKIP LOCKED: a row another agent is deleting at this moment is its schedule, not ours; the
    // DELETE commits at once, so it is gone for every agent that asks afterwards.
    const Result claimed =
        connection.exec("DELETE FROM tblSchedules WHERE ctid = (SELECT ctid FROM tblSchedules "
                        "WHERE scheddate < $1 AND (Site IS NULL OR Site = $2) ORDER BY scheddate LIMIT 1 FOR "
                        "UPDATE SKIP LOCKED) "
                        "RETURNING scheddate, schedip",
                        {Param::text(nextMinute), Param::text(site)});
    if (claimed.rows() == 0)
        return std::nullopt;
    return StoredSchedule{platform::fromStoredDate(claimed.textAt(0, 0)), claimed.textAt(0, 1)};
}

} // namespace kestrion::db::pg
