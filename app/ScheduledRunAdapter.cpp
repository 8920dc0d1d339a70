#include "app/ScheduledRunAdapter.h"

#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "schedule/SchedulesPanel.h"
#include "sweep/PingTab.h"

#include <QCoreApplication>
#include <QLineEdit>
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
    return window_.pingTab->cmdReset->isEnabled();
}

void ScheduledRunAdapter::clickReset() {
    if (hooks_.cmdReset_Click)
        hooks_.cmdReset_Click();
    else
        window_.pingTab->cmdReset->click();
}

void ScheduledRunAdapter::fillAddressBoxes(const QString& rangeText) {
    if (hooks_.FillAddressBoxes) {
        hooks_.FillAddressBoxes(rangeText);
        return;
    }
    // A scheduled sweep always covers 1 to 254 of the saved block.
    const QStringList fields = rangeText.split(QLatin1Char('.'));
    QLineEdit* octets[3] = {window_.pingTab->Text1, window_.pingTab->Text2, window_.pingTab->Text3};
    for (int i = 0; i < 3; ++i)
        octets[i]->setText(fields.value(i));
    window_.pingTab->Text4->setText(QStringLiteral("1"));
    window_.pingTab->Text5->setText(QStringLiteral("254"));
}

void ScheduledRunAdapter::clickPing() {
    if (hooks_.cmdPing_Click)
        hooks_.cmdPing_Click();
    else
        window_.pingTab->cmdPing->click();
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
