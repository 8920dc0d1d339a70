#include "tests/support/TestNetwork.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <unistd.h>

using kestrion::testsupport::runCommand;
using kestrion::testsupport::runInNamespace;
using kestrion::testsupport::TestNetwork;

namespace {

std::string rootSysctl(const char* path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;
}

TEST(TestNetwork, CommandsInTheClientSeeItsNameFilesEnvironmentAndExitStatus) {
    KESTRION_REQUIRE_NETNS();
    TestNetwork net("ktn");
    net.writeNameFiles(TestNetwork::Node::Client, {"10.1.2.2 answering.test"});
    EXPECT_EQ(runInNamespace(net.client(), {"getent", "hosts", "answering.test"}), 0);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(runInNamespace(net.client(), {"getent", "hosts", "missing.test"}), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3))
        << "a miss must not wait for DNS";
    EXPECT_EQ(runInNamespace(net.client(), {"grep", "-qx", "hosts: files dns", "/etc/nsswitch.conf"}), 0)
        << "names come from the namespace's own files, whatever the machine's nsswitch.conf adds";
    EXPECT_EQ(runInNamespace(net.client(), {"sh", "-c", "test \"$KT_MARK\" = yes"}, {"KT_MARK=yes"}), 0);
    EXPECT_EQ(runInNamespace(net.client(), {"sh", "-c", "exit 7"}), 7);
}

TEST(TestNetwork, SettingsStayInsideAndEverythingGoesWithTheNetwork) {
    KESTRION_REQUIRE_NETNS();
    const char* range = "/proc/sys/net/ipv4/ping_group_range";
    const std::string before = rootSysctl(range);
    std::vector<std::string> names;
    {
        TestNetwork net("ktn");
        names = {net.client(), net.router(), net.host()};
        net.allowPingSockets(true);
        net.writeNameFiles(TestNetwork::Node::Client, {});
        std::string inside;
        runCommand({"ip", "netns", "exec", net.client(), "sysctl", "-n", "net.ipv4.ping_group_range"},
                   &inside);
        EXPECT_EQ(inside, "0\t2147483647\n");
        EXPECT_EQ(rootSysctl(range), before);
    }
    std::string list;
    runCommand({"ip", "netns", "list"}, &list);
    for (const auto& name : names) {
        EXPECT_EQ(list.find(name), std::string::npos) << name;
        EXPECT_FALSE(std::filesystem::exists("/etc/netns/" + name)) << name;
    }
}

std::vector<std::string> networkNames;

void failWhileANetworkExists() {
    TestNetwork net("ktn");
    networkNames = {net.client(), net.router(), net.host()};
    net.writeNameFiles(TestNetwork::Node::Client, {});
    FAIL() << "deliberate failure";
}

TEST(TestNetwork, AFailingTestStillRemovesItsNetworkAndTwoNetworksNeverShareANamespace) {
    KESTRION_REQUIRE_NETNS();
    EXPECT_FATAL_FAILURE(failWhileANetworkExists(), "deliberate failure");
    ASSERT_EQ(networkNames.size(), 3u);
    std::string list;
    runCommand({"ip", "netns", "list"}, &list);
    for (const auto& name : networkNames) {
        EXPECT_EQ(list.find(name), std::string::npos) << name;
        EXPECT_FALSE(std::filesystem::exists("/etc/netns/" + name)) << name;
    }

    TestNetwork first("ktn");
    TestNetwork second("ktn");
    for (const std::string& a : {first.client(), first.router(), first.host()})
        for (const std::string& b : {second.client(), second.router(), second.host()})
            EXPECT_NE(a, b);
    EXPECT_NE(first.client().find("-" + std::to_string(::getpid()) + "-"), std::string::npos)
        << "the run's own process number keeps two runs apart: " << first.client();
}

} // namespace
