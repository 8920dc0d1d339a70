#include "app/ScheduledRun.h"

#include "app/SavedRunsPanel.h"
#include "app/StatusBar.h"
#include "db/ScheduleStore.h"
#include "schedule/SchedulesPanel.h"
#include "sweep/PingSweep.h"
#include "sweep/RangeEntry.h"

#include <QCoreApplication>
#include <QTabWidget>
#include <QTimer>

namespace kestrion::app {

ScheduledRun::ScheduledRun(const ScheduledRunParts& parts, sweep::SweepState& state)
    : parts_(parts), state_(state) {}

void ScheduledRun::holdSchedule(const std::optional<QDateTime>& scheddate) {
    parts_.schedules.holdSchedule(scheddate);
}

void ScheduledRun::carryOut(const QDateTime& scheddate, const QString& schedip) {
    parts_.tabs.setCurrentIndex(0);
    if (parts_.sweep.resetEnabled())
        parts_.sweep.cmdReset_Click();
    state_.ScheduledRunActive = true;
    // No further tick while the sweep yields to the event loop.
    parts_.timerSchedule.stop();
    parts_.range.FillAddressBoxes(schedip);
    parts_.sweep.cmdPing_Click();
    // Exit (or the close box) during the sweep ends the program as during the user's own sweep: the
    // partial sweep is not saved or counted, the backups stay as they are and the schedule stays stored.
    if (state_.StopRequest == QStringLiteral("Exit"))
        return;
    if (const QString refusal = parts_.sweep.lastRefusal(); !refusal.isEmpty()) {
        endWithoutSweep(scheddate, schedip, refusal);
        return;
    }
    QCoreApplication::processEvents();
    parts_.status.setPanelAndRepaint(1, QStringLiteral("Saving run..."));
    parts_.savedRuns.SaveRun(schedip, parts_.sweep.resultRows());
    QCoreApplication::processEvents();
    parts_.status.setPanelAndRepaint(1, QStringLiteral("Updating schedules..."));
    parts_.schedules.DeleteSchedule(db::scheduleLine(scheddate, schedip));
    QCoreApplication::processEvents();
    parts_.schedules.holdSchedule(std::nullopt);
    parts_.schedules.RefreshSchedules();
    state_.ScheduledRunActive = false;
    parts_.timerSchedule.start(); // a full interval before the next tick
    parts_.status.setPanelAndRepaint(1, QStringLiteral("Scheduled run complete."));
}

void ScheduledRun::endWithoutSweep(const QDateTime& scheddate, const QString& schedip,
                                   const QString& refusal) {
    // Nothing was swept: saving would count a sweep that never happened. The schedule is used up all the
    // same; the status bar says why and which schedule, so it is not lost unnoticed.
    const QString line = db::scheduleLine(scheddate, schedip);
    parts_.schedules.DeleteSchedule(line);
    parts_.schedules.holdSchedule(std::nullopt);
    parts_.schedules.RefreshSchedules();
    state_.ScheduledRunActive = false;
    parts_.timerSchedule.start();
    parts_.status.setPanelAndRepaint(1, QStringLiteral("Scheduled run failed: ") +
                                            refusal.section(QLatin1Char('\n'), 0, 0) +
                                            QStringLiteral(" Schedule removed: ") + line);
}

} // namespace kestrion::app
