// A scheduled run end to end with the real echo service: started by ctest, the test builds a network
// of its own and re-runs this binary inside the client namespace, where the window sweeps offscreen.
#include "app/DatabaseTab.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "db/Database.h"
#include "platform/DateText.h"
#include "platform/IcmpSocketEcho.h"
#include "sweep/PingTab.h"
#include "tests/support/Harness.h"
#include "tests/support/TestNetwork.h"

#include <QListWidget>
#include <QTableView>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>

namespace kestrion::test {
namespace {

constexpr const char* kInside = "KESTRION_SCHEDULE_NETWORK_INSIDE";

TEST(ScheduledRunNetwork, RunIsSavedAndTheScheduleGoneWithoutABox) {
    KESTRION_REQUIRE_NETNS();
    testsupport::TestNetwork net("ksched");
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    const int status = testsupport::runInNamespace(
        net.client(), {self, "--gtest_filter=ScheduledRunNetwork.InsideTheClient"},
        {std::string(kInside) + "=1", "QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(status, 0) << "the scheduled run inside the namespace failed; its output is above";
}

int64_t count(db::Database& db, const char* sql) {
    auto q = db.prepare(sql);
    q.step();
    return q.intAt(0);
}

// The client's own loopback block: every address answers, so the whole 1-254 sweep takes moments.
TEST(ScheduledRunNetwork, InsideTheClient) {
    if (!qEnvironmentVariableIsSet(kInside))
        GTEST_SKIP() << "runs only inside the namespace of RunIsSavedAndTheScheduleGoneWithoutABox";
    platform::IcmpSocketEcho echo;
    Harness h(true, [&](FakeWorld& world) {
        world.settings->write(QStringLiteral("Settings"), QStringLiteral("Timeout"), QStringLiteral("500"));
        world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 40));
        world.folder.exec("INSERT INTO tblSavedRuns VALUES (4, '127.0.0.1-254', '2026-03-01 08:00:00', 1);"
                          "INSERT INTO tblSchedules VALUES ('2026-03-14 09:30:00', '127.0.0.1-254');"
                          "INSERT INTO tblSchedules VALUES ('2026-03-15 07:00:00', '127.0.0.1-254');");
        world.realEcho = &echo;
    });
    app::MainWindow& window = *h.window;
    FakeWorld& world = h.world;
    ASSERT_EQ(control<QListWidget>(window, "lbCurrentSchedules")->count(), 2);

    window.timerSchedule_Timer();

    EXPECT_TRUE(world.boxes.shown.empty()) << world.boxes.shown.front().title.toStdString();
    EXPECT_EQ(rowCount(*control<QTableView>(window, "flxOutBox")), 254);
    EXPECT_EQ(control<app::StatusBar>(window, "sbStatus")->panel(1),
              QStringLiteral("Scheduled run complete."));
    EXPECT_EQ(control<QListWidget>(window, "lbCurrentSchedules")->count(), 1);
    EXPECT_EQ(control<app::StatusBar>(window, "sbStatus")->panel(2),
              QStringLiteral("Schedule: ") +
                  platform::generalDateText(QDateTime(QDate(2026, 3, 15), QTime(7, 0))) + QLatin1Char(' '));
    EXPECT_FALSE(test::session(window).unattended());
    EXPECT_TRUE(control<QTimer>(window, "timerSchedule")->isActive());

    db::Database db(world.folder.paths.database());
    EXPECT_EQ(count(db, "SELECT numberofruns FROM tblSavedRuns WHERE runip = '127.0.0.1-254';"), 2);
    EXPECT_EQ(count(db, "SELECT count(*) FROM tblSuccess WHERE RunNo = 4;"), 254);
    EXPECT_EQ(count(db, "SELECT count(*) FROM tblSchedules WHERE scheddate = '2026-03-14 09:30:00';"), 0);
}

} // namespace
} // namespace kestrion::test
