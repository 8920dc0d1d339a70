// The commands on saved runs, reports and schedules, run in this process over a temporary application
// folder: what they print, what they store and what they refuse.
#include "CliFixture.h"

#include "app/DatabaseTab.h"
#include "app/MainWindow.h"
#include "tests/support/WindowFixture.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <functional>
#include <iostream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace kestrion::test {
namespace {

using CliDataCommands = CliFixture;

TEST_F(CliDataCommands, RunsAreListedWithCreationAndCount) {
    addRun(3, "192.168.1.1-254", "2026-03-01 08:00:00", 4);
    addRun(1, "10.0.0.1-20", "2026-02-11 17:45:10", 1);

    EXPECT_EQ(run({"runs"}), cli::ExitDone);

    // In the table's stored order, which is that of the run numbers.
    EXPECT_EQ(outLines(), (QStringList{"10.0.0.1-20\t2026-02-11 17:45:10\t1",
                                       "192.168.1.1-254\t2026-03-01 08:00:00\t4"}));
    EXPECT_TRUE(errLines().isEmpty());
}

TEST_F(CliDataCommands, SchedulesAreListedEarliestFirstAndLeftAlone) {
    addRun(1, "10.0.0.1-254");
    addSchedule("2026-03-15 07:00:00", "10.0.0.1-254");
    addSchedule("2026-03-01 07:00:00", "10.0.0.1-254"); // past: listing it changes nothing

    EXPECT_EQ(run({"schedules"}), cli::ExitDone);

    EXPECT_EQ(outLines(), (QStringList{"2026-03-01 07:00\t10.0.0.1-254", "2026-03-15 07:00\t10.0.0.1-254"}));
    EXPECT_EQ(schedules().size(), 2);
}

TEST_F(CliDataCommands, ScheduleAddStoresTheMinuteAndExpiresPastSchedules) {
    world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 40));
    addRun(1, "10.0.0.1-254");
    addSchedule("2026-03-14 09:29:00", "10.0.0.1-254");

    EXPECT_EQ(run({"schedule", "add", "10.0.0.1-254", "2026-03-14 09:30"}), cli::ExitDone);

    // The current minute is not past; the minute before is, and goes as the window's refresh says.
    EXPECT_EQ(schedules(), QStringList{"2026-03-14 09:30:00 10.0.0.1-254"});
    ASSERT_EQ(errLines().size(), 1);
    EXPECT_TRUE(
        errLines()[0].startsWith("kestrion-cli: Schedule Expired: The scheduled time for this run is past.  "
                                 "This schedule will be deleted "));
    EXPECT_TRUE(errLines()[0].endsWith("  Address: 10.0.0.1-254"));
}

TEST_F(CliDataCommands, ScheduleAddRefusalsChangeNothing) {
    struct Row {
        const char* name;
        const char* range;
        const char* when;
        const char* message;
    };
    const Row rows[] = {
        {"minute before now", "10.0.0.1-254", "2026-03-14 09:29",
         "kestrion-cli: Schedule Expired: The scheduled time for this run is past.  This schedule will not "
         "be saved."},
        {"minute taken by another range", "10.0.9.1-254", "2026-03-20 12:00",
         "kestrion-cli: Duplicate Schedule: There is already a schedule for this date and time saved.  "
         "Please try "
         "again."},
        {"range with no saved run", "10.0.7.1-254", "2026-03-21 12:00",
         "kestrion-cli: schedule add: no saved run has the range '10.0.7.1-254' ('kestrion-cli runs' lists "
         "them)"},
        {"range differing in letter case", "10.0.0.1-254X", "2026-03-21 12:00",
         "kestrion-cli: schedule add: no saved run has the range '10.0.0.1-254X' ('kestrion-cli runs' lists "
         "them)"},
    };
    world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 40));
    addRun(1, "10.0.0.1-254");
    addRun(2, "10.0.9.1-254");
    addRun(3, "10.0.0.1-254x");
    addSchedule("2026-03-20 12:00:00", "10.0.0.1-254");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(run({"schedule", "add", row.range, row.when}), cli::ExitFailure);
        EXPECT_EQ(errLines(), QStringList{row.message});
        EXPECT_EQ(schedules(), QStringList{"2026-03-20 12:00:00 10.0.0.1-254"});
    }
}

