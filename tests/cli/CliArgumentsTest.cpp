// Wrong command lines: one line naming the argument, status 2, nothing printed on standard output
// and nothing changed in the database; --help of every command.
#include "CliFixture.h"

#include "cli/Arguments.h"
#include "cli/Console.h"
#include "tests/support/LocalZone.h"

#include <QDir>
#include <QFileInfo>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace kestrion::test {
namespace {

using CliArguments = CliFixture;

TEST_F(CliArguments, WrongCommandLinesNameTheArgumentAndChangeNothing) {
    // Berlin's clock skips 02:00 to 03:00 on 29 March 2026.
    const LocalZone berlin("Europe/Berlin");
    struct Row {
        const char* name;
        QStringList arguments;
        const char* message;
    };
    const Row rows[] = {
        {"no command", {}, "kestrion-cli: no command given"},
        {"unknown command", {"ping"}, "kestrion-cli: unknown command 'ping'"},
        {"schedule without verb", {"schedule", "list"}, "kestrion-cli: schedule: expected 'add' or 'delete'"},
        {"unknown option", {"runs", "--all"}, "kestrion-cli: runs: unknown option '--all'"},
        {"extra argument", {"schedules", "now"}, "kestrion-cli: schedules: unexpected argument 'now'"},
        {"report without range",
         {"report"},
         "kestrion-cli: report: missing argument; usage: report RANGE [-o FILE] | RANGE --silent-for DAYS "
         "[--format FORMAT]"},
        {"-o without its file",
         {"report", "10.0.0.1-254", "-o"},
         "kestrion-cli: report: '-o' needs a value (FILE)"},
        {"-o given twice",
         {"report", "10.0.0.1-254", "-o", "a", "-o", "b"},
         "kestrion-cli: report: '-o' is given twice"},
        {"time without leading zero",
         {"schedule", "add", "10.0.0.1-254", "2026-03-20 9:30"},
         "kestrion-cli: schedule add: '2026-03-20 9:30' is not a date and time of the form \"YYYY-MM-DD "
         "HH:MM\""},
        {"day that does not exist",
         {"schedule", "add", "10.0.0.1-254", "2026-02-30 10:00"},
         "kestrion-cli: schedule add: '2026-02-30 10:00' is not a date and time of the form \"YYYY-MM-DD "
         "HH:MM\""},
        {"seconds given",
         {"schedule", "delete", "2026-03-20 12:00:00"},
         "kestrion-cli: schedule delete: '2026-03-20 12:00:00' is not a date and time of the form "
         "\"YYYY-MM-DD "
         "HH:MM\""},
        {"a minute the clock skips",
         {"schedule", "add", "10.0.0.1-254", "2026-03-29 02:30"},
         "kestrion-cli: schedule add: '2026-03-29 02:30' is not a date and time of the form \"YYYY-MM-DD "
         "HH:MM\""},
        {"report of a range with an octet above 254",
         {"report", "10.0.300.1-254"},
         "kestrion-cli: report: '10.0.300.1-254': 300 must be a number between 0 and 254"},
        {"report of a range ending past 254",
         {"report", "10.0.0.1-255", "-o", "r.txt"},
         "kestrion-cli: report: '10.0.0.1-255': 255 must be a number between 1 and 254"},
        {"schedule add of a range starting at host 0",
         {"schedule", "add", "10.0.0.0-254", "2026-03-21 12:00"},
         "kestrion-cli: schedule add: '10.0.0.0-254': 0 must be a number between 1 and 254"},
        {"schedule add with one argument",
         {"schedule", "add", "10.0.0.1-254"},
         "kestrion-cli: schedule add: missing argument; usage: schedule add RANGE \"YYYY-MM-DD HH:MM\""},
    };
    addRun(1, "10.0.0.1-254");
    addSchedule("2026-03-20 12:00:00", "10.0.0.1-254");
    const QByteArray before = world.folder.bytes("KRdb.mdb");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(run(row.arguments), cli::ExitUsage);
        EXPECT_TRUE(out.str().empty());
        ASSERT_EQ(errLines().size(), 2) << err.str();
        EXPECT_EQ(errLines()[0], QString::fromUtf8(row.message));
        EXPECT_TRUE(errLines()[1].startsWith("Try 'kestrion-cli ")) << errLines()[1].toStdString();
    }
    EXPECT_EQ(world.folder.bytes("KRdb.mdb"), before);
}

