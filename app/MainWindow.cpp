#include "app/MainWindow.h"

#include "app/About.h"
#include "app/AboutTab.h"
#include "app/BlockMap.h"
#include "app/DatabaseTab.h"
#include "app/FatalError.h"
#include "app/Options.h"
#include "app/OptionsTab.h"
#include "app/SavedRunsPanel.h"
#include "app/ScheduledRun.h"
#include "app/StatusBar.h"
#include "db/SavedRuns.h"
#include "db/ScheduleStore.h"
#include "platform/AppTitle.h"
#include "platform/HostInfo.h"
#include "platform/MessageBoxes.h"
#include "platform/OwnState.h"
#include "platform/Twips.h"
#include "report/ReportCommand.h"
#include "schedule/ScheduleDialog.h"
#include "schedule/ScheduleTimer.h"
#include "schedule/SchedulesPanel.h"
#include "sweep/PingTab.h"
#include "sweep/RangeEntry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QWindow>
#include <utility>

namespace kestrion::app {

MainWindow::MainWindow(Services services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(platform::appTitle());
    createTabs();
    createStatusBar();
    createTimer();
    // Client area 6945 x 5595 twips: the tab control above, the status bar below.
    setFixedSize(platform::twips(6945), platform::twips(5295) + sbStatus->sizeHint().height());
    createSweep();
    connectExitButtons();
    createSchedules();
    createSavedRuns();
    createBlockMap();
    createReport();
    createScheduledRun();
    connectTabsAndOptions();
    createFramePacing();
    services_.boxes.setOwnerWindow(this);
}

void MainWindow::createTabs() {
    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    pingTab = new sweep::PingTab;
    optionsTab = new OptionsTab;
    databaseTab = new DatabaseTab;
    aboutTab = new AboutTab;
    SSTab1->addTab(pingTab, QStringLiteral("Ping"));
    SSTab1->addTab(optionsTab, QStringLiteral("Options"));
    SSTab1->addTab(databaseTab, QStringLiteral("Database"));
    SSTab1->addTab(aboutTab, QStringLiteral("About"));
    setCentralWidget(SSTab1);
}

void MainWindow::createStatusBar() {
    sbStatus = new StatusBar(this);
    setStatusBar(sbStatus);
}

void MainWindow::createTimer() {
    timerSchedule = new QTimer(this);
    timerSchedule->setObjectName(QStringLiteral("timerSchedule"));
    timerSchedule->setInterval(45000);
}

void MainWindow::createSweep() {
    rangeEntry = new sweep::RangeEntry(*pingTab, state_.sweep, state_.options, services_.boxes);
    pingSweep = new sweep::PingSweep(*pingTab, *rangeEntry, state_.sweep, state_.options, services_.echo,
                                     services_.boxes, services_.components, *this);
}

void MainWindow::createFramePacing() {
    deferredPaint_ = new QTimer(this);
    deferredPaint_->setSingleShot(true);
    connect(deferredPaint_, &QTimer::timeout, this, [this] {
        QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
    });
}

namespace {
constexpr int kFrameMs = 16;
}

bool MainWindow::event(QEvent* event) {
    // A sweep changes the status bar, the grid and the lists for every address, often faster than a
    // screen shows frames; painting each change would cost more than the echo itself. What is left
    // unpainted stays marked dirty and is painted with the next frame.
    if (event->type() == QEvent::UpdateRequest && state_.sweep.SweepRunning) {
        if (lastPaint_.isValid() && lastPaint_.elapsed() < kFrameMs) {
            if (!deferredPaint_->isActive())
                deferredPaint_->start(kFrameMs - static_cast<int>(lastPaint_.elapsed()));
            return true;
        }
        lastPaint_.restart();
    }
    return QMainWindow::event(event);
}

void MainWindow::connectTabsAndOptions() {
    options = new OptionsController(state_.options, services_.settings, services_.boxes, *optionsTab, this);
    about = new About(*aboutTab, services_.host, services_.shell, services_.paths, this);
    QPushButton* help[3] = {aboutTab->cmdLaunchHelp0, pingTab->cmdLaunchHelp1, databaseTab->cmdLaunchHelp2};
    for (int i = 0; i < 3; ++i)
        connect(help[i], &QPushButton::clicked, about, [this, i] { about->cmdLaunchHelp_Click(i); });
    connect(SSTab1, &QTabWidget::currentChanged, this, &MainWindow::SSTab1_Click);
}

void MainWindow::SetUpWindowAbout() {
    about->SetUpAbout();
}

void MainWindow::SSTab1_Click(int tab) {
    // The sweep may have put its percentage in the caption while the window was minimised.
    setWindowTitle(platform::appTitle());
    if (options->changesPending())
        options->SaveSettings();
    switch (tab) {
    case 1:
        options->ShowSettings();
        sbStatus->setPanel(1, QStringLiteral("Ready."));
        break;
    case 2:
        // The list must hold the saved runs before the user chooses one.
        FillSavedRunList();
        sbStatus->setPanel(1, QStringLiteral("Select a Run from the Saved Run box to begin."));
        break;
    case 3:
        about->ShowNetworkInfo(*sbStatus);
        break;
    default:
        sbStatus->setPanel(1, QStringLiteral("Ready."));
        break;
    }
}

MainWindow::~MainWindow() {
    services_.boxes.setOwnerWindow(nullptr);
    delete frmSchedule_.data();
}

void MainWindow::createSchedules() {
    scheduleStore_ = std::make_unique<db::ScheduleStore>(services_.paths, state_.database);
    schedulesPanel_ = std::make_unique<schedule::SchedulesPanel>(
        databaseTab->lbCurrentSchedules,
        [this](const QString& text) { sbStatus->setPanelAndRepaint(2, text); }, *scheduleStore_,
        state_.schedule, services_.boxes, services_.clock);
    // A database failure inside these events ends the program after showing it (FatalError.h).
    connect(timerSchedule, &QTimer::timeout, this,
            [this] { runEventGuarded(services_.fatal, services_.boxes, [this] { timerSchedule_Timer(); }); });
    connect(databaseTab->cmdSchedNow, &QPushButton::clicked, this,
            [this] { runEventGuarded(services_.fatal, services_.boxes, [this] { cmdSchedNow_Click(); }); });
    connect(databaseTab->cmdDeleteSchedule, &QPushButton::clicked, this, [this] {
        runEventGuarded(services_.fatal, services_.boxes, [this] { cmdDeleteSchedule_Click(); });
    });
}

void MainWindow::createScheduledRun() {
    scheduledRun_ =
        std::make_unique<ScheduledRun>(ScheduledRunParts{*SSTab1, *sbStatus, *timerSchedule, *pingSweep,
                                                         *rangeEntry, *savedRunsPanel_, *schedulesPanel_},
                                       state_.sweep);
    scheduleTimer_ = new schedule::ScheduleTimer(*scheduledRun_, state_.schedule, state_.sweep.SweepRunning,
                                                 state_.database, services_.clock, services_.boxes, this);
    scheduleTimer_->setEventBoundary([this](const std::function<void()>& work) {
        runEventGuarded(services_.fatal, services_.boxes, work);
    });
    scheduleTimer_->setWindowHeld([this] { return windowHeld(); });
    timerSchedule->start();
}

void MainWindow::RefreshSchedules() {
    schedulesPanel_->RefreshSchedules();
}

void MainWindow::FillSavedRunList() {
    savedRunsPanel_->FillSavedRunList();
}

void MainWindow::createSavedRuns() {
    savedRuns_ = std::make_unique<db::SavedRuns>(services_.paths, state_.database, services_.clock);
    savedRunsPanel_ = std::make_unique<SavedRunsPanel>(
        SavedRunsControls{databaseTab->comboChooseRun, databaseTab->lblAdvDateCreated[1],
                          databaseTab->lblAdvNumRuns[1], databaseTab->cmdDelSavedRun,
                          databaseTab->cmdFreeIPReport, pingTab->cmdSaveRun},
        *savedRuns_, state_.sweep, services_.boxes);
    savedRunsPanel_->connectControls();
    // Deleting a saved run deletes its schedules with it.
    savedRunsPanel_->schedulesChanged = [this] { RefreshSchedules(); };
    connect(pingTab->cmdSaveRun, &QPushButton::clicked, this, [this] {
        runEventGuarded(services_.fatal, services_.boxes, [this] {
            savedRunsPanel_->cmdSaveRun_Click(rangeTextForSweep(state_.sweep.Octet1, state_.sweep.Octet2,
                                                                state_.sweep.Octet3, state_.sweep.FirstHost,
                                                                state_.sweep.LastHost),
                                              pingSweep->resultRows());
        });
    });
    connect(databaseTab->cmdDelSavedRun, &QPushButton::clicked, this, [this] {
        runEventGuarded(services_.fatal, services_.boxes,
                        [this] { savedRunsPanel_->cmdDelSavedRun_Click(); });
    });
}

void MainWindow::createBlockMap() {
    // The free space right of the "Saved Run Database" frame, as high as the frame; the grid's right
    // edge lines up with the buttons of the right-hand column.
    auto* map = new BlockMap(databaseTab);
    map->setGeometry(platform::twipRect(5160, 600 - 360, 1575, 2280));
    map->statusText = [this](const QString& text) { sbStatus->setPanel(1, text); };
    // Tab reaches it after the frame beside it.
    setTabOrder(databaseTab->cmdFreeIPReport, map);
    savedRunsPanel_->shownRunChanged = [this, map] {
        drawBlockMap(*map, services_.paths, state_.sweep, state_.database,
                     databaseTab->comboChooseRun->currentText());
    };
}

void MainWindow::createReport() {
    freeIPReport_ = std::make_unique<report::FreeIPReportCommand>(
        services_.paths, state_.database, services_.boxes, services_.shell,
        [this](const QString& range) { return savedRuns_->FindRunNo(range); },
        [this](const QString& text) { sbStatus->setPanelAndRepaint(1, text); });
    connect(databaseTab->cmdFreeIPReport, &QPushButton::clicked, this, [this] {
        runEventGuarded(services_.fatal, services_.boxes, [this] { cmdFreeIPReport_Click(); });
    });
}

void MainWindow::cmdFreeIPReport_Click() {
    freeIPReport_->run(databaseTab->comboChooseRun->currentText());
}

schedule::ScheduleDialog* MainWindow::frmSchedule() const {
    return frmSchedule_.data();
}

void MainWindow::cmdDeleteSchedule_Click() {
    schedulesPanel_->cmdDeleteSchedule_Click();
}

bool MainWindow::windowHeld() const {
    // The dialog closes before it is deleted; until then a visible one still holds the window.
    return (frmSchedule_ && frmSchedule_->isVisible()) || QApplication::activeModalWidget() != nullptr;
}

void MainWindow::timerSchedule_Timer() {
    scheduleTimer_->timerSchedule_Timer();
}

void MainWindow::cmdSchedNow_Click() {
    const QString range = databaseTab->comboChooseRun->currentText();
    if (range.isEmpty()) {
        services_.boxes.show(platform::appTitle() + QStringLiteral(" No IP Specified"),
                             QStringLiteral("Choose a saved IP from the box above.  Then click Add Schedule"),
                             platform::MsgButtons::Ok, platform::MsgIcon::Exclamation);
        return;
    }
    state_.schedule.NewSchedIP = range;
    // A window of its own rather than a child: disabling the main window would disable a child too.
    frmSchedule_ = new schedule::ScheduleDialog(
        state_.schedule, services_.clock, services_.boxes,
        {[this] { schedulesPanel_->AddSchedule(); }, [this] { setEnabled(true); }});
    frmSchedule_->show();
    if (frmSchedule_->windowHandle() && windowHandle())
        frmSchedule_->windowHandle()->setTransientParent(windowHandle());
    setEnabled(false);
}

void MainWindow::Form_Load() {
    ReadSettings(state_.options, services_.settings);
    SSTab1->setCurrentIndex(0);
    setWindowTitle(platform::appTitle());
    sbStatus->setPanel(1, QStringLiteral("Welcome."));
    pingTab->cmdReset->setEnabled(false);
    pingTab->cmdSaveRun->setEnabled(false);
    state_.sweep.StopRequest = QStringLiteral("False");
    state_.sweep.ScheduledRunActive = false;
    SetUpWindow();
    show();
    rangeEntry->applyStartupRule(services_.host.localAddress());
    if (splash_)
        splash_->close();
    repaint();
    sbStatus->setPanelAndRepaint(1, QStringLiteral("Checking old schedules..."));
    RefreshSchedules();
    pingTab->cmdPing->setEnabled(true);
    pingTab->cmdPing->setFocus();
    sbStatus->setPanelAndRepaint(1, QStringLiteral("Welcome."));
}

void MainWindow::SetUpWindow() {
    SetUpWindowAbout();
    pingSweep->ApplyGridFormat();
}

void MainWindow::connectExitButtons() {
    QPushButton* exits[4] = {aboutTab->cmdExit0, optionsTab->cmdExit1, pingTab->cmdExit2,
                             databaseTab->cmdExit3};
    for (int i = 0; i < 4; ++i)
        connect(exits[i], &QPushButton::clicked, this, [this, i] { cmdExit_Click(i); });
}

void MainWindow::cmdExit_Click(int /*index*/) {
    if (!platform::isOwnEnabled(pingTab->Text1)) {
        pingTab->cmdPing->setEnabled(false);
        pingTab->cmdReset->setEnabled(true);
        state_.sweep.StopRequest = QStringLiteral("Exit");
    }
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The close box during a sweep ends the program like Exit: the sweep returns at its next check
    // without touching the window.
    if (state_.sweep.SweepRunning)
        state_.sweep.StopRequest = QStringLiteral("Exit");
    if (splash_)
        splash_->close();
    event->accept();
    QCoreApplication::quit();
}

void MainWindow::setStatusPanel(int panel, const QString& text) {
    sbStatus->setPanel(panel, text);
}

void MainWindow::repaintStatus() {
    sbStatus->update();
}

void MainWindow::setCaption(const QString& caption) {
    setWindowTitle(caption);
}

bool MainWindow::isMinimised() const {
    return isMinimized();
}

void MainWindow::DisableDuringSweep() {
    for (int i = 1; i <= 3; ++i)
        SSTab1->setTabEnabled(i, false);
    for (int i = 1; i <= 5; ++i)
        pingTab->entryBox(i)->setEnabled(false);
}

void MainWindow::EnableAfterSweep() {
    if (state_.sweep.StopRequest == QStringLiteral("Exit"))
        return;
    for (int i = 1; i <= 3; ++i)
        SSTab1->setTabEnabled(i, true);
    for (int i = 1; i <= 5; ++i)
        pingTab->entryBox(i)->setEnabled(true);
}

} // namespace kestrion::app
