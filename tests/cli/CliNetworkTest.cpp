// kestrion-cli as a process in a network of the test's own, with the real echo service, the Resolver
// and a temporary application folder, configuration and runtime folder: run-due end to end, against
// a running window's lock, against itself and against a sweep --save that holds the database, and
// sweep --save against the window's Save.
#include "app/MainWindow.h"
#include "db/Database.h"
#include "platform/DatabaseLock.h"
#include "platform/DateText.h"
#include "platform/IcmpSocketEcho.h"
#include "platform/com/RegistryComponentFactory.h"
#include "tests/support/Harness.h"
#include "tests/support/ResolverRegistration.h"
#include "tests/support/TestNetwork.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

namespace kestrion::test {
namespace {

using testsupport::TestNetwork;

constexpr const char* kInside = "KESTRION_CLI_NETWORK_INSIDE";

// kestrion-cli in an application folder of its own beside a fresh copy of the delivered database; the
// user's configuration (settings and class registry) is the Resolver registration's folder, and the
// runtime folder (the instance lock) a temporary one.
class CliInstall {
public:
    explicit CliInstall(const std::string& registryEnvironment) {
        const QString exe = app_.filePath(QStringLiteral("kestrion-cli"));
        ok_ = QFile::copy(QStringLiteral(KESTRION_CLI_EXECUTABLE), exe) &&
              QFile::copy(QStringLiteral(KESTRION_APP_DIR "/KRdb.mdb"), database()) &&
              QFile(database()).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
              QFile(runtime_.path())
                  .setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        config_ = QString::fromStdString(registryEnvironment.substr(registryEnvironment.find('=') + 1));
        environment_ = {registryEnvironment, "HOME=" + home_.path().toStdString(),
                        "XDG_RUNTIME_DIR=" + runtime_.path().toStdString(), "LC_ALL=C"};
    }

    bool ok() const { return ok_; }
    QString folder() const { return app_.path(); }
    QString runtime() const { return runtime_.path(); }
    QString database() const { return app_.filePath(QStringLiteral("KRdb.mdb")); }
    std::string exe() const { return app_.filePath(QStringLiteral("kestrion-cli")).toStdString(); }

    // The stored option as the window's Options tab leaves it.
    void store(const char* key, const char* value) const {
        QSettings ini(config_ + QStringLiteral("/Kestrion/Kestrion.conf"), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Settings/") + QLatin1String(key), QLatin1String(value));
    }
    void exec(const QString& sql) const {
        db::Database db(database());
        db.exec(sql.toUtf8().constData());
    }
    long long count(const char* sql) const {
        db::Database db(database());
        auto q = db.prepare(sql);
        return q.step() ? q.intAt(0) : -1;
    }
    QStringList column(const char* sql) const {
        db::Database db(database());
        auto q = db.prepare(sql);
        QStringList values;
        while (q.step())
            values << q.textAt(0);
        return values;
    }

    QProcessEnvironment processEnvironment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const std::string& entry : environment_) {
            const size_t equals = entry.find('=');
            env.insert(QString::fromStdString(entry.substr(0, equals)),
                       QString::fromStdString(entry.substr(equals + 1)));
        }
        return env;
    }

