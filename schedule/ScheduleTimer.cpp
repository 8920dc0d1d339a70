#include "schedule/ScheduleTimer.h"

namespace kestrion::schedule {

QString minuteText(const QDateTime& value) {
    return value.toString(QStringLiteral("dd/MM/yyyy HH:mm"));
}

bool isDue(const std::optional<QDateTime>& next, const QDateTime& now) {
    return next && next->isValid() && minuteText(*next) == minuteText(now);
}

ScheduleTimer::ScheduleTimer(ScheduledRunner& runner, const ScheduleState& schedules,
                             const db::DatabaseBusy& database, platform::Clock& clock,
                             const platform::MessageBoxes& boxes, QObject* parent)
    : QObject(parent), runner_(runner), state_(schedules), database_(database), clock_(clock), boxes_(boxes) {
    poll_.setSingleShot(true);
    poll_.setInterval(250);
    connect(&poll_, &QTimer::timeout, this, [this] { runner_.runGuarded([this] { tryPending(); }); });
}

void ScheduleTimer::timerSchedule_Timer() {
    // A tick inside the run's own yields, or while a due schedule waits, starts nothing new.
    if (running_ || pending_)
        return;
    if (!isDue(state_.NextSchedDate, clock_.now()))
        return;
    pending_ = Due{*state_.NextSchedDate, state_.NextSchedIP};
    runner_.holdSchedule(pending_->scheddate);
    tryPending();
}

bool ScheduleTimer::mustWait() const {
    // Timers also fire inside the sweep's echo wait and inside modal boxes' event loops; driving the
    // window from there would mix the scheduled sweep into the user's or take over the open database.
    // A dialog disables the main window, and what the user does there may change the schedules.
    return sweepRunning_ || database_.depth > 0 || boxes_.isShowing() || runner_.windowHeld();
}

void ScheduleTimer::tryPending() {
    if (!pending_ || running_)
        return;
    // The user deleted the waiting schedule (or its saved run) meanwhile: nothing is left to carry out.
    if (!state_.NextSchedDate || *state_.NextSchedDate != pending_->scheddate ||
        state_.NextSchedIP != pending_->schedip) {
        pending_.reset();
        runner_.holdSchedule(std::nullopt);
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

    runner_.carryOut(due.scheddate, due.schedip);
}

} // namespace kestrion::schedule
