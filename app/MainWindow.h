#pragma once

#include "app/AppState.h"
#include "app/Services.h"

#include <QMainWindow>
#include <QPointer>
#include <memory>

class QTabWidget;
class QTimer;

class QLabel;

namespace kestrion::sweep {
class PingSweep;
class PingTab;
class RangeEntry;
class SweepSession;
} // namespace kestrion::sweep
namespace kestrion::db {
class SavedRuns;
class ScheduleStore;
} // namespace kestrion::db
namespace kestrion::report {
class FreeIPReportCommand;
}
namespace kestrion::schedule {
class ScheduleDialog;
class ScheduledRunDriver;
class SchedulesPanel;
class ScheduleTimer;
} // namespace kestrion::schedule

namespace kestrion::app {

class About;
class AboutTab;
class AddressHistoryWindow;
class BlockMap;
class DatabaseTab;
class OptionsController;
class SavedRunsPanel;
class ScheduledRun;
class OptionsTab;
class StatusBar;

// frmMain: assembles the four tabs and the status bar and routes their events to the modules. Its
// controls are its own; tests find them by their names.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The main window's initialisation: run when the window is first loaded, by Reset and after an
    // entry error.
    void Form_Load();
    // The splash window that the initialisation closes once the main window is up.
    void setSplash(QWidget* splash) { splash_ = splash; }
    // Step 13 of the initialisation, also run after a saved run is deleted: the schedule list refreshed.
    void RefreshSchedules();
    // The schedule timer's tick (timerSchedule fires it every 45 seconds).
    void timerSchedule_Timer();
    // The schedule dialog while it is open.
    schedule::ScheduleDialog* frmSchedule() const;

protected:
    // Form_Unload: closing the window ends the program.
    void closeEvent(QCloseEvent* event) override;

private:
    void createTabs();
    void createSweep();
    void createDatabaseTab();
    void createScheduledRun();
    void connectTabsAndExits();

    void SSTab1_Click(int tab);
    void cmdExit_Click();
    void showSweepRunning(bool running);
    void guarded(const std::function<void()>& work);

    Services services_;
    AppState state_;

    QTabWidget* SSTab1 = nullptr;
    StatusBar* sbStatus = nullptr;
    QTimer* timerSchedule = nullptr;
    sweep::PingTab* pingTab = nullptr;
    OptionsTab* optionsTab = nullptr;
    DatabaseTab* databaseTab = nullptr;
    AboutTab* aboutTab = nullptr;

    sweep::SweepSession* session_ = nullptr;
    sweep::RangeEntry* rangeEntry = nullptr;
    sweep::PingSweep* pingSweep = nullptr;
    OptionsController* options = nullptr;
    About* about = nullptr;
    BlockMap* blockMap_ = nullptr;
    QLabel* changesLine_ = nullptr;
    AddressHistoryWindow* addressHistory_ = nullptr;

    QPointer<QWidget> splash_;
    std::unique_ptr<db::SavedRuns> savedRuns_;
    SavedRunsPanel* savedRunsPanel_ = nullptr;
    report::FreeIPReportCommand* freeIPReport_ = nullptr;
    std::unique_ptr<db::ScheduleStore> scheduleStore_;
    schedule::SchedulesPanel* schedulesPanel_ = nullptr;
    schedule::ScheduledRunDriver* scheduledRunDriver_ = nullptr;
    ScheduledRun* scheduledRun_ = nullptr;
    schedule::ScheduleTimer* scheduleTimer_ = nullptr;
};

} // namespace kestrion::app
