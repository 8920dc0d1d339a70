#include "schedule/ScheduleTimer.h"

#include "db/ScheduleStore.h"

namespace kestrion::schedule {

QString minuteText(const QDateTime& value) {
    return value.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

bool isDue(const std::optional<QDateTime>& next, const QDateTime& now) {
    return next && next->isValid() && minuteText(*next) == minuteText(now);
}

ScheduleTimer::ScheduleTimer(ScheduledRunHost& host, platform::AppState& state, platform::Clock& clock,
                             const platform::MessageBoxes& boxes, QObject* parent)
    : QObject(parent), host_(host), state_(state), clock_(clock), boxes_(boxes) {
    poll_.setSingleShot(true);
    poll_.setInterval(250);
    connect(&poll_, &QTimer::timeout, this, [this] {
        if (boundary_)
            boundary_([this] { tryPending(); });
        else
            tryPending();
    });
}

void ScheduleTimer::timerSchedule_Timer() {
    // A tick inside the run's own yields, or while a due schedule waits, starts nothing new.
    if (running_ || pending_)
        return;
    if (!isDue(state_.NextSchedDate, clock_.now()))
        return;
    pending_ = Due{*state_.NextSchedDate, state_.NextSchedIP};
    host_.holdSchedule(pending_->scheddate);
    tryPending();
}

bool ScheduleTimer::mustWait() const {
    // Timers also fire inside the sweep's echo wait and inside modal boxes' event loops; driving the
    // window from there would mix the scheduled sweep into the user's or take over the open database.
    // A dialog disables the main window, and what the user does there may change the schedules.
    return state_.SweepRunning || state_.DatabaseBusy > 0 || boxes_.isShowing() ||
           (windowHeld_ && windowHeld_());
}

void ScheduleTimer::tryPending() {
    if (!pending_ || running_)
        return;
    // The user deleted the waiting schedule (or its saved run) meanwhile: nothing is left to carry out.
    if (!state_.NextSchedDate || *state_.NextSchedDate != pending_->scheddate ||
        state_.NextSchedIP != pending_->schedip) {
        pending_.reset();
        host_.holdSchedule(std::nullopt);
        return;
    }
    if (mustWait()) {
        poll_.start();
        return;
    }
    run(*pending_);
}

void ScheduleTimer::run(const Due& due) {
    running_ = true;
    struct Ending {
        ScheduleTimer& t;
        ~Ending() {
            t.running_ = false;
            t.pending_.reset();
        }
    } ending{*this};

    host_.selectPingTab();
    if (host_.resetEnabled())
        host_.clickReset();
    state_.ScheduledRunActive = true;
    host_.setTimerEnabled(false);
    host_.fillAddressBoxes(due.schedip);
    if (const QString refusal = host_.clickPing(); !refusal.isEmpty()) {
        // Nothing was swept: saving would count a sweep that never happened. The schedule is used up
        // all the same; the status bar says why and which schedule, so it is not lost unnoticed.
        const QString line = db::scheduleLine(due.scheddate, due.schedip);
        host_.deleteSchedule(line);
        host_.holdSchedule(std::nullopt);
        host_.refreshSchedules();
        state_.ScheduledRunActive = false;
        host_.setTimerEnabled(true);
        host_.setStatus(QStringLiteral("Scheduled run failed: ") + refusal.section(QLatin1Char('\n'), 0, 0) +
                        QStringLiteral(" Schedule removed: ") + line);
        return;
    }
    host_.processEvents();
    host_.setStatus(QStringLiteral("Saving run..."));
    host_.saveRun(due.schedip);
    host_.processEvents();
    host_.setStatus(QStringLiteral("Updating schedules..."));
    host_.deleteSchedule(db::scheduleLine(due.scheddate, due.schedip));
    host_.processEvents();
    host_.holdSchedule(std::nullopt);
    host_.refreshSchedules();
    state_.ScheduledRunActive = false;
    host_.setTimerEnabled(true);
    host_.setStatus(QStringLiteral("Scheduled run complete."));
}

} // namespace kestrion::schedule
