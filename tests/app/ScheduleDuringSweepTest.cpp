// The real window and sweep over fake services: a schedule that falls due during the user's own sweep.
#include "app/DatabaseTab.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "db/Database.h"
#include "schedule/ScheduleTimer.h"
#include "sweep/PingTab.h"
#include "tests/support/fakes/FakeWorld.h"

#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
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
    window.scheduleTimer()->setPollInterval(1);
    ASSERT_EQ(window.databaseTab->lbCurrentSchedules->count(), 1);

    std::vector<QStringList> saved;
    window.scheduledRunHooks.SaveRun = [&](const QString& range) {
        QStringList addresses;
        for (int r = 0; r < window.pingTab->flxOutBox->rowCount(); ++r)
            addresses << window.pingTab->flxOutBox->item(r, 0)->text();
        saved.push_back(QStringList{range} + addresses);
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
        startedDuringUsersSweep |= window.state().ScheduledRunActive && !saved.empty();
    };

    auto set = [&](QLineEdit* box, const char* text) { box->setText(QLatin1String(text)); };
    set(window.pingTab->Text1, "10");
    set(window.pingTab->Text2, "9");
    set(window.pingTab->Text3, "9");
    set(window.pingTab->Text4, "1");
    set(window.pingTab->Text5, "3");
    window.pingTab->cmdPing->click();
    EXPECT_TRUE(saved.empty()); // nothing of the scheduled run happened inside the user's sweep
    EXPECT_FALSE(startedDuringUsersSweep);

    QTRY_COMPARE(window.sbStatus->panel(1), QStringLiteral("Scheduled run complete."));
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0], (QStringList{QStringLiteral("10.1.2.1-254"), QStringLiteral("10.1.2.7")}));
    EXPECT_EQ(window.databaseTab->lbCurrentSchedules->count(), 0);
    EXPECT_EQ(window.sbStatus->panel(2), QStringLiteral("No current schedule"));
    EXPECT_TRUE(world.boxes.shown.empty());
}

} // namespace
} // namespace kestrion::test
