#include "db/SavedRuns.h"
#include "db/RunDatabase.h"
#include "tests/support/fakes/AppFolder.h"
#include "tests/support/fakes/FakeServices.h"

#include <gtest/gtest.h>

using namespace kestrion;
using db::ResultRow;
using db::SaveOutcome;
using test::AppFolder;

namespace {

struct SavedRunsFixture : ::testing::Test {
    AppFolder folder;
    test::FakeClock clock{QDateTime(QDate(2026, 3, 14), QTime(14, 30, 59))};
    db::SavedRuns runs{folder.paths, folder.busy, clock};
};

const std::vector<ResultRow> kTwoRows{{"10.0.0.1", 0}, {"10.0.0.7", 12}};

} // namespace

TEST_F(SavedRunsFixture, TwoSavesOfOneRangeAreCountedAndKeptUnderOneRunEachWithItsDate) {
    ASSERT_EQ(runs.SaveRun("10.0.0.1-254", kTwoRows), SaveOutcome::Saved);
    clock.time = QDateTime(QDate(2026, 3, 15), QTime(9, 5, 1));
    ASSERT_EQ(runs.SaveRun("10.0.0.1-254", {{"10.0.0.9", 3}}), SaveOutcome::Saved);

    const auto run = runs.find("10.0.0.1-254");
    ASSERT_TRUE(run);
    EXPECT_EQ(run->RunNo, 1);
    EXPECT_EQ(run->numberofruns, 2);
    EXPECT_EQ(run->runcreatedate, QDateTime(QDate(2026, 3, 14), QTime(14, 30, 59)));
    EXPECT_EQ(folder.count("SELECT count(*) FROM tblSavedRuns"), 1);
    EXPECT_EQ(folder.column(
                  "SELECT RunNo || ' ' || RunDate || ' ' || successIP || ' ' || SuccessRTT FROM tblSuccess "
                  "ORDER BY rowid"),
              QStringList({"1 2026-03-14 14:30:00 10.0.0.1 0", "1 2026-03-14 14:30:00 10.0.0.7 12",
                           "1 2026-03-15 09:05:00 10.0.0.9 3"}));
    EXPECT_EQ(folder.busy.depth, 0);
}

