#include "app/ScheduledRun.h"

#include "app/FatalError.h"
#include "app/SavedRunsPanel.h"
#include "app/StatusBar.h"
#include "platform/DesktopNotifier.h"
#include "schedule/ChangeTexts.h"
#include "schedule/ScheduledRunDriver.h"
#include "schedule/SchedulesPanel.h"
#include "sweep/PingSweep.h"
#include "sweep/RangeEntry.h"

#include <QApplication>
#include <QCoreApplication>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>

namespace kestrion::app {

using Outcome = schedule::ScheduledRunOutcome;

ScheduledRun::ScheduledRun(const ScheduledRunParts& parts, schedule::ScheduledRunDriver& driver,
                           const sweep::SweepOptions& options, FatalPath& fatal,
                           platform::MessageBoxes& boxes, platform::DesktopNotifier& notifier,
                           QObject* parent)
    : QObject(parent), parts_(parts), driver_(driver), options_(options), fatal_(fatal), boxes_(boxes),
      notifier_(notifier) {
    connect(&driver_, &schedule::ScheduledRunDriver::sweeping, this, [this](const sweep::SweepRange& range) {
        parts_.range.FillAddressBoxes(range.address(range.firstHost));
    });
    connect(&driver_, &schedule::ScheduledRunDriver::saving, this,
            [this] { showStep(QStringLiteral("Saving run...")); });
    connect(&driver_, &schedule::ScheduledRunDriver::saved, this,
            [this](db::SaveOutcome outcome) { parts_.savedRuns.showSaved(outcome); });
    connect(&driver_, &schedule::ScheduledRunDriver::updatingSchedules, this,
            [this] { showStep(QStringLiteral("Updating schedules...")); });
}

void ScheduledRun::holdSchedule(const std::optional<QDateTime>& scheddate) {
    parts_.schedules.holdSchedule(scheddate);
}

bool ScheduledRun::windowHeld() const {
    if (QApplication::activeModalWidget() != nullptr)
        return true;
    // The schedule dialog is a window of its own; it closes before it is deleted, and until then a
    // visible one still holds the main window.
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](const QWidget* w) {
        return w->isVisible() && w->objectName() == QLatin1String("frmSchedule");
    });
}

void ScheduledRun::runGuarded(const std::function<void()>& work) {
    runEventGuarded(fatal_, boxes_, work);
}

void ScheduledRun::showStep(const QString& text) {
    QCoreApplication::processEvents();
    parts_.status.setPanelAndRepaint(1, text);
}

void ScheduledRun::carryOut(const QDateTime& scheddate, const QString& schedip) {
    parts_.tabs.setCurrentIndex(0);
    if (parts_.sweep.resetEnabled())
        parts_.sweep.cmdReset_Click();
    // No further tick while the sweep yields to the event loop.
    parts_.timerSchedule.stop();
    // Read after Reset: the initialisation reads the stored options again.
    const Outcome outcome = driver_.carryOut({scheddate, schedip}, {options_.Timeout, options_.PacketSize},
                                             sweep::Pacing{options_.ParallelSweep});
    // Exit (or the close box) during the sweep ends the program as during the user's own sweep: the
    // partial sweep is not saved or counted, the backups stay as they are and the schedule stays stored.
    if (outcome.kind == Outcome::Kind::Abandoned)
        return;
    parts_.schedules.RefreshSchedules();
    QCoreApplication::processEvents();
    parts_.schedules.holdSchedule(std::nullopt);
    parts_.schedules.RefreshSchedules();
    parts_.timerSchedule.start(); // a full interval before the next tick
    if (outcome.kind == Outcome::Kind::NotSwept) {
        parts_.status.setPanelAndRepaint(1, QStringLiteral("Scheduled run failed: ") +
                                                outcome.failure.section(QLatin1Char('\n'), 0, 0) +
                                                QStringLiteral(" Schedule removed: ") + outcome.scheduleLine);
        return;
    }
    parts_.status.setPanelAndRepaint(1, QStringLiteral("Scheduled run complete."));
    tellChanges(schedip, outcome);
}

void ScheduledRun::tellChanges(const QString& range, const Outcome& outcome) {
    if (!outcome.changes || outcome.changes->empty())
        return;
    const schedule::ChangesNotice notice = schedule::changesNotice(range, *outcome.changes);
    QString why;
    if (notifier_.notify(notice.summary, notice.body, &why))
        return;
    parts_.status.setPanelAndRepaint(1, QStringLiteral("Scheduled run complete. ") + range +
                                            QStringLiteral(": ") + schedule::changesLine(*outcome.changes) +
                                            QStringLiteral(" (") + why + QStringLiteral(")"));
}

} // namespace kestrion::app
