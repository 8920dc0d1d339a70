#include "sweep/SweepSession.h"

#include "tests/support/fakes/FakeEcho.h"
#include "tests/support/fakes/FakeResolver.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace kestrion::sweep {
namespace {

using test::FakeEcho;
namespace es = platform::echo_status;

// A session without any window, with every signal it emits written down as one line.
struct Recorded {
    FakeEcho echo;
    test::FakeComponentFactory names;
    SweepSession session{echo, &names, SweepSession::Waiting::OnThisThread};
    QStringList lines;

    Recorded() {
        session.setRange({QStringLiteral("10"), QStringLiteral("1"), QStringLiteral("2"), 1, 3});
        QObject::connect(&session, &SweepSession::runningChanged,
                         [this](bool running) { lines << (running ? "running" : "stopped"); });
        QObject::connect(&session, &SweepSession::started, [this] { lines << "started"; });
        QObject::connect(&session, &SweepSession::progress, [this](const QString& a, int p) {
            lines << QStringLiteral("progress %1 %2").arg(a).arg(p);
        });
        QObject::connect(&session, &SweepSession::found, [this](const FoundHost& h) {
            lines << QStringLiteral("found %1 %2").arg(h.address, h.name);
        });
        QObject::connect(&session, &SweepSession::question,
                         [this](const SweepQuestion& q, int*) { lines << "question " + q.title; });
        QObject::connect(&session, &SweepSession::unasked,
                         [this](const SweepQuestion& q) { lines << "unasked " + q.title; });
        QObject::connect(&session, &SweepSession::cancelled, [this] { lines << "cancelled"; });
        QObject::connect(&session, &SweepSession::yielding, [this] { lines << "yield"; });
        QObject::connect(&session, &SweepSession::finished, [this](const SweepResult& r) {
            lines << QStringLiteral("finished %1").arg(int(r.outcome));
        });
    }
};

TEST(SweepSession, TellsEachStepInOrderAndKeepsTheHostsInItsModel) {
    Recorded r;
    r.echo.answer("10.1.2.2", 1234);
    r.names.names = {{"10.1.2.2", "b.lab"}};
    const SweepResult result = r.session.run();

    EXPECT_EQ(result.outcome, SweepOutcome::Done);
    EXPECT_EQ(r.lines, (QStringList{"running", "started", "progress 10.1.2.1 0", "yield",
                                    "progress 10.1.2.2 50", "found 10.1.2.2 b.lab", "yield",
                                    "progress 10.1.2.3 50", "yield", "stopped", "finished 0"}));
    EXPECT_FALSE(r.session.isRunning());
    const HostsModel& hosts = r.session.hosts();
    ASSERT_EQ(hosts.rowCount(), 1);
    EXPECT_EQ(hosts.index(0, HostsModel::AddressColumn).data().toString(), "10.1.2.2");
    EXPECT_EQ(hosts.index(0, HostsModel::NameColumn).data().toString(), "b.lab");
    // The grid's text has no group separator, whatever the locale; the number is there as a number.
    EXPECT_EQ(hosts.index(0, HostsModel::RoundTripColumn).data().toString(), "1234");
    EXPECT_EQ(hosts.index(0, HostsModel::RoundTripColumn).data(HostsModel::RoundTripRole).toUInt(), 1234u);
    EXPECT_FALSE(hosts.index(1, 0).data().isValid());
}

TEST(SweepSession, AStopRequestIsReadAtTheNextAddressAndStays) {
    struct Row {
        const char* name;
        StopRequest request;
        SweepOutcome outcome;
        const char* lastLines;
    } rows[] = {
        {"cancel", StopRequest::Cancel, SweepOutcome::Cancelled, "cancelled|stopped|finished 1"},
        {"exit touches nothing more", StopRequest::Exit, SweepOutcome::Ended, "yield|stopped|finished 2"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Recorded r;
        // Requested at the first address's yield, as a click handled there would.
        QObject::connect(&r.session, &SweepSession::yielding, [&] { r.session.requestStop(row.request); });
        EXPECT_EQ(r.session.run().outcome, row.outcome);
        EXPECT_EQ(r.echo.sent.size(), 1u);
        EXPECT_EQ(r.lines.mid(r.lines.size() - 3).join('|'), row.lastLines);
        EXPECT_EQ(r.session.stopRequest(), row.request) << "until the window's initialisation clears it";
        r.session.clearStop();
        EXPECT_EQ(r.session.stopRequestText(), "False");
    }
}

TEST(SweepSession, AQuestionIsAskedOnlyWhenAttendedAndItsAnswerCounts) {
    struct Row {
        const char* name;
        bool unattended;
        int answer; // what a connected observer answers
        size_t sent;
        const char* said;
    } rows[] = {{"attended, the user stops", false, platform::AnswerCancel, 1, "question Kestrion Error"},
                {"attended, the user goes on", false, platform::AnswerOk, 3, "question Kestrion Error"},
                {"unattended: told, never asked, goes on", true, platform::AnswerCancel, 3,
                 "unasked Kestrion Error"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Recorded r;
        r.echo.fail("10.1.2.1", es::DestNetUnreachable);
        r.session.setUnattended(row.unattended);
        QObject::connect(&r.session, &SweepSession::question,
                         [&](const SweepQuestion&, int* answer) { *answer = row.answer; });
        r.session.run();
        EXPECT_EQ(r.echo.sent.size(), row.sent);
        EXPECT_TRUE(r.lines.contains(QString::fromLatin1(row.said))) << r.lines.join('|').toStdString();
    }
}

TEST(SweepSession, ARefusedSweepSaysWhyAndStartsNothing) {
    Recorded r;
    r.echo.refusal = "No ICMP socket.";
    EXPECT_EQ(r.session.run().outcome, SweepOutcome::Refused);
    EXPECT_EQ(r.session.lastRefusal(), "No ICMP socket.");
    EXPECT_EQ(r.lines, (QStringList{"running", "stopped", "finished 3"}));
    EXPECT_TRUE(r.echo.sent.empty());
}

} // namespace
} // namespace kestrion::sweep
