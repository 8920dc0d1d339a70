// The sweep with the real echo service and the real Resolver, in a network of the test's own:
// started by ctest, the test builds the network, registers the Resolver library in a registry of its
// own, and re-runs this binary inside the client namespace, where the window sweeps offscreen.
#include "tests/support/Harness.h"

#include "platform/IcmpSocketEcho.h"
#include "platform/com/RegistryComponentFactory.h"
#include "tests/support/ResolverRegistration.h"
#include "tests/support/TestNetwork.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <chrono>
#include <filesystem>

namespace kestrion::test {
namespace {

using testsupport::TestNetwork;

constexpr const char* kInside = "KESTRION_SWEEP_NETWORK_INSIDE";

// 10.1.2.2 and 10.1.2.3 answer (the host), the router refuses 10.1.2.4 (host unreachable, from the
// router), 10.1.2.5 vanishes in a black hole (a silent time-out).
TEST(SweepNetwork, TwoHostsAnswerAndTheRoutersRefusalIsAskedOnce) {
    KESTRION_REQUIRE_NETNS();
    TestNetwork net("ksweep");
    net.addHostAddress("10.1.2.3");
    net.addRouterRoute(TestNetwork::RouteKind::Unreachable, "10.1.2.4/32");
    net.addRouterRoute(TestNetwork::RouteKind::Blackhole, "10.1.2.5/32");
    net.writeNameFiles(TestNetwork::Node::Client,
                       {"10.1.2.2 host-a.sweep.test", "10.1.2.3 host-b.sweep.test"});

    const testsupport::ResolverRegistration registry;
    ASSERT_TRUE(registry.ok()) << registry.output;

    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    const int status = testsupport::runInNamespace(
        net.client(), {self, "--gtest_filter=SweepNetwork.InsideTheClient"},
        {std::string(kInside) + "=1", registry.environment, "QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(status, 0) << "the sweep inside the namespace failed; its output is above";
}

TEST(SweepNetwork, InsideTheClient) {
    if (!qEnvironmentVariableIsSet(kInside))
        GTEST_SKIP() << "runs only inside the namespace of TwoHostsAnswerAndTheRoutersRefusalIsAskedOnce";
    platform::IcmpSocketEcho echo;
    com::RegistryComponentFactory components;
    Harness h(true, [&](FakeWorld& world) {
        world.settings->write(QStringLiteral("Settings"), QStringLiteral("Timeout"), QStringLiteral("500"));
        world.realEcho = &echo;
        world.realComponents = &components;
    });
    h.setRange("10", "1", "2", "2", "5");
    h.ping();

    const QTableView& grid = *h.grid();
    ASSERT_EQ(rowCount(grid), 2);
    EXPECT_EQ(cellText(grid, 0, 0), "10.1.2.2");
    EXPECT_EQ(cellText(grid, 0, 1), "host-a.sweep.test");
    EXPECT_EQ(cellText(grid, 1, 0), "10.1.2.3");
    EXPECT_EQ(cellText(grid, 1, 1), "host-b.sweep.test");
    bool numeric = false;
    EXPECT_LT(cellText(grid, 1, 2).toInt(&numeric), 500);
    EXPECT_TRUE(numeric);

    ASSERT_EQ(h.world.boxes.shown.size(), 1u);
    EXPECT_EQ(h.world.boxes.last().title, "Kestrion Alert");
    EXPECT_EQ(h.world.boxes.last().buttons, platform::MsgButtons::YesNo);
    EXPECT_EQ(h.panel1(), "Done.");
    EXPECT_TRUE(components.loadedLibraries().empty())
        << "the sweep's one object is released and the Resolver library unloaded when the sweep returns";
}

constexpr const char* kParallelInside = "KESTRION_PARALLEL_SWEEP_NETWORK_INSIDE";

// With "Send requests in parallel" stored on, Ping sweeps the whole block of the same network at once:
// the router (10.1.2.1) and the two hosts answer with their names, the router's refusal of 10.1.2.4 is
// in the one box at the end, every other address (nobody on the link, a black hole) is silent, and the
// sweep takes about the time-out, not 254 of them.
TEST(SweepNetwork, InParallelTheBlockIsSweptAtOnceAndTheRefusalIsListedInOneBox) {
    KESTRION_REQUIRE_NETNS();
    TestNetwork net("kpsweep");
    net.addHostAddress("10.1.2.3");
    net.addRouterRoute(TestNetwork::RouteKind::Unreachable, "10.1.2.4/32");
    net.addRouterRoute(TestNetwork::RouteKind::Blackhole, "10.1.2.5/32");
    net.writeNameFiles(TestNetwork::Node::Client, {"10.1.2.1 router.sweep.test", "10.1.2.2 host-a.sweep.test",
                                                   "10.1.2.3 host-b.sweep.test"});

    const testsupport::ResolverRegistration registry;
    ASSERT_TRUE(registry.ok()) << registry.output;

    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    const int status = testsupport::runInNamespace(
        net.client(), {self, "--gtest_filter=ParallelSweepNetwork.InsideTheClient"},
        {std::string(kParallelInside) + "=1", registry.environment, "QT_QPA_PLATFORM=offscreen"});
    EXPECT_EQ(status, 0) << "the sweep inside the namespace failed; its output is above";
}

TEST(ParallelSweepNetwork, InsideTheClient) {
    if (!qEnvironmentVariableIsSet(kParallelInside))
        GTEST_SKIP() << "runs only inside the namespace of InParallelTheBlockIsSweptAtOnce...";
    platform::IcmpSocketEcho echo;
    com::RegistryComponentFactory components;
    Harness h(true, [&](FakeWorld& world) {
        world.settings->write(QStringLiteral("Settings"), QStringLiteral("Timeout"), QStringLiteral("500"));
        world.settings->write(QStringLiteral("Settings"), QStringLiteral("ParallelSweep"),
                              QStringLiteral("True"));
        world.realEcho = &echo;
        world.realComponents = &components;
    });
    ASSERT_TRUE(h.options().ParallelSweep);
    QStringList progressed;
    QObject::connect(&h.session(), &sweep::SweepSession::progress,
                     [&](const QString& address, int) { progressed << address; });
    h.setRange("10", "1", "2", "1", "254");
    const auto began = std::chrono::steady_clock::now();
    h.ping();
    const auto took = std::chrono::steady_clock::now() - began;

    const QTableView& grid = *h.grid();
    ASSERT_EQ(rowCount(grid), 3);
    EXPECT_EQ(cellText(grid, 0, 0), "10.1.2.1");
    EXPECT_EQ(cellText(grid, 0, 1), "router.sweep.test");
    EXPECT_EQ(cellText(grid, 1, 0), "10.1.2.2");
    EXPECT_EQ(cellText(grid, 1, 1), "host-a.sweep.test");
    EXPECT_EQ(cellText(grid, 2, 0), "10.1.2.3");
    EXPECT_EQ(cellText(grid, 2, 1), "host-b.sweep.test");
    EXPECT_EQ(progressed.size(), 254) << "progress by addresses sent";
    EXPECT_EQ(progressed.back(), "10.1.2.254");

    ASSERT_EQ(h.world.boxes.shown.size(), 1u) << "one box, at the end";
    EXPECT_EQ(h.world.boxes.last().title, "Kestrion Alert");
    EXPECT_EQ(h.world.boxes.last().buttons, platform::MsgButtons::Ok);
    EXPECT_EQ(h.world.boxes.last().text, "1 address was not reached:\n"
                                         "10.1.2.4: unreachable, says 10.1.1.1 (error 11003)\n"
                                         "These addresses may lie outside of your network or behind a "
                                         "firewall.");
    EXPECT_EQ(h.panel1(), "Done.");
    EXPECT_TRUE(h.button("cmdSaveRun")->isEnabled());
    EXPECT_LT(took, std::chrono::seconds(3)) << "about the time-out plus 254 ms, names included";
    EXPECT_TRUE(components.loadedLibraries().empty());
}

} // namespace
} // namespace kestrion::test