TEST(SavedRuns, RunDateIsTheWholeMinuteOfTheSave) {
    struct Row {
        const char* name;
        QTime at;
        const char* stored;
    } rows[] = {
        {"last second of a minute", QTime(14, 30, 59), "2026-03-14 14:30:00"},
        {"with milliseconds", QTime(23, 59, 59, 999), "2026-03-14 23:59:00"},
        {"exactly midnight", QTime(0, 0, 0), "2026-03-14 00:00:00"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AppFolder folder;
        test::FakeClock clock{QDateTime(QDate(2026, 3, 14), row.at)};
        db::SavedRuns runs(folder.paths, folder.busy, clock);
        runs.SaveRun("10.0.0.1-254", kTwoRows);
        db::Database database(folder.paths.database());
        auto dates = database.prepare("SELECT DISTINCT RunDate FROM tblSuccess");
        ASSERT_TRUE(dates.step());
        EXPECT_EQ(dates.textAt(0), QString::fromLatin1(row.stored));
        EXPECT_FALSE(dates.step());
    }
}

TEST_F(SavedRunsFixture, AnEmptyGridStillCountsAsASave) {
    EXPECT_EQ(runs.SaveRun("10.0.0.1-254", {}), SaveOutcome::Saved);
    EXPECT_EQ(runs.SaveRun("10.0.0.1-254", {}), SaveOutcome::Saved);
    EXPECT_EQ(runs.find("10.0.0.1-254")->numberofruns, 2);
    EXPECT_EQ(folder.count("SELECT count(*) FROM tblSuccess"), 0);
}

TEST_F(SavedRunsFixture, RangeTextsMatchExactly) {
    runs.SaveRun("10.0.0.1-25", kTwoRows);
    runs.SaveRun("10.0.0.1-254", kTwoRows);
    runs.SaveRun("Lab.Net.1.1-9", {});
    runs.SaveRun("lab.net.1.1-9", {});
    EXPECT_EQ(runs.listRanges(),
              QStringList({"10.0.0.1-25", "10.0.0.1-254", "Lab.Net.1.1-9", "lab.net.1.1-9"}));
    EXPECT_EQ(runs.FindRunNo("10.0.0.1-254"), 2);
    EXPECT_EQ(runs.FindRunNo("lab.net.1.1-9"), 4);
    EXPECT_FALSE(runs.find("10.0.0.1-2"));
    EXPECT_FALSE(runs.find("10.0.0.1-254 "));
    EXPECT_FALSE(runs.DeleteSavedRun("LAB.NET.1.1-9"));
    EXPECT_EQ(folder.count("SELECT count(*) FROM tblSavedRuns"), 4);
}

TEST_F(SavedRunsFixture, ANewRangeTakesTheLowestFreeRunNumber) {
    runs.SaveRun("10.0.0.1-254", {});
    runs.SaveRun("10.0.1.1-254", {});
    runs.SaveRun("10.0.2.1-254", {});
    ASSERT_TRUE(runs.DeleteSavedRun("10.0.1.1-254"));
    clock.time = clock.time.addDays(1);
    runs.SaveRun("10.0.3.1-254", {{"10.0.3.4", 1}});

    EXPECT_EQ(runs.FindRunNo("10.0.3.1-254"), 2);
    EXPECT_EQ(runs.find("10.0.3.1-254")->numberofruns, 1);
    EXPECT_EQ(runs.find("10.0.3.1-254")->runcreatedate, clock.time);
    EXPECT_EQ(runs.listRanges(), QStringList({"10.0.0.1-254", "10.0.3.1-254", "10.0.2.1-254"}));
}

TEST_F(SavedRunsFixture, WhenEveryRunNumberIsTakenANewRangeStoresNothing) {
    {
        db::Database database(folder.paths.database());
        database.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 32767) "
                      "INSERT INTO tblSavedRuns SELECT i, 'r' || i, '2026-01-01 00:00:00', 1 FROM n;");
    }
    // The first open brings the sweep log up to date; the refused save must change nothing after it.
    runs.FindRunNo("r1");
    const QByteArray before = folder.bytes("KRdb.mdb");

    EXPECT_EQ(runs.SaveRun("10.0.0.1-254", kTwoRows), SaveOutcome::NoRunNumberLeft);
    EXPECT_EQ(folder.bytes("KRdb.mdb"), before);
    EXPECT_FALSE(QFile::exists(folder.file("KRDB.bak"))) << "nothing stored, so nothing to compact";

    // A range that already has its run is still saved.
    EXPECT_EQ(runs.SaveRun("r32767", kTwoRows), SaveOutcome::Saved);
    EXPECT_EQ(runs.FindRunNo("r32767"), 32767);
    EXPECT_EQ(folder.count("SELECT count(*) FROM tblSuccess WHERE RunNo = 32767"), 2);
}

TEST_F(SavedRunsFixture, FindRunNoHasNoNumberForARangeWithoutARun) {
    runs.SaveRun("10.0.0.1-254", {});
    runs.SaveRun("lab.net.1.1-9", {});
    EXPECT_EQ(runs.FindRunNo("10.0.0.1-254"), std::optional<int16_t>(1));
    EXPECT_EQ(runs.FindRunNo("10.0.9.1-254"), std::nullopt);
    EXPECT_EQ(runs.FindRunNo("LAB.net.1.1-9"), std::nullopt) << "letter case counts";
    EXPECT_EQ(runs.FindRunNo(""), std::nullopt);
    EXPECT_EQ(folder.busy.depth, 0);
}

