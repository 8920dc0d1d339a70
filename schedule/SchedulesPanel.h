#pragma once

#include "db/ScheduleStore.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "schedule/ScheduleState.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>

class QListWidget;

namespace kestrion::schedule {

// The Database tab's "Current Schedules" frame and the status bar's second panel: lists the stored
// schedules, expires past ones, adds and deletes them and publishes the next one for the timer.
class SchedulesPanel {
public:
    using PanelSetter = std::function<void(const QString&)>;

    SchedulesPanel(QListWidget* lbCurrentSchedules, PanelSetter setSchedulePanel, db::ScheduleStore& store,
                   ScheduleState& state, platform::MessageBoxes& boxes, platform::Clock& clock);

    // Database failures pass through (the program's one fatal path) ...
    void RefreshSchedules();
    void DeleteSchedule(const QString& line);
    void cmdDeleteSchedule_Click();
    // ... except here, where they are reported and the schedule is not saved.
    void AddSchedule();

    // A schedule being carried out stays listed even once its minute has passed.
    void holdSchedule(const std::optional<QDateTime>& scheddate) { held_ = scheddate; }

private:
    QListWidget* list_;
    PanelSetter setSchedulePanel_;
    db::ScheduleStore& store_;
    ScheduleState& state_;
    platform::MessageBoxes& boxes_;
    platform::Clock& clock_;
    std::optional<QDateTime> held_;
};

} // namespace kestrion::schedule
