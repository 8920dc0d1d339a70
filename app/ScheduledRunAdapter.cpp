#include "app/ScheduledRunAdapter.h"

#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "platform/OwnState.h"
#include "schedule/SchedulesPanel.h"
#include "sweep/PingTab.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

namespace kestrion::app {

ScheduledRunAdapter::ScheduledRunAdapter(MainWindow& window, schedule::SchedulesPanel& panel,
                                         const ScheduledRunHooks& hooks)
    : window_(window), panel_(panel), hooks_(hooks) {}

void ScheduledRunAdapter::selectPingTab() {
    window_.SSTab1->setCurrentIndex(0);
}

bool ScheduledRunAdapter::resetEnabled() {
    return platform::isOwnEnabled(window_.pingTab->cmdReset);
}

void ScheduledRunAdapter::clickReset() {
    hooks_.cmdReset_Click();
}

void ScheduledRunAdapter::fillAddressBoxes(const QString& rangeText) {
    hooks_.FillAddressBoxes(rangeText);
}

QString ScheduledRunAdapter::clickPing() {
    return hooks_.cmdPing_Click();
}

void ScheduledRunAdapter::saveRun(const QString& rangeText) {
    if (hooks_.SaveRun)
        hooks_.SaveRun(rangeText);
}

void ScheduledRunAdapter::deleteSchedule(const QString& line) {
    panel_.DeleteSchedule(line);
}

void ScheduledRunAdapter::refreshSchedules() {
    panel_.RefreshSchedules();
}

void ScheduledRunAdapter::setStatus(const QString& text) {
    window_.sbStatus->setPanelAndRepaint(1, text);
}

void ScheduledRunAdapter::processEvents() {
    QCoreApplication::processEvents();
}

void ScheduledRunAdapter::setTimerEnabled(bool enabled) {
    if (enabled)
        window_.timerSchedule->start(); // a full interval before the next tick
    else
        window_.timerSchedule->stop();
}

void ScheduledRunAdapter::holdSchedule(const std::optional<QDateTime>& scheddate) {
    panel_.holdSchedule(scheddate);
}

} // namespace kestrion::app
