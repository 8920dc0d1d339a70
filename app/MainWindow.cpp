#include "app/MainWindow.h"

#include "app/About.h"
#include "app/AboutTab.h"
#include "app/AddressHistoryWindow.h"
#include "app/BlockMap.h"
#include "app/DatabaseTab.h"
#include "app/FatalError.h"
#include "app/FramePacer.h"
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
#include "schedule/ScheduledRunDriver.h"
#include "schedule/SchedulesPanel.h"
#include "sweep/PingSweep.h"
#include "sweep/PingTab.h"
#include "sweep/RangeEntry.h"
#include "sweep/SweepSession.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>
#include <utility>

namespace kestrion::app {

MainWindow::MainWindow(Services services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(platform::appTitle());
    createTabs();
    // Client area 6945 x 5595 twips: the tab control above, the status bar below.
    setFixedSize(platform::twips(6945), platform::twips(5295) + sbStatus->sizeHint().height());
    createSweep();
    createDatabaseTab();
    createScheduledRun();
    connectTabsAndExits();
    new FramePacer(*this, *session_);
    services_.boxes.setOwnerWindow(this);
}

MainWindow::~MainWindow() {
    services_.boxes.setOwnerWindow(nullptr);
}

void MainWindow::guarded(const std::function<void()>& work) {
    // A database failure inside an event ends the program after showing it (FatalError.h).
    runEventGuarded(services_.fatal, services_.boxes, work);
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
    sbStatus = new StatusBar(this);
    setStatusBar(sbStatus);
    timerSchedule = new QTimer(this);
    timerSchedule->setObjectName(QStringLiteral("timerSchedule"));
    timerSchedule->setInterval(45000);
}

void MainWindow::createSweep() {
    session_ = new sweep::SweepSession(services_.echo, &services_.components,
                                       sweep::SweepSession::Waiting::KeepPainting, this);
    rangeEntry = new sweep::RangeEntry(*pingTab, state_.options, services_.boxes);
    pingSweep = new sweep::PingSweep(*pingTab, *rangeEntry, *session_, state_.options, services_.boxes);
    connect(pingSweep, &sweep::PingSweep::statusText, sbStatus, &StatusBar::setPanel);
    connect(pingSweep, &sweep::PingSweep::captionChanged, this, &QWidget::setWindowTitle);
    connect(pingSweep, &sweep::PingSweep::initialisationRequested, this, &MainWindow::Form_Load);
    connect(session_, &sweep::SweepSession::runningChanged, this, &MainWindow::showSweepRunning);
}

void MainWindow::showSweepRunning(bool running) {
    // Exit is closing the window: nothing of it is touched any more.
    if (!running && session_->stopRequest() == sweep::StopRequest::Exit)
        return;
    for (int i = 1; i <= 3; ++i)
        SSTab1->setTabEnabled(i, !running);
    for (int i = 1; i <= 5; ++i)
        pingTab->entryBox(i)->setEnabled(!running);
}

void MainWindow::createDatabaseTab() {
    scheduleStore_ = std::make_unique<db::ScheduleStore>(services_.paths, state_.database);
    schedulesPanel_ = new schedule::SchedulesPanel(databaseTab->lbCurrentSchedules, *scheduleStore_,
                                                   state_.schedule, services_.boxes, services_.clock, this);
    connect(schedulesPanel_, &schedule::SchedulesPanel::scheduleText, this,
            [this](const QString& text) { sbStatus->setPanelAndRepaint(2, text); });
    connect(databaseTab->cmdSchedNow, &QPushButton::clicked, this, [this] {
        guarded([this] {
            schedulesPanel_->cmdSchedNow_Click(databaseTab->comboChooseRun->currentText(), *this);
        });
    });
    connect(databaseTab->cmdDeleteSchedule, &QPushButton::clicked, this,
            [this] { guarded([this] { schedulesPanel_->cmdDeleteSchedule_Click(); }); });

    savedRuns_ = std::make_unique<db::SavedRuns>(services_.paths, state_.database, services_.clock);
    savedRunsPanel_ =
        new SavedRunsPanel(SavedRunsControls{databaseTab->comboChooseRun, databaseTab->lblAdvDateCreated[1],
                                             databaseTab->lblAdvNumRuns[1], databaseTab->cmdDelSavedRun,
                                             databaseTab->cmdFreeIPReport, pingTab->cmdSaveRun},
                           *savedRuns_, services_.boxes, this);
    savedRunsPanel_->connectControls();
    // Deleting a saved run deletes its schedules with it.
    connect(savedRunsPanel_, &SavedRunsPanel::schedulesChanged, this, &MainWindow::RefreshSchedules);
    connect(pingTab->cmdSaveRun, &QPushButton::clicked, this, [this] {
        guarded([this] {
            const sweep::SweepRange& range = session_->range();
            savedRunsPanel_->cmdSaveRun_Click(
                rangeTextForSweep(range.octet1, range.octet2, range.octet3, range.firstHost, range.lastHost),
                schedule::resultRows(session_->hosts()),
                db::SweepFacts{db::SweptBy::Window, session_->lastDurationMs()});
        });
    });
    connect(databaseTab->cmdDelSavedRun, &QPushButton::clicked, this,
            [this] { guarded([this] { savedRunsPanel_->cmdDelSavedRun_Click(); }); });

    // The free space right of the "Saved Run Database" frame, as high as the frame; the grid's right
    // edge lines up with the buttons of the right-hand column.
    blockMap_ = new BlockMap(databaseTab);
    blockMap_->setGeometry(platform::twipRect(5160, 600 - 360, 1575, 2280));
    connect(blockMap_, &BlockMap::statusText, this,
            [this](const QString& text) { sbStatus->setPanel(1, text); });
    // Tab reaches it after the frame beside it.
    setTabOrder(databaseTab->cmdFreeIPReport, blockMap_);
    // Under the map: the latest changes of the run it shows.
    changesLine_ = new QLabel(databaseTab);
    changesLine_->setObjectName(QStringLiteral("lblChanges"));
    changesLine_->setGeometry(platform::twipRect(5160, 600 - 360 + 2280 + 60, 1575, 720));
    changesLine_->setWordWrap(true);
    changesLine_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    connect(savedRunsPanel_, &SavedRunsPanel::shownRunChanged, this, [this] {
        drawBlockMap(*blockMap_, *changesLine_, services_.paths, session_->isRunning(), state_.database,
                     databaseTab->comboChooseRun->currentText());
    });
    connect(blockMap_, &BlockMap::cellChosen, this, [this](const QString& address) {
        guarded([this, &address] {
            if (!addressHistory_)
                addressHistory_ = new AddressHistoryWindow(this);
            showAddressHistory(*addressHistory_, *savedRuns_, session_->isRunning(), state_.database,
                               databaseTab->comboChooseRun->currentText(), address);
        });
    });

    freeIPReport_ = new report::FreeIPReportCommand(
        services_.paths, state_.database, services_.boxes, services_.shell,
        [this](const QString& range) { return savedRuns_->FindRunNo(range); }, this);
    connect(freeIPReport_, &report::FreeIPReportCommand::statusText, this,
            [this](const QString& text) { sbStatus->setPanelAndRepaint(1, text); });
    connect(databaseTab->cmdFreeIPReport, &QPushButton::clicked, this,
            [this] { guarded([this] { freeIPReport_->run(databaseTab->comboChooseRun->currentText()); }); });
}

void MainWindow::createScheduledRun() {
    scheduledRunDriver_ = new schedule::ScheduledRunDriver(*session_, *savedRuns_, *scheduleStore_, this);
    scheduledRun_ = new ScheduledRun(ScheduledRunParts{*SSTab1, *sbStatus, *timerSchedule, *pingSweep,
                                                       *rangeEntry, *savedRunsPanel_, *schedulesPanel_},
                                     *scheduledRunDriver_, state_.options, services_.fatal, services_.boxes,
                                     services_.notifier, this);
    scheduleTimer_ = new schedule::ScheduleTimer(*scheduledRun_, state_.schedule, state_.database,
                                                 services_.clock, services_.boxes, this);
    connect(session_, &sweep::SweepSession::runningChanged, scheduleTimer_,
            &schedule::ScheduleTimer::setSweepRunning);
    connect(timerSchedule, &QTimer::timeout, this, [this] { guarded([this] { timerSchedule_Timer(); }); });
    timerSchedule->start();
}

void MainWindow::RefreshSchedules() {
    schedulesPanel_->RefreshSchedules();
}

void MainWindow::timerSchedule_Timer() {
    scheduleTimer_->timerSchedule_Timer();
}

void MainWindow::connectTabsAndExits() {
    options = new OptionsController(state_.options, services_.settings, services_.boxes, *optionsTab, this);
    about = new About(*aboutTab, services_.host, services_.shell, services_.paths, this);
    QPushButton* help[3] = {aboutTab->cmdLaunchHelp0, pingTab->cmdLaunchHelp1, databaseTab->cmdLaunchHelp2};
    for (int i = 0; i < 3; ++i)
        connect(help[i], &QPushButton::clicked, about, [this, i] { about->cmdLaunchHelp_Click(i); });
    connect(SSTab1, &QTabWidget::currentChanged, this, &MainWindow::SSTab1_Click);
    for (QPushButton* exit :
         {aboutTab->cmdExit0, optionsTab->cmdExit1, pingTab->cmdExit2, databaseTab->cmdExit3})
        connect(exit, &QPushButton::clicked, this, &MainWindow::cmdExit_Click);
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
        savedRunsPanel_->FillSavedRunList();
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

schedule::ScheduleDialog* MainWindow::frmSchedule() const {
    return schedulesPanel_->dialog();
}

void MainWindow::Form_Load() {
    ReadSettings(state_.options, services_.settings);
    SSTab1->setCurrentIndex(0);
    setWindowTitle(platform::appTitle());
    sbStatus->setPanel(1, QStringLiteral("Welcome."));
    pingTab->cmdReset->setEnabled(false);
    pingTab->cmdSaveRun->setEnabled(false);
    session_->clearStop();
    session_->setUnattended(false);
    about->SetUpAbout();
    pingSweep->ApplyGridFormat();
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

void MainWindow::cmdExit_Click() {
    if (!platform::isOwnEnabled(pingTab->Text1)) {
        pingTab->cmdPing->setEnabled(false);
        pingTab->cmdReset->setEnabled(true);
        session_->requestStop(sweep::StopRequest::Exit);
    }
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The close box during a sweep ends the program like Exit: the sweep returns at its next check
    // without touching the window.
    if (session_->isRunning())
        session_->requestStop(sweep::StopRequest::Exit);
    if (splash_)
        splash_->close();
    event->accept();
    QCoreApplication::quit();
}

} // namespace kestrion::app