    // Runs it inside `ns` (empty: here) with its folders; `output` gets standard output and error.
    // `environment` adds to or replaces entries of its environment.
    int run(const std::string& ns, const std::vector<std::string>& arguments, std::string* output,
            const std::vector<std::string>& environment = {}) const {
        std::vector<std::string> argv;
        if (!ns.empty())
            argv = {"ip", "netns", "exec", ns};
        argv.push_back(exe());
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<std::string> env = environment_;
        env.insert(env.end(), environment.begin(), environment.end());
        return testsupport::runCommand(argv, output, env);
    }

private:
    QTemporaryDir app_, home_, runtime_;
    QString config_;
    std::vector<std::string> environment_;
    bool ok_ = false;
};

int occurrences(const std::string& text, const std::string& word) {
    int n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

QString storedMinute(const QDateTime& value) {
    return platform::toStoredDate(platform::toWholeMinute(value));
}

// A schedule for the minute it is now, carried out by run-due once; a minute that ends before run-due
// looks (the test then sees the schedule expire) is tried again with the next one.
std::string runDueInThisMinute(const CliInstall& cli, const std::string& ns, const char* range, int* status,
                               const std::function<int(std::string*)>& runIt = {}) {
    std::string output;
    for (int attempt = 0; attempt < 3; ++attempt) {
        cli.exec(QStringLiteral("INSERT INTO tblSchedules VALUES ('%1', '%2');")
                     .arg(storedMinute(QDateTime::currentDateTime()), QLatin1String(range)));
        *status = runIt ? runIt(&output) : cli.run(ns, {"run-due"}, &output);
        if (output.find("Schedule Expired") == std::string::npos)
            break;
    }
    return output;
}

TEST(CliNetwork, RunDueSweepsSavesAndRemovesTheScheduleOfThisMinute) {
    KESTRION_REQUIRE_NETNS();
    TestNetwork net("kclid");
    const testsupport::ResolverRegistration registry;
    ASSERT_TRUE(registry.ok()) << registry.output;
    const CliInstall cli(registry.environment);
    ASSERT_TRUE(cli.ok());
    cli.store("Timeout", "500");
    cli.exec("INSERT INTO tblSavedRuns VALUES (4, '127.0.0.1-254', '2026-03-01 08:00:00', 1);"
             "INSERT INTO tblSchedules VALUES ('2099-03-15 07:00:00', '127.0.0.1-254');");

    int status = -1;
    const std::string output = runDueInThisMinute(cli, net.client(), "127.0.0.1-254", &status);

    EXPECT_EQ(status, 0) << output;
    // The client's loopback block: every address answers.
    EXPECT_NE(output.find("Scheduled run complete: "), std::string::npos) << output;
    EXPECT_NE(output.find(" 127.0.0.1-254, 254 addresses answered"), std::string::npos) << output;
    EXPECT_EQ(cli.count("SELECT numberofruns FROM tblSavedRuns WHERE RunNo = 4;"), 2);
    EXPECT_EQ(cli.count("SELECT count(*) FROM tblSuccess WHERE RunNo = 4;"), 254);
    EXPECT_EQ(cli.column("SELECT scheddate FROM tblSchedules;"), QStringList{"2099-03-15 07:00:00"});
    EXPECT_TRUE(QFile::exists(cli.folder() + "/KRDB.bak"));
}

TEST(CliNetwork, RunDueLeavesTheScheduleToARunningWindow) {
    KESTRION_REQUIRE_NETNS();
    TestNetwork net("kclil");
    const testsupport::ResolverRegistration registry;
    ASSERT_TRUE(registry.ok()) << registry.output;
    const CliInstall cli(registry.environment);
    ASSERT_TRUE(cli.ok());
    cli.exec("INSERT INTO tblSavedRuns VALUES (4, '127.0.0.1-254', '2026-03-01 08:00:00', 1);");
    cli.exec(QStringLiteral("INSERT INTO tblSchedules VALUES ('%1', '127.0.0.1-254');")
                 .arg(storedMinute(QDateTime::currentDateTime())));
    QFile file(cli.database());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    // The lock the window takes at its start, beside the database.
    const platform::DatabaseLock window(cli.database(), platform::LockHolder::Window);
    ASSERT_TRUE(window.acquired());
    ASSERT_TRUE(QFile::exists(cli.database() + ".lock"));

    std::string output;
    EXPECT_EQ(cli.run(net.client(), {"run-due"}, &output), 0);

    EXPECT_EQ(output, "");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll() == before) << "the database changed";
}

TEST(CliNetwork, TwoRunDueAtOnceSweepTheScheduleOnce) {
    KESTRION_REQUIRE_NETNS();
    TestNetwork net("kcli2");
    // Silent time-outs behind the router: the sweep takes about 254 x 8 ms, long enough to overlap.
    net.addRouterRoute(TestNetwork::RouteKind::Blackhole, "10.1.9.0/24");
    const testsupport::ResolverRegistration registry;
    ASSERT_TRUE(registry.ok()) << registry.output;
    const CliInstall cli(registry.environment);
    ASSERT_TRUE(cli.ok());
    cli.store("Timeout", "8");
    cli.exec("INSERT INTO tblSavedRuns VALUES (7, '10.1.9.1-254', '2026-03-01 08:00:00', 1);");

    int status = -1;
    int otherStatus = -1;
    std::string other;
    const std::string output =
        runDueInThisMinute(cli, net.client(), "10.1.9.1-254", &status, [&](std::string* first) {
            std::thread second([&] { otherStatus = cli.run(net.client(), {"run-due"}, &other); });
            const int firstStatus = cli.run(net.client(), {"run-due"}, first);
            second.join();
            return firstStatus;
        });

    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(otherStatus, 0) << other;
    EXPECT_EQ(occurrences(output + other, "Scheduled run complete"), 1) << output << "\n---\n" << other;
    EXPECT_EQ(cli.count("SELECT numberofruns FROM tblSavedRuns WHERE RunNo = 7;"), 2);
    EXPECT_EQ(cli.count("SELECT count(*) FROM tblSchedules;"), 0);
}

// What the lock file's note says, once someone holds it.
QByteArray lockNote(const CliInstall& cli) {
    QFile note(cli.database() + ".lock");
    return note.open(QIODevice::ReadOnly) ? note.readAll() : QByteArray();
}

// A sweep --save holds the database; commands started in another runtime folder meet its lock all the
// same, and run-due waits for it to end, then carries out the schedule that fell due meanwhile.
TEST(CliNetwork, RunDueWaitsForASweepThatHoldsTheDatabaseThenCarriesOutItsSchedule) {
    KESTRION_REQUIRE_NETNS();
    TestNetwork net("kcliw");
    // Silent time-outs behind the router: the sweep takes about 254 x 10 ms.
    net.addRouterRoute(TestNetwork::RouteKind::Blackhole, "10.1.9.0/24");
    const testsupport::ResolverRegistration registry;
    ASSERT_TRUE(registry.ok()) << registry.output;
    const CliInstall cli(registry.environment);
    ASSERT_TRUE(cli.ok());
    cli.exec("INSERT INTO tblSavedRuns VALUES (4, '127.0.0.1-254', '2026-03-01 08:00:00', 1);");
    QTemporaryDir otherRuntime;
    const std::vector<std::string> otherSession = {"XDG_RUNTIME_DIR=" + otherRuntime.path().toStdString()};

    int status = -1;
    bool sweepEndedFirst = false;
    int sweepStatus = -1;
    std::string refused;
    int refusedStatus = -1;
    const std::string output =
        runDueInThisMinute(cli, net.client(), "127.0.0.1-254", &status, [&](std::string* runDue) {
            QProcess sweep;
            sweep.setProcessEnvironment(cli.processEnvironment());
            sweep.start("ip", {"netns", "exec", QString::fromStdString(net.client()),
                               QString::fromStdString(cli.exe()), "sweep", "10.1.9.1-254", "--timeout", "10",
                               "--save", "--no-names"});
            if (!sweep.waitForStarted(5000) ||
                !QTest::qWaitFor([&] { return lockNote(cli).endsWith(" command\n"); }, 5000))
                return -1;
            refusedStatus =
                cli.run("", {"schedule", "add", "127.0.0.1-254", "2099-01-01 10:00"}, &refused, otherSession);
            const int runDueStatus = cli.run(net.client(), {"run-due"}, runDue, otherSession);
            // The sweep's own save is there already: run-due went on only once the sweep had ended.
            sweepEndedFirst =
                cli.count("SELECT count(*) FROM tblSavedRuns WHERE runip = '10.1.9.1-254';") == 1;
            sweep.waitForFinished(30000);
            sweepStatus = sweep.exitCode();
            return runDueStatus;
        });

    EXPECT_EQ(refusedStatus, 1) << refused;
    EXPECT_NE(refused.find("Kestrion is already running"), std::string::npos) << refused;
    EXPECT_EQ(sweepStatus, 0);
    EXPECT_TRUE(sweepEndedFirst) << "run-due did not wait for the sweep";
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find(" 127.0.0.1-254, 254 addresses answered"), std::string::npos) << output;
    EXPECT_EQ(output.find("Schedule Expired"), std::string::npos) << output;
    EXPECT_EQ(cli.count("SELECT numberofruns FROM tblSavedRuns WHERE RunNo = 4;"), 2);
    EXPECT_EQ(cli.count("SELECT count(*) FROM tblSavedRuns WHERE runip = '10.1.9.1-254';"), 1)
        << "the sweep's own save";
    EXPECT_EQ(cli.count("SELECT count(*) FROM tblSchedules;"), 0);
}

