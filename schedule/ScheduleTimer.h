#pragma once

#include "db/DatabaseBusy.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "schedule/ScheduleState.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

namespace kestrion::schedule {

// The minute of a date-time as the timer compares it: "dd/mm/yyyy hh:mm".
QString minuteText(const QDateTime& value);
// Due when a next schedule exists and lies in the minute of `now`.
bool isDue(const std::optional<QDateTime>& next, const QDateTime& now);

// What carries out a due schedule: the main window's scheduled run.
class ScheduledRunner {
public:
    virtual ~ScheduledRunner() = default;
    // While a schedule is held, refreshing the list keeps it even once its minute has passed.
    virtual void holdSchedule(const std::optional<QDateTime>& scheddate) = 0;
    // Carries the schedule out; returns when it is over and the schedule is gone.
    virtual void carryOut(const QDateTime& scheddate, const QString& schedip) = 0;
    // True while a window holds the main window (a dialog or any modal window): a due schedule waits.
    virtual bool windowHeld() const { return false; }
    // Runs the work of the timer's own wake-ups; the application catches its fatal errors there.
    virtual void runGuarded(const std::function<void()>& work) { work(); }
};

// timerSchedule_Timer: carries out the next schedule in its minute. A schedule that falls due while the
// user's own sweep, a database operation, a modal message or a dialog is in progress waits for it to end
// (polling briefly) and then runs, even if its minute has passed meanwhile.
class ScheduleTimer : public QObject {
    Q_OBJECT
public:
    ScheduleTimer(ScheduledRunner& runner, const ScheduleState& schedules, const db::DatabaseBusy& database,
                  platform::Clock& clock, const platform::MessageBoxes& boxes, QObject* parent = nullptr);

    void timerSchedule_Timer();
    // While a sweep runs (any sweep: the user's or a scheduled one), a due schedule waits. Connected to
    // the sweep session's runningChanged.
    void setSweepRunning(bool running) { sweepRunning_ = running; }
    bool isWaiting() const { return pending_.has_value() && !running_; }
    void setPollInterval(int ms) { poll_.setInterval(ms); }

private:
    struct Due {
        QDateTime scheddate;
        QString schedip;
    };
    bool mustWait() const;
    void tryPending();
    void run(const Due& due);

    ScheduledRunner& runner_;
    const ScheduleState& state_;
    bool sweepRunning_ = false;
    const db::DatabaseBusy& database_;
    platform::Clock& clock_;
    const platform::MessageBoxes& boxes_;
    std::optional<Due> pending_;
    bool running_ = false;
    QTimer poll_;
};

} // namespace kestrion::schedule
