#include "db/SweepStore.h"
#include "db/pg/Schema.h"
#include "tests/db/pg/PgFixture.h"
#include "tests/support/fakes/AppFolder.h"

#include <QMap>
#include <QSet>
#include <thread>

namespace kestrion::test {
namespace {

using db::pg::Connection;
using db::pg::Param;
using db::pg::PgError;

class PgSchemaTest : public PgFixture {
protected:
    void SetUp() override {
        PgFixture::SetUp();
        if (!IsSkipped())
            db::pg::initSchema(*(connection = std::make_unique<Connection>(conninfo)));
    }

    // Column names (PostgreSQL folds unquoted names to lower case) of every table this session sees.
    static QMap<QString, QSet<QString>> serverColumns(Connection& on) {
        const auto rows = on.exec("SELECT c.relname, a.attname FROM pg_attribute a "
                                  "JOIN pg_class c ON c.oid = a.attrelid "
                                  "WHERE c.relkind = 'r' AND a.attnum > 0 AND NOT a.attisdropped "
                                  "AND pg_table_is_visible(c.oid) "
                                  "AND c.relnamespace NOT IN ('pg_catalog'::regnamespace, "
                                  "'information_schema'::regnamespace)");
        QMap<QString, QSet<QString>> tables;
        for (int i = 0; i < rows.rows(); ++i)
            tables[rows.textAt(i, 0)].insert(rows.textAt(i, 1));
        return tables;
    }

