#include "app/DatabaseTab.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "db/ScheduleStore.h"
#include "platform/DateText.h"
#include "schedule/ScheduleDialog.h"
#include "sweep/PingTab.h"

#include "tests/support/ScheduleTestSupport.h"
#include "tests/support/fakes/FakeWorld.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace kestrion;
using schedtest::at;

namespace {

const QString kRange = QStringLiteral("10.1.2.1-254");

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

TEST_F(MainWindowScheduleTest, TimerCarriesOutTheDueScheduleThroughTheWindow) {
    window.RefreshSchedules();
    ASSERT_EQ(window.databaseTab->lbCurrentSchedules->count(), 2);
    EXPECT_TRUE(window.timerSchedule->isActive());
    EXPECT_EQ(window.timerSchedule->interval(), 45000);

    QStringList calls;
    window.scheduledRunHooks.cmdPing_Click = [&] {
        calls << QStringLiteral("ping %1.%2.%3 %4-%5")
                     .arg(window.pingTab->Text1->text(), window.pingTab->Text2->text(),
                          window.pingTab->Text3->text(), window.pingTab->Text4->text(),
                          window.pingTab->Text5->text());
        EXPECT_TRUE(window.state().ScheduledRunActive);
        EXPECT_FALSE(window.timerSchedule->isActive());
        return QString();
    };
    window.scheduledRunHooks.SaveRun = [&](const QString& r) { calls << QStringLiteral("save ") + r; };
    window.SSTab1->setCurrentIndex(2);
    window.timerSchedule_Timer();

    EXPECT_EQ(calls, (QStringList{QStringLiteral("ping 10.1.2 1-254"), QStringLiteral("save ") + kRange}));
    EXPECT_EQ(window.SSTab1->currentIndex(), 0);
    EXPECT_TRUE(world.boxes.shown.empty());
    EXPECT_EQ(window.databaseTab->lbCurrentSchedules->count(), 1);
    EXPECT_EQ(window.state().NextSchedDate, at(2026, 3, 18, 9, 0));
    EXPECT_EQ(window.sbStatus->panel(1), QStringLiteral("Scheduled run complete."));
    EXPECT_EQ(window.sbStatus->panel(2), QStringLiteral("Schedule: ") +
                                             platform::generalDateText(at(2026, 3, 18, 9, 0)) +
                                             QLatin1Char(' '));
    EXPECT_TRUE(window.timerSchedule->isActive());
    EXPECT_FALSE(window.state().ScheduledRunActive);
}

TEST_F(MainWindowScheduleTest, AddScheduleOpensTheDialogAndDisablesTheWindow) {
    window.RefreshSchedules();
    QTest::mouseClick(window.databaseTab->cmdSchedNow, Qt::LeftButton);
    ASSERT_EQ(world.boxes.shown.size(), 1u);
    EXPECT_EQ(world.boxes.shown[0].title, QStringLiteral("Kestrion No IP Specified"));
    EXPECT_EQ(world.boxes.shown[0].text,
              QStringLiteral("Choose a saved IP from the box above.  Then click Add Schedule"));
    EXPECT_EQ(world.boxes.shown[0].icon, platform::MsgIcon::Exclamation);
    EXPECT_EQ(window.frmSchedule(), nullptr);

    window.databaseTab->comboChooseRun->addItem(kRange);
    QTest::mouseClick(window.databaseTab->cmdSchedNow, Qt::LeftButton);
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
    EXPECT_EQ(window.databaseTab->lbCurrentSchedules->count(), 3);
    QTRY_COMPARE(window.frmSchedule(), nullptr);
}

TEST_F(MainWindowScheduleTest, DeleteSchedButtonRemovesTheSelectedLine) {
    window.RefreshSchedules();
    auto* list = window.databaseTab->lbCurrentSchedules;
    list->setCurrentRow(1);
    world.boxes.answers = {platform::AnswerYes};
    QTest::mouseClick(window.databaseTab->cmdDeleteSchedule, Qt::LeftButton);
    EXPECT_EQ(list->count(), 1);
    EXPECT_EQ(list->item(0)->text(), db::scheduleLine(at(2026, 3, 17, 14, 5), kRange));
}

} // namespace

namespace {
TEST_F(MainWindowScheduleTest, DeletingTheSavedRunEmptiesItsSchedules) {
    window.RefreshSchedules();
    window.FillSavedRunList();
    ASSERT_EQ(window.databaseTab->comboChooseRun->currentText(), kRange);
    world.boxes.answers = {platform::AnswerYes};
    QTest::mouseClick(window.databaseTab->cmdDelSavedRun, Qt::LeftButton);
    EXPECT_EQ(window.databaseTab->lbCurrentSchedules->count(), 0);
    EXPECT_EQ(window.sbStatus->panel(2), QStringLiteral("No current schedule"));
    EXPECT_FALSE(window.state().NextSchedDate.has_value());
}
} // namespace

namespace {
// Without an echo socket the due schedule is used up unswept; the status bar names why and which one.
TEST_F(MainWindowScheduleTest, ARunThatCannotSweepNamesTheReasonAndTheSchedule) {
    window.Form_Load();
    world.echo.refusal = "Kestrion is not allowed to send ICMP echo requests.\nEither remedy is enough.";
    window.timerSchedule_Timer();

    EXPECT_EQ(window.sbStatus->panel(1),
              QStringLiteral("Scheduled run failed: Kestrion is not allowed to send ICMP echo requests. "
                             "Schedule removed: ") +
                  db::scheduleLine(at(2026, 3, 17, 14, 5), kRange));
    EXPECT_TRUE(world.boxes.shown.empty());
    EXPECT_EQ(world.folder.count("SELECT numberofruns FROM tblSavedRuns"), 1);
    EXPECT_EQ(world.folder.count("SELECT COUNT(*) FROM tblSuccess"), 0);
    ASSERT_EQ(window.databaseTab->lbCurrentSchedules->count(), 1);
    EXPECT_EQ(window.databaseTab->lbCurrentSchedules->item(0)->text(),
              db::scheduleLine(at(2026, 3, 18, 9, 0), kRange));
}
} // namespace
