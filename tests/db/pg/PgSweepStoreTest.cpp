#include "db/SweepStore.h"
#include "db/pg/Schema.h"
#include "db/pg/SweepStore.h"
#include "tests/db/pg/PgFixture.h"
#include "tests/support/fakes/AppFolder.h"

#include <QProcess>
#include <QSet>
#include <chrono>
#include <thread>

namespace kestrion::test {
namespace {

using db::pg::Connection;
using db::pg::Param;

const QDateTime kMorning(QDate(2026, 3, 1), QTime(8, 15, 42));

class PgSweepStoreTest : public PgFixture {
protected:
    void SetUp() override {
        PgFixture::SetUp();
        if (IsSkipped())
            return;
        connection = std::make_unique<Connection>(conninfo);
        db::pg::initSchema(*connection);
    }

    db::SaveOutcome save(const char* range, const std::vector<db::ResultRow>& rows,
                         const QDateTime& when = kMorning) {
        return db::pg::storeSweep(*connection, QString::fromLatin1(range), rows, when,
                                  {db::SweptBy::CommandLine, 1234});
    }

    std::unique_ptr<Connection> connection;
};

TEST_F(PgSweepStoreTest, SavesRunRowsCountAndLogTogether) {
    ASSERT_EQ(save("10.0.0.1-254", {{QStringLiteral("10.0.0.1"), 3}, {QStringLiteral("10.0.0.20"), 0}}),
              db::SaveOutcome::Saved);
    ASSERT_EQ(save("10.0.0.1-254", {{QStringLiteral("10.0.0.1"), 5}}, kMorning.addSecs(3600)),
              db::SaveOutcome::Saved);
    ASSERT_EQ(save("10.0.1.1-254", {}), db::SaveOutcome::Saved);

    const auto runs =
        connection->exec("SELECT RunNo, runip, runcreatedate, numberofruns FROM tblSavedRuns ORDER BY RunNo");
    ASSERT_EQ(runs.rows(), 2);
    EXPECT_EQ(runs.intAt(0, 0), 1);
    EXPECT_EQ(runs.textAt(0, 2), QStringLiteral("2026-03-01 08:15:42")) << "created when first saved";
    EXPECT_EQ(runs.intAt(0, 3), 2);
    EXPECT_EQ(runs.intAt(1, 0), 2);
    EXPECT_EQ(runs.intAt(1, 3), 1) << "a sweep without answers counts too";

    const auto rows = connection->exec("SELECT RunNo, RunDate, successIP, SuccessRTT FROM tblSuccess "
                                       "ORDER BY RunDate, successIP");
    ASSERT_EQ(rows.rows(), 3);
    EXPECT_EQ(rows.textAt(0, 1), QStringLiteral("2026-03-01 08:15:00")) << "run dates are whole minutes";
    EXPECT_EQ(rows.textAt(1, 2), QStringLiteral("10.0.0.20"));
    EXPECT_EQ(rows.textAt(1, 3), QStringLiteral("0"));
    EXPECT_EQ(rows.textAt(2, 1), QStringLiteral("2026-03-01 09:15:00"));

    EXPECT_EQ(number("SELECT count(*) FROM tblSweepLog"), 3);
    EXPECT_EQ(number("SELECT CountedRuns FROM tblSweepLogCount WHERE RunNo = 1"), 2);
}

TEST_F(PgSweepStoreTest, ANewRunTakesTheLowestFreeNumber) {
    save("10.0.1.1-254", {});
    save("10.0.2.1-254", {});
    save("10.0.3.1-254", {});
    connection->exec("DELETE FROM tblSavedRuns WHERE RunNo = 2");
    save("10.0.4.1-254", {});
    EXPECT_EQ(number("SELECT RunNo FROM tblSavedRuns WHERE runip = '10.0.4.1-254'"), 2);
    connection->exec("DELETE FROM tblSavedRuns WHERE RunNo = 1");
    save("10.0.5.1-254", {});
    EXPECT_EQ(number("SELECT RunNo FROM tblSavedRuns WHERE runip = '10.0.5.1-254'"), 1);

    connection->exec("INSERT INTO tblSavedRuns (RunNo, runip, runcreatedate) "
                     "SELECT n, 'r' || n, 'd' FROM generate_series(4, 32767) AS n");
    EXPECT_EQ(save("10.0.6.1-254", {{QStringLiteral("10.0.6.1"), 1}}), db::SaveOutcome::NoRunNumberLeft);
    EXPECT_EQ(number("SELECT count(*) FROM tblSuccess WHERE successIP = '10.0.6.1'"), 0) << "nothing stored";
    EXPECT_EQ(save("10.0.5.1-254", {}), db::SaveOutcome::Saved) << "an existing run still takes sweeps";
}

// The log's encoding is the file's, byte for byte: the history and changes read either store alike.
TEST_F(PgSweepStoreTest, LogsTheSweepAsTheFileDoes) {
    const std::vector<db::ResultRow> rows = {
        {QStringLiteral("10.0.0.1"), 3},  {QStringLiteral("10.0.0.254"), 70000},
        {QStringLiteral("10.0.0.01"), 9}, {QStringLiteral("10.0.0.1"), 8},
        {QStringLiteral("10.9.9.9"), 12}, {QStringLiteral("odd \"text\\"), 4},
        {QStringLiteral("10.9.9.9"), 13}};
    save("10.0.0.1-254", rows);
    AppFolder folder;
    db::Database file(folder.paths.database());
    db::storeSweep(file, QStringLiteral("10.0.0.1-254"), rows, kMorning, {db::SweptBy::CommandLine, 1234});

    const auto server = connection->exec("SELECT SweepDate, FirstIP, LastIP, Answered, DurationMs, SweptBy, "
                                         "Answers, Others FROM tblSweepLog");
    auto local = file.prepare("SELECT SweepDate, FirstIP, LastIP, Answered, DurationMs, SweptBy, "
                              "Answers, Others FROM tblSweepLog");
    ASSERT_EQ(server.rows(), 1);
    ASSERT_TRUE(local.step());
    for (int column : {0, 1, 2, 5, 7})
        EXPECT_EQ(server.textAt(0, column), local.textAt(column)) << "column " << column;
    EXPECT_EQ(server.intAt(0, 3), local.intAt(3));
    EXPECT_EQ(server.intAt(0, 4), local.intAt(4));
    EXPECT_EQ(server.bytesAt(0, 6), local.blobAt(6).toByteArray());

    const auto stored =
        connection->exec("SELECT string_agg(successIP, '|' ORDER BY successIP) FROM tblSuccess");
    auto stored2 = file.prepare(
        "SELECT group_concat(successIP, '|') FROM (SELECT successIP FROM tblSuccess ORDER BY successIP)");
    ASSERT_TRUE(stored2.step());
    EXPECT_EQ(stored.textAt(0, 0), stored2.textAt(0)) << "every row as it came, quotes and backslashes too";
}

// Four agents (processes of their own) save 100 sweeps each at the same moment into 100 ranges,
// creating the runs as they go: without a guard two of them take the same lowest free number.
TEST_F(PgSweepStoreTest, FourAgentsSavingAtOnceLoseNothing) {
    constexpr int kAgents = 4;
    constexpr int kSweeps = 100;
    std::vector<std::unique_ptr<QProcess>> agents;
    for (int agent = 0; agent < kAgents; ++agent) {
        auto& process = agents.emplace_back(std::make_unique<QProcess>());
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(QStringLiteral(KESTRION_PG_SAVER),
                       {conninfo, QString::number(agent), QString::number(kSweeps)});
        ASSERT_TRUE(process->waitForStarted());
    }
    // Each agent connects first and says so; all then start at once.
    for (auto& process : agents) {
        ASSERT_TRUE(process->waitForReadyRead(30000));
        ASSERT_EQ(process->readLine().trimmed(), QByteArray("ready"));
    }
    // QProcess sends what it is given only when asked to wait for it: each agent gets its line now.
    for (auto& process : agents) {
        process->write("go\n");
        ASSERT_TRUE(process->waitForBytesWritten(10000));
    }
    for (auto& process : agents) {
        process->closeWriteChannel();
        ASSERT_TRUE(process->waitForFinished(120000));
        EXPECT_EQ(process->exitCode(), 0) << process->readAll().toStdString();
    }

    EXPECT_EQ(number("SELECT count(*) FROM tblSweepLog"), kAgents * kSweeps);
    EXPECT_EQ(number("SELECT sum(numberofruns) FROM tblSavedRuns"), kAgents * kSweeps);
    EXPECT_EQ(number("SELECT count(*) FROM tblSavedRuns"), 100);
    EXPECT_EQ(number("SELECT count(DISTINCT RunNo) FROM tblSavedRuns WHERE RunNo BETWEEN 1 AND 100"), 100)
        << "run numbers 1 to 100, none twice";
    EXPECT_EQ(number("SELECT count(*) FROM tblSavedRuns r WHERE numberofruns <> "
                     "(SELECT count(*) FROM tblSweepLog l WHERE l.RunNo = r.RunNo) OR numberofruns <> "
                     "(SELECT CountedRuns FROM tblSweepLogCount c WHERE c.RunNo = r.RunNo)"),
              0)
        << "each run counts exactly its own sweeps";
    // An agent's sweep is three rows sharing its round-trip time, all under the run of its range.
    EXPECT_EQ(number("SELECT count(*) FROM tblSuccess"), kAgents * kSweeps * 3);
    EXPECT_EQ(
        number("SELECT count(*) FROM (SELECT SuccessRTT FROM tblSuccess s JOIN tblSavedRuns r USING (RunNo) "
               "WHERE s.successIP LIKE split_part(r.runip, '.', 1) || '.' || split_part(r.runip, '.', 2) || "
               "'.' || split_part(r.runip, '.', 3) || '.%' GROUP BY SuccessRTT HAVING count(*) = 3) s"),
        kAgents * kSweeps);
}

// The server goes down while a save waits inside its transaction, after its run count, rows and
// log went in: the saver hears of it, and the server, started again, holds none of that sweep.
TEST_F(PgSweepStoreTest, AServerStoppedInTheMiddleOfASaveKeepsNoneOfIt) {
    QString whyNotHere;
    auto own = PostgresServer::start(whyNotHere);
    ASSERT_TRUE(own) << whyNotHere.toStdString();
    const QString shared = own->createDatabase();
    std::vector<db::ResultRow> block;
    for (uint32_t host = 1; host <= 254; ++host)
        block.push_back({QStringLiteral("10.0.0.%1").arg(host), host});
    {
        Connection first(shared);
        db::pg::initSchema(first);
        db::pg::storeSweep(first, QStringLiteral("10.0.0.1-254"), {block.front()}, kMorning);
    }
    // Another agent holds the log count's row: the save's last statement waits for it.
    Connection holder(shared);
    db::pg::Transaction holding(holder);
    holder.exec("SELECT CountedRuns FROM tblSweepLogCount WHERE RunNo = 1 FOR UPDATE");

    QString failure;
    QString failureState;
    std::thread saver([&] {
        try {
            Connection own_connection(shared);
            db::pg::storeSweep(own_connection, QStringLiteral("10.0.0.1-254"), block, kMorning.addSecs(3600));
        } catch (const db::pg::PgError& error) {
            failure = error.text();
            failureState = error.sqlState();
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool waiting = false;
    // Outside any transaction: one that is open sees the server's activity as it first looked.
    Connection watcher(shared);
    while (!waiting && std::chrono::steady_clock::now() < deadline) {
        waiting = watcher
                      .exec("SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock' "
                            "AND datname = current_database()")
                      .intAt(0, 0) > 0;
        if (!waiting)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    QString activity;
    if (!waiting) {
        const auto rows =
            watcher.exec("SELECT coalesce(state, '') || ' ' || coalesce(wait_event_type, '') || ' ' || "
                         "coalesce(wait_event, '') || ' ' || query FROM pg_stat_activity "
                         "WHERE backend_type = 'client backend'");
        for (int i = 0; i < rows.rows(); ++i)
            activity += rows.textAt(i, 0) + QLatin1Char('\n');
    }
    own->stopNow();
    saver.join();
    ASSERT_TRUE(waiting) << "the save never reached its last statement: " << failure.toStdString() << '\n'
                         << activity.toStdString();
    EXPECT_FALSE(failure.isEmpty()) << "the saver was told";
    EXPECT_TRUE(failureState.startsWith(QLatin1String("08")) || failureState.startsWith(QLatin1String("57P")))
        << failureState.toStdString() << ": " << failure.toStdString();

    own->startAgain();
    Connection after(shared);
    EXPECT_EQ(after.exec("SELECT numberofruns FROM tblSavedRuns").intAt(0, 0), 1);
    EXPECT_EQ(after.exec("SELECT count(*) FROM tblSuccess").intAt(0, 0), 1);
    EXPECT_EQ(after.exec("SELECT count(*) FROM tblSweepLog").intAt(0, 0), 1);
}

} // namespace
} // namespace kestrion::test
