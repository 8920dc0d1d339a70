#include "schedule/SchedulesPanel.h"

#include "db/Database.h"
#include "platform/AppTitle.h"
#include "platform/DateText.h"
#include "schedule/ScheduleMessages.h"

#include <QListWidget>

namespace kestrion::schedule {

using platform::MsgButtons;
using platform::MsgIcon;

SchedulesPanel::SchedulesPanel(QListWidget* lbCurrentSchedules, PanelSetter setSchedulePanel,
                               db::ScheduleStore& store, ScheduleState& state, platform::MessageBoxes& boxes,
                               platform::Clock& clock)
    : list_(lbCurrentSchedules), setSchedulePanel_(std::move(setSchedulePanel)), store_(store), state_(state),
      boxes_(boxes), clock_(clock) {}

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
        setSchedulePanel_(QStringLiteral("No current schedule"));
        return;
    }
    state_.NextSchedDate = remaining.front().scheddate;
    state_.NextSchedIP = remaining.front().schedip;
    setSchedulePanel_(QStringLiteral("Schedule: ") + platform::generalDateText(*state_.NextSchedDate) +
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

} // namespace kestrion::schedule
