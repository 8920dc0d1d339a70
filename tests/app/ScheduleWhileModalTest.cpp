// The real window, sweep and database over fake services: a schedule that falls due while the
// "Add Schedule..." dialog (or a message box) holds the main window.
#include "app/DatabaseTab.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "schedule/ScheduleDialog.h"
#include "schedule/ScheduleTimer.h"
#include "sweep/PingSweep.h"
#include "sweep/PingTab.h"
#include "sweep/RangeEntry.h"
#include "tests/support/Harness.h"
#include "tests/support/ScheduleTestSupport.h"
#include "tests/support/fakes/FakeWorld.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace kestrion::test {
namespace {

const QString kScheduled = QStringLiteral("127.0.0.1-5");

class ScheduleWhileModal : public ::testing::Test {
protected:
    ScheduleWhileModal() {
        world.folder.exec("INSERT INTO tblSavedRuns VALUES (1, '127.0.0.1-5', '2026-03-01 08:00:00', 2);"
                          "INSERT INTO tblSchedules VALUES ('2026-03-14 09:30:00', '127.0.0.1-5');");
        world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 29, 50));
        world.echo.answer("127.0.1.2");
        world.echo.answer("127.0.0.4");
        window = std::make_unique<app::MainWindow>(world.services());
        window->Form_Load();
        part<schedule::ScheduleTimer>(*window)->setPollInterval(1);
    }

    // The user's own sweep of 127.0.1.1-3, whose rows must not be saved under the schedule's range.
    void sweepByHand() {
        const char* boxes[] = {"Text1", "Text2", "Text3", "Text4", "Text5"};
        const char* texts[] = {"127", "0", "1", "1", "3"};
        for (int i = 0; i < 5; ++i)
            control<QLineEdit>(*window, boxes[i])->setText(QLatin1String(texts[i]));
        control<QPushButton>(*window, "cmdPing")->click();
        ASSERT_EQ(rowCount(*control<QTableView>(*window, "flxOutBox")), 1);
        ASSERT_EQ(cellText(*control<QTableView>(*window, "flxOutBox"), 0, 0), QStringLiteral("127.0.1.2"));
    }
    void letTheScheduleFallDue() {
        world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 5));
        window->timerSchedule_Timer();
        QTest::qWait(20); // the timer's polls come and go
        world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 31, 10));
        window->RefreshSchedules(); // a refresh after the minute must not expire the held schedule
    }
    long long runs() const {
        return world.folder.count("SELECT numberofruns FROM tblSavedRuns WHERE RunNo = 1");
    }
    QStringList savedAddresses() const {
        return world.folder.column("SELECT successIP FROM tblSuccess WHERE RunNo = 1 ORDER BY successIP");
    }
    void expectHeld() {
        EXPECT_EQ(runs(), 2);
        EXPECT_TRUE(savedAddresses().isEmpty());
        EXPECT_EQ(control<QListWidget>(*window, "lbCurrentSchedules")->count(), 1);
        EXPECT_FALSE(test::session(*window).unattended());
    }
    void expectCarriedOut() {
        QTRY_COMPARE(control<app::StatusBar>(*window, "sbStatus")->panel(1),
                     QStringLiteral("Scheduled run complete."));
        EXPECT_EQ(runs(), 3);
        EXPECT_EQ(savedAddresses(), QStringList{QStringLiteral("127.0.0.4")});
        EXPECT_EQ(control<QListWidget>(*window, "lbCurrentSchedules")->count(), 0);
        EXPECT_EQ(world.folder.count("SELECT COUNT(*) FROM tblSchedules"), 0);
    }

    FakeWorld world;
    std::unique_ptr<app::MainWindow> window;
};

TEST_F(ScheduleWhileModal, ADueScheduleWaitsForTheScheduleDialogThenSweepsItsOwnRange) {
    sweepByHand();
    control<QTabWidget>(*window, "SSTab1")->setCurrentIndex(2); // fills the saved-run list
    QTest::mouseClick(control<QPushButton>(*window, "cmdSchedNow"), Qt::LeftButton);
    schedule::ScheduleDialog* dialog = window->frmSchedule();
    ASSERT_NE(dialog, nullptr);
    ASSERT_FALSE(window->isEnabled());

    letTheScheduleFallDue();
    expectHeld();
    EXPECT_EQ(cellText(*control<QTableView>(*window, "flxOutBox"), 0, 0), QStringLiteral("127.0.1.2"));

    dialog->close();
    expectCarriedOut();
    EXPECT_TRUE(window->isEnabled());
    EXPECT_TRUE(world.boxes.shown.empty());
}

TEST_F(ScheduleWhileModal, ADueScheduleWaitsForAnApplicationModalWindow) {
    sweepByHand();
    QMessageBox modal(QMessageBox::Information, QStringLiteral("Other"), QStringLiteral("modal"),
                      QMessageBox::Ok, window.get());
    modal.setWindowModality(Qt::ApplicationModal);
    modal.show();
    QTRY_VERIFY(QApplication::activeModalWidget() == &modal);

    letTheScheduleFallDue();
    expectHeld();

    modal.close();
    expectCarriedOut();
}

// Disabling the window for a dialog disables every child for Qt; the controls' own states still say
// what the sweep and Exit must do.
TEST_F(ScheduleWhileModal, ControlsKeepTheirOwnStateUnderADisabledWindow) {
    window->setEnabled(false);
    part<sweep::RangeEntry>(*window)->FillAddressBoxes(kScheduled);
    part<sweep::PingSweep>(*window)->cmdPing_Click();
    EXPECT_TRUE(part<sweep::PingSweep>(*window)->resetEnabled())
        << "a scheduled run must see the Reset its sweep enabled, disabled window or not";
    window->setEnabled(true);
    ASSERT_EQ(rowCount(*control<QTableView>(*window, "flxOutBox")), 1)
        << "the sweep did not run under the disabled window";
    EXPECT_EQ(cellText(*control<QTableView>(*window, "flxOutBox"), 0, 0), QStringLiteral("127.0.0.4"));
}

} // namespace
} // namespace kestrion::test