// A system-wide install keeps its data in a folder of the user's own, made and seeded on first use;
// help and usage texts use no data, so they make nothing.
TEST_F(CliArguments, HelpAndUsageTextsMakeNoDataFolder) {
    const QString userData = world.folder.file("user/Kestrion");
    world.folder.paths.dataFolder = userData;
    const QStringList lines[] = {{"--help"},
                                 {"--version"},
                                 {"report", "--help"},
                                 {"sweep", "--help"},
                                 {"schedule", "--help"},
                                 {"run-due", "--help"},
                                 {"runs", "extra"},
                                 {"nothing"}};
    for (const QStringList& line : lines) {
        SCOPED_TRACE(line.join(' ').toStdString());
        run(line);
        EXPECT_FALSE(QFileInfo::exists(world.folder.file("user"))) << err.str();
    }
    EXPECT_EQ(run({"runs"}), cli::ExitDone) << err.str();
    EXPECT_TRUE(QFileInfo(QDir(userData).filePath("KRdb.mdb")).isFile()) << "seeded at the first use";
}

// The progress line rewrites a line of standard error: only where standard output is a terminal too,
// so that it never lands among the lines a pipe or file takes.
TEST(CliConsole, ProgressOnlyWhereOutputAndErrorsAreTerminals) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int terminal = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    EXPECT_TRUE(cli::showsProgress(terminal, terminal));
    EXPECT_FALSE(cli::showsProgress(pipeEnds[1], terminal)) << "output piped, errors on the terminal";
    EXPECT_FALSE(cli::showsProgress(terminal, pipeEnds[1])) << "errors piped";
    for (const int fd : {terminal, master, pipeEnds[0], pipeEnds[1]})
        close(fd);
}

TEST_F(CliArguments, EveryCommandHasItsHelp) {
    const QStringList commands[] = {
        {"sweep"},  {"runs"}, {"report"}, {"schedules"}, {"schedule", "add"}, {"schedule", "delete"},
        {"run-due"}};
    for (const QStringList& command : commands) {
        SCOPED_TRACE(command.join(' ').toStdString());
        EXPECT_EQ(run(command + QStringList{"--help"}), cli::ExitDone);
        EXPECT_TRUE(outLines().value(0).startsWith("Usage: kestrion-cli " + command.join(' ')));
        EXPECT_TRUE(err.str().empty());
        // The overview names it too.
        EXPECT_EQ(run({"--help"}), cli::ExitDone);
        EXPECT_TRUE(QString::fromStdString(out.str()).contains("\n  " + command.join(' ') + ' '));
    }
}

TEST(CliRange, RangesAreTakenWithTheAddressBoxesBounds) {
    struct Row {
        const char* text;
        const char* taken; // "o1.o2.o3 first last", or empty when refused
    };
    const Row rows[] = {
        {"192.168.1.1-254", "192.168.1 1 254"},
        {"10.0.0.7", "10.0.0 7 7"},
        {"254.254.254.254-254", "254.254.254 254 254"},
        {"1.0.0.1-1", "1.0.0 1 1"},
        {"0.1.1.1-5", ""},
        {"255.1.1.1-5", ""},
        {"10.255.1.1-5", ""},
        {"10.1.1.0-5", ""},
        {"10.1.1.1-255", ""},
        {"10.1.1.9-3", ""},
        {"10.1.1", ""},
        {"10.1.1.1.1", ""},
        {"10.1.1.1-", ""},
        {"10.1.1.+1-5", ""},
        {" 10.1.1.1-5", ""},
        {"10.1.1.1-5 ", ""},
        {"10.1.1.99999999999-5", ""},
        {"", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const auto taken = cli::sweepRange(QString::fromLatin1(row.text));
        if (row.taken[0] == '\0') {
            EXPECT_TRUE(std::holds_alternative<cli::UsageError>(taken));
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<cli::SweepRange>(taken));
        const auto& range = std::get<cli::SweepRange>(taken);
        EXPECT_EQ(QStringLiteral("%1.%2.%3 %4 %5")
                      .arg(range.octet1, range.octet2, range.octet3)
                      .arg(range.firstHost)
                      .arg(range.lastHost),
                  QString::fromLatin1(row.taken));
    }
}

} // namespace
} // namespace kestrion::test