TEST_F(CliDataCommands, ScheduleDeleteRemovesThatMinuteOnly) {
    world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 30));
    addRun(1, "10.0.0.1-254");
    addSchedule("2026-03-20 12:00:00", "10.0.0.1-254");
    addSchedule("2026-03-20 12:01:00", "10.0.0.1-254");

    EXPECT_EQ(run({"schedule", "delete", "2026-03-20 12:00"}), cli::ExitDone);
    EXPECT_EQ(schedules(), QStringList{"2026-03-20 12:01:00 10.0.0.1-254"});

    EXPECT_EQ(run({"schedule", "delete", "2026-03-20 12:00"}), cli::ExitFailure);
    EXPECT_EQ(errLines(),
              QStringList{"kestrion-cli: schedule delete: no schedule is stored for 2026-03-20 12:00"});
    EXPECT_EQ(schedules(), QStringList{"2026-03-20 12:01:00 10.0.0.1-254"});
}

TEST_F(CliDataCommands, ChangesWaitForNoOneWhileTheWindowHoldsTheLock) {
    world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 30));
    addRun(1, "10.0.0.1-254");
    addSchedule("2026-03-20 12:00:00", "10.0.0.1-254");
    const QByteArray before = world.folder.bytes("KRdb.mdb");
    const auto window = holdLock(platform::LockHolder::Window);
    ASSERT_TRUE(window->acquired());

    const QStringList changes[] = {{"schedule", "add", "10.0.0.1-254", "2026-03-21 12:00"},
                                   {"schedule", "delete", "2026-03-20 12:00"},
                                   {"report", "10.0.0.1-254"}};
    for (const QStringList& change : changes) {
        SCOPED_TRACE(change.join(' ').toStdString());
        EXPECT_EQ(run(change), cli::ExitFailure);
        ASSERT_EQ(errLines().size(), 1);
        EXPECT_TRUE(errLines()[0].startsWith("kestrion-cli: Kestrion is already running"));
        EXPECT_TRUE(outLines().isEmpty());
    }
    EXPECT_EQ(world.folder.bytes("KRdb.mdb"), before);
    // Reading needs no lock.
    EXPECT_EQ(run({"runs"}), cli::ExitDone);
    EXPECT_EQ(outLines().size(), 1);
}

TEST_F(CliDataCommands, WithoutALockFileNothingIsWrittenAndNothingClaimsToBeRunning) {
    world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 30));
    addRun(1, "10.0.0.1-254");
    addSchedule("2026-03-14 09:00:00", "10.0.0.1-254"); // passed: run-due would expire it
    addSchedule("2026-03-14 09:30:00", "10.0.0.1-254"); // due: run-due would sweep it
    addSchedule("2026-03-20 12:00:00", "10.0.0.1-254");
    const QString lockFile = world.folder.paths.database() + QStringLiteral(".lock");
    ASSERT_TRUE(QDir().mkdir(lockFile));
    const QByteArray before = world.folder.bytes("KRdb.mdb");
    const QString why = QStringLiteral("the database cannot be locked (") + lockFile +
                        QStringLiteral(": Is a directory), so nothing was changed: another Kestrion could be "
                                       "writing it");

    const QStringList changes[] = {{"schedule", "add", "10.0.0.1-254", "2026-03-21 12:00"},
                                   {"schedule", "delete", "2026-03-20 12:00"},
                                   {"report", "10.0.0.1-254"},
                                   {"sweep", "10.0.0.1-3", "--save"}};
    for (const QStringList& change : changes) {
        SCOPED_TRACE(change.join(' ').toStdString());
        EXPECT_EQ(run(change), cli::ExitFailure);
        EXPECT_EQ(errLines(), QStringList{QStringLiteral("kestrion-cli: ") + why});
        EXPECT_TRUE(outLines().isEmpty());
    }
    EXPECT_EQ(run({"run-due"}), cli::ExitFailure);
    EXPECT_EQ(errLines(), QStringList{QStringLiteral("kestrion-cli: run-due: ") + why +
                                      QStringLiteral("; the schedules stay stored")});
    EXPECT_TRUE(world.echo.sent.empty());
    EXPECT_EQ(world.folder.bytes("KRdb.mdb"), before);
    // Reading needs no lock.
    EXPECT_EQ(run({"schedules"}), cli::ExitDone);
    EXPECT_EQ(outLines().size(), 3);
}

