#include "sweep/SweepEngine.h"

#include "tests/support/JudgingRows.h"
#include "tests/support/fakes/FakeEcho.h"
#include "tests/support/fakes/FakeResolver.h"

#include <QStringList>
#include <functional>
#include <gtest/gtest.h>
#include <set>

namespace kestrion::sweep {
namespace {

using platform::AnswerCancel;
using platform::AnswerNo;
using platform::AnswerOk;
using platform::AnswerYes;
using platform::MsgButtons;
using platform::MsgIcon;
using test::FakeComponentFactory;
using test::FakeEcho;
namespace es = platform::echo_status;

uint32_t ip(const char* dotted) {
    return FakeEcho::value(dotted);
}

// Records every call of the engine as one line, answers questions from a queue (else the continuing
// answer, as an unattended caller) and stops when told.
struct Recorder : SweepObserver {
    QStringList log;
    std::vector<SweepQuestion> questions;
    std::vector<FoundHost> found_;
    std::vector<int> answers;
    StopRequest stop = StopRequest::None;
    std::function<void(const QString&)> onYield;
    QString current;

    StopRequest stopRequest() override { return stop; }
    void started() override { log << QStringLiteral("started"); }
    void progress(const QString& address, int16_t percent) override {
        current = address;
        log << QStringLiteral("progress %1 %2").arg(address).arg(percent);
    }
    void found(const FoundHost& host) override {
        found_.push_back(host);
        log << QStringLiteral("found ") + host.address;
    }
    int ask(const SweepQuestion& q) override {
        questions.push_back(q);
        log << QStringLiteral("ask ") + q.title;
        if (answers.empty())
            return q.goOnAnswer;
        const int a = answers.front();
        answers.erase(answers.begin());
        return a;
    }
    void cancelled() override { log << QStringLiteral("cancelled"); }
    void yield() override {
        log << QStringLiteral("yield");
        if (onYield)
            onYield(current);
    }
};

struct Engine {
    FakeEcho echo;
    FakeComponentFactory components;
    Recorder observer;
    SweepRange range{QStringLiteral("10"), QStringLiteral("1"), QStringLiteral("2"), 1, 2};
    SweepSettings settings{500, 8};

