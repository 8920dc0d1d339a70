// The real window and sweep over fake services: a schedule that falls due during the user's own sweep.
#include "app/DatabaseTab.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "db/Database.h"
#include "schedule/ScheduleTimer.h"
#include "sweep/PingTab.h"
#include "tests/support/Harness.h"
#include "tests/support/fakes/FakeWorld.h"

#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <gtest/gtest.h>

namespace kestrion::test {
namespace {

TEST(ScheduleDuringSweep, WaitsForTheUsersSweepThenRunsItsOwn) {
    FakeWorld world;
    app::Services services = world.services();
    {
        db::Database db(services.paths.database());
        db.exec("INSERT INTO tblSavedRuns VALUES (2, '10.1.2.1-254', '2026-03-01 08:00:00', 1);"
                "INSERT INTO tblSchedules VALUES ('2026-03-14 09:30:00', '10.1.2.1-254');");
    }
    world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 29, 50));
    world.echo.answer("10.9.9.2");
    world.echo.answer("10.1.2.7");
    app::MainWindow window(services);
    window.Form_Load();
    part<schedule::ScheduleTimer>(window)->setPollInterval(1);
    ASSERT_EQ(control<QListWidget>(window, "lbCurrentSchedules")->count(), 1);

    auto savedAddresses = [&] {
        return world.folder.column(QStringLiteral("SELECT SuccessIP FROM tblSuccess WHERE RunNo = 2"));
    };
    bool startedDuringUsersSweep = false;
    world.echo.onClosed = [&](uint32_t destination) {
        if (destination == FakeEcho::value("10.9.9.2")) {
            // The minute comes, and goes, while the user's sweep is still running.
            world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 5));
            window.timerSchedule_Timer();
            world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 31, 10));
        }
        if (destination == FakeEcho::value("10.9.9.3"))
            QTest::qWait(20); // the poll fires in the sweep's yields
        const bool usersAddress = (destination & 0xFFFFFFu) == (FakeEcho::value("10.9.9.0") & 0xFFFFFFu);
        startedDuringUsersSweep |= usersAddress && test::session(window).unattended();
    };

    auto set = [&](QLineEdit* box, const char* text) { box->setText(QLatin1String(text)); };
    set(control<QLineEdit>(window, "Text1"), "10");
    set(control<QLineEdit>(window, "Text2"), "9");
    set(control<QLineEdit>(window, "Text3"), "9");
    set(control<QLineEdit>(window, "Text4"), "1");
    set(control<QLineEdit>(window, "Text5"), "3");
    control<QPushButton>(window, "cmdPing")->click();
    // nothing of the scheduled run happened inside the user's sweep
    EXPECT_TRUE(savedAddresses().isEmpty());
    EXPECT_FALSE(startedDuringUsersSweep);

    QTRY_COMPARE(control<app::StatusBar>(window, "sbStatus")->panel(1),
                 QStringLiteral("Scheduled run complete."));
    EXPECT_EQ(savedAddresses(), QStringList{QStringLiteral("10.1.2.7")})
        << "saved under the schedule's range";
    EXPECT_EQ(world.folder.count("SELECT NumberOfRuns FROM tblSavedRuns WHERE RunNo = 2"), 2);
    EXPECT_EQ(control<QListWidget>(window, "lbCurrentSchedules")->count(), 0);
    EXPECT_EQ(control<app::StatusBar>(window, "sbStatus")->panel(2), QStringLiteral("No current schedule"));
    EXPECT_TRUE(world.boxes.shown.empty());
}

// Exit pressed during a scheduled sweep ends the program as during the user's own: the partial sweep
// is not saved, not counted, the backups are not renewed, and the schedule is still there next time.
TEST(ScheduleDuringSweep, ExitDuringTheScheduledSweepSavesNothingAndKeepsTheSchedule) {
    FakeWorld world;
    app::Services services = world.services();
    world.folder.exec("INSERT INTO tblSavedRuns VALUES (2, '10.1.2.1-254', '2026-03-01 08:00:00', 1);"
                      "INSERT INTO tblSchedules VALUES ('2026-03-14 09:30:00', '10.1.2.1-254');");
    world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 10));
    world.echo.answer("10.1.2.1");
    world.echo.answer("10.1.2.2");
    app::MainWindow window(services);
    window.Form_Load();
    const QByteArray before = world.folder.bytes("KRdb.mdb");
    ASSERT_FALSE(before.isEmpty());

    bool exitPressedInScheduledRun = false;
    world.echo.onClosed = [&](uint32_t destination) {
        if (destination != FakeEcho::value("10.1.2.3"))
            return;
        exitPressedInScheduledRun = test::session(window).unattended();
        auto* exit = control<QPushButton>(window, "cmdExit(2)");
        QMetaObject::invokeMethod(
            exit, [exit] { exit->click(); }, Qt::QueuedConnection);
    };
    window.timerSchedule_Timer();

    ASSERT_TRUE(exitPressedInScheduledRun);
    EXPECT_EQ(world.echo.sent.size(), 3u) << "the sweep ended at its next check";
    EXPECT_FALSE(window.isVisible());
    EXPECT_NE(control<app::StatusBar>(window, "sbStatus")->panel(1),
              QStringLiteral("Scheduled run complete."));
    EXPECT_TRUE(world.folder.bytes("KRdb.mdb") == before) << "the database changed";
    EXPECT_EQ(world.folder.count("SELECT count(*) FROM tblSuccess"), 0);
    EXPECT_EQ(world.folder.count("SELECT NumberOfRuns FROM tblSavedRuns WHERE RunNo = 2"), 1);
    EXPECT_EQ(world.folder.column(QStringLiteral("SELECT schedip FROM tblSchedules")),
              QStringList{QStringLiteral("10.1.2.1-254")});
    EXPECT_FALSE(QFile::exists(world.folder.file("KRDB.bak"))) << "the backups were renewed";
    EXPECT_TRUE(world.boxes.shown.empty());
}

} // namespace
} // namespace kestrion::test
