#pragma once

#include "schedule/ScheduleTimer.h"
#include "sweep/SweepState.h"

#include <QObject>

class QTabWidget;
class QTimer;

namespace kestrion::platform {
class DesktopNotifier;
class MessageBoxes;
} // namespace kestrion::platform
namespace kestrion::sweep {
class PingSweep;
class RangeEntry;
} // namespace kestrion::sweep
namespace kestrion::schedule {
class ScheduledRunDriver;
struct ScheduledRunOutcome;
class SchedulesPanel;
} // namespace kestrion::schedule

namespace kestrion::app {

class FatalPath;
class SavedRunsPanel;
class StatusBar;

// The parts of the main window that show a scheduled run.
struct ScheduledRunParts {
    QTabWidget& tabs;
    StatusBar& status;
    QTimer& timerSchedule;
    sweep::PingSweep& sweep;
    sweep::RangeEntry& range;
    SavedRunsPanel& savedRuns;
    schedule::SchedulesPanel& schedules;
};

// The window's side of a scheduled run: the Ping tab, Reset, the range in the boxes and the status
// texts around the driver's sweep, save and deletion of the schedule, then the refreshed lists; a
// desktop notification names what the run changed (the status text, where no desktop takes it).
class ScheduledRun final : public QObject, public schedule::ScheduledRunner {
    Q_OBJECT
public:
    ScheduledRun(const ScheduledRunParts& parts, schedule::ScheduledRunDriver& driver,
                 const sweep::SweepOptions& options, FatalPath& fatal, platform::MessageBoxes& boxes,
                 platform::DesktopNotifier& notifier, QObject* parent = nullptr);

    void holdSchedule(const std::optional<QDateTime>& scheddate) override;
    void carryOut(const QDateTime& scheddate, const QString& schedip) override;
    // The schedule dialog while it is open, and any modal window.
    bool windowHeld() const override;
    void runGuarded(const std::function<void()>& work) override;

private:
    void showStep(const QString& text);
    void tellChanges(const QString& range, const schedule::ScheduledRunOutcome& outcome);

    ScheduledRunParts parts_;
    schedule::ScheduledRunDriver& driver_;
    const sweep::SweepOptions& options_;
    FatalPath& fatal_;
    platform::MessageBoxes& boxes_;
    platform::DesktopNotifier& notifier_;
};

} // namespace kestrion::app
