#pragma once

#include "schedule/ScheduleTimer.h"

#include <QString>
#include <functional>

namespace kestrion::schedule {
class SchedulesPanel;
}

namespace kestrion::app {

class MainWindow;

// What a scheduled run needs of the sweep and of the saved runs; the main window sets them.
struct ScheduledRunHooks {
    std::function<void()> cmdReset_Click;
    std::function<void(const QString&)> FillAddressBoxes;
    // Returns when the sweep is over, as the user's click would; with why no sweep could run, if none did.
    std::function<QString()> cmdPing_Click;
    std::function<void(const QString&)> SaveRun;
};

// The scheduled run drives the main window through this, as a user would.
class ScheduledRunAdapter final : public schedule::ScheduledRunHost {
public:
    ScheduledRunAdapter(MainWindow& window, schedule::SchedulesPanel& panel, const ScheduledRunHooks& hooks);

    void selectPingTab() override;
    bool resetEnabled() override;
    void clickReset() override;
    void fillAddressBoxes(const QString& rangeText) override;
    QString clickPing() override;
    void saveRun(const QString& rangeText) override;
    void deleteSchedule(const QString& line) override;
    void refreshSchedules() override;
    void setStatus(const QString& text) override;
    void processEvents() override;
    void setTimerEnabled(bool enabled) override;
    void holdSchedule(const std::optional<QDateTime>& scheddate) override;

private:
    MainWindow& window_;
    schedule::SchedulesPanel& panel_;
    const ScheduledRunHooks& hooks_;
};

} // namespace kestrion::app
