#include "app/DatabaseTab.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "db/ScheduleStore.h"
#include "platform/DateText.h"
#include "schedule/ScheduleDialog.h"
#include "sweep/PingTab.h"
#include "tests/support/Harness.h"

#include "tests/support/ScheduleTestSupport.h"
#include "tests/support/fakes/FakeWorld.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kestrion;
using schedtest::at;
using test::control;
using test::part;

namespace {

const QString kWindowRange = QStringLiteral("10.1.2.1-254");

class MainWindowScheduleTest : public ::testing::Test {
protected:
    MainWindowScheduleTest() {
        // The services the schedule wiring does not use refuse.
        world.echo.refusal = "no echo in this test";
        world.components.refuse = com::REGDB_E_CLASSNOTREG;
        world.clock.time = at(2026, 3, 17, 14, 5, 20);
        world.folder.exec("INSERT INTO tblSavedRuns VALUES (1, '10.1.2.1-254', '2026-01-01 10:00:00', 1);"
                          "INSERT INTO tblSchedules VALUES ('2026-03-17 14:05:00', '10.1.2.1-254');"
                          "INSERT INTO tblSchedules VALUES ('2026-03-18 09:00:00', '10.1.2.1-254');");
    }

    test::FakeWorld world;
    app::MainWindow window{world.services()};
};

// Records the texts painted in the first status panel, as each repaint shows them.
struct PanelPaints : QObject {
    QStringList* steps = nullptr;
    QStringList watched;
    bool eventFilter(QObject* o, QEvent* e) override {
        const QString text = o->property("text").toString();
        if (e->type() == QEvent::Paint && watched.contains(text) &&
            (steps->isEmpty() || steps->back() != QStringLiteral("status ") + text))
            *steps << QStringLiteral("status ") + text;
        return false;
    }
};

TEST_F(MainWindowScheduleTest, TimerCarriesOutTheDueScheduleThroughTheWindow) {
    world.echo.refusal.clear();
    world.echo.answer("10.0.0.9");
    world.echo.answer("10.1.2.7", 4);
    window.Form_Load();
    ASSERT_EQ(control<QListWidget>(window, "lbCurrentSchedules")->count(), 2);
    EXPECT_TRUE(control<QTimer>(window, "timerSchedule")->isActive());
    EXPECT_EQ(control<QTimer>(window, "timerSchedule")->interval(), 45000);
    // An earlier sweep of the user's: its results are cleared by the Reset the run clicks first.
    control<QLineEdit>(window, "Text4")->setText(QStringLiteral("9"));
    control<QLineEdit>(window, "Text5")->setText(QStringLiteral("9"));
    control<QPushButton>(window, "cmdPing")->click();
    ASSERT_EQ(test::rowCount(*control<QTableView>(window, "flxOutBox")), 1);
    world.boxes.shown.clear(); // the user was told that names are not available
    control<QTabWidget>(window, "SSTab1")->setCurrentIndex(2);

    QStringList steps;
    QObject::connect(control<QTabWidget>(window, "SSTab1"), &QTabWidget::currentChanged,
                     [&](int tab) { steps << QStringLiteral("tab %1").arg(tab); });
    PanelPaints paints;
    paints.steps = &steps;
    paints.watched = {"Checking old schedules...", "Saving run...", "Updating schedules...",
                      "Scheduled run complete."};
    auto* panel =
        control<app::StatusBar>(window, "sbStatus")->findChild<QWidget*>(QStringLiteral("sbStatus.Panel(1)"));
    ASSERT_NE(panel, nullptr);
    panel->installEventFilter(&paints);
    world.echo.onClosed = [&](uint32_t destination) {
        if (destination != test::FakeEcho::value("10.1.2.1"))
            return;
        steps << QStringLiteral("ping %1.%2.%3 %4-%5, %6 rows, %7, timer %8")
                     .arg(control<QLineEdit>(window, "Text1")->text(),
                          control<QLineEdit>(window, "Text2")->text(),
                          control<QLineEdit>(window, "Text3")->text(),
                          control<QLineEdit>(window, "Text4")->text(),
                          control<QLineEdit>(window, "Text5")->text())
                     .arg(test::rowCount(*control<QTableView>(window, "flxOutBox")))
                     .arg(test::session(window).unattended() ? "unattended" : "attended")
                     .arg(control<QTimer>(window, "timerSchedule")->isActive() ? "on" : "off");
    };
    window.timerSchedule_Timer();

    EXPECT_EQ(steps, (QStringList{"tab 0", "status Checking old schedules...",
                                  "ping 10.1.2 1-254, 0 rows, unattended, timer off", "status Saving run...",
                                  "status Updating schedules...", "status Scheduled run complete."}));
    EXPECT_EQ(world.echo.sent.size(), 1u + 254u);
    EXPECT_TRUE(world.boxes.shown.empty());
    EXPECT_EQ(world.folder.count("SELECT COUNT(*) FROM tblSavedRuns WHERE RunNo = 1 AND NumberOfRuns = 2"), 1)
        << "saved under the schedule's range";
    EXPECT_EQ(world.folder.column("SELECT SuccessIP FROM tblSuccess WHERE RunNo = 1"),
              QStringList{"10.1.2.7"});
    EXPECT_EQ(control<QListWidget>(window, "lbCurrentSchedules")->count(), 1);
    EXPECT_EQ(control<app::StatusBar>(window, "sbStatus")->panel(1),
              QStringLiteral("Scheduled run complete."));
    EXPECT_EQ(control<app::StatusBar>(window, "sbStatus")->panel(2),
              QStringLiteral("Schedule: ") + platform::generalDateText(at(2026, 3, 18, 9, 0)) +
                  QLatin1Char(' '));
    EXPECT_TRUE(control<QTimer>(window, "timerSchedule")->isActive());
    EXPECT_FALSE(test::session(window).unattended());
}

// Here Reset is not enabled (no sweep since the initialisation), so the run does not click it; and the echo
// service refuses, so nothing is saved.
TEST_F(MainWindowScheduleTest, RunThatCouldNotSweepSavesNothingAndSaysWhy) {
    world.echo.refusal = "Kestrion is not allowed to send ICMP echo requests.\nEither ...";
    window.Form_Load();
    QStringList steps;
    PanelPaints paints;
    paints.steps = &steps;
    paints.watched = {"Checking old schedules...", "Saving run..."};
    control<app::StatusBar>(window, "sbStatus")
        ->findChild<QWidget*>(QStringLiteral("sbStatus.Panel(1)"))
        ->installEventFilter(&paints);
    window.timerSchedule_Timer();

    EXPECT_TRUE(steps.isEmpty()) << steps.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(world.boxes.shown.empty());
    EXPECT_EQ(world.folder.count("SELECT COUNT(*) FROM tblSavedRuns WHERE NumberOfRuns = 1"), 1);
    EXPECT_EQ(world.folder.count("SELECT COUNT(*) FROM tblSuccess"), 0);
    EXPECT_EQ(control<QListWidget>(window, "lbCurrentSchedules")->count(), 1) << "the schedule is used up";
    EXPECT_EQ(control<app::StatusBar>(window, "sbStatus")->panel(1),
              QStringLiteral("Scheduled run failed: Kestrion is not allowed to send ICMP echo requests. "
                             "Schedule removed: ") +
                  db::scheduleLine(at(2026, 3, 17, 14, 5), kWindowRange));
    EXPECT_TRUE(control<QTimer>(window, "timerSchedule")->isActive());
    EXPECT_FALSE(test::session(window).unattended());
}

TEST_F(MainWindowScheduleTest, AddScheduleOpensTheDialogAndDisablesTheWindow) {
    window.RefreshSchedules();
    QTest::mouseClick(control<QPushButton>(window, "cmdSchedNow"), Qt::LeftButton);
    ASSERT_EQ(world.boxes.shown.size(), 1u);
    EXPECT_EQ(world.boxes.shown[0].title, QStringLiteral("Kestrion No IP Specified"));
    EXPECT_EQ(world.boxes.shown[0].text,
              QStringLiteral("Choose a saved IP from the box above.  Then click Add Schedule"));
    EXPECT_EQ(world.boxes.shown[0].icon, platform::MsgIcon::Exclamation);
    EXPECT_EQ(window.frmSchedule(), nullptr);

    control<QComboBox>(window, "comboChooseRun")->addItem(kWindowRange);
    QTest::mouseClick(control<QPushButton>(window, "cmdSchedNow"), Qt::LeftButton);
    schedule::ScheduleDialog* dialog = window.frmSchedule();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_FALSE(window.isEnabled());
    EXPECT_TRUE(dialog->isEnabled());

    QPushButton* day20 = nullptr;
    for (auto* b : dialog->findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("20"))
            day20 = b;
    QTest::mouseClick(day20, Qt::LeftButton);
    dialog->tbSchedTime->setText(QStringLiteral("06:45"));
    QTest::mouseClick(dialog->cmdDone, Qt::LeftButton);

    EXPECT_TRUE(window.isEnabled());
    ASSERT_EQ(world.boxes.shown.size(), 2u);
    EXPECT_EQ(world.boxes.shown[1].text, QStringLiteral("Schedule saved."));
    EXPECT_EQ(control<QListWidget>(window, "lbCurrentSchedules")->count(), 3);
    QTRY_COMPARE(window.frmSchedule(), nullptr);
}

TEST_F(MainWindowScheduleTest, DeleteSchedButtonRemovesTheSelectedLine) {
    window.RefreshSchedules();
    auto* list = control<QListWidget>(window, "lbCurrentSchedules");
    list->setCurrentRow(1);
    world.boxes.answers = {platform::AnswerYes};
    QTest::mouseClick(control<QPushButton>(window, "cmdDeleteSchedule"), Qt::LeftButton);
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), db::scheduleLine(at(2026, 3, 17, 14, 5), kWindowRange));
}

} // namespace

