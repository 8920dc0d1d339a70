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

// Records what the run does to the window, and the program-wide values at the moments that matter.
class FakeHost : public schedule::ScheduledRunHost {
public:
    explicit FakeHost(platform::AppState& s) : state(s) {}
    platform::AppState& state;
    QStringList steps;
    bool resetIsEnabled = true;
    bool timerEnabled = true;
    bool activeDuringPing = false;
    bool timerEnabledDuringPing = true;
    std::optional<QDateTime> held;
    std::function<void()> duringPing;

    void selectPingTab() override { steps << QStringLiteral("tab"); }
    bool resetEnabled() override { return resetIsEnabled; }
    void clickReset() override { steps << QStringLiteral("reset"); }
    void fillAddressBoxes(const QString& r) override { steps << QStringLiteral("fill ") + r; }
    QString refusal;
    QString clickPing() override {
        steps << QStringLiteral("ping");
        activeDuringPing = state.ScheduledRunActive;
        timerEnabledDuringPing = timerEnabled;
        if (duringPing)
            duringPing();
        return refusal;
    }
    void saveRun(const QString& r) override { steps << QStringLiteral("save ") + r; }
    void deleteSchedule(const QString& line) override { steps << QStringLiteral("delete ") + line; }
    void refreshSchedules() override {
        steps << QStringLiteral("refresh");
        state.NextSchedDate.reset();
    }
    void setStatus(const QString& t) override { steps << QStringLiteral("status ") + t; }
    void processEvents() override { steps << QStringLiteral("events"); }
    void setTimerEnabled(bool e) override {
        timerEnabled = e;
        steps << (e ? QStringLiteral("timer on") : QStringLiteral("timer off"));
    }
    void holdSchedule(const std::optional<QDateTime>& d) override { held = d; }
};

class ScheduleTimerTest : public ::testing::Test {
protected:
    ScheduleTimerTest() {
        state.NextSchedDate = due;
        state.NextSchedIP = kRange;
        clock.time = at(2026, 3, 17, 14, 5, 10);
        timer.setPollInterval(5);
    }
    bool ran() const { return host.steps.contains(QStringLiteral("ping")); }

    const QDateTime due = at(2026, 3, 17, 14, 5);
    platform::AppState state;
    test::FakeClock clock;
    test::FakeMessageBoxes boxes;
    FakeHost host{state};
    schedule::ScheduleTimer timer{host, state, clock, boxes};
};

TEST_F(ScheduleTimerTest, DueRunFollowsItsSteps) {
    timer.timerSchedule_Timer();
    const QStringList expected = {
        QStringLiteral("tab"),
        QStringLiteral("reset"),
        QStringLiteral("timer off"),
        QStringLiteral("fill ") + kRange,
        QStringLiteral("ping"),
        QStringLiteral("events"),
        QStringLiteral("status Saving run..."),
        QStringLiteral("save ") + kRange,
        QStringLiteral("events"),
        QStringLiteral("status Updating schedules..."),
        QStringLiteral("delete ") + db::scheduleLine(due, kRange),
        QStringLiteral("events"),
        QStringLiteral("refresh"),
        QStringLiteral("timer on"),
        QStringLiteral("status Scheduled run complete."),
    };
    EXPECT_EQ(host.steps, expected);
    EXPECT_TRUE(host.activeDuringPing);
    EXPECT_FALSE(host.timerEnabledDuringPing);
    EXPECT_FALSE(state.ScheduledRunActive);
    EXPECT_FALSE(host.held.has_value());
}

TEST_F(ScheduleTimerTest, RunThatCouldNotSweepSavesNothingAndSaysWhy) {
    host.refusal = QStringLiteral("Kestrion is not allowed to send ICMP echo requests.\nEither ...");
    timer.timerSchedule_Timer();
    EXPECT_FALSE(host.steps.contains(QStringLiteral("save ") + kRange));
    EXPECT_TRUE(host.steps.contains(QStringLiteral("delete ") + db::scheduleLine(due, kRange)));
    EXPECT_EQ(
        host.steps.last(),
        QStringLiteral("status Scheduled run failed: Kestrion is not allowed to send ICMP echo requests. "
                       "Schedule removed: ") +
            db::scheduleLine(due, kRange));
    EXPECT_TRUE(host.timerEnabled);
    EXPECT_FALSE(state.ScheduledRunActive);
}

TEST_F(ScheduleTimerTest, ResetOnlyWhenEnabledAndNothingOutsideTheMinute) {
    host.resetIsEnabled = false;
    clock.time = at(2026, 3, 17, 14, 4, 59);
    timer.timerSchedule_Timer();
    clock.time = at(2026, 3, 17, 14, 6, 0);
    timer.timerSchedule_Timer();
    EXPECT_TRUE(host.steps.isEmpty());
    clock.time = at(2026, 3, 17, 14, 5, 59);
    timer.timerSchedule_Timer();
    EXPECT_TRUE(ran());
    EXPECT_FALSE(host.steps.contains(QStringLiteral("reset")));
    // Nothing is left: a second tick in the same minute starts nothing.
    host.steps.clear();
    timer.timerSchedule_Timer();
    EXPECT_TRUE(host.steps.isEmpty());
}

TEST_F(ScheduleTimerTest, TickDuringTheRunsOwnSweepIsIgnored) {
    int pings = 0;
    host.duringPing = [&] {
        ++pings;
        timer.timerSchedule_Timer(); // the sweep's yields still deliver ticks
    };
    timer.timerSchedule_Timer();
    EXPECT_EQ(pings, 1);
}

TEST_F(ScheduleTimerTest, WaitsForTheUsersSweepThenRunsAfterItsMinute) {
    state.SweepRunning = true;
    timer.timerSchedule_Timer();
    EXPECT_FALSE(ran());
    EXPECT_TRUE(timer.isWaiting());
    EXPECT_EQ(host.held, due); // kept from expiring while it waits
    QTest::qWait(30);
    EXPECT_FALSE(ran());

    clock.time = at(2026, 3, 17, 14, 9, 0); // the user's sweep outlasted the minute
    state.SweepRunning = false;
    QTRY_VERIFY(ran());
    EXPECT_FALSE(timer.isWaiting());
    EXPECT_TRUE(host.steps.contains(QStringLiteral("delete ") + db::scheduleLine(due, kRange)));
}

TEST_F(ScheduleTimerTest, WaitsWhileDatabaseBusyOrABoxIsOpen) {
    state.DatabaseBusy = 1;
    timer.timerSchedule_Timer();
    QTest::qWait(30);
    EXPECT_FALSE(ran());
    state.DatabaseBusy = 0;

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
    state.SweepRunning = true;
    timer.timerSchedule_Timer();
    state.NextSchedDate = at(2026, 3, 18, 9, 0); // the user deleted it; another is next
    state.SweepRunning = false;
    QTRY_VERIFY(!timer.isWaiting());
    EXPECT_FALSE(ran());
    EXPECT_FALSE(host.held.has_value());
}

} // namespace
