#include "schedule/ScheduleDialog.h"

#include "tests/support/LocalZone.h"
#include "tests/support/ScheduleTestSupport.h"
#include "tests/support/fakes/FakeMessageBoxes.h"
#include "tests/support/fakes/FakeServices.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace kestrion;
using schedtest::at;

namespace {

class ScheduleDialogTest : public ::testing::Test {
protected:
    ScheduleDialogTest() {
        state.NewSchedIP = QStringLiteral("10.1.2.1-254");
        clock.time = at(2026, 3, 17, 10, 20, 12);
    }
    ~ScheduleDialogTest() override { delete dialog.data(); }

    schedule::ScheduleDialog* open() {
        dialog = new schedule::ScheduleDialog(state, clock, boxes);
        QObject::connect(dialog, &schedule::ScheduleDialog::scheduleChosen, [this] { ++adds; });
        QObject::connect(dialog, &schedule::ScheduleDialog::releasesMainWindow, [this] { ++enables; });
        dialog->show();
        return dialog;
    }
    QPushButton* day(int index) {
        return dialog->findChild<QPushButton*>(QStringLiteral("Command1(%1)").arg(index));
    }
    // The button that shows day `d` of the month on display.
    QPushButton* dayButton(int d) {
        for (int i = 0; i < 42; ++i)
            if (day(i)->text() == QString::number(d))
                return day(i);
        return nullptr;
    }
    void pickMonth(const QString& name) {
        auto* box = dialog->findChild<QComboBox*>(QStringLiteral("comboMonth"));
        box->setCurrentIndex(box->findText(name));
        emit box->activated(box->currentIndex());
    }
    void typeInto(const char* boxName, const QString& text) {
        auto* box = dialog->findChild<QComboBox*>(QLatin1String(boxName));
        box->lineEdit()->setText(text);
        emit box->lineEdit()->editingFinished();
    }
    QPushButton* done() { return dialog->findChild<QPushButton*>(QStringLiteral("cmdDone")); }
    QLineEdit* timeBox() { return dialog->findChild<QLineEdit*>(QStringLiteral("tbSchedTime")); }

    schedule::ScheduleState state;
    test::FakeClock clock;
    test::FakeMessageBoxes boxes;
    QPointer<schedule::ScheduleDialog> dialog;
    int adds = 0;
    int enables = 0;
};

TEST_F(ScheduleDialogTest, OpensOnTheCurrentMonthWithTimeAnHourAhead) {
    open();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Schedule"));
    EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("lblHeader"))->text(),
              QStringLiteral("Schedule for IP: 10.1.2.1-254"));
    EXPECT_EQ(timeBox()->text(), QStringLiteral("11:20"));
    EXPECT_EQ(dialog->findChild<QComboBox*>(QStringLiteral("comboMonth"))->currentText(),
              QStringLiteral("March"));
    auto* years = dialog->findChild<QComboBox*>(QStringLiteral("comboYear"));
    EXPECT_EQ(years->currentText(), QStringLiteral("2026")); // outside the 1990..2020 list
    EXPECT_EQ(years->count(), 31);
    EXPECT_EQ(years->itemText(30), QStringLiteral("2020"));
    EXPECT_EQ(day(0)->text(), QStringLiteral("1")); // March 2026 starts on a Sunday
    EXPECT_EQ(day(30)->text(), QStringLiteral("31"));
    EXPECT_TRUE(day(31)->text().isEmpty());
    EXPECT_FALSE(done()->isEnabled());
    EXPECT_FALSE(dialog->selectedDate().has_value());
    const char* dayNames[7] = {"Sun", "Mon", "Tues", "Wed", "Thurs", "Fri", "Sat"};
    for (int c = 0; c < 7; ++c)
        EXPECT_EQ(dialog->findChild<QLabel*>(QStringLiteral("lblDay(%1)").arg(c))->text(),
                  QLatin1String(dayNames[c]));
    EXPECT_NE(dialog->findChild<QWidget*>(QStringLiteral("Line1")), nullptr);
    EXPECT_NE(day(41), nullptr);
}

TEST_F(ScheduleDialogTest, PickingADayEnablesDoneAndChangingMonthDisablesIt) {
    open();
    QTest::mouseClick(day(35), Qt::LeftButton); // blank
    EXPECT_FALSE(done()->isEnabled());
    QTest::mouseClick(dayButton(20), Qt::LeftButton);
    EXPECT_TRUE(done()->isEnabled());
    EXPECT_EQ(dialog->selectedDate(), QDate(2026, 3, 20));
    QTest::mouseClick(day(35), Qt::LeftButton); // a blank leaves Done as it was
    EXPECT_TRUE(done()->isEnabled());

    pickMonth(QStringLiteral("February"));
    EXPECT_FALSE(done()->isEnabled());
    EXPECT_FALSE(dialog->selectedDate().has_value());
    EXPECT_EQ(day(0)->text(), QStringLiteral("1"));
    EXPECT_EQ(day(27)->text(), QStringLiteral("28"));
    EXPECT_TRUE(day(28)->text().isEmpty());
}