    std::unique_ptr<Connection> connection;
};

TEST_F(PgSchemaTest, InitialisingAgainChangesNothing) {
    connection->exec(
        "INSERT INTO tblSavedRuns (RunNo, runip, runcreatedate) VALUES (1, $1, $2)",
        {Param::text(QStringLiteral("10.0.0.1-254")), Param::text(QStringLiteral("2026-03-01 08:00:00"))});
    const db::pg::SchemaOutcome again = db::pg::initSchema(*connection);
    EXPECT_EQ(again.before, db::pg::kSchemaVersion);
    EXPECT_EQ(again.after, db::pg::kSchemaVersion);
    EXPECT_EQ(number("SELECT count(*) FROM schema_version"), 1);
    EXPECT_EQ(number("SELECT count(*) FROM tblSavedRuns"), 1) << "a second init kept the saved run";
    EXPECT_EQ(db::pg::schemaVersion(*connection), db::pg::kSchemaVersion);
}

TEST_F(PgSchemaTest, AgentsInitialisingOneNewDatabaseAtOnceTakeTurns) {
    const QString fresh = server()->createDatabase();
    std::vector<db::pg::SchemaOutcome> outcomes(4);
    std::vector<std::string> failures(4);
    std::vector<std::thread> agents;
    for (size_t i = 0; i < outcomes.size(); ++i)
        agents.emplace_back([&, i] {
            try {
                Connection own(fresh);
                outcomes[i] = db::pg::initSchema(own);
            } catch (const std::exception& error) {
                failures[i] = error.what();
            }
        });
    for (std::thread& agent : agents)
        agent.join();
    int made = 0;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        EXPECT_EQ(failures[i], std::string()) << "agent " << i;
        made += outcomes[i].before == 0 ? 1 : 0;
    }
    EXPECT_EQ(made, 1) << "exactly one agent made the tables";
}

TEST_F(PgSchemaTest, ANewerSchemaIsLeftAlone) {
    connection->exec("INSERT INTO schema_version (version) VALUES ($1)",
                     {Param::integer(db::pg::kSchemaVersion + 1)});
    try {
        db::pg::initSchema(*connection);
        ADD_FAILURE() << "a newer schema was accepted";
    } catch (const PgError& error) {
        EXPECT_TRUE(error.text().contains(QLatin1String("newer"))) << error.text().toStdString();
    }
    EXPECT_EQ(db::pg::schemaVersion(*connection), db::pg::kSchemaVersion + 1);
}

// Every table and column of the SQLite file (with the sweep log its first save makes) is on the server.
TEST_F(PgSchemaTest, HasEveryTableAndColumnOfTheFile) {
    AppFolder folder;
    {
        db::Database file(folder.paths.database());
        db::storeSweep(file, QStringLiteral("10.0.0.1-254"), {{QStringLiteral("10.0.0.1"), 1}},
                       QDateTime(QDate(2026, 3, 1), QTime(8, 0)));
    }
    db::Database file(folder.paths.database());
    auto tables = file.prepare("SELECT m.name, p.name FROM sqlite_master m, pragma_table_info(m.name) p "
                               "WHERE m.type = 'table'");
    QMap<QString, QSet<QString>> expected;
    while (tables.step())
        expected[tables.textAt(0).toLower()].insert(tables.textAt(1).toLower());
    ASSERT_TRUE(expected.contains(QStringLiteral("tblsweeplog")));

    db::pg::makeReportWorkTables(*connection);
    const QMap<QString, QSet<QString>> actual = serverColumns(*connection);
    for (auto table = expected.cbegin(); table != expected.cend(); ++table) {
        SCOPED_TRACE(table.key().toStdString());
        ASSERT_TRUE(actual.contains(table.key()));
        for (const QString& column : table.value())
            EXPECT_TRUE(actual[table.key()].contains(column)) << column.toStdString();
    }
    EXPECT_TRUE(actual[QStringLiteral("tblschedules")].contains(QStringLiteral("site")));
}

TEST_F(PgSchemaTest, KeysAndCascadesHoldAsInTheFile) {
    Connection& c = *connection;
    const auto run = [&c](int runNo, const char* range) {
        c.exec(
            "INSERT INTO tblSavedRuns (RunNo, runip, runcreatedate) VALUES ($1, $2, '2026-03-01 08:00:00')",
            {Param::integer(runNo), Param::text(QString::fromLatin1(range))});
    };
    const auto state = [&c](const char* sql, std::initializer_list<Param> params) {
        try {
            c.exec(sql, params);
        } catch (const PgError& error) {
            return error.sqlState();
        }
        return QString();
    };
    run(1, "10.0.0.1-254");
    EXPECT_EQ(state("INSERT INTO tblSavedRuns (RunNo, runip, runcreatedate) VALUES ($1, 'x', 'y')",
                    {Param::integer(32768)}),
              QStringLiteral("23514"))
        << "run numbers end at 32767";
    EXPECT_EQ(state("INSERT INTO tblSavedRuns (RunNo, runip, runcreatedate) VALUES (2, $1, 'y')",
                    {Param::text(QStringLiteral("10.0.0.1-254"))}),
              QStringLiteral("23505"))
        << "one run per range text";
    EXPECT_EQ(state("INSERT INTO tblSavedRuns (RunNo, runip, runcreatedate) VALUES (2, $1, 'y')",
                    {Param::text(QStringLiteral("10.0.0.1-254 "))}),
              QString())
        << "range texts match exactly";
    c.exec("INSERT INTO tblSchedules (scheddate, schedip, Site) VALUES ('2026-03-02 08:00:00', $1, NULL), "
           "('2026-03-01 09:00:00', $1, 'north')",
           {Param::text(QStringLiteral("10.0.0.1-254"))});
    EXPECT_EQ(state("INSERT INTO tblSchedules (scheddate, schedip) VALUES ('2026-03-01 09:00:00', $1)",
                    {Param::text(QStringLiteral("10.0.0.1-254 "))}),
              QStringLiteral("23505"))
        << "one schedule per date and time, whatever the range";
    EXPECT_EQ(
        state("INSERT INTO tblSchedules (scheddate, schedip) VALUES ('2026-03-05 09:00:00', 'nowhere')", {}),
        QStringLiteral("23503"));

    const auto order =
        c.exec("SELECT string_agg(scheddate, ',') FROM (SELECT scheddate FROM qrySchedules) s");
    EXPECT_EQ(order.textAt(0, 0), QStringLiteral("2026-03-01 09:00:00,2026-03-02 08:00:00"));
    c.exec("DELETE FROM qrySchedules WHERE scheddate = '2026-03-02 08:00:00'");
    EXPECT_EQ(number("SELECT count(*) FROM tblSchedules"), 1) << "a delete through the view leaves the table";

    c.exec("INSERT INTO tblSuccess VALUES (1, '2026-03-01 08:00:00', '10.0.0.5', '3')");
    c.exec("INSERT INTO tblSweepLog (RunNo, SweepDate, FirstIP, LastIP, Answered, SweptBy, Answers) "
           "VALUES (1, 'd', 'a', 'b', 1, 'cli', '\\x00')");
    c.exec("INSERT INTO tblSweepLogCount VALUES (1, 1)");
    c.exec("DELETE FROM tblSavedRuns WHERE RunNo = 1");
    EXPECT_EQ(number("SELECT (SELECT count(*) FROM tblSuccess) + (SELECT count(*) FROM tblSchedules) + "
                     "(SELECT count(*) FROM tblSweepLog) + (SELECT count(*) FROM tblSweepLogCount)"),
              0)
        << "deleting a run takes its results, schedules and log";
    // Ordering is by code point, as the file's binary collation: capitals before small letters.
    run(3, "b");
    run(4, "B");
    run(5, "a");
    EXPECT_EQ(
        c.exec("SELECT string_agg(runip, ',' ORDER BY runip) FROM tblSavedRuns WHERE RunNo > 2").textAt(0, 0),
        QStringLiteral("B,a,b"));
    EXPECT_EQ(
        c.exec("SELECT string_agg(runip, ',' ORDER BY rowid) FROM tblSavedRuns WHERE RunNo > 2").textAt(0, 0),
        QStringLiteral("b,B,a"))
        << "rowid keeps the order of insertion";
}

TEST_F(PgSchemaTest, ReportWorkTablesBelongToOneSession) {
    Connection other(conninfo);
    db::pg::makeReportWorkTables(*connection);
    db::pg::makeReportWorkTables(other);
    db::pg::makeReportWorkTables(other); // again: already there
    for (const char* address : {"10.0.0.9", "10.0.0.2", "10.0.0.7"})
        connection->exec("INSERT INTO tblFreeIPReport (successIP, RunNo, Status) VALUES ($1, 1, 'Free')",
                         {Param::text(QString::fromLatin1(address))});
    other.exec("INSERT INTO tblFreeIPReport (successIP, RunNo, Status) VALUES ('10.0.0.1', 1, 'Used')");
    EXPECT_EQ(connection->exec("SELECT string_agg(successIP, ',') FROM qryRptIPsFree").textAt(0, 0),
              QStringLiteral("10.0.0.9,10.0.0.2,10.0.0.7"))
        << "in the order the rows were added";
    EXPECT_EQ(connection->exec("SELECT count(*) FROM qryRptIPsUsed").intAt(0, 0), 0);
    EXPECT_EQ(other.exec("SELECT count(*) FROM tblFreeIPReport").intAt(0, 0), 1);
    Connection third(conninfo);
    EXPECT_EQ(third.exec("SELECT to_regclass('tblFreeIPReport') IS NULL").textAt(0, 0), QStringLiteral("t"))
        << "a session that made none has none";
}

} // namespace
} // namespace kestrion::test
