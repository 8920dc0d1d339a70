#include "schedule/ScheduledRunDriver.h"

#include "db/ScheduleStore.h"
#include "tests/support/fakes/AppFolder.h"
#include "tests/support/fakes/FakeEcho.h"
#include "tests/support/fakes/FakeServices.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace kestrion::schedule {
namespace {

using Kind = ScheduledRunOutcome::Kind;

// One saved run with one sweep, and its schedule at 09:30, over a session without a window.
struct Driven {
    test::AppFolder folder;
    test::FakeClock clock{QDateTime(QDate(2026, 3, 14), QTime(9, 30, 5))};
    test::FakeEcho echo;
    sweep::SweepSession session{echo, nullptr, sweep::SweepSession::Waiting::OnThisThread};
    db::SavedRuns runs{folder.paths, folder.busy, clock};
    db::ScheduleStore schedules{folder.paths, folder.busy};
    ScheduledRunDriver driver{session, runs, schedules};
    QStringList steps;
    const QDateTime due{QDate(2026, 3, 14), QTime(9, 30)};

    explicit Driven(const char* range = "10.1.2.1-254") {
        folder.exec(QStringLiteral("INSERT INTO tblSavedRuns VALUES (1, '%1', '2026-03-14 09:15:00', 1);"
                                   "INSERT INTO tblSchedules VALUES ('2026-03-14 09:30:00', '%1');")
                        .arg(QLatin1String(range)));
        QObject::connect(&driver, &ScheduledRunDriver::sweeping, [this](const sweep::SweepRange& r) {
            steps << QStringLiteral("sweeping %1-%2").arg(r.address(r.firstHost)).arg(r.lastHost);
        });
        QObject::connect(&driver, &ScheduledRunDriver::saving, [this] { steps << "saving"; });
        QObject::connect(&driver, &ScheduledRunDriver::saved, [this](db::SaveOutcome) { steps << "saved"; });
        QObject::connect(&driver, &ScheduledRunDriver::updatingSchedules, [this] { steps << "updating"; });
    }
    ScheduledRunOutcome carryOut(const char* range = "10.1.2.1-254") {
        return driver.carryOut({due, QLatin1String(range)}, {500, 8});
    }
    long long sweeps() const { return folder.count("SELECT numberofruns FROM tblSavedRuns WHERE RunNo = 1"); }
    long long scheduleCount() const { return folder.count("SELECT COUNT(*) FROM tblSchedules"); }
    QStringList saved() const {
        return folder.column("SELECT SuccessIP || ' ' || SuccessRTT FROM tblSuccess ORDER BY rowid");
    }
};

TEST(ScheduledRunDriver, SweepsTheBlockUnaskedSavesCountsAndUsesTheScheduleUp) {
    Driven d;
    d.echo.answer("10.1.2.7", 12);
    d.echo.fail("10.1.2.9", platform::echo_status::DestNetUnreachable); // asked of nobody
    const ScheduledRunOutcome outcome = d.carryOut();

    EXPECT_EQ(outcome.kind, Kind::Completed);
    EXPECT_EQ(outcome.answered, 1);
    EXPECT_EQ(outcome.save, db::SaveOutcome::Saved);
    EXPECT_EQ(outcome.scheduleLine, db::scheduleLine(d.due, QStringLiteral("10.1.2.1-254")));
    EXPECT_EQ(d.steps, (QStringList{"sweeping 10.1.2.1-254", "saving", "saved", "updating"}));
    ASSERT_EQ(d.echo.sent.size(), 254u);
    EXPECT_EQ(d.echo.sent[0].timeoutMs, 500);
    EXPECT_EQ(d.echo.sent[0].data.size(), 8u);
    EXPECT_EQ(d.saved(), QStringList{"10.1.2.7 12"});
    EXPECT_EQ(d.sweeps(), 2);
    EXPECT_EQ(d.scheduleCount(), 0);
    EXPECT_FALSE(d.session.unattended()) << "the window's own sweeps ask again";
}

TEST(ScheduledRunDriver, WhatCannotBeSweptIsUsedUpAndSavesNothing) {
    struct Row {
        const char* name;
        const char* range;
        const char* refusal;
        const char* failure;
    } rows[] = {{"no echo handle", "10.1.2.1-254", "No ICMP socket.", "No ICMP socket."},
                {"a stored range that is not one", "10.1.x.1-254", "", "'10.1.x.1-254' is not a range"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Driven d(row.range);
        d.echo.refusal = row.refusal;
        const ScheduledRunOutcome outcome = d.carryOut(row.range);
        EXPECT_EQ(outcome.kind, Kind::NotSwept);
        EXPECT_TRUE(outcome.failure.startsWith(QLatin1String(row.failure))) << outcome.failure.toStdString();
        EXPECT_TRUE(d.echo.sent.empty());
        EXPECT_EQ(d.sweeps(), 1) << "no sweep is counted that never happened";
        EXPECT_EQ(d.scheduleCount(), 0);
        EXPECT_FALSE(d.steps.contains("saving"));
    }
}

TEST(ScheduledRunDriver, ExitSavesNothingAndKeepsTheScheduleWhileCancelSavesWhatWasFound) {
    struct Row {
        const char* name;
        sweep::StopRequest request;
        Kind kind;
        long long sweeps;
        long long schedules;
        QStringList saved;
    } rows[] = {{"exit", sweep::StopRequest::Exit, Kind::Abandoned, 1, 1, {}},
                {"cancel", sweep::StopRequest::Cancel, Kind::Completed, 2, 0, {"10.1.2.1 3"}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Driven d;
        d.echo.answer("10.1.2.1", 3);
        d.echo.answer("10.1.2.3", 3);
        QObject::connect(&d.session, &sweep::SweepSession::yielding,
                         [&] { d.session.requestStop(row.request); });
        EXPECT_EQ(d.carryOut().kind, row.kind);
        EXPECT_EQ(d.echo.sent.size(), 1u);
        EXPECT_EQ(d.sweeps(), row.sweeps);
        EXPECT_EQ(d.scheduleCount(), row.schedules);
        EXPECT_EQ(d.saved(), row.saved);
    }
}

} // namespace
} // namespace kestrion::schedule
