#include "schedule/ScheduleDialog.h"

#include "db/ScheduleStore.h"
#include "platform/AppTitle.h"
#include "platform/Twips.h"
#include "schedule/Calendar.h"
#include "schedule/ScheduleMessages.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kestrion::schedule {

using platform::twipRect;

namespace {
template <typename T> T* named(T* w, const QString& name) {
    w->setObjectName(name);
    return w;
}
bool isMonthText(const QString& t) {
    return monthFromText(t).has_value();
}
bool isYearText(const QString& t) {
    return yearFromText(t).has_value();
}
} // namespace

ScheduleDialog::ScheduleDialog(ScheduleState& state, platform::Clock& clock, platform::MessageBoxes& boxes,
                               QWidget* parent)
    : QWidget(parent, Qt::Window), state_(state), clock_(clock), boxes_(boxes) {
    setObjectName(QStringLiteral("frmSchedule"));
    setWindowTitle(QStringLiteral("Schedule"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(platform::twips(4140), platform::twips(4500));

    lblHeader = named(new QLabel(this), QStringLiteral("lblHeader"));
    lblHeader->setGeometry(twipRect(120, 120, 3900, 285));
    comboMonth = named(new QComboBox(this), QStringLiteral("comboMonth"));
    comboMonth->setGeometry(twipRect(120, 480, 2160, 315));
    comboYear = named(new QComboBox(this), QStringLiteral("comboYear"));
    comboYear->setGeometry(twipRect(2400, 480, 1620, 315));
    for (QComboBox* box : {comboMonth, comboYear}) {
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
    }
    const char* days[7] = {"Sun", "Mon", "Tues", "Wed", "Thurs", "Fri", "Sat"};
    for (int c = 0; c < 7; ++c) {
        lblDay[c] = named(new QLabel(QLatin1String(days[c]), this), QStringLiteral("lblDay(%1)").arg(c));
        QFont bold = lblDay[c]->font();
        bold.setBold(true);
        lblDay[c]->setFont(bold);
        lblDay[c]->setAlignment(Qt::AlignCenter);
        lblDay[c]->setGeometry(twipRect(120 + c * 555, 900, 555, 255));
    }
    Line1 = named(new QFrame(this), QStringLiteral("Line1"));
    Line1->setFrameShape(QFrame::HLine);
    Line1->setGeometry(twipRect(120, 1170, 3885, 30));
    for (int i = 0; i < 42; ++i) {
        Command1[i] = named(new QPushButton(this), QStringLiteral("Command1(%1)").arg(i));
        Command1[i]->setGeometry(twipRect(120 + (i % 7) * 555, 1230 + (i / 7) * 360, 555, 360));
        connect(Command1[i], &QPushButton::clicked, this, [this, i] { Command1_Click(i); });
    }
    lblSchedTime = named(new QLabel(QStringLiteral("Time to begin: (24 hour format - HH:MM)"), this),
                         QStringLiteral("lblSchedTime"));
    lblSchedTime->setGeometry(twipRect(120, 3480, 2880, 285));
    tbSchedTime = named(new QLineEdit(this), QStringLiteral("tbSchedTime"));
    tbSchedTime->setGeometry(twipRect(3060, 3450, 960, 315));
    cmdDone = named(new QPushButton(QStringLiteral("Done"), this), QStringLiteral("cmdDone"));
    cmdDone->setGeometry(twipRect(3060, 3900, 960, 375));

    connect(comboMonth, &QComboBox::activated, this, [this] { comboMonth_Click(); });
    connect(comboYear, &QComboBox::activated, this, [this] { comboYear_Click(); });
    connect(comboMonth->lineEdit(), &QLineEdit::editingFinished, this,
            [this] { typedInto(comboMonth, shownMonth_, isMonthText); });
    connect(comboYear->lineEdit(), &QLineEdit::editingFinished, this,
            [this] { typedInto(comboYear, shownYear_, isYearText); });
    connect(cmdDone, &QPushButton::clicked, this, &ScheduleDialog::cmdDone_Click);

    Form_Load();
}

void ScheduleDialog::Form_Load() {
    const QDateTime now = clock_.now();
    lblHeader->setText(QStringLiteral("Schedule for IP: ") + state_.NewSchedIP);
    tbSchedTime->setText(initialTimeText(now));
    cmdDone->setEnabled(false);
    Loading = true;
    FillYearList();
    FillMonthList();
    // The year list ends in 2020; a later current year is shown as the box's text all the same.
    comboYear->setEditText(QString::number(now.date().year()));
    comboMonth->setEditText(monthNames().at(now.date().month() - 1));
    Loading = false;
    comboMonth_Click();
}

void ScheduleDialog::FillYearList() {
    comboYear->clear();
    comboYear->addItems(yearList());
}

void ScheduleDialog::FillMonthList() {
    comboMonth->clear();
    comboMonth->addItems(monthNames());
}

void ScheduleDialog::comboMonth_Click() {
    cmdDone->setEnabled(false);
    if (Loading)
        return;
    SelectedDate.reset();
    shownMonth_ = comboMonth->currentText();
    shownYear_ = comboYear->currentText();
    const auto first = firstOfMonth(shownMonth_, shownYear_);
    if (!first)
        return;
    MonthStart = *first;
    NextMonthStart = first->addMonths(1);
    ShowMonth(*first);
}

void ScheduleDialog::ShowMonth(const QDate& first) {
    NumberDayButtons(startIndex(first));
}

void ScheduleDialog::NumberDayButtons(int start) {
    for (QPushButton* b : Command1)
        b->setText(QString());
    const auto days = MonthStart.daysTo(NextMonthStart);
    for (int d = 1; d <= days; ++d)
        Command1[start + d - 1]->setText(QString::number(d));
}

void ScheduleDialog::typedInto(QComboBox* box, QString& shown, bool (*valid)(const QString&)) {
    const QString typed = box->currentText().trimmed();
    if (typed == shown)
        return;
    if (!valid(typed)) {
        box->setEditText(shown);
        return;
    }
    // Shown as the list spells it, so that the day texts read back as dates.
    if (box == comboMonth)
        box->setEditText(monthNames().at(*monthFromText(typed) - 1));
    else
        box->setEditText(typed);
    comboMonth_Click();
}

void ScheduleDialog::Command1_Click(int index) {
    const QString caption = Command1[index]->text();
    if (caption.isEmpty())
        return;
    if (!MonthStart.isValid())
        return;
    SelectedDate = MonthStart.addDays(caption.toInt() - 1);
    cmdDone->setEnabled(true);
}

void ScheduleDialog::cmdDone_Click() {
    const auto time = parseTimeText(tbSchedTime->text());
    // A minute the clock skips on the chosen day is refused like a time of a wrong form.
    const bool skipped = time && SelectedDate && !localMinute(*SelectedDate, *time);
    if (!time || skipped) {
        boxes_.show(platform::appTitle() + QStringLiteral(" Time Error"),
                    QStringLiteral("Invalid time.  Please enter a time in 24 hour format.  ") +
                        QLatin1Char('\r') + QStringLiteral("For example:  11:30 PM = 23:30"),
                    platform::MsgButtons::Ok, platform::MsgIcon::None);
        close();
        return;
    }
    if (!SelectedDate)
        return;
    // Schedules are carried out by the minute; seconds typed into the box would only let two schedules
    // share a minute past the unique date index.
    state_.NewSchedDate = *localMinute(*SelectedDate, *time);
    if (db::isBeforeMinuteOf(state_.NewSchedDate, clock_.now())) {
        boxes_.show(platform::appTitle() + QStringLiteral(" Schedule Expired"), pastNewScheduleText(),
                    platform::MsgButtons::Ok, platform::MsgIcon::None);
        close();
        return;
    }
    emit releasesMainWindow();
    emit scheduleChosen();
    close();
}

void ScheduleDialog::closeEvent(QCloseEvent* event) {
    // Form_Unload
    emit releasesMainWindow();
    event->accept();
}

} // namespace kestrion::schedule
