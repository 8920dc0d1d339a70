#include "sweep/ParallelProber.h"
#include "sweep/SweepSession.h"

#include "tests/support/fakes/FakeEcho.h"
#include "tests/support/fakes/FakeResolver.h"

#include <QStringList>
#include <chrono>
#include <gtest/gtest.h>

namespace kestrion::sweep {
namespace {

using test::FakeEcho;
namespace es = platform::echo_status;
using SteadyClock = std::chrono::steady_clock;

// A parallel session over the fakes, with its found rows, questions and progress written down.
struct ParallelSession {
    FakeEcho echo;
    test::FakeComponentFactory names;
    SweepSession session{echo, &names, SweepSession::Waiting::OnThisThread};
    QStringList found;
    QStringList asked;
    QStringList progressed;
    QStringList order; // found, question, cancelled as they came

    explicit ParallelSession(int16_t first = 1, int16_t last = 254) {
        session.setRange({QStringLiteral("10"), QStringLiteral("1"), QStringLiteral("2"), first, last});
        session.setSettings({500, 32});
        session.setPacing({true, 1});
        QObject::connect(&session, &SweepSession::found, [this](const FoundHost& h) {
            found << h.address + ' ' + h.name + ' ' + QString::number(h.roundTripTime);
            order << "found";
        });
        QObject::connect(&session, &SweepSession::question, [this](const SweepQuestion& q, int*) {
            asked << q.title + '|' + q.text;
            order << "question";
        });
        QObject::connect(&session, &SweepSession::unasked, [this](const SweepQuestion& q) {
            asked << "unasked " + q.title;
            order << "unasked";
        });
        QObject::connect(&session, &SweepSession::cancelled, [this] { order << "cancelled"; });
        QObject::connect(&session, &SweepSession::progress,
                         [this](const QString& address, int) { progressed << address; });
    }
};

QString at(int n) {
    return QStringLiteral("10.1.2.%1").arg(n);
}

TEST(ParallelProber, RepliesInAnyOrderGiveTheRowsInAddressOrder) {
    for (unsigned seed : {1u, 7u, 2024u}) {
        SCOPED_TRACE(seed);
        ParallelSession p;
        p.echo.seed = seed;
        QStringList expected;
        for (int n = 3; n <= 254; n += 7) {
            p.echo.answer(at(n).toLatin1().constData(), static_cast<uint32_t>(n));
            p.names.names[at(n).toStdString()] = "h" + std::to_string(n);
            expected << at(n) + " h" + QString::number(n) + ' ' + QString::number(n);
        }
        EXPECT_EQ(p.session.run().outcome, SweepOutcome::Done);
        EXPECT_EQ(p.found, expected);
        ASSERT_EQ(p.echo.sent.size(), 254u) << "one request to each address, none again";
        for (size_t i = 0; i < p.echo.sent.size(); ++i)
            EXPECT_EQ(p.echo.sent[i].destination, FakeEcho::value(at(static_cast<int>(i) + 1).toLatin1()));
        EXPECT_EQ(p.progressed.size(), 254) << "progress by addresses sent";
        // The sequential sweep of the same range over the same answers: the same rows, and the same
        // progress at the end (the last address keeps the value of the one before it: 100 for 1-254).
        ParallelSession sequential;
        sequential.session.setPacing({});
        for (int n = 3; n <= 254; n += 7) {
            sequential.echo.answer(at(n).toLatin1().constData(), static_cast<uint32_t>(n));
            sequential.names.names[at(n).toStdString()] = "h" + std::to_string(n);
        }
        EXPECT_EQ(sequential.session.run().outcome, SweepOutcome::Done);
        EXPECT_EQ(sequential.found, p.found);
        EXPECT_EQ(sequential.progressed, p.progressed);
        EXPECT_EQ(p.session.percentDone(), sequential.session.percentDone());
        EXPECT_EQ(p.session.percentDone(), 100);
        EXPECT_EQ(p.session.hosts().rowCount(), expected.size());
        EXPECT_EQ(p.echo.openBatches, 0);
        EXPECT_EQ(p.echo.opened, 1) << "one handle for the whole sweep";
    }
}

TEST(ParallelProber, AnswersTheSequentialSweepWouldAskAboutAreGatheredIntoOneQuestionAtTheEnd) {
    struct Row {
        const char* name;
        bool unattended;
        const char* said;
    } rows[] = {{"attended: one box", false, "question"}, {"unattended: told, never asked", true, "unasked"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ParallelSession p(1, 6);
        p.session.setUnattended(row.unattended);
        p.echo.fail("10.1.2.2", es::DestNetUnreachable);
        p.echo.answer("10.1.2.3");
        p.echo.answerFrom("10.1.2.4", "10.1.1.1", es::DestHostUnreachable);
        p.echo.answerFrom("10.1.2.5", "10.1.2.99");
        p.echo.fail("10.1.2.6", es::GeneralFailure);
        EXPECT_EQ(p.session.run().outcome, SweepOutcome::Done);
        EXPECT_EQ(p.order, (QStringList{"found", row.said}));
        ASSERT_EQ(p.asked.size(), 1);
        if (!row.unattended) {
            EXPECT_EQ(p.asked.front(),
                      "Kestrion Alert|4 addresses were not reached:\n"
                      "10.1.2.2: network unreachable (error 11002)\n"
                      "10.1.2.4: unreachable, says 10.1.1.1 (error 11003)\n"
                      "10.1.2.5: the reply came from 10.1.2.99\n"
                      "10.1.2.6: ping failed (error 11050)\n"
                      "These addresses may lie outside of your network or behind a firewall.");
        }
    }
}

TEST(ParallelProber, ALongListOfUnreachedAddressesIsCutInTheBox) {
    std::vector<GatheredAnswer> answers;
    for (int n = 1; n <= 40; ++n)
        answers.push_back({at(n), {0, es::DestNetUnreachable, 0, 0}, Verdict::NetUnreachable});
    const QString text = gatheredQuestion(answers).text;
    EXPECT_TRUE(text.startsWith("40 addresses were not reached:\n10.1.2.1: network unreachable"));
    EXPECT_TRUE(text.contains("\n10.1.2.30: ")) << text.toStdString();
    EXPECT_FALSE(text.contains("\n10.1.2.31: ")) << text.toStdString();
    EXPECT_TRUE(text.contains("\n... and 10 more.\n"));
}

TEST(ParallelProber, CancelAndExitStopAtOnceAndCloseTheHandle) {
    struct Row {
        const char* name;
        StopRequest request;
        SweepOutcome outcome;
        QStringList found;
        QStringList order;
    } rows[] = {
        {"cancel keeps what answered",
         StopRequest::Cancel,
         SweepOutcome::Cancelled,
         {"10.1.2.10 Not available 1", "10.1.2.20 Not available 1"},
         {"found", "found", "cancelled"}},
        {"exit reports nothing more", StopRequest::Exit, SweepOutcome::Ended, {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ParallelSession p;
        for (const char* address : {"10.1.2.10", "10.1.2.20", "10.1.2.200"})
            p.echo.answer(address);
        // Answers take a while, so many are outstanding when the request comes.
        p.echo.batchDelay = std::chrono::milliseconds(20);
        p.session.setSettings({3000, 32});
        QObject::connect(&p.session, &SweepSession::progress, [&](const QString& address, int) {
            if (address == at(100))
                p.session.requestStop(row.request);
        });
        const auto start = SteadyClock::now();
        EXPECT_EQ(p.session.run().outcome, row.outcome);
        EXPECT_LT(SteadyClock::now() - start, std::chrono::seconds(1))
            << "no wait for the outstanding answers";
        EXPECT_EQ(p.echo.sent.size(), 100u) << "nothing sent after the request";
        EXPECT_EQ(p.echo.openBatches, 0) << "the handle is closed";
        EXPECT_GT(p.echo.outstandingAtClose, 0u) << "the test stopped a sweep with requests under way";
        EXPECT_EQ(p.found, row.found);
        EXPECT_EQ(p.order, row.order);
    }
}

// The prober alone, with a plain observer: pacing and the bound.
struct Quiet final : SweepObserver {
    StopRequest stopRequest() override { return StopRequest::None; }
    void progress(const QString&, int16_t) override {}
    void found(const FoundHost& host) override { hosts << host.address; }
    int ask(const SweepQuestion& question) override { return question.goOnAnswer; }
    void cancelled() override {}
    void yield() override {}
    QStringList hosts;
};

TEST(ParallelProber, KeepsItsIntervalAndItsBound) {
    struct Row {
        const char* name;
        int intervalMs;
        size_t bound;
        std::chrono::milliseconds delay;
        std::chrono::milliseconds atLeast;
        size_t mostOutstanding;
    } rows[] = {
        {"20 addresses 5 ms apart", 5, 256, std::chrono::milliseconds(0), std::chrono::milliseconds(95), 20},
        {"at most 4 under way", 1, 4, std::chrono::milliseconds(10), std::chrono::milliseconds(45), 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeEcho echo;
        echo.batchDelay = row.delay;
        echo.answer("10.1.2.20");
        ParallelProber prober(echo, nullptr, row.bound);
        Quiet observer;
        const auto start = SteadyClock::now();
        const SweepResult result =
            prober.run({QStringLiteral("10"), QStringLiteral("1"), QStringLiteral("2"), 1, 20}, {500, 8},
                       {true, row.intervalMs}, observer);
        EXPECT_EQ(result.outcome, SweepOutcome::Done);
        EXPECT_GE(SteadyClock::now() - start, row.atLeast);
        EXPECT_EQ(echo.sent.size(), 20u);
        EXPECT_LE(echo.mostOutstanding, row.mostOutstanding);
        EXPECT_EQ(observer.hosts, QStringList{"10.1.2.20"});
    }
}

TEST(ParallelProber, NamesAreLookedUpAFewAtOnce) {
    ParallelSession p(1, 16);
    for (int n = 1; n <= 16; ++n)
        p.echo.answer(at(n).toLatin1().constData());
    p.names.waitMs = 50; // one after the other: 800 ms
    const auto start = SteadyClock::now();
    p.session.run();
    EXPECT_LT(SteadyClock::now() - start, std::chrono::milliseconds(400));
    EXPECT_EQ(p.found.size(), 16);
    EXPECT_EQ(p.names.lookups, 16);
    EXPECT_EQ(p.names.live, 0) << "the sweep's resolver object is released";
}

TEST(ParallelProber, ARefusedBatchSaysWhyAndSendsNothing) {
    ParallelSession p(1, 3);
    p.echo.batchRefused = true;
    EXPECT_EQ(p.session.run().outcome, SweepOutcome::Refused);
    EXPECT_EQ(p.session.lastRefusal(), "no batch handle");
    EXPECT_TRUE(p.echo.sent.empty());
}

} // namespace
} // namespace kestrion::sweep