namespace {
TEST_F(MainWindowScheduleTest, DeletingTheSavedRunEmptiesItsSchedules) {
    window.RefreshSchedules();
    control<QTabWidget>(window, "SSTab1")->setCurrentIndex(2); // fills the saved-run list
    ASSERT_EQ(control<QComboBox>(window, "comboChooseRun")->currentText(), kWindowRange);
    world.boxes.answers = {platform::AnswerYes};
    QTest::mouseClick(control<QPushButton>(window, "cmdDelSavedRun"), Qt::LeftButton);
    EXPECT_EQ(control<QListWidget>(window, "lbCurrentSchedules")->count(), 0);
    EXPECT_EQ(control<app::StatusBar>(window, "sbStatus")->panel(2), QStringLiteral("No current schedule"));
}
} // namespace

namespace {
// Without an echo socket the due schedule is used up unswept; the status bar names why and which one.
TEST_F(MainWindowScheduleTest, ARunThatCannotSweepNamesTheReasonAndTheSchedule) {
    window.Form_Load();
    world.echo.refusal = "Kestrion is not allowed to send ICMP echo requests.\nEither remedy is enough.";
    window.timerSchedule_Timer();

    EXPECT_EQ(control<app::StatusBar>(window, "sbStatus")->panel(1),
              QStringLiteral("Scheduled run failed: Kestrion is not allowed to send ICMP echo requests. "
                             "Schedule removed: ") +
                  db::scheduleLine(at(2026, 3, 17, 14, 5), kWindowRange));
    EXPECT_TRUE(world.boxes.shown.empty());
    EXPECT_EQ(world.folder.count("SELECT numberofruns FROM tblSavedRuns"), 1);
    EXPECT_EQ(world.folder.count("SELECT COUNT(*) FROM tblSuccess"), 0);
    ASSERT_EQ(control<QListWidget>(window, "lbCurrentSchedules")->count(), 1);
    EXPECT_EQ(control<QListWidget>(window, "lbCurrentSchedules")->item(0)->text(),
              db::scheduleLine(at(2026, 3, 18, 9, 0), kWindowRange));
}
} // namespace