    SweepResult run(int16_t percent = 0) {
        return SweepEngine(echo, &components).run(range, settings, observer, percent);
    }
    std::vector<uint32_t> sentTo() const {
        std::vector<uint32_t> out;
        for (const auto& s : echo.sent)
            out.push_back(s.destination);
        return out;
    }
};

TEST(SweepEngine, EveryVerdictHasOneRowOfTheJudgingTable) {
    std::set<Verdict> seen;
    for (const JudgingRule& rule : kJudgingTable) {
        SCOPED_TRACE(rule.name);
        EXPECT_TRUE(seen.insert(rule.verdict).second) << "one row per verdict";
        EXPECT_EQ(&judgingRule(rule.verdict), &rule);
        if (rule.asks) {
            EXPECT_NE(rule.goOnAnswer, rule.stopAnswer);
        }
    }
    EXPECT_EQ(seen.size(), 6u);
}

// The window's judging rows, and a time-out, which asks nothing.
TEST(SweepEngine, JudgingTableRowByRow) {
    std::vector<test::JudgingRow> rows = test::judgingQuestionRows();
    rows.insert(rows.begin(), {"time-out", [](FakeEcho&) {}, 0, {}, MsgButtons::Ok, {}, {}});
    for (const test::JudgingRow& r : rows) {
        SCOPED_TRACE(r.name);
        Engine e;
        r.script(e.echo);
        e.echo.answer("10.1.2.2", 3);
        if (r.answer)
            e.observer.answers = {r.answer};
        const SweepResult result = e.run();
        EXPECT_EQ(e.echo.openHandles, 0) << "every handle is closed";

        const size_t questions = (r.answer ? 1u : 0u) + (r.stopText.isEmpty() ? 0u : 1u);
        ASSERT_EQ(e.observer.questions.size(), questions);
        if (r.answer) {
            const SweepQuestion& q = e.observer.questions[0];
            EXPECT_EQ(q.title, r.title);
            EXPECT_EQ(q.buttons, r.buttons);
            EXPECT_EQ(q.icon, MsgIcon::Exclamation);
            EXPECT_EQ(q.text, r.text);
        }
        if (r.stopText.isEmpty()) {
            EXPECT_EQ(result.outcome, SweepOutcome::Done);
            ASSERT_EQ(e.observer.found_.size(), 1u);
            EXPECT_EQ(e.observer.found_[0].address, "10.1.2.2");
            EXPECT_EQ(e.observer.found_[0].name, "Not available");
            EXPECT_EQ(e.observer.found_[0].roundTripTime, 3u);
            EXPECT_FALSE(e.observer.log.contains("cancelled"));
        } else {
            EXPECT_EQ(result.outcome, SweepOutcome::Cancelled);
            const SweepQuestion& stop = e.observer.questions[1];
            EXPECT_EQ(stop.title, "Kestrion Termination");
            EXPECT_EQ(stop.text, r.stopText);
            EXPECT_EQ(stop.buttons, MsgButtons::Ok);
            EXPECT_EQ(stop.icon, MsgIcon::None);
            EXPECT_EQ(e.sentTo(), std::vector<uint32_t>{ip("10.1.2.1")}) << "the sweep stops at once";
            EXPECT_TRUE(e.observer.found_.empty());
            EXPECT_EQ(e.observer.log.back(), "cancelled");
            EXPECT_FALSE(e.observer.log.contains("yield")) << "no yield after the stopping address";
        }
    }
}

TEST(SweepEngine, UnattendedCallerGoesOnThroughEveryQuestion) {
    Engine e;
    e.echo.fail("10.1.2.1", es::DestNetUnreachable);
    e.echo.fail("10.1.2.2", es::BadDestination);
    e.echo.fail("10.1.2.3", es::GeneralFailure);
    e.echo.answerFrom("10.1.2.4", "10.1.2.254", es::DestHostUnreachable);
    e.echo.answer("10.1.2.6", 12);
    e.components.refuse = com::REGDB_E_CLASSNOTREG;
    e.range.lastHost = 6;
    const SweepResult result = e.run();
    EXPECT_EQ(result.outcome, SweepOutcome::Done);
    EXPECT_EQ(e.echo.sent.size(), 6u);
    ASSERT_EQ(e.observer.questions.size(), 5u) << "four of the table and the missing resolver";
    for (const SweepQuestion& q : e.observer.questions)
        EXPECT_NE(q.title, "Kestrion Termination");
    EXPECT_TRUE(e.observer.questions[4].text.contains("0x80040154"));
    ASSERT_EQ(e.observer.found_.size(), 1u);
    EXPECT_EQ(e.observer.found_[0].name, "Not available");
}

TEST(SweepEngine, OrderOfCallsPerAddressAndProgress) {
    Engine e;
    e.echo.answer("10.1.2.11", 7);
    e.components.names = {{"10.1.2.11", "lab11"}};
    e.range.firstHost = 10;
    e.range.lastHost = 12;
    const SweepResult result = e.run(37);
    EXPECT_EQ(e.observer.log,
              QStringList({"started", "progress 10.1.2.10 0", "yield", "progress 10.1.2.11 50",
                           "found 10.1.2.11", "yield", "progress 10.1.2.12 50", "yield"}));
    EXPECT_EQ(result.percentDone, 50);
    ASSERT_EQ(e.observer.found_.size(), 1u);
    EXPECT_EQ(e.observer.found_[0].name, "lab11");
    EXPECT_EQ(e.echo.sent[0].data, std::vector<uint8_t>(8, 'T'));
    EXPECT_EQ(e.echo.sent[0].timeoutMs, 500);
}

TEST(SweepEngine, StopRequestsAndRangeEnds) {
    struct Row {
        const char* name;
        int16_t first, last;
        StopRequest stopAfter; // set at the yield of the first address
        size_t sent;
        SweepOutcome outcome;
        bool cancelledCalled;
    };
    const Row rows[] = {
        {"cancel", 1, 5, StopRequest::Cancel, 1, SweepOutcome::Cancelled, true},
        {"exit touches nothing", 1, 5, StopRequest::Exit, 1, SweepOutcome::Ended, false},
        {"cancel during the last address finishes", 1, 1, StopRequest::Cancel, 1, SweepOutcome::Done, false},
        {"one address keeps the percentage", 7, 7, StopRequest::None, 1, SweepOutcome::Done, false},
        {"first one above last", 8, 7, StopRequest::None, 0, SweepOutcome::Done, false},
        {"first far above last", 200, 100, StopRequest::None, 0, SweepOutcome::Done, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Engine e;
        e.range.firstHost = r.first;
        e.range.lastHost = r.last;
        e.observer.onYield = [&](const QString&) { e.observer.stop = r.stopAfter; };
        const SweepResult result = e.run(37);
        EXPECT_EQ(e.echo.sent.size(), r.sent);
        EXPECT_EQ(result.outcome, r.outcome);
        EXPECT_EQ(e.observer.log.contains("cancelled"), r.cancelledCalled);
        if (r.stopAfter == StopRequest::None) {
            EXPECT_EQ(result.percentDone, 37);
        }
    }
}

TEST(SweepEngine, RefusalSendsNothingAndSaysWhy) {
    Engine e;
    e.echo.refusal = "No ICMP socket can be opened.";
    const SweepResult result = e.run(12);
    EXPECT_EQ(result.outcome, SweepOutcome::Refused);
    EXPECT_EQ(result.refusal, "No ICMP socket can be opened.");
    EXPECT_EQ(result.percentDone, 12);
    EXPECT_TRUE(e.echo.sent.empty());
    EXPECT_TRUE(e.observer.log.isEmpty());
}

TEST(SweepEngine, OneResolverObjectPerSweepAndNoneWithoutAFactory) {
    Engine e;
    for (const char* a : {"10.1.2.1", "10.1.2.3", "10.1.2.4"})
        e.echo.answer(a);
    e.range.lastHost = 4;
    std::vector<int> liveAtYield;
    e.observer.onYield = [&](const QString&) { liveAtYield.push_back(e.components.live); };
    e.run();
    EXPECT_EQ(e.components.created, 1);
    EXPECT_EQ(e.components.live, 0) << "released when the sweep returns";
    EXPECT_EQ(liveAtYield, (std::vector<int>{1, 1, 1, 1}));
    EXPECT_EQ(e.components.lookups, 3);

    Recorder plain;
    SweepEngine(e.echo, nullptr).run(e.range, e.settings, plain);
    EXPECT_EQ(e.components.created, 1) << "no factory, no object";
    ASSERT_EQ(plain.found_.size(), 3u);
    EXPECT_EQ(plain.found_[0].name, "Not available");
    EXPECT_TRUE(plain.questions.empty()) << "a caller without names is not told about them";
}

} // namespace
} // namespace kestrion::sweep