TEST(CliNetwork, CtrlCEndsTheSweepAtTheNextAddressAndSavesNothing) {
    KESTRION_REQUIRE_NETNS();
    TestNetwork net("kclic");
    const testsupport::ResolverRegistration registry;
    ASSERT_TRUE(registry.ok()) << registry.output;
    const CliInstall cli(registry.environment);
    ASSERT_TRUE(cli.ok());

    // The router answers at once; the other addresses of its link are nobody's and time out.
    QProcess sweep;
    sweep.setProcessEnvironment(cli.processEnvironment());
    sweep.start("ip",
                {"netns", "exec", QString::fromStdString(net.client()), QString::fromStdString(cli.exe()),
                 "sweep", "10.1.2.1-254", "--timeout", "200", "--save", "--no-names"});
    ASSERT_TRUE(sweep.waitForStarted(5000));
    ASSERT_TRUE(sweep.waitForReadyRead(5000)) << sweep.readAllStandardError().toStdString();
    const QByteArray first = sweep.readLine();
    EXPECT_TRUE(first.startsWith("10.1.2.1\tNot available\t")) << first.toStdString();
    ::kill(static_cast<pid_t>(sweep.processId()), SIGINT);
    ASSERT_TRUE(sweep.waitForFinished(5000));

    EXPECT_EQ(sweep.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sweep.exitCode(), 130) << sweep.readAllStandardError().toStdString();
    EXPECT_EQ(cli.count("SELECT count(*) FROM tblSavedRuns;"), 0);
    EXPECT_EQ(cli.count("SELECT count(*) FROM tblSuccess;"), 0);
    EXPECT_FALSE(QFile::exists(cli.folder() + "/KRDB.bak"));
}

