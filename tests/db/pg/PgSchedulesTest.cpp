#include "db/pg/Schedules.h"
#include "db/pg/Schema.h"
#include "tests/db/pg/PgFixture.h"

#include <QSet>
#include <thread>

namespace kestrion::test {
namespace {

const QDateTime kNoon(QDate(2026, 3, 1), QTime(12, 0, 30));

class PgSchedulesTest : public PgFixture {
protected:
    void SetUp() override {
        PgFixture::SetUp();
        if (IsSkipped())
            return;
        connection = std::make_unique<db::pg::Connection>(conninfo);
        db::pg::initSchema(*connection);
        connection->exec(
            "INSERT INTO tblSavedRuns (RunNo, runip, runcreatedate) VALUES (1, '10.0.0.1-254', 'd')");
    }

    db::AddOutcome add(int minutesFromNoon, const char* site = "") {
        return db::pg::addSchedule(*connection,
                                   QDateTime(kNoon.date(), QTime(12, 0)).addSecs(60LL * minutesFromNoon),
                                   QStringLiteral("10.0.0.1-254"), QString::fromLatin1(site));
    }
    QString claim(const char* site, const QDateTime& now = kNoon) {
        const auto due = db::pg::claimDueSchedule(*connection, QString::fromLatin1(site), now);
        return due ? due->scheddate.toString(QStringLiteral("HH:mm")) : QStringLiteral("none");
    }

    std::unique_ptr<db::pg::Connection> connection;
};

TEST_F(PgSchedulesTest, ASiteTakesItsOwnAndThoseNamingNone) {
    EXPECT_EQ(add(-30, "north"), db::AddOutcome::Added);
    EXPECT_EQ(add(-20), db::AddOutcome::Added);
    EXPECT_EQ(add(-10, "south"), db::AddOutcome::Added);
    EXPECT_EQ(add(0, "north"), db::AddOutcome::Added);
    EXPECT_EQ(add(1), db::AddOutcome::Added);
    EXPECT_EQ(add(-20, "south"), db::AddOutcome::Duplicate) << "one schedule per minute, whatever the site";

    EXPECT_EQ(claim("south"), QStringLiteral("11:40")) << "the earliest it may take";
    EXPECT_EQ(claim("south"), QStringLiteral("11:50"));
    EXPECT_EQ(claim("south"), QStringLiteral("none")) << "north's are not south's";
    EXPECT_EQ(claim("north"), QStringLiteral("11:30"));
    EXPECT_EQ(claim("north"), QStringLiteral("12:00")) << "due within its minute";
    EXPECT_EQ(claim("north"), QStringLiteral("none")) << "12:01 is not due at 12:00:30";
    EXPECT_EQ(claim("north", kNoon.addSecs(30)), QStringLiteral("12:01"));
    EXPECT_EQ(number("SELECT count(*) FROM tblSchedules"), 0);
}

// Two agents of different sites claim at the same moment: each schedule naming no site is carried
// out once.
TEST_F(PgSchedulesTest, AgentsClaimingAtOnceNeverShareASchedule) {
    constexpr int kSchedules = 200;
    connection->exec(
        "INSERT INTO tblSchedules (scheddate, schedip) "
        "SELECT '2026-03-01 ' || lpad((i / 60)::text, 2, '0') || ':' || lpad((i % 60)::text, 2, '0') "
        "|| ':00', '10.0.0.1-254' FROM generate_series(0, $1 - 1) AS i",
        {db::pg::Param::integer(kSchedules)});
    std::vector<std::vector<QDateTime>> taken(2);
    std::vector<std::string> failures(2);
    std::vector<std::thread> agents;
    for (size_t agent = 0; agent < taken.size(); ++agent)
        agents.emplace_back([&, agent] {
            try {
                db::pg::Connection own(conninfo);
                const QString site = agent == 0 ? QStringLiteral("north") : QStringLiteral("south");
                while (const auto due = db::pg::claimDueSchedule(own, site, kNoon))
                    taken[agent].push_back(due->scheddate);
            } catch (const std::exception& error) {
                failures[agent] = error.what();
            }
        });
    for (std::thread& agent : agents)
        agent.join();
    QSet<QDateTime> all;
    for (size_t agent = 0; agent < taken.size(); ++agent) {
        EXPECT_EQ(failures[agent], std::string());
        for (const QDateTime& when : taken[agent])
            EXPECT_FALSE(all.contains(when)) << when.toString().toStdString() << " carried out twice";
        all.unite(QSet<QDateTime>(taken[agent].begin(), taken[agent].end()));
    }
    EXPECT_EQ(all.size(), kSchedules);
}

} // namespace
} // namespace kestrion::test