TEST_F(SavedRunsFixture, DeletingARunRemovesItsResultsAndSchedulesOnly) {
    runs.SaveRun("10.0.0.1-254", kTwoRows);
    runs.SaveRun("10.0.1.1-254", {{"10.0.1.3", 2}});
    {
        db::Database database(folder.paths.database());
        database.exec("INSERT INTO tblSchedules VALUES ('2026-04-01 10:00:00', '10.0.0.1-254');"
                      "INSERT INTO tblSchedules VALUES ('2026-04-02 10:00:00', '10.0.0.1-254');"
                      "INSERT INTO tblSchedules VALUES ('2026-04-03 10:00:00', '10.0.1.1-254');");
    }
    ASSERT_TRUE(runs.DeleteSavedRun("10.0.0.1-254"));

    EXPECT_EQ(runs.listRanges(), QStringList({"10.0.1.1-254"}));
    EXPECT_EQ(folder.column("SELECT successIP FROM tblSuccess"), QStringList({"10.0.1.3"}));
    EXPECT_EQ(folder.column("SELECT schedip FROM qrySchedules"), QStringList({"10.0.1.1-254"}));
    EXPECT_EQ(folder.bytes("KRDB.bak"), folder.bytes("KRdb.mdb")) << "a deletion compacts too";
}

TEST_F(SavedRunsFixture, DeletingAnUnknownRangeChangesNothing) {
    runs.SaveRun("10.0.0.1-254", kTwoRows);
    const QByteArray before = folder.bytes("KRdb.mdb");
    const QByteArray oldBefore = folder.bytes("KRDB.old");
    EXPECT_FALSE(runs.DeleteSavedRun("10.0.5.1-254"));
    EXPECT_EQ(folder.bytes("KRdb.mdb"), before);
    EXPECT_EQ(folder.bytes("KRDB.old"), oldBefore) << "no compaction";
}

TEST_F(SavedRunsFixture, BackupsAfterOneAndAfterTwoSaves) {
    runs.SaveRun("10.0.0.1-254", kTwoRows);
    EXPECT_EQ(folder.bytes("KRDB.bak"), folder.bytes("KRdb.mdb"));
    EXPECT_EQ(folder.count("SELECT count(*) FROM tblSuccess", "KRDB.old"), 2)
        << "the old file has the new rows";

    clock.time = clock.time.addSecs(3600);
    runs.SaveRun("10.0.0.1-254", {{"10.0.0.9", 4}});
    EXPECT_EQ(folder.bytes("KRDB.bak"), folder.bytes("KRdb.mdb"));
    EXPECT_EQ(folder.count("SELECT count(*) FROM tblSuccess", "KRDB.old"), 3)
        << "the first save's .old is gone";
    EXPECT_EQ(folder.count("SELECT numberofruns FROM tblSavedRuns", "KRDB.bak"), 2);
    EXPECT_FALSE(QFile::exists(folder.file("KRdb.mdb.new")));
}

TEST_F(SavedRunsFixture, AFailureMidSaveStoresNoneOfIt) {
    runs.SaveRun("10.0.0.1-254", kTwoRows);
    {
        // Stands in for a disk that fills up on the third row.
        db::Database database(folder.paths.database());
        database.exec("CREATE TRIGGER failThird BEFORE INSERT ON tblSuccess WHEN NEW.successIP = '10.0.0.99' "
                      "BEGIN SELECT RAISE(ABORT, 'database or disk is full'); END;");
    }
    const std::vector<ResultRow> rows{{"10.0.0.3", 1}, {"10.0.0.4", 1}, {"10.0.0.99", 1}};
    EXPECT_THROW(runs.SaveRun("10.0.0.1-254", rows), db::DbError);
    EXPECT_THROW(runs.SaveRun("10.0.9.1-254", rows), db::DbError);

    EXPECT_EQ(runs.find("10.0.0.1-254")->numberofruns, 1);
    EXPECT_FALSE(runs.find("10.0.9.1-254")) << "a first save that fails creates no run";
    EXPECT_EQ(folder.count("SELECT count(*) FROM tblSuccess"), 2);
    EXPECT_EQ(folder.busy.depth, 0);
}
