// The typical road of a new user, end to end: the real window with the real echo service, the real
// Resolver and the real database, inside a network of the test's own. Started by ctest, the test
// builds the network, registers the Resolver library in a registry of its own and re-runs this binary
// inside the client namespace, where the window runs offscreen. Only the message boxes, the clock
// and the desktop shell are stand-ins: boxes are answered as a user would, the clock moves on between
// the two sweeps, and the report is checked instead of shown in a viewer.
#include "app/DatabaseTab.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "db/Database.h"
#include "platform/HostInfo.h"
#include "platform/IcmpSocketEcho.h"
#include "platform/com/RegistryComponentFactory.h"
#include "sweep/PingTab.h"
#include "tests/support/Harness.h"
#include "tests/support/ResolverRegistration.h"
#include "tests/support/TestNetwork.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTableView>
#include <filesystem>
#include <gtest/gtest.h>

namespace kestrion::test {
namespace {

using testsupport::TestNetwork;

constexpr const char* kInside = "KESTRION_ROAD_INSIDE";
constexpr const char* kHostNamespace = "KESTRION_ROAD_HOST_NS";

// Five machines answer in 10.1.2.0/24: the router (.1) and four addresses of the host (.2 to .5).
// Nobody has .6 to .8.
const char* const kNames[] = {"10.1.2.1 gateway.road.test", "10.1.2.2 files.road.test",
                              "10.1.2.3 printer.road.test", "10.1.2.4 wiki.road.test",
                              "10.1.2.5 laptop.road.test"};

TEST(Road, TwoSweepsSavedAndTheReportOfTheirRun) {
    KESTRION_REQUIRE_NETNS();
    TestNetwork net("kroad");
    for (const char* address : {"10.1.2.3", "10.1.2.4", "10.1.2.5"})
        net.addHostAddress(address);
    net.writeNameFiles(TestNetwork::Node::Client,
                       std::vector<std::string>(std::begin(kNames), std::end(kNames)));

    const testsupport::ResolverRegistration registry;
    ASSERT_TRUE(registry.ok()) << registry.output;

    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    const int status = testsupport::runInNamespace(
        net.client(), {self, "--gtest_filter=Road.InsideTheClient"},
        {std::string(kInside) + "=1", std::string(kHostNamespace) + "=" + net.host(), registry.environment,
         "QT_QPA_PLATFORM=offscreen", "LC_ALL=C"});
    EXPECT_EQ(status, 0) << "the road inside the namespace failed; its output is above";
}

// The end-to-end window with the buttons a user presses: a disabled one is a failure, not a no-op.
struct RoadWindow : Harness {
    using Harness::Harness;
    void press(const char* name) {
        QPushButton* b = button(name);
        ASSERT_TRUE(b->isEnabled()) << name;
        b->click();
    }
    void setRoadRange() { setRange("10", "1", "2", "1", "8"); }
    // Address -> name of every row of the results grid.
    QMap<QString, QString> results() const {
        QMap<QString, QString> names;
        for (const QStringList& row : rows())
            names.insert(row[0], row[1]);
        return names;
    }
};

// The addresses of one section of the report, from its heading to the next hyphen line or the end.
QStringList section(const QList<QByteArray>& lines, const QByteArray& heading, int* count) {
    QStringList addresses;
    int i = 0;
    while (i < lines.size() && !lines[i].startsWith(heading))
        ++i;
    if (i == lines.size())
        return addresses;
    *count = lines[i].mid(heading.size()).split(' ').first().toInt();
    for (i += 2; i < lines.size() && !lines[i].startsWith("-----"); ++i)
        for (const QByteArray& word : lines[i].split(' '))
            if (!word.isEmpty())
                addresses << QString::fromLatin1(word);
    return addresses;
}

TEST(Road, InsideTheClient) {
    if (!qEnvironmentVariableIsSet(kInside))
        GTEST_SKIP() << "runs only inside the namespace of TwoSweepsSavedAndTheReportOfTheirRun";
    platform::IcmpSocketEcho echo;
    platform::SystemHostInfo host;
    com::RegistryComponentFactory components;
    RoadWindow window(true, [&](FakeWorld& world) {
        world.clock.time = QDateTime(QDate(2026, 3, 14), QTime(9, 0));
        world.realEcho = &echo;
        world.realHost = &host;
        world.realComponents = &components;
    });
    app::MainWindow& main = *window.window;
    FakeWorld& world = window.world;
    // The start-up fills the block of the machine's own address.
    EXPECT_EQ(window.box("Text3")->text(), "1");

    // The Options tab: the shortest time-out, as a user of a quiet local network would choose.
    control<QTabWidget>(main, "SSTab1")->setCurrentIndex(1);
    window.find<QRadioButton>("optTimeout(0)")->click();
    control<QTabWidget>(main, "SSTab1")->setCurrentIndex(0);

    // First sweep: every machine answers, each with its name.
    window.setRoadRange();
    window.press("cmdPing");
    EXPECT_EQ(control<app::StatusBar>(main, "sbStatus")->panel(1), "Done.");
    const QMap<QString, QString> all{{"10.1.2.1", "gateway.road.test"},
                                     {"10.1.2.2", "files.road.test"},
                                     {"10.1.2.3", "printer.road.test"},
                                     {"10.1.2.4", "wiki.road.test"},
                                     {"10.1.2.5", "laptop.road.test"}};
    EXPECT_EQ(window.results(), all);
    window.press("cmdSaveRun");

    // The laptop leaves; the second sweep a few minutes later misses it.
    testsupport::runChecked({"ip", "-n", qEnvironmentVariable(kHostNamespace).toStdString(), "addr", "del",
                             "10.1.2.5/24", "dev", "eth0"});
    world.clock.time = world.clock.time.addSecs(qint64{5} * 60);
    window.press("cmdReset");
    window.setRoadRange();
    window.press("cmdPing");
    QMap<QString, QString> withoutLaptop = all;
    withoutLaptop.remove("10.1.2.5");
    EXPECT_EQ(window.results(), withoutLaptop);
    window.press("cmdSaveRun");

    // The Database tab lists the run; its report.
    control<QTabWidget>(main, "SSTab1")->setCurrentIndex(2);
    auto* combo = window.find<QComboBox>("comboChooseRun");
    combo->setCurrentIndex(combo->findText("10.1.2.1-8"));
    ASSERT_EQ(combo->currentText(), "10.1.2.1-8");
    window.press("cmdFreeIPReport");
    EXPECT_EQ(control<app::StatusBar>(main, "sbStatus")->panel(1), "Ready.");

    const QString reportPath = world.folder.paths.dataFolder + QStringLiteral("/IPReport.txt");
    ASSERT_EQ(world.shell.opened, QStringList{reportPath});
    QFile report(reportPath);
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    QList<QByteArray> lines;
    for (QByteArray line : report.readAll().split('\n'))
        lines << line.replace('\r', QByteArray());
    EXPECT_TRUE(lines.contains("                             IP Address:     10.1.2.1-8"));
    EXPECT_TRUE(lines.contains("                             Number of Runs: 2"));
    int freeCount = -1;
    int usedCount = -1;
    const QStringList freeAddresses =
        section(lines, "Free Addresses (never returned a ping in any run) - ", &freeCount);
    const QStringList usedAddresses =
        section(lines, "Used Addresses (returned at least one ping) - ", &usedCount);
    EXPECT_EQ(usedAddresses, QStringList(all.keys()));
    EXPECT_EQ(usedCount, 5);
    QStringList rest;
    for (int octet = 6; octet <= 254; ++octet)
        rest << QStringLiteral("10.1.2.%1").arg(octet);
    EXPECT_EQ(freeAddresses, rest);
    EXPECT_EQ(freeCount, 249);

    // The database holds both sweeps, each with the addresses that answered in it.
    db::Database db(world.folder.paths.database());
    auto runs = db.prepare("SELECT numberofruns FROM tblSavedRuns WHERE runip = '10.1.2.1-8';");
    ASSERT_TRUE(runs.step());
    EXPECT_EQ(runs.intAt(0), 2);
    auto sweeps = db.prepare("SELECT RunDate, group_concat(successIP, ' ') FROM "
                             "(SELECT RunDate, successIP FROM tblSuccess ORDER BY RunDate, successIP) "
                             "GROUP BY RunDate ORDER BY RunDate;");
    ASSERT_TRUE(sweeps.step());
    EXPECT_EQ(sweeps.textAt(0), "2026-03-14 09:00:00");
    EXPECT_EQ(sweeps.textAt(1), "10.1.2.1 10.1.2.2 10.1.2.3 10.1.2.4 10.1.2.5");
    ASSERT_TRUE(sweeps.step());
    EXPECT_EQ(sweeps.textAt(0), "2026-03-14 09:05:00");
    EXPECT_EQ(sweeps.textAt(1), "10.1.2.1 10.1.2.2 10.1.2.3 10.1.2.4");
    EXPECT_FALSE(sweeps.step());
}

} // namespace
} // namespace kestrion::test
