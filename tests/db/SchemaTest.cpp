#include "tests/support/fakes/AppFolder.h"

#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

using kestrion::test::AppFolder;

namespace {

// Runs SQL through the sqlite3 shell on the folder's copy of the delivered database: what a user of
// the file, not this program's wrapper, sees in it.
QString shell(const AppFolder& folder, const QString& sql, bool* ok = nullptr) {
    QProcess process;
    process.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), QStringLiteral("-bail"),
                                              QStringLiteral("-noheader"), folder.paths.database()});
    process.write(sql.toUtf8());
    process.closeWriteChannel();
    process.waitForFinished(10000);
    if (ok)
        *ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError()).trimmed();
}

} // namespace

TEST(DeliveredDatabase, SchemaAsTheSqliteShellSeesIt) {
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
        << "the sqlite3 shell is not installed (scripts/setup.sh installs it)";
    struct Row {
        const char* name;
        const char* sql;
        const char* expected;
    } rows[] = {
        {"tables and views",
         "SELECT type || ' ' || name FROM sqlite_master WHERE type IN ('table', 'view') ORDER BY name;",
         "view qryRptIPsFree\nview qryRptIPsUsed\nview qrySchedules\ntable tblCurrentRun\n"
         "table tblDistinctSuccesses\ntable tblFreeIPReport\ntable tblSavedRuns\ntable tblSchedules\n"
         "table tblSuccess"},
        {"saved-run fields", "SELECT group_concat(name, ',') FROM pragma_table_info('tblSavedRuns');",
         "RunNo,runip,runcreatedate,numberofruns"},
        {"result fields", "SELECT group_concat(name, ',') FROM pragma_table_info('tblSuccess');",
         "RunNo,RunDate,successIP,SuccessRTT"},
        {"fields of the other tables and of the stored queries",
         "SELECT (SELECT group_concat(name, ',') FROM pragma_table_info(t.name)) FROM (SELECT 1 AS k, "
         "'tblSchedules' AS name UNION SELECT 2, 'qrySchedules' UNION SELECT 3, 'tblDistinctSuccesses' "
         "UNION SELECT 4, 'tblFreeIPReport' UNION SELECT 5, 'tblCurrentRun' UNION SELECT 6, 'qryRptIPsFree' "
         "UNION SELECT 7, 'qryRptIPsUsed') t ORDER BY k;",
         "scheddate,schedip\nscheddate,schedip\nRunNo,SuccessIP\nsuccessIP,RunNo,Status\n"
         "RunNo,RunIP,RunCreateDate,NumberOfRuns\nsuccessIP\nsuccessIP"},
        {"unique schedule date, on the date alone",
         "SELECT il.\"unique\" || ' ' || group_concat(ii.name) FROM pragma_index_list('tblSchedules') il, "
         "pragma_index_info(il.name) ii WHERE il.name = 'idxSchedulesDate';",
         "1 scheddate"},
        {"cascades",
         "SELECT 'tblSuccess ' || \"table\" || '.' || \"to\" || ' ' || on_delete "
         "FROM pragma_foreign_key_list('tblSuccess') UNION ALL "
         "SELECT 'tblSchedules ' || \"table\" || '.' || \"to\" || ' ' || on_delete "
         "FROM pragma_foreign_key_list('tblSchedules');",
         "tblSuccess tblSavedRuns.RunNo CASCADE\ntblSchedules tblSavedRuns.runip CASCADE"},
        {"cascading delete and the schedules in date order",
         "PRAGMA foreign_keys = ON;"
         "INSERT INTO tblSavedRuns VALUES (1, '10.0.0.1-254', '2026-01-01 10:00:00', 1),"
         " (2, '10.0.1.1-254', '2026-01-01 10:00:00', 1);"
         "INSERT INTO tblSuccess VALUES (1, '2026-01-01 10:00:00', '10.0.0.5', '1'),"
         " (2, '2026-01-01 10:00:00', '10.0.1.5', '1');"
         "INSERT INTO tblSchedules VALUES ('2026-02-03 10:00:00', '10.0.1.1-254'),"
         " ('2026-02-01 10:00:00', '10.0.0.1-254'), ('2026-02-02 10:00:00', '10.0.1.1-254');"
         "DELETE FROM tblSavedRuns WHERE RunNo = 1;"
         "SELECT successIP FROM tblSuccess; SELECT scheddate FROM qrySchedules;",
         "10.0.1.5\n2026-02-02 10:00:00\n2026-02-03 10:00:00"},
        {"deleting through qrySchedules",
         "INSERT INTO tblSavedRuns VALUES (1, '10.0.0.1-254', '2026-01-01 10:00:00', 1);"
         "INSERT INTO tblSchedules VALUES ('2026-02-01 10:00:00', '10.0.0.1-254'),"
         " ('2026-02-02 10:00:00', '10.0.0.1-254');"
         "DELETE FROM qrySchedules WHERE scheddate = '2026-02-01 10:00:00';"
         "SELECT count(*) FROM tblSchedules;",
         "1"},
        {"report sections in the order rows were added",
         "INSERT INTO tblFreeIPReport VALUES ('10.0.0.2', 1, 'Free'), ('10.0.0.10', 1, 'Used'),"
         " ('10.0.0.11', 1, 'Free'), ('10.0.0.100', 1, 'Used');"
         "SELECT group_concat(successIP) FROM qryRptIPsFree; SELECT group_concat(successIP) FROM "
         "qryRptIPsUsed;",
         "10.0.0.2,10.0.0.11\n10.0.0.10,10.0.0.100"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AppFolder fresh;
        bool ok = false;
        EXPECT_EQ(shell(fresh, QString::fromLatin1(row.sql), &ok), QString::fromLatin1(row.expected));
        EXPECT_TRUE(ok);
    }
}

TEST(DeliveredDatabase, RefusesWhatTheRulesForbid) {
    ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty())
        << "the sqlite3 shell is not installed (scripts/setup.sh installs it)";
    const QString twoRuns = QStringLiteral("INSERT INTO tblSavedRuns VALUES (1, 'a.b.c.1-2', 'x', 1),"
                                           " (2, 'a.b.d.1-2', 'x', 1);");
    struct Row {
        const char* name;
        const char* sql;
        const char* error;
    } rows[] = {
        {"a second schedule at the same minute, whatever the range",
         "INSERT INTO tblSchedules VALUES ('2026-02-01 10:00:00', 'a.b.c.1-2');"
         "INSERT INTO tblSchedules VALUES ('2026-02-01 10:00:00', 'a.b.d.1-2');",
         "UNIQUE constraint failed: tblSchedules.scheddate"},
        {"a second saved run of one range", "INSERT INTO tblSavedRuns VALUES (3, 'a.b.c.1-2', 'x', 1);",
         "UNIQUE constraint failed: tblSavedRuns.runip"},
        {"run number 32768", "INSERT INTO tblSavedRuns VALUES (32768, 'a.b.e.1-2', 'x', 1);",
         "CHECK constraint failed"},
        {"run number 0", "INSERT INTO tblSavedRuns VALUES (0, 'a.b.e.1-2', 'x', 1);",
         "CHECK constraint failed"},
        {"results of no saved run",
         "PRAGMA foreign_keys = ON; INSERT INTO tblSuccess VALUES (9, '2026-01-01 10:00:00', '1.2.3.4', "
         "'1');",
         "FOREIGN KEY constraint failed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AppFolder folder;
        bool ok = true;
        const QString out = shell(folder, twoRuns + QString::fromLatin1(row.sql), &ok);
        EXPECT_FALSE(ok);
        EXPECT_TRUE(out.contains(QLatin1String(row.error))) << out.toStdString();
    }
}
