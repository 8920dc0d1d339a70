#include "app/MainWindow.h"

#include "app/AboutTab.h"
#include "app/DatabaseTab.h"
#include "app/FatalError.h"
#include "app/OptionsTab.h"
#include "app/StatusBar.h"
#include "db/ScheduleStore.h"
#include "platform/MessageBoxes.h"
#include "platform/Twips.h"
#include "schedule/ScheduleDialog.h"
#include "schedule/ScheduleTimer.h"
#include "schedule/SchedulesPanel.h"
#include "sweep/PingTab.h"

#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>

namespace kestrion::app {

MainWindow::MainWindow(Services services, QWidget* parent) : QMainWindow(parent), services_(services) {
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kestrion"));

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

    // Client area 6945 x 5595 twips: the tab control above, the status bar below.
    setFixedSize(platform::twips(6945), platform::twips(5295) + sbStatus->sizeHint().height());

    createSchedules();
}

MainWindow::~MainWindow() {
    delete frmSchedule_.data();
}

void MainWindow::createSchedules() {
    scheduleStore_ = std::make_unique<db::ScheduleStore>(services_.paths, state_);
    schedulesPanel_ = std::make_unique<schedule::SchedulesPanel>(
        databaseTab->lbCurrentSchedules,
        [this](const QString& text) { sbStatus->setPanelAndRepaint(2, text); }, *scheduleStore_, state_,
        services_.boxes, services_.clock);
    RefreshSchedules = [this] { schedulesPanel_->RefreshSchedules(); };
    scheduledRunHost_ = std::make_unique<ScheduledRunAdapter>(*this, *schedulesPanel_, scheduledRunHooks);
    scheduleTimer_ =
        new schedule::ScheduleTimer(*scheduledRunHost_, state_, services_.clock, services_.boxes, this);
    scheduleTimer_->setEventBoundary(
        [this](const std::function<void()>& work) { runEventGuarded(services_.boxes, work); });

    // A database failure inside these events ends the program after showing it (FatalError.h).
    connect(timerSchedule, &QTimer::timeout, this,
            [this] { runEventGuarded(services_.boxes, [this] { timerSchedule_Timer(); }); });
    connect(databaseTab->cmdSchedNow, &QPushButton::clicked, this,
            [this] { runEventGuarded(services_.boxes, [this] { cmdSchedNow_Click(); }); });
    connect(databaseTab->cmdDeleteSchedule, &QPushButton::clicked, this,
            [this] { runEventGuarded(services_.boxes, [this] { cmdDeleteSchedule_Click(); }); });
    timerSchedule->start();
}

schedule::ScheduleDialog* MainWindow::frmSchedule() const {
    return frmSchedule_.data();
}

void MainWindow::cmdDeleteSchedule_Click() {
    schedulesPanel_->cmdDeleteSchedule_Click();
}

void MainWindow::timerSchedule_Timer() {
    scheduleTimer_->timerSchedule_Timer();
}

void MainWindow::cmdSchedNow_Click() {
    const QString range = databaseTab->comboChooseRun->currentText();
    if (range.isEmpty()) {
        services_.boxes.show(QStringLiteral("Kestrion No IP Specified"),
                             QStringLiteral("Choose a saved IP from the box above.  Then click Add Schedule"),
                             platform::MsgButtons::Ok, platform::MsgIcon::Exclamation);
        return;
    }
    state_.NewSchedIP = range;
    // A window of its own rather than a child: disabling the main window would disable a child too.
    frmSchedule_ = new schedule::ScheduleDialog(
        state_, services_.clock, services_.boxes,
        {[this] { schedulesPanel_->AddSchedule(); }, [this] { setEnabled(true); }});
    frmSchedule_->show();
    if (frmSchedule_->windowHandle() && windowHandle())
        frmSchedule_->windowHandle()->setTransientParent(windowHandle());
    setEnabled(false);
}

} // namespace kestrion::app