TEST_F(ScheduleDialogTest, TypedYearAndMonthShowThatMonth) {
    open();
    typeInto("comboYear", QStringLiteral("2024"));
    typeInto("comboMonth", QStringLiteral("feb"));
    EXPECT_EQ(dialog->findChild<QComboBox*>(QStringLiteral("comboMonth"))->currentText(),
              QStringLiteral("February"));
    EXPECT_EQ(day(4)->text(), QStringLiteral("1"));
    EXPECT_EQ(day(32)->text(), QStringLiteral("29"));
    typeInto("comboYear", QStringLiteral("next year")); // not a year: undone
    EXPECT_EQ(dialog->findChild<QComboBox*>(QStringLiteral("comboYear"))->currentText(),
              QStringLiteral("2024"));
    EXPECT_EQ(day(32)->text(), QStringLiteral("29"));

    typeInto("comboYear", QStringLiteral("2027"));
    QTest::mouseClick(dayButton(3), Qt::LeftButton);
    timeBox()->setText(QStringLiteral("11:30 PM"));
    QTest::mouseClick(done(), Qt::LeftButton);
    EXPECT_EQ(adds, 1);
    EXPECT_EQ(state.NewSchedDate, at(2027, 2, 3, 23, 30));
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_TRUE(dialog.isNull() || !dialog->isVisible());
}

TEST_F(ScheduleDialogTest, DoneRefusals) {
    // Berlin's clock skips 02:00 to 03:00 on 29 March 2026.
    const test::LocalZone berlin("Europe/Berlin");
    struct Case {
        const char* name;
        QDateTime now;
        int day;
        const char* time;
        QString title; // empty: accepted
        QString text;
    } cases[] = {
        {"not a time", at(2026, 3, 17, 10, 20), 20, "half past", QStringLiteral("Kestrion Time Error"),
         QStringLiteral(
             "Invalid time.  Please enter a time in 24 hour format.  \rFor example:  11:30 PM = 23:30")},
        {"a minute the clock skips", at(2026, 3, 17, 10, 20), 29, "02:30",
         QStringLiteral("Kestrion Time Error"),
         QStringLiteral(
             "Invalid time.  Please enter a time in 24 hour format.  \rFor example:  11:30 PM = 23:30")},
        {"the next hour that day is accepted", at(2026, 3, 17, 10, 20), 29, "03:30", QString(), QString()},
        {"opened at 23:30, today at 00:30 is past", at(2026, 3, 17, 23, 30), 17, nullptr,
         QStringLiteral("Kestrion Schedule Expired"),
         QStringLiteral("The scheduled time for this run is past.  This schedule will not be saved. ")},
        {"earlier minute today", at(2026, 3, 17, 10, 20, 30), 17, "10:19",
         QStringLiteral("Kestrion Schedule Expired"),
         QStringLiteral("The scheduled time for this run is past.  This schedule will not be saved. ")},
        {"the current minute is accepted", at(2026, 3, 17, 10, 20, 59), 17, "10:20", QString(), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boxes.shown.clear();
        adds = enables = 0;
        clock.time = c.now;
        open();
        if (!c.time)
            EXPECT_EQ(timeBox()->text(), QStringLiteral("00:30"));
        else
            timeBox()->setText(QLatin1String(c.time));
        QTest::mouseClick(dayButton(c.day), Qt::LeftButton);
        QTest::mouseClick(done(), Qt::LeftButton);
        EXPECT_TRUE(dialog.isNull() || !dialog->isVisible()); // every Done closes the dialog
        EXPECT_GE(enables, 1);                                // and gives the main window back
        if (c.title.isEmpty()) {
            EXPECT_TRUE(boxes.shown.empty());
            EXPECT_EQ(adds, 1);
        } else {
            ASSERT_EQ(boxes.shown.size(), 1u);
            EXPECT_EQ(boxes.shown[0].title, c.title);
            EXPECT_EQ(boxes.shown[0].text, c.text);
            EXPECT_EQ(boxes.shown[0].icon, platform::MsgIcon::None);
            EXPECT_EQ(adds, 0);
        }
        delete dialog.data();
    }
}

TEST_F(ScheduleDialogTest, ClosingTheWindowGivesTheMainWindowBack) {
    open();
    dialog->close();
    EXPECT_EQ(enables, 1);
    EXPECT_EQ(adds, 0);
}

} // namespace
