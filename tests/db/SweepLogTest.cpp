#include "db/SweepLog.h"
#include "db/AddressHistory.h"
#include "db/RunDatabase.h"
#include "db/SavedRuns.h"
#include "tests/support/fakes/AppFolder.h"
#include "tests/support/fakes/FakeServices.h"

#include <gtest/gtest.h>

using namespace kestrion;
using db::ChangeKind;
using test::AppFolder;

namespace {

struct SweepLogFixture : ::testing::Test {
    AppFolder folder;
    test::FakeClock clock{QDateTime(QDate(2026, 12, 9), QTime(10, 0))};
    db::SavedRuns runs{folder.paths, folder.busy, clock};

    void saveAt(int hour, const std::vector<db::ResultRow>& rows, db::SweptBy by = db::SweptBy::Window) {
        clock.time = QDateTime(QDate(2026, 12, 9), QTime(hour, 0, 30));
        ASSERT_EQ(runs.SaveRun("10.5.1.1-20", rows, {by, 1500}), db::SaveOutcome::Saved);
    }
    db::SweepLog log() {
        db::RunDatabase run(folder.paths, folder.busy);
        auto read = db::readSweepLog(run.db(), "10.5.1.1-20");
        EXPECT_TRUE(read);
        return read ? *read : db::SweepLog{};
    }
};

} // namespace

// An older file: sweeps saved without the log, one of them with nobody answering (no rows at all).
// On the first open the log is filled from the result rows, one sweep per RunDate; the empty sweep
// stays "not logged", and the specified tables keep every row.
TEST_F(SweepLogFixture, AnOlderFileIsLoggedFromItsRowsOnFirstOpenWithoutChangingThem) {
    {
        db::Database database(folder.paths.database());
        database.exec("INSERT INTO tblSavedRuns VALUES (1, '10.5.1.1-20', '2026-12-01 08:00:00', 3);"
                      "INSERT INTO tblSuccess VALUES (1, '2026-12-01 08:00:00', '10.5.1.4', '3'),"
                      " (1, '2026-12-01 08:00:00', '10.5.1.9', '12'),"
                      " (1, '2026-12-02 08:00:00', '10.5.1.4', 'n/a'),"
                      " (1, '2026-12-02 08:00:00', '10.9.9.9', '40');");
    }
    const QStringList rowsBefore =
        folder.column("SELECT RunNo || RunDate || successIP || SuccessRTT FROM tblSuccess");
    const db::SweepLog older = log();
    EXPECT_EQ(folder.column("SELECT RunNo || RunDate || successIP || SuccessRTT FROM tblSuccess"),
              rowsBefore);
    EXPECT_EQ(folder.count("SELECT numberofruns FROM tblSavedRuns"), 3);
    ASSERT_EQ(older.sweeps.size(), 2u);
    EXPECT_EQ(older.notLogged(), 1);
    EXPECT_EQ(older.sweeps[0].date, "2026-12-01 08:00:00");
    EXPECT_EQ(older.sweeps[0].answered, 2);
    EXPECT_EQ(older.sweeps[0].by, db::SweptBy::Earlier);
    EXPECT_FALSE(older.sweeps[0].durationMs);
    EXPECT_EQ(older.sweeps[0].firstAddress, "10.5.1.1");
    EXPECT_EQ(older.sweeps[0].lastAddress, "10.5.1.20");
    EXPECT_EQ(older.sweeps[1].answerOf(older.block, "10.5.1.4"), db::kTimeUnknown);
    EXPECT_EQ(older.sweeps[1].answerOf(older.block, "10.9.9.9"), 40) << "an answer from outside the block";

    // Opening again adds nothing; a save of this build is logged with who swept and how long.
    EXPECT_EQ(log().sweeps.size(), 2u);
    saveAt(9, {{"10.5.1.9", 7}}, db::SweptBy::Schedule);
    const db::SweepLog now = log();
    ASSERT_EQ(now.sweeps.size(), 3u);
    EXPECT_EQ(now.notLogged(), 1);
    EXPECT_EQ(now.sweeps[2].by, db::SweptBy::Schedule);
    EXPECT_EQ(now.sweeps[2].durationMs, 1500);

    // A program without the log saves again: the next open logs that sweep from its rows.
    {
        db::Database database(folder.paths.database());
        database.exec("UPDATE tblSavedRuns SET numberofruns = numberofruns + 1;"
                      "INSERT INTO tblSuccess VALUES (1, '2026-12-09 11:00:00', '10.5.1.4', '5');");
    }
    const db::SweepLog caughtUp = log();
    ASSERT_EQ(caughtUp.sweeps.size(), 4u);
    EXPECT_EQ(caughtUp.sweeps[3].answerOf(caughtUp.block, "10.5.1.4"), 5);
    EXPECT_EQ(caughtUp.notLogged(), 1);

    // Deleting the run takes its log with it.
    EXPECT_TRUE(runs.DeleteSavedRun("10.5.1.1-20"));
    EXPECT_EQ(folder.count("SELECT count(*) FROM tblSweepLog"), 0);
    EXPECT_EQ(folder.count("SELECT count(*) FROM tblSweepLogCount"), 0);
}

