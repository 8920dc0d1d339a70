#include "schedule/ScheduledRunDriver.h"

#include "db/ScheduleStore.h"

namespace kestrion::schedule {

std::vector<db::ResultRow> resultRows(const sweep::HostsModel& hosts) {
    std::vector<db::ResultRow> rows;
    rows.reserve(hosts.hosts().size());
    for (const sweep::FoundHost& host : hosts.hosts())
        rows.push_back({host.address, host.roundTripTime});
    return rows;
}

ScheduledRunDriver::ScheduledRunDriver(sweep::SweepSession& session, db::SavedRuns& runs,
                                       db::ScheduleStore& schedules, QObject* parent)
    : QObject(parent), session_(session), runs_(runs), schedules_(schedules) {}

ScheduledRunOutcome ScheduledRunDriver::carryOut(const DueSchedule& due, const sweep::SweepSettings& settings,
                                                 const sweep::Pacing& pacing) {
    ScheduledRunOutcome outcome;
    outcome.scheduleLine = db::scheduleLine(due.scheddate, due.schedip);
    auto useUp = [&](const QString& failure) {
        // Nothing was swept: saving would count a sweep that never happened. The schedule is used up all
        // the same, and the outcome says why, so it is not lost unnoticed.
        schedules_.deleteByLine(outcome.scheduleLine);
        outcome.kind = ScheduledRunOutcome::Kind::NotSwept;
        outcome.failure = failure;
        return outcome;
    };

    // Saved ranges are always written by the Save button in the form "A.B.C.D-E"; any other text in the
    // table cannot be swept.
    const auto range = sweep::scheduledRange(due.schedip);
    if (const auto* error = std::get_if<sweep::RangeError>(&range))
        return useUp(error->message);

    emit sweeping(std::get<sweep::SweepRange>(range));
    session_.clearHosts();
    session_.setRange(std::get<sweep::SweepRange>(range));
    session_.setSettings(settings);
    session_.setPacing(pacing);
    // Whoever started it, a scheduled run asks nobody.
    session_.setUnattended(true);
    struct Attended {
        sweep::SweepSession& session;
        ~Attended() { session.setUnattended(false); }
    } attended{session_};
    const sweep::SweepResult result = session_.run();

    switch (result.outcome) {
    case sweep::SweepOutcome::Refused:
        return useUp(result.refusal);
    case sweep::SweepOutcome::Ended:
        outcome.kind = ScheduledRunOutcome::Kind::Abandoned;
        return outcome;
    case sweep::SweepOutcome::Done:
    case sweep::SweepOutcome::Cancelled:
        break;
    }
    emit saving();
    const std::vector<db::ResultRow> rows = resultRows(session_.hosts());
    outcome.save = runs_.SaveRun(due.schedip, rows, {db::SweptBy::Schedule, session_.lastDurationMs()});
    outcome.answered = static_cast<int>(rows.size());
    if (outcome.save == db::SaveOutcome::Saved) {
        if (const std::optional<db::SweepLog> log = runs_.sweepLog(due.schedip))
            outcome.changes = db::latestChanges(*log);
    }
    emit saved(outcome.save);
    emit updatingSchedules();
    schedules_.deleteByLine(outcome.scheduleLine);
    return outcome;
}

} // namespace kestrion::schedule