TEST_F(CliDataCommands, ReportOfARunWithoutAnswersIsDataNotFound) {
    addRun(1, "10.0.0.1-254");
    // The work tables as an earlier report of another run left them; the window's report reads them.
    world.folder.exec("INSERT INTO tblCurrentRun VALUES (2, '10.0.9.1-254', '2026-03-01 08:00:00', 2);"
                      "INSERT INTO tblFreeIPReport VALUES ('10.0.9.1', 2, 'Free');");
    const QStringList workTables =
        world.folder.column("SELECT RunIP FROM tblCurrentRun UNION ALL SELECT count(*) FROM tblFreeIPReport");

    EXPECT_EQ(run({"report", "10.0.0.1-254"}), cli::ExitFailure);

    EXPECT_TRUE(out.str().empty());
    EXPECT_EQ(errLines(),
              QStringList{"kestrion-cli: Data Not Found: No data found.  Please make sure there are "
                          "valid saved runs for this IP."});
    EXPECT_FALSE(QFile::exists(world.folder.file("IPReport.txt")));
    EXPECT_EQ(
        world.folder.column("SELECT RunIP FROM tblCurrentRun UNION ALL SELECT count(*) FROM tblFreeIPReport"),
        workTables);
}

// The window's wording asks the user to select an IP, which a command line cannot: it says which
// range has no run, as 'schedule add' does.
TEST_F(CliDataCommands, ReportOfAnUnknownRangeSaysWhichRangeHasNoRun) {
    addRun(1, "10.0.9.1-254");
    EXPECT_EQ(run({"report", "10.0.0.1-254"}), cli::ExitFailure);

    EXPECT_TRUE(out.str().empty());
    EXPECT_EQ(errLines(), QStringList{"kestrion-cli: report: no saved run has the range '10.0.0.1-254' "
                                      "('kestrion-cli runs' lists them)"});
}

