#pragma once

#include "app/AppState.h"
#include "app/Services.h"
#include "sweep/PingSweep.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <memory>

class QTabWidget;
class QTimer;

namespace kestrion::sweep {
class PingTab;
class RangeEntry;
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
class SchedulesPanel;
class ScheduleTimer;
} // namespace kestrion::schedule

namespace kestrion::app {

class About;
class AboutTab;
class DatabaseTab;
class OptionsController;
class SavedRunsPanel;
class ScheduledRun;
class OptionsTab;
class StatusBar;

// frmMain: assembles the four tabs and the status bar and routes their events to the modules. Its
// controls are its own; tests find them by their names.
class MainWindow : public QMainWindow, public sweep::SweepWindow {
    Q_OBJECT
public:
    explicit MainWindow(Services services, QWidget* parent = nullptr);
    ~MainWindow() override;

    AppState& state() { return state_; }
    const Services& services() const { return services_; }

    // The main window's initialisation: run when the window is first loaded, by Reset and after an
    // entry error.
    void Form_Load() override;
    void SetUpWindow();
    void cmdExit_Click(int index);

    // Step 13 of the initialisation: the schedule store's refresh. Also run after DeleteSavedRun.
    void RefreshSchedules();
    void cmdSchedNow_Click();
    void cmdDeleteSchedule_Click();
    void timerSchedule_Timer();
    schedule::ScheduleDialog* frmSchedule() const;
    schedule::ScheduleTimer* scheduleTimer() const { return scheduleTimer_; }
    // The splash window that the initialisation closes once the main window is up.
    void setSplash(QWidget* splash) { splash_ = splash; }

    // SweepWindow
    void setStatusPanel(int panel, const QString& text) override;
    void repaintStatus() override;
    void setCaption(const QString& caption) override;
    bool isMinimised() const override;
    void DisableDuringSweep() override;
    void EnableAfterSweep() override;

    // Steps 1-2 of the set-up: the About contents, the hand cursor and WebAddress.
    void SetUpWindowAbout();
    // The tab control's click: the caption back to plain, pending options stored, the new tab's text.
    void SSTab1_Click(int tab);
    // Fills the Database tab's saved-run list on entry.
    void FillSavedRunList();
    // "Print Report...": the Free IP Report of the run chosen in the saved-run list.
    void cmdFreeIPReport_Click();

protected:
    // Form_Unload: closing the window ends the program.
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    void createTabs();
    void createStatusBar();
    void createTimer();
    void createSweep();
    void connectExitButtons();
    void createSchedules();
    void createSavedRuns();
    void createBlockMap();
    void createReport();
    void createScheduledRun();
    void connectTabsAndOptions();
    void createFramePacing();

    bool windowHeld() const;

    Services services_;
    AppState state_;

    QTabWidget* SSTab1 = nullptr;
    StatusBar* sbStatus = nullptr;
    QTimer* timerSchedule = nullptr;
    sweep::PingTab* pingTab = nullptr;
    OptionsTab* optionsTab = nullptr;
    DatabaseTab* databaseTab = nullptr;
    AboutTab* aboutTab = nullptr;

    sweep::RangeEntry* rangeEntry = nullptr;
    sweep::PingSweep* pingSweep = nullptr;
    OptionsController* options = nullptr;
    About* about = nullptr;

    QPointer<QWidget> splash_;
    // During a sweep the window paints at most once a frame (see event()).
    QElapsedTimer lastPaint_;
    QTimer* deferredPaint_ = nullptr;
    std::unique_ptr<db::SavedRuns> savedRuns_;
    std::unique_ptr<SavedRunsPanel> savedRunsPanel_;
    std::unique_ptr<report::FreeIPReportCommand> freeIPReport_;
    std::unique_ptr<db::ScheduleStore> scheduleStore_;
    std::unique_ptr<schedule::SchedulesPanel> schedulesPanel_;
    std::unique_ptr<ScheduledRun> scheduledRun_;
    schedule::ScheduleTimer* scheduleTimer_ = nullptr;
    QPointer<schedule::ScheduleDialog> frmSchedule_;
};

} // namespace kestrion::app
