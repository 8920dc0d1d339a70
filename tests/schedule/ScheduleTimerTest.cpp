#include "schedule/ScheduleTimer.h"
#include "db/ScheduleStore.h"

#include "tests/support/ScheduleTestSupport.h"
#include "tests/support/fakes/FakeMessageBoxes.h"
#include "tests/support/fakes/FakeServices.h"

#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

using namespace kestrion;
using schedtest::at;

namespace {

const QString kRange = QStringLiteral("10.1.2.1-254");

// Records the schedules handed over to be carried out and what is held; carrying one out refreshes the
// list as the real run does, so nothing is next afterwards.
class FakeRunner : public schedule::ScheduledRunner {
public:
    explicit FakeRunner(schedule::ScheduleState& s) : state(s) {}
    schedule::ScheduleState& state;
    QStringList steps;
    std::optional<QDateTime> held;
    std::optional<QDateTime> heldDuringRun;
    std::function<void()> duringRun;

    void holdSchedule(const std::optional<QDateTime>& d) override { held = d; }
    void carryOut(const QDateTime& scheddate, const QString& schedip) override {
        steps << QStringLiteral("run ") + db::scheduleLine(scheddate, schedip);
        heldDuringRun = held;
        if (duringRun)
            duringRun();
        held.reset();
        state.NextSchedDate.reset();
    }
};

class ScheduleTimerTest : public ::testing::Test {
protected:
    ScheduleTimerTest() {
        state.NextSchedDate = due;
        state.NextSchedIP = kRange;
        clock.time = at(2026, 3, 17, 14, 5, 10);
        timer.setPollInterval(5);
    }
    bool ran() const { return !host.steps.isEmpty(); }

    const QDateTime due = at(2026, 3, 17, 14, 5);
    schedule::ScheduleState state;
    db::DatabaseBusy database;
    test::FakeClock clock;
    test::FakeMessageBoxes boxes;
    FakeRunner host{state};
    schedule::ScheduleTimer timer{host, state, database, clock, boxes};
};

// The steps of the run itself are checked through the window (MainWindowScheduleTest).
TEST_F(ScheduleTimerTest, DueScheduleIsHandedOverOnceAndHeldUntilThen) {
    timer.timerSchedule_Timer();
    EXPECT_EQ(host.steps, QStringList{QStringLiteral("run ") + db::scheduleLine(due, kRange)});
    EXPECT_EQ(host.heldDuringRun, due) << "held from the tick until the run lets it go";
    EXPECT_FALSE(host.held.has_value());
    EXPECT_FALSE(timer.isWaiting());
}

TEST_F(ScheduleTimerTest, NothingOutsideTheMinute) {
    clock.time = at(2026, 3, 17, 14, 4, 59);
    timer.timerSchedule_Timer();
    clock.time = at(2026, 3, 17, 14, 6, 0);
    timer.timerSchedule_Timer();
    EXPECT_TRUE(host.steps.isEmpty());
    clock.time = at(2026, 3, 17, 14, 5, 59);
    timer.timerSchedule_Timer();
    EXPECT_TRUE(ran());
    // Nothing is left: a second tick in the same minute starts nothing.
    host.steps.clear();
    timer.timerSchedule_Timer();
    EXPECT_TRUE(host.steps.isEmpty());
}

TEST_F(ScheduleTimerTest, TickDuringTheRunsOwnSweepIsIgnored) {
    int pings = 0;
    host.duringRun = [&] {
        ++pings;
        timer.timerSchedule_Timer(); // the sweep's yields still deliver ticks
    };
    timer.timerSchedule_Timer();
    EXPECT_EQ(pings, 1);
}

TEST_F(ScheduleTimerTest, WaitsForTheUsersSweepThenRunsAfterItsMinute) {
    timer.setSweepRunning(true);
    timer.timerSchedule_Timer();
    EXPECT_FALSE(ran());
    EXPECT_TRUE(timer.isWaiting());
    EXPECT_EQ(host.held, due); // kept from expiring while it waits
    QTest::qWait(30);
    EXPECT_FALSE(ran());

    clock.time = at(2026, 3, 17, 14, 9, 0); // the user's sweep outlasted the minute
    timer.setSweepRunning(false);
    QTRY_VERIFY(ran());
    EXPECT_FALSE(timer.isWaiting());
    EXPECT_EQ(host.steps, QStringList{QStringLiteral("run ") + db::scheduleLine(due, kRange)});
}

TEST_F(ScheduleTimerTest, WaitsWhileDatabaseBusyOrABoxIsOpen) {
    database.depth = 1;
    timer.timerSchedule_Timer();
    QTest::qWait(30);
    EXPECT_FALSE(ran());
    database.depth = 0;

    bool ranWhileOpen = true;
    boxes.whileOpen = [&](const test::FakeMessageBoxes::Box&) {
        QTest::qWait(30); // the box's own event loop: the poll keeps firing
        ranWhileOpen = ran();
    };
    boxes.show(QStringLiteral("t"), QStringLiteral("x"), platform::MsgButtons::Ok, platform::MsgIcon::None);
    EXPECT_FALSE(ranWhileOpen);
    QTRY_VERIFY(ran());
}

TEST_F(ScheduleTimerTest, WaitingScheduleDeletedMeanwhileIsDropped) {
    timer.setSweepRunning(true);
    timer.timerSchedule_Timer();
    state.NextSchedDate = at(2026, 3, 18, 9, 0); // the user deleted it; another is next
    timer.setSweepRunning(false);
    QTRY_VERIFY(!timer.isWaiting());
    EXPECT_FALSE(ran());
    EXPECT_FALSE(host.held.has_value());
}

} // namespace
