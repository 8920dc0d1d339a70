#include "schedule/SchedulesPanel.h"

#include "db/Database.h"
#include "platform/AppTitle.h"
#include "platform/DateText.h"
#include "schedule/ScheduleDialog.h"
#include "schedule/ScheduleMessages.h"

#include <QListWidget>
#include <QWindow>

namespace kestrion::schedule {

using platform::MsgButtons;
using platform::MsgIcon;

SchedulesPanel::SchedulesPanel(QListWidget* lbCurrentSchedules, db::ScheduleStore& store,
                               ScheduleState& state, platform::MessageBoxes& boxes, platform::Clock& clock,
                               QObject* parent)
    : QObject(parent), list_(lbCurrentSchedules), store_(store), state_(state), boxes_(boxes), clock_(clock) {
}

void SchedulesPanel::RefreshSchedules() {
    list_->clear();
    // The schedules are read in one go and the database is closed before any box: a box runs its own
    // event loop. Each expired schedule is deleted as soon as its box is answered, so a program ended
    // while a box is open keeps exactly the schedules whose boxes were not answered yet, and the next
    // refresh (or run-due) tells of those again.
    std::vector<db::StoredSchedule> remaining;
    for (const db::ReviewedSchedule& row : store_.review(clock_.now(), held_)) {
        if (!row.expired) {
            list_->addItem(db::scheduleLine(row.schedule.scheddate, row.schedule.schedip));
            remaining.push_back(row.schedule);
            continue;
        }
        boxes_.show(platform::appTitle() + QStringLiteral(" Schedule Expired"),
                    expiredScheduleText(row.schedule), MsgButtons::Ok, MsgIcon::None);
        store_.removeExpired(row);
    }
    if (remaining.empty()) {
        state_.NextSchedDate.reset();
        state_.NextSchedIP.clear();
        emit scheduleText(QStringLiteral("No current schedule"));
        return;
    }
    state_.NextSchedDate = remaining.front().scheddate;
    state_.NextSchedIP = remaining.front().schedip;
    emit scheduleText(QStringLiteral("Schedule: ") + platform::generalDateText(*state_.NextSchedDate) +
                      QLatin1Char(' '));
}

void SchedulesPanel::AddSchedule() {
    try {
        if (store_.add(state_.NewSchedDate, state_.NewSchedIP) == db::AddOutcome::Duplicate) {
            boxes_.show(platform::appTitle() + QStringLiteral(" Duplicate Schedule"), duplicateScheduleText(),
                        MsgButtons::Ok, MsgIcon::Critical);
            return;
        }
        RefreshSchedules();
    } catch (const db::DbError& error) {
        boxes_.show(platform::appTitle() + QStringLiteral(" Error"),
                    addScheduleErrorText(error.number(), error.text()), MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    boxes_.show(platform::appTitle() + QStringLiteral(" Confirmation"), QStringLiteral("Schedule saved."),
                MsgButtons::Ok, MsgIcon::Information);
}

void SchedulesPanel::DeleteSchedule(const QString& line) {
    if (store_.deleteByLine(line))
        RefreshSchedules();
}

void SchedulesPanel::cmdDeleteSchedule_Click() {
    const QListWidgetItem* item = list_->currentItem();
    const QString line = item && item->isSelected() ? item->text() : QString();
    if (line.size() < 3)
        return;
    const int answer = boxes_.show(platform::appTitle() + QStringLiteral(" Confirm Delete"),
                                   QStringLiteral("Are you sure that you want to delete this schedule?"),
                                   MsgButtons::YesNo, MsgIcon::Question, platform::AnswerNo);
    if (answer == platform::AnswerYes)
        DeleteSchedule(line);
}

ScheduleDialog* SchedulesPanel::dialog() const {
    return dialog_.data();
}

SchedulesPanel::~SchedulesPanel() {
    delete dialog_.data();
}

void SchedulesPanel::cmdSchedNow_Click(const QString& range, QWidget& mainWindow) {
    if (range.isEmpty()) {
        boxes_.show(platform::appTitle() + QStringLiteral(" No IP Specified"),
                    QStringLiteral("Choose a saved IP from the box above.  Then click Add Schedule"),
                    MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    state_.NewSchedIP = range;
    // A window of its own rather than a child: disabling the main window would disable a child too.
    dialog_ = new ScheduleDialog(state_, clock_, boxes_);
    connect(dialog_, &ScheduleDialog::releasesMainWindow, &mainWindow,
            [&mainWindow] { mainWindow.setEnabled(true); });
    connect(dialog_, &ScheduleDialog::scheduleChosen, this, &SchedulesPanel::AddSchedule);
    dialog_->show();
    if (dialog_->windowHandle() && mainWindow.windowHandle())
        dialog_->windowHandle()->setTransientParent(mainWindow.windowHandle());
    mainWindow.setEnabled(false);
}

} // namespace kestrion::schedule
