#pragma once

#include "platform/Clock.h"
#include "platform/MessageBoxes.h"
#include "schedule/ScheduleState.h"

#include <QDate>
#include <QString>
#include <QWidget>
#include <optional>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kestrion::schedule {

// frmSchedule: a month calendar, month and year boxes and a time box; Done hands the range in
// NewSchedIP and the chosen date and time to the schedule store. Deletes itself when it closes.
class ScheduleDialog : public QWidget {
    Q_OBJECT
public:
    ScheduleDialog(ScheduleState& state, platform::Clock& clock, platform::MessageBoxes& boxes,
                   QWidget* parent = nullptr);

    QLabel* lblHeader = nullptr;
    QComboBox* comboMonth = nullptr;
    QComboBox* comboYear = nullptr;
    QLabel* lblDay[7] = {};
    QFrame* Line1 = nullptr;
    QPushButton* Command1[42] = {};
    QLabel* lblSchedTime = nullptr;
    QLineEdit* tbSchedTime = nullptr;
    QPushButton* cmdDone = nullptr;

    void comboMonth_Click();
    void comboYear_Click() { comboMonth_Click(); }
    void Command1_Click(int index);
    void cmdDone_Click();
    std::optional<QDate> selectedDate() const { return SelectedDate; }

signals:
    // Done and closing give the main window back.
    void releasesMainWindow();
    // Done with a date and time chosen: the schedule store's AddSchedule.
    void scheduleChosen();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void FillYearList();
    void FillMonthList();
    void ShowMonth(const QDate& first);
    void NumberDayButtons(int start);
    // A month name or four-digit year typed into a box takes effect like a pick; anything else is undone.
    void typedInto(QComboBox* box, QString& shown, bool (*valid)(const QString&));

    ScheduleState& state_;
    platform::Clock& clock_;
    platform::MessageBoxes& boxes_;

    QDate MonthStart;
    QDate NextMonthStart;
    std::optional<QDate> SelectedDate;
    bool Loading = false;
    QString shownMonth_, shownYear_;
};

} // namespace kestrion::schedule