// Where -o sends the report: "-" is standard output; a link is refused before anything is built;
// a device stays a device (a node of the null device's numbers in the test's folder, as root).
TEST_F(CliDataCommands, ReportOutputGoesWhereItIsNamedAndNeverThroughALink) {
    addRun(1, "10.0.0.1-254");
    world.folder.exec("INSERT INTO tblSuccess VALUES (1, '2026-03-01 08:00:00', '10.0.0.7', '1');");
    ASSERT_EQ(run({"report", "10.0.0.1-254"}), cli::ExitDone);
    const QByteArray report = QByteArray::fromStdString(out.str());
    QTemporaryDir folder;
    QTemporaryDir elsewhere;
    // A file named "-" would land in the current folder.
    struct CurrentFolder {
        QString previous = QDir::currentPath();
        ~CurrentFolder() { QDir::setCurrent(previous); }
    } current;
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    struct Row {
        const char* name;
        const char* file;
        std::function<bool(const QString& at)> prepare; // false: cannot be made here
        int status;
        bool toStandardOutput;
        const char* error; // the start of the one line on standard error
    };
    const QString target = elsewhere.filePath("target");
    const Row rows[] = {
        {"'-': standard output, no file of that name", "-", [](const QString&) { return true; },
         cli::ExitDone, true, nullptr},
        {"a link: refused, its target neither made nor written", "link.txt",
         [&](const QString& at) { return QFile::link(target, at); }, cli::ExitFailure, false,
         "kestrion-cli: report: '"},
        {"a device: written to, still a device", "null",
         [](const QString& at) {
             return ::mknod(QFile::encodeName(at).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
         },
         cli::ExitDone, false, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const QString at = folder.filePath(row.file);
        if (!row.prepare(at)) {
            std::cout << "[ NOTE ] " << row.name << ": cannot be made here\n";
            continue;
        }
        const QStringList before = QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        EXPECT_EQ(run({"report", "10.0.0.1-254", "-o", row.file}), row.status) << err.str();
        EXPECT_EQ(QByteArray::fromStdString(out.str()), row.toStandardOutput ? report : QByteArray());
        if (row.error) {
            ASSERT_EQ(errLines().size(), 1);
            EXPECT_TRUE(errLines()[0].startsWith(QLatin1String(row.error))) << errLines()[0].toStdString();
        } else {
            EXPECT_TRUE(errLines().isEmpty()) << err.str();
        }
        EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        EXPECT_FALSE(QFileInfo::exists(target));
    }
    struct stat device {};
    if (::lstat(QFile::encodeName(folder.filePath("null")).constData(), &device) == 0) {
        EXPECT_TRUE(S_ISCHR(device.st_mode)) << std::oct << device.st_mode;
    }
}

TEST_F(CliDataCommands, ADatabaseFailureIsOneLineWithNumberAndText) {
    ASSERT_TRUE(QFile::remove(world.folder.paths.database()));

    EXPECT_EQ(run({"runs"}), cli::ExitFailure);

    ASSERT_EQ(errLines().size(), 1);
    EXPECT_TRUE(errLines()[0].startsWith("kestrion-cli: Run-time error '")) << errLines()[0].toStdString();
    EXPECT_FALSE(QFile::exists(world.folder.paths.database())) << "the program never creates the database";
}

// The window's "Print Report..." and the command over the same database write the same bytes.
class CliReportMatchesWindow : public WindowFixture {};

TEST_F(CliReportMatchesWindow, StandardOutputAndFileEqualTheWindowsReport) {
    world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 26, 53));
    world.folder.exec("INSERT INTO tblSavedRuns VALUES (2, '192.168.1.1-254', '2026-03-01 08:15:00', 3);"
                      "INSERT INTO tblSavedRuns VALUES (5, '192.168.2.1-9', '2026-03-02 10:00:00', 1);"
                      "INSERT INTO tblSuccess VALUES (2, '2026-03-01 08:15:00', '192.168.1.20', '1');"
                      "INSERT INTO tblSuccess VALUES (2, '2026-03-02 08:15:00', '192.168.1.20', '2');"
                      "INSERT INTO tblSuccess VALUES (2, '2026-03-02 08:15:00', '192.168.1.7', '1');"
                      "INSERT INTO tblSuccess VALUES (5, '2026-03-02 10:00:00', '192.168.2.3', '1');");
    start();
    selectTab(2);
    auto* combo = find<QComboBox>("comboChooseRun");
    combo->setCurrentIndex(combo->findText("192.168.1.1-254"));
    find<QPushButton>("cmdFreeIPReport")->click();
    const QByteArray windowsReport = world.folder.bytes("IPReport.txt");
    ASSERT_FALSE(windowsReport.isEmpty());
    window.reset();

    // Another run's report in between, so the work tables hold something else.
    std::ostringstream out;
    std::ostringstream err;
    const cli::Services services{world.echo, world.clock, *world.settings, world.components,
                                 world.folder.paths};
    const cli::Console console{out, err};
    ASSERT_EQ(cli::runCommandLine({"report", "192.168.2.1-9"}, services, console), cli::ExitDone);
    out.str(std::string());
    ASSERT_EQ(cli::runCommandLine({"report", "192.168.1.1-254"}, services, console), cli::ExitDone);
    EXPECT_EQ(QByteArray::fromStdString(out.str()), windowsReport);

    const QString file = world.folder.file("copy.txt");
    ASSERT_EQ(cli::runCommandLine({"report", "192.168.1.1-254", "-o", file}, services, console),
              cli::ExitDone);
    QFile written(file);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), windowsReport);
    EXPECT_TRUE(err.str().empty()) << err.str();
}

} // namespace
} // namespace kestrion::test
