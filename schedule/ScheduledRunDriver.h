#pragma once

#include "db/AddressHistory.h"
#include "db/SavedRuns.h"
#include "sweep/SweepSession.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <vector>

namespace kestrion::db {
class ScheduleStore;
}

namespace kestrion::schedule {

struct DueSchedule {
    QDateTime scheddate;
    QString schedip;
};

// What became of one scheduled run.
struct ScheduledRunOutcome {
    enum class Kind {
        // Swept (to its end, or as far as a Cancel let it go), saved under the range and counted; the
        // schedule is deleted.
        Completed,
        // Nothing could be swept (no echo handle, or a stored range that is not one): nothing is saved
        // or counted, and the schedule is used up all the same.
        NotSwept,
        // Exit (or an interrupt) during the sweep: nothing is saved, and the schedule stays stored.
        Abandoned,
    };
    Kind kind = Kind::Completed;
    QString scheduleLine; // the schedule's line, as the list shows it
    QString failure;      // NotSwept: why, with the remedies where there are any
    int answered = 0;     // Completed: answering addresses saved
    db::SaveOutcome save = db::SaveOutcome::Saved;
    // Completed and saved: what changed from the run's sweep before (unset when it is the first).
    std::optional<db::SweepChanges> changes;
};

// The answering hosts of a session as the saved run stores them, in sweep order.
std::vector<db::ResultRow> resultRows(const sweep::HostsModel& hosts);

// Carries out a due schedule on a sweep session, the same for the window's timer and for run-due: the
// range's block 1 to 254, the given time-out and packet size, no questions; then the save under the
// range (which counts the sweep), then the deletion of the schedule. Database failures pass through as
// exceptions (the program's fatal path); everything expected comes back as the outcome.
class ScheduledRunDriver final : public QObject {
    Q_OBJECT
public:
    ScheduledRunDriver(sweep::SweepSession& session, db::SavedRuns& runs, db::ScheduleStore& schedules,
                       QObject* parent = nullptr);

    // `pacing`: sequential, or the parallel prober where the stored option asks for it.
    ScheduledRunOutcome carryOut(const DueSchedule& due, const sweep::SweepSettings& settings,
                                 const sweep::Pacing& pacing = {});

signals:
    // Before the sweep, with the range it will cover.
    void sweeping(const kestrion::sweep::SweepRange& range);
    // Before the save, after it, and before the schedule is deleted (only after a sweep).
    void saving();
    void saved(kestrion::db::SaveOutcome outcome);
    void updatingSchedules();

private:
    sweep::SweepSession& session_;
    db::SavedRuns& runs_;
    db::ScheduleStore& schedules_;
};

} // namespace kestrion::schedule
