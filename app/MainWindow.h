#pragma once

#include "app/ScheduledRunAdapter.h"
#include "app/Services.h"
#include "platform/AppState.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class QTabWidget;
class QTimer;

namespace kestrion::sweep {
class PingTab;
}
namespace kestrion::db {
class ScheduleStore;
}
namespace kestrion::schedule {
class ScheduleDialog;
class SchedulesPanel;
class ScheduleTimer;
} // namespace kestrion::schedule

namespace kestrion::app {

class AboutTab;
class DatabaseTab;
class OptionsTab;
class StatusBar;

// frmMain: assembles the four tabs and the status bar and routes their events to the modules.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    platform::AppState& state() { return state_; }
    const Services& services() const { return services_; }

    QTabWidget* SSTab1 = nullptr;
    StatusBar* sbStatus = nullptr;
    QTimer* timerSchedule = nullptr;
    sweep::PingTab* pingTab = nullptr;
    OptionsTab* optionsTab = nullptr;
    DatabaseTab* databaseTab = nullptr;
    AboutTab* aboutTab = nullptr;

    // Step 13 of the initialisation: the schedule store's refresh. Until it is set, nothing is listed.
    // Also run after DeleteSavedRun.
    std::function<void()> RefreshSchedules;
    void cmdSchedNow_Click();
    void cmdDeleteSchedule_Click();
    void timerSchedule_Timer();
    schedule::ScheduleDialog* frmSchedule() const;
    schedule::ScheduleTimer* scheduleTimer() const { return scheduleTimer_; }
    // What the scheduled run calls of the sweep and the saved runs.
    ScheduledRunHooks scheduledRunHooks;

private:
    void createSchedules();

    Services services_;
    platform::AppState state_;
    std::unique_ptr<db::ScheduleStore> scheduleStore_;
    std::unique_ptr<schedule::SchedulesPanel> schedulesPanel_;
    std::unique_ptr<ScheduledRunAdapter> scheduledRunHost_;
    schedule::ScheduleTimer* scheduleTimer_ = nullptr;
    QPointer<schedule::ScheduleDialog> frmSchedule_;
};

} // namespace kestrion::app