// Named machines of the host's link; 10.1.2.6 answers from another address, 10.1.2.8 is behind an
// "unreachable" route of the router, 10.1.2.7 says nothing.
const char* const kNames[] = {"10.1.2.1 gateway.cli.test", "10.1.2.2 files.cli.test",
                              "10.1.2.3 printer.cli.test", "10.1.2.4 wiki.cli.test"};

TEST(CliNetwork, SweepSaveStoresWhatTheWindowsSaveStores) {
    KESTRION_REQUIRE_NETNS();
    TestNetwork net("kclis");
    for (const char* address : {"10.1.2.3", "10.1.2.4", "10.1.2.6"})
        net.addHostAddress(address);
    net.addRouterRoute(TestNetwork::RouteKind::Unreachable, "10.1.2.8/32");
    net.writeNameFiles(TestNetwork::Node::Client,
                       std::vector<std::string>(std::begin(kNames), std::end(kNames)));
    net.setHostAnswersEcho(false);
    testsupport::Responder responder(net, {"10.1.2.2=answer", "10.1.2.3=answer", "10.1.2.4=delay:30",
                                           "10.1.2.6=from:10.1.2.2", "10.1.2.7=silent"});
    const testsupport::ResolverRegistration registry;
    ASSERT_TRUE(registry.ok()) << registry.output;

    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    const int status = testsupport::runInNamespace(
        net.client(), {self, "--gtest_filter=CliNetwork.InsideTheClient"},
        {std::string(kInside) + "=1", registry.environment, "QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(status, 0) << "the comparison inside the namespace failed; its output is above";
}

TEST(CliNetwork, InsideTheClient) {
    if (!qEnvironmentVariableIsSet(kInside))
        GTEST_SKIP() << "runs only inside the namespace of SweepSaveStoresWhatTheWindowsSaveStores";
    platform::IcmpSocketEcho echo;
    com::RegistryComponentFactory components;
    Harness window(true, [&](FakeWorld& world) {
        world.settings->write("Settings", "Timeout", "500");
        world.realEcho = &echo;
        world.realComponents = &components;
    });
    window.setRange("10", "1", "2", "1", "8");
    window.ping();
    ASSERT_EQ(window.panel1(), "Done.");
    window.button("cmdSaveRun")->click();
    QStringList windowLines;
    for (const QStringList& row : window.rows())
        windowLines << row.join('\t');

    const CliInstall cli("XDG_CONFIG_HOME=" + qEnvironmentVariable("XDG_CONFIG_HOME").toStdString());
    ASSERT_TRUE(cli.ok());
    cli.store("Timeout", "500");
    std::string output;
    ASSERT_EQ(cli.run("", {"sweep", "10.1.2.1-8", "--save"}, &output), 0) << output;

    // Rows with names; round-trip times differ from sweep to sweep, so the comparison leaves them out.
    auto withoutTimes = [](QStringList lines) {
        for (QString& line : lines)
            line = line.section('\t', 0, 1);
        return lines;
    };
    QStringList cliLines;
    for (const QString& line : QString::fromStdString(output).split('\n'))
        if (line.count('\t') == 2)
            cliLines << line;
    EXPECT_EQ(withoutTimes(cliLines), withoutTimes(windowLines));
    EXPECT_EQ(withoutTimes(windowLines),
              (QStringList{"10.1.2.1\tgateway.cli.test", "10.1.2.2\tfiles.cli.test",
                           "10.1.2.3\tprinter.cli.test", "10.1.2.4\twiki.cli.test"}));

    // The same saved run in both databases: range text, count, addresses; and the compaction's files.
    db::Database windowDb(window.world.folder.paths.database());
    auto stored = [](db::Database& db, const char* sql) {
        QStringList values;
        auto q = db.prepare(sql);
        while (q.step())
            values << q.textAt(0);
        return values;
    };
    const char* runsSql = "SELECT runip || ' ' || numberofruns FROM tblSavedRuns ORDER BY RunNo;";
    const char* rowsSql = "SELECT RunNo || ' ' || successIP FROM tblSuccess ORDER BY rowid;";
    EXPECT_EQ(cli.column(runsSql), stored(windowDb, runsSql));
    EXPECT_EQ(cli.column(rowsSql), stored(windowDb, rowsSql));
    EXPECT_EQ(cli.column(runsSql), QStringList{"10.1.2.1-8 1"});
    for (const char* name : {"/KRDB.bak", "/KRDB.old"}) {
        EXPECT_TRUE(QFile::exists(window.world.folder.dir.path() + name)) << name;
        EXPECT_TRUE(QFile::exists(cli.folder() + name)) << name;
    }
}

} // namespace
} // namespace kestrion::test
