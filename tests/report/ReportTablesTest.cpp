#include "db/ReportTables.h"
#include "ReportTestSupport.h"
#include "db/SavedRuns.h"
#include "db/SweepLog.h"
#include "tests/support/fakes/FakeServices.h"

#include <functional>

#include <gtest/gtest.h>

using kestrion::db::BuildReportTables;
using kestrion::test::addressesOf;
using kestrion::test::ReportFolder;

namespace {

// The rows of tblFreeIPReport as "address RunNo Status", in stored order.
QStringList reportRows(ReportFolder& folder) {
    return folder.column(QStringLiteral(
        "SELECT successIP || ' ' || RunNo || ' ' || Status FROM tblFreeIPReport ORDER BY rowid;"));
}

QStringList expectedRows(const QString& prefix, int runNo, const QStringList& used) {
    QStringList rows;
    for (const QString& address : addressesOf(prefix, 1, 254))
        rows.append(QStringLiteral("%1 %2 %3")
                        .arg(address)
                        .arg(runNo)
                        .arg(used.contains(address) ? QStringLiteral("Used") : QStringLiteral("Free")));
    return rows;
}

QStringList currentRun(ReportFolder& folder) {
    return folder.column(QStringLiteral("SELECT RunNo || '|' || RunIP || '|' || RunCreateDate || '|' || "
                                        "NumberOfRuns FROM tblCurrentRun;"));
}

} // namespace

TEST(BuildReportTables, MarksEveryHostAddressOfTheBlockUsedOrFree) {
    struct Row {
        const char* name;
        std::vector<QStringList> sweeps; // of run 12, range 192.168.1.1-254
        QStringList distinct;
        QStringList used;
    };
    const Row rows[] = {
        {"two addresses answering several times",
         {{"192.168.1.1", "192.168.1.20"}, {"192.168.1.20"}, {"192.168.1.1", "192.168.1.20"}},
         {"192.168.1.1", "192.168.1.20"},
         {"192.168.1.1", "192.168.1.20"}},
        {"octets 0 and 255 are never listed",
         {{"192.168.1.0", "192.168.1.7", "192.168.1.255"}},
         {"192.168.1.0", "192.168.1.7", "192.168.1.255"},
         {"192.168.1.7"}},
        {"a whole block answering",
         {addressesOf("192.168.1", 1, 254)},
         addressesOf("192.168.1", 1, 254),
         addressesOf("192.168.1", 1, 254)},
        {"an address must match as a whole text", {{"192.168.1.2"}}, {"192.168.1.2"}, {"192.168.1.2"}},
        {"the first answering address names the block",
         {{"192.168.1.9", "10.0.0.1"}, {"10.0.0.1", "192.168.1.10"}},
         {"192.168.1.9", "10.0.0.1", "192.168.1.10"},
         {"192.168.1.9", "192.168.1.10"}},
    };
    for (const Row& row : rows) {
        ReportFolder folder;
        folder.addRun(12, QStringLiteral("192.168.1.1-254"), QStringLiteral("2026-03-14 09:26:53"), 3);
        for (const QStringList& sweep : row.sweeps)
            folder.addSweep(12, sweep);

        BuildReportTables(folder.paths, folder.busy, 12);

        QStringList distinct = folder.column(QStringLiteral("SELECT SuccessIP FROM tblDistinctSuccesses;"));
        distinct.sort();
        QStringList wanted = row.distinct;
        wanted.sort();
        EXPECT_EQ(distinct, wanted) << row.name;
        EXPECT_EQ(reportRows(folder), expectedRows(QStringLiteral("192.168.1"), 12, row.used)) << row.name;
        EXPECT_EQ(currentRun(folder), QStringList{"12|192.168.1.1-254|2026-03-14 09:26:53|3"}) << row.name;
        EXPECT_EQ(folder.busy.depth, 0) << row.name;
    }
}