// .4 answers, goes for two sweeps and comes back; .9 answers only in the latest; .7 goes in the latest.
TEST_F(SweepLogFixture, HistoryAndChangesFollowTheAnswersOfEachSweep) {
    saveAt(1, {{"10.5.1.4", 3}, {"10.5.1.7", 9}});
    saveAt(2, {{"10.5.1.7", 8}});
    saveAt(3, {{"10.5.1.7", 10}});
    saveAt(4, {{"10.5.1.4", 5}, {"10.5.1.9", 1}});
    const db::SweepLog sweeps = log();

    const db::AddressHistory four = db::addressHistory(sweeps, "10.5.1.4");
    EXPECT_EQ(four.answeredIn, 2);
    EXPECT_EQ(four.logged, 4);
    EXPECT_EQ(four.firstSeen, "2026-12-09 01:00:00");
    EXPECT_EQ(four.lastSeen, "2026-12-09 04:00:00");
    EXPECT_TRUE(four.silentSince.isNull()) << "answered in the latest sweep";
    EXPECT_EQ(four.lastTime, 5u);
    EXPECT_EQ(four.medianTime, 3u);

    const db::AddressHistory seven = db::addressHistory(sweeps, "10.5.1.7");
    EXPECT_EQ(seven.silentSince, "2026-12-09 04:00:00");
    EXPECT_EQ(seven.sweepsSinceLastAnswer, 1);
    EXPECT_EQ(seven.medianTime, 9u);
    ASSERT_EQ(seven.sweeps.size(), 4u);
    EXPECT_FALSE(seven.sweeps[3].answered);

    const db::AddressHistory never = db::addressHistory(sweeps, "10.5.1.15");
    EXPECT_EQ(never.answeredIn, 0);
    EXPECT_TRUE(never.lastSeen.isNull());
    EXPECT_EQ(never.sweepsSinceLastAnswer, 4);

    const auto latest = db::latestChanges(sweeps);
    ASSERT_TRUE(latest);
    EXPECT_EQ(latest->earlierDate, "2026-12-09 03:00:00");
    ASSERT_EQ(latest->changes.size(), 3u);
    EXPECT_EQ(latest->changes[0].address, "10.5.1.4");
    EXPECT_EQ(latest->changes[0].kind, ChangeKind::Back);
    EXPECT_EQ(latest->changes[1].address, "10.5.1.7");
    EXPECT_EQ(latest->changes[1].kind, ChangeKind::Gone);
    EXPECT_EQ(latest->changes[2].address, "10.5.1.9");
    EXPECT_EQ(latest->changes[2].kind, ChangeKind::New);

    // Since the first sweep: .4 answered in both, so only .7 (gone) and .9 (new) changed.
    const auto sinceFirst = db::latestChanges(sweeps, "2026-12-09 01:30:00");
    ASSERT_TRUE(sinceFirst);
    EXPECT_EQ(sinceFirst->count(ChangeKind::Gone), 1);
    EXPECT_EQ(sinceFirst->count(ChangeKind::New), 1);
    EXPECT_EQ(sinceFirst->count(ChangeKind::Back), 0);
    EXPECT_FALSE(db::latestChanges(sweeps, "2026-12-08 00:00:00")) << "no sweep at or before the date";
}

