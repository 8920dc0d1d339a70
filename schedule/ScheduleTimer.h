#pragma once

#include "platform/AppState.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"

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

// What a scheduled run does to the main window, as a user would do it.
class ScheduledRunHost {
public:
    virtual ~ScheduledRunHost() = default;
    virtual void selectPingTab() = 0;
    virtual bool resetEnabled() = 0;
    virtual void clickReset() = 0;
    virtual void fillAddressBoxes(const QString& rangeText) = 0;
    // Returns when the sweep is over.
    // Returns why no sweep could run at all (no echo socket), empty when it ran.
    virtual QString clickPing() = 0;
    virtual void saveRun(const QString& rangeText) = 0;
    virtual void deleteSchedule(const QString& line) = 0;
    virtual void refreshSchedules() = 0;
    // First status panel, repainted at once.
    virtual void setStatus(const QString& text) = 0;
    virtual void processEvents() = 0;
    virtual void setTimerEnabled(bool enabled) = 0;
    // While a schedule is held, refreshing the list keeps it even once its minute has passed.
    virtual void holdSchedule(const std::optional<QDateTime>& scheddate) = 0;
};

// timerSchedule_Timer: carries out the next schedule in its minute. A schedule that falls due while the
// user's own sweep, a database operation, a modal message or a dialog is in progress waits for it to end
// (polling briefly) and then runs, even if its minute has passed meanwhile.
class ScheduleTimer : public QObject {
    Q_OBJECT
public:
    ScheduleTimer(ScheduledRunHost& host, platform::AppState& state, platform::Clock& clock,
                  const platform::MessageBoxes& boxes, QObject* parent = nullptr);

    void timerSchedule_Timer();
    bool isWaiting() const { return pending_.has_value() && !running_; }
    void setPollInterval(int ms) { poll_.setInterval(ms); }
    // Runs the work of the timer's own wake-ups; the application catches its fatal errors there.
    using EventBoundary = std::function<void(const std::function<void()>&)>;
    void setEventBoundary(EventBoundary boundary) { boundary_ = std::move(boundary); }
    // True while a window holds the main window (a dialog or any modal window); a due schedule waits.
    void setWindowHeld(std::function<bool()> held) { windowHeld_ = std::move(held); }

private:
    struct Due {
        QDateTime scheddate;
        QString schedip;
    };
    bool mustWait() const;
    void tryPending();
    void run(const Due& due);

    ScheduledRunHost& host_;
    platform::AppState& state_;
    platform::Clock& clock_;
    const platform::MessageBoxes& boxes_;
    std::optional<Due> pending_;
    bool running_ = false;
    QTimer poll_;
    EventBoundary boundary_;
    std::function<bool()> windowHeld_;
};

} // namespace kestrion::schedule