TEST(BuildReportTables, RowsOfOtherRunsHaveNoInfluence) {
    ReportFolder folder;
    folder.addRun(3, QStringLiteral("10.0.5.1-254"), QStringLiteral("2026-01-01 08:00:00"), 1);
    folder.addRun(4, QStringLiteral("10.0.6.1-100"), QStringLiteral("2026-01-02 08:00:00"), 2);
    folder.addRun(5, QStringLiteral("10.0.5.1-20"), QStringLiteral("2026-01-03 08:00:00"), 1);
    folder.addSweep(4, {"10.0.6.1", "10.0.6.2"});
    folder.addSweep(3, {"10.0.5.9"});
    folder.addSweep(5, {"10.0.5.10", "10.0.5.11"});

    BuildReportTables(folder.paths, folder.busy, 3);

    EXPECT_EQ(folder.column(QStringLiteral("SELECT RunNo || ' ' || SuccessIP FROM tblDistinctSuccesses;")),
              QStringList{"3 10.0.5.9"});
    EXPECT_EQ(reportRows(folder), expectedRows(QStringLiteral("10.0.5"), 3, {"10.0.5.9"}));
    EXPECT_EQ(currentRun(folder), QStringList{"3|10.0.5.1-254|2026-01-01 08:00:00|1"});
}

TEST(BuildReportTables, ABuildReplacesEverythingOfTheLastOne) {
    struct Row {
        const char* name;
        int16_t second;
        QStringList rows;    // of tblFreeIPReport after the second build
        QStringList current; // tblCurrentRun after the second build
    };
    const Row rows[] = {
        {"the same run again",
         1,
         expectedRows(QStringLiteral("10.9.8"), 1, {"10.9.8.4"}),
         {"1|10.9.8.1-254|2026-02-02 10:00:00|2"}},
        {"another run",
         2,
         expectedRows(QStringLiteral("10.9.7"), 2, {"10.9.7.200"}),
         {"2|10.9.7.1-254|2026-02-03 10:00:00|1"}},
        {"a run without answers", 3, {}, {}},
        {"run number 0", 0, {}, {}},
    };
    for (const Row& row : rows) {
        ReportFolder folder;
        folder.addRun(1, QStringLiteral("10.9.8.1-254"), QStringLiteral("2026-02-02 10:00:00"), 2);
        folder.addRun(2, QStringLiteral("10.9.7.1-254"), QStringLiteral("2026-02-03 10:00:00"), 1);
        folder.addRun(3, QStringLiteral("10.9.6.1-254"), QStringLiteral("2026-02-04 10:00:00"), 4);
        folder.addSweep(1, {"10.9.8.4"});
        folder.addSweep(1, {"10.9.8.4"});
        folder.addSweep(2, {"10.9.7.200"});

        BuildReportTables(folder.paths, folder.busy, 1);
        BuildReportTables(folder.paths, folder.busy, row.second);

        EXPECT_EQ(reportRows(folder), row.rows) << row.name;
        EXPECT_EQ(currentRun(folder), row.current) << row.name;
        const QStringList distinct = folder.column(QStringLiteral("SELECT RunNo FROM tblDistinctSuccesses;"));
        EXPECT_EQ(distinct.size(), row.rows.isEmpty() ? 0 : 1) << row.name;
        for (const QString& runNo : distinct)
            EXPECT_EQ(runNo.toInt(), row.second) << row.name;
    }
}