TEST(SweepLog, OnlyAddressesOfTheBlockHaveACell) {
    EXPECT_EQ(db::octetInBlock("10.5.1", "10.5.1.20"), 20);
    EXPECT_EQ(db::octetInBlock("10.5.1", "10.5.1.020"), 20);
    EXPECT_EQ(db::octetInBlock("10.5.1", "10.5.10.2"), std::nullopt);
    EXPECT_EQ(db::octetInBlock("10.5.1", "10.5.1.256"), std::nullopt);
    EXPECT_EQ(db::octetInBlock("10.5.1", "10.5.1.+5"), std::nullopt);
    EXPECT_EQ(db::octetInBlock("10.5.1", "10.5.1."), std::nullopt);
}

// The delivered file has no saved run: opening it writes nothing (a user's copy stays the delivered
// file), and the first save makes the log.
TEST_F(SweepLogFixture, AFileWithoutSavedRunsIsLeftAsItIsUntilItsFirstSave) {
    const QByteArray delivered = folder.bytes("KRdb.mdb");
    EXPECT_TRUE(runs.listRanges().isEmpty());
    EXPECT_EQ(folder.bytes("KRdb.mdb"), delivered);
    saveAt(8, {{"10.5.1.2", 1}});
    EXPECT_EQ(log().sweeps.size(), 1u);
}

// A file the log was added to still opens in a build without it: every table, view, index and trigger
// of the delivered file is there with the same definition, the log's own objects are the only new ones,
// and the statements such a build runs (save, count, schedule, delete) work on it and keep it whole.
TEST_F(SweepLogFixture, AnUpgradedFileKeepsTheDeliveredSchemaForBuildsWithoutTheLog) {
    const char* const schema = "SELECT type || ' ' || name || ': ' || ifnull(sql, '') FROM sqlite_master "
                               "WHERE name NOT LIKE 'sqlite_%' ORDER BY name";
    const QStringList delivered = folder.column(schema);
    saveAt(8, {{"10.5.1.4", 3}});
    const QStringList upgraded = folder.column(schema);
    QStringList added;
    for (const QString& object : upgraded) {
        if (!delivered.contains(object))
            added << object.section(QLatin1Char(':'), 0, 0);
    }
    for (const QString& object : delivered)
        EXPECT_TRUE(upgraded.contains(object)) << object.toStdString();
    for (const QString& object : added)
        EXPECT_TRUE(object.contains(QLatin1String("SweepLog"))) << "not the log's: " << object.toStdString();
    EXPECT_FALSE(added.isEmpty());

    {
        db::Database older(folder.paths.database());
        older.exec("INSERT INTO tblSuccess VALUES (1, '2026-12-09 09:00:00', '10.5.1.4', '4');"
                   "UPDATE tblSavedRuns SET numberofruns = numberofruns + 1 WHERE RunNo = 1;"
                   "INSERT INTO tblSchedules VALUES ('2026-12-10 08:00:00', '10.5.1.1-20');"
                   "DELETE FROM tblSchedules;"
                   "DELETE FROM tblSuccess WHERE RunNo = 1;"
                   "DELETE FROM tblSavedRuns WHERE RunNo = 1;");
    }
    EXPECT_EQ(folder.column("PRAGMA integrity_check"), QStringList{"ok"});
    EXPECT_TRUE(folder.column("PRAGMA foreign_key_check").isEmpty());
    EXPECT_EQ(folder.count("SELECT count(*) FROM tblSweepLog"), 0) << "the run's log went with it";
}
