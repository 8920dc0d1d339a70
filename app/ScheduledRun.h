#pragma once

#include "schedule/ScheduleTimer.h"
#include "sweep/SweepState.h"

class QTabWidget;
class QTimer;

namespace kestrion::sweep {
class PingSweep;
class RangeEntry;
} // namespace kestrion::sweep
namespace kestrion::schedule {
class SchedulesPanel;
}

namespace kestrion::app {

class SavedRunsPanel;
class StatusBar;

// The parts of the main window a scheduled run drives, as a user would.
struct ScheduledRunParts {
    QTabWidget& tabs;
    StatusBar& status;
    QTimer& timerSchedule;
    sweep::PingSweep& sweep;
    sweep::RangeEntry& range;
    SavedRunsPanel& savedRuns;
    schedule::SchedulesPanel& schedules;
};

// Carries out a due schedule: the Ping tab, Reset, the range, Ping, then the save, the deletion of the
// schedule and the refresh, with every question of the sweep and the save answered unasked. Exit during
// the sweep leaves all of it undone.
class ScheduledRun final : public schedule::ScheduledRunner {
public:
    ScheduledRun(const ScheduledRunParts& parts, sweep::SweepState& state);

    void holdSchedule(const std::optional<QDateTime>& scheddate) override;
    void carryOut(const QDateTime& scheddate, const QString& schedip) override;

private:
    void endWithoutSweep(const QDateTime& scheddate, const QString& schedip, const QString& refusal);

    ScheduledRunParts parts_;
    sweep::SweepState& state_;
};

} // namespace kestrion::app