// The distinct answers of a run are kept beside the sweep log so that the report need not group a
// year of rows; whoever wrote the rows, tblDistinctSuccesses must hold what grouping them gives: the
// same texts (two spellings of one address are two rows), in the order of their first row.
TEST(BuildReportTables, TheDistinctAnswersAreWhatGroupingTheRowsGivesWhoeverWroteThem) {
    using Change = std::function<void(ReportFolder&, kestrion::db::SavedRuns&)>;
    const auto save = [](kestrion::db::SavedRuns& runs, const char* range, const QStringList& addresses) {
        std::vector<kestrion::db::ResultRow> rows;
        for (const QString& address : addresses)
            rows.push_back({address, 3});
        ASSERT_EQ(runs.SaveRun(QString::fromLatin1(range), rows), kestrion::db::SaveOutcome::Saved);
    };
    const Change saves = [save](ReportFolder&, kestrion::db::SavedRuns& runs) {
        save(runs, "10.5.1.1-20", {"10.5.1.9", "10.5.1.4"});
        save(runs, "10.5.2.1-20", {"10.5.2.7"});
        save(runs, "10.5.1.1-20", {"10.5.1.4", "10.5.1.020", "10.9.9.9"});
        save(runs, "10.5.1.1-20", {"10.5.1.20", "10.5.1.9"});
    };
    struct Row {
        const char* name;
        Change change;
        bool kept; // the kept addresses serve, rather than grouping the rows
    };
    const Row rows[] = {
        {"saves of this build, another run's between them", saves, true},
        {"an older file, logged on its first open",
         [](ReportFolder& folder, kestrion::db::SavedRuns&) {
             folder.addRun(1, QStringLiteral("10.5.1.1-20"), QStringLiteral("2026-02-02 10:00:00"), 3);
             folder.addSweep(1, {"10.5.1.12", "10.5.1.3"});
             folder.addSweep(1, {"10.5.1.3", "10.5.1.003", "10.5.1.1"});
         },
         true},
        {"a program without the log saved after this build",
         [saves](ReportFolder& folder, kestrion::db::SavedRuns& runs) {
             saves(folder, runs);
             folder.exec("UPDATE tblSavedRuns SET numberofruns = numberofruns + 1 WHERE RunNo = 1;"
                         "INSERT INTO tblSuccess VALUES (1, '2026-12-09 11:00:00', '10.5.1.17', '5'),"
                         " (1, '2026-12-09 11:00:00', '10.5.1.4', '5');");
         },
         true},
        {"rows added behind the log's back, not counted",
         [saves](ReportFolder& folder, kestrion::db::SavedRuns& runs) {
             saves(folder, runs);
             folder.exec("INSERT INTO tblSuccess VALUES (1, '2026-12-09 11:00:00', '10.5.1.18', '5');");
         },
         true},
        {"a log made before the kept addresses",
         [saves](ReportFolder& folder, kestrion::db::SavedRuns& runs) {
             saves(folder, runs);
             folder.exec("DROP TABLE tblSweepLogAddress;");
         },
         true},
        {"the latest rows taken away behind the log's back",
         [saves](ReportFolder& folder, kestrion::db::SavedRuns& runs) {
             saves(folder, runs);
             // The latest save's rows: 10.5.1.20 answered only there.
             folder.exec("DELETE FROM tblSuccess WHERE rowid >= (SELECT max(rowid) - 1 FROM tblSuccess);");
         },
         false},
    };
    for (const Row& row : rows) {
        ReportFolder folder;
        kestrion::test::FakeClock clock;
        kestrion::db::SavedRuns runs(folder.paths, folder.busy, clock);
        row.change(folder, runs);
        const QStringList grouped =
            folder.column("SELECT RunNo || ' ' || successIP FROM tblSuccess WHERE RunNo = 1 "
                          "GROUP BY successIP ORDER BY min(rowid);");
        ASSERT_FALSE(grouped.isEmpty()) << row.name;

        BuildReportTables(folder.paths, folder.busy, 1);
        EXPECT_EQ(folder.column("SELECT RunNo || ' ' || SuccessIP FROM tblDistinctSuccesses ORDER BY rowid;"),
                  grouped)
            << row.name;
        EXPECT_EQ(folder.column("SELECT rowid FROM tblDistinctSuccesses ORDER BY rowid LIMIT 1;"),
                  QStringList{"1"})
            << row.name;
        kestrion::db::Database database(folder.paths.database());
        EXPECT_EQ(kestrion::db::addressesUpToDate(database, 1), row.kept) << row.name;
    }
}
