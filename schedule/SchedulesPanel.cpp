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
    const auto remaining = store_.refresh(
        clock_.now(), held_,
        [this](const db::StoredSchedule& s) {
            boxes_.show(platform::appTitle() + QStringLiteral(" Schedule Expired"), expiredScheduleText(s),
                        MsgButtons::Ok, MsgIcon::None);
        },
        [this](const db::StoredSchedule& s) { list_->addItem(db::scheduleLine(s.scheddate, s.schedip)); });
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
        store_.add(state_.NewSchedDate, state_.NewSchedIP);
        RefreshSchedules();
    } catch (const db::DbError& error) {
        if (error.number() == db::kDuplicateScheduleError) {
            boxes_.show(platform::appTitle() + QStringLiteral(" Duplicate Schedule"), duplicateScheduleText(),
                        MsgButtons::Ok, MsgIcon::Critical);
        } else {
            boxes_.show(platform::appTitle() + QStringLiteral(" Error"),
                        addScheduleErrorText(error.number(), error.text()), MsgButtons::Ok,
                        MsgIcon::Critical);
        }
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
