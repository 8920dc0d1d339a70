#pragma once

#include "db/ScheduleStore.h"
#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "schedule/ScheduleState.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

class QListWidget;
class QWidget;

namespace kestrion::schedule {

class ScheduleDialog;

// The Database tab's "Current Schedules" frame and the status bar's second panel: lists the stored
// schedules, expires past ones, adds and deletes them and publishes the next one for the timer.
class SchedulesPanel : public QObject {
    Q_OBJECT
public:
    SchedulesPanel(QListWidget* lbCurrentSchedules, db::ScheduleStore& store, ScheduleState& state,
                   platform::MessageBoxes& boxes, platform::Clock& clock, QObject* parent = nullptr);

    // Database failures pass through (the program's one fatal path) ...
    void RefreshSchedules();
    void DeleteSchedule(const QString& line);
    void cmdDeleteSchedule_Click();
    // ... except here, where they are reported and the schedule is not saved.
    void AddSchedule();
    // "Add Schedule" for the range chosen in the saved-run list: the schedule dialog, a window of its
    // own, holds `mainWindow` disabled until it closes.
    void cmdSchedNow_Click(const QString& range, QWidget& mainWindow);
    // The schedule dialog while it is open.
    ScheduleDialog* dialog() const;
    ~SchedulesPanel() override;

    // A schedule being carried out stays listed even once its minute has passed.
    void holdSchedule(const std::optional<QDateTime>& scheddate) { held_ = scheddate; }

signals:
    // The status bar's second panel: the next schedule, to be painted at once.
    void scheduleText(const QString& text);

private:
    QListWidget* list_;
    db::ScheduleStore& store_;
    ScheduleState& state_;
    platform::MessageBoxes& boxes_;
    platform::Clock& clock_;
    std::optional<QDateTime> held_;
    QPointer<ScheduleDialog> dialog_;
};

} // namespace kestrion::schedule
