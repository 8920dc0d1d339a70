// The computer's own IPv4 address as the start-up fill and the About tab read it, inside network
// namespaces of the test's own (root).
#include "platform/HostInfo.h"
#include "tests/support/TestNetwork.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <unistd.h>

using kestrion::platform::SystemHostInfo;
using kestrion::testsupport::NamespaceScope;
using kestrion::testsupport::runChecked;
using kestrion::testsupport::runCommand;

namespace {

// An empty namespace (loopback only, down) that is removed however the test ends.
struct BareNamespace {
    std::string name = "khost-" + std::to_string(::getpid());
    BareNamespace() {
        runCommand({"ip", "netns", "delete", name});
        runChecked({"ip", "netns", "add", name});
    }
    ~BareNamespace() { runCommand({"ip", "netns", "delete", name}); }
    void ip(std::vector<std::string> args) {
        args.insert(args.begin(), {"ip", "-n", name});
        runChecked(args);
    }
    // The kernel reports a link as running only once its link-state worker has seen the carrier, up to
    // a second or more after `ip link set up` returns on a busy machine; wait for it rather than race it.
    void waitUntilRunning(const std::string& device) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::string out;
        while (std::chrono::steady_clock::now() < deadline) {
            out.clear();
            runCommand({"ip", "-n", name, "-o", "link", "show", "dev", device}, &out);
            if (out.find("state UP") != std::string::npos)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        FAIL() << device << " never came up: " << out;
    }
};

TEST(HostInfo, LocalAddressIsTheFirstActiveNonLoopbackInterface) {
    KESTRION_REQUIRE_NETNS();
    BareNamespace ns;
    auto localAddress = [&] {
        NamespaceScope in(ns.name);
        return SystemHostInfo().localAddress().toStdString();
    };
    EXPECT_EQ(localAddress(), "127.0.0.1") << "loopback only, and down";
    ns.ip({"link", "set", "lo", "up"});
    EXPECT_EQ(localAddress(), "127.0.0.1") << "loopback is never the machine's address";

    // The first interface holds an address but is down; the second is up with its peer, so it runs.
    ns.ip({"link", "add", "a0", "type", "veth", "peer", "name", "a1"});
    ns.ip({"link", "add", "b0", "type", "veth", "peer", "name", "b1"});
    ns.ip({"addr", "add", "10.9.9.9/24", "dev", "a0"});
    ns.ip({"addr", "add", "10.8.8.8/24", "dev", "b0"});
    EXPECT_EQ(localAddress(), "127.0.0.1") << "addresses on interfaces that are down do not count";
    ns.ip({"link", "set", "b0", "up"});
    EXPECT_EQ(localAddress(), "127.0.0.1") << "up without a carrier is not active";
    ns.ip({"link", "set", "b1", "up"});
    ns.waitUntilRunning("b0");
    EXPECT_EQ(localAddress(), "10.8.8.8");
    ns.ip({"link", "set", "a0", "up"});
    ns.ip({"link", "set", "a1", "up"});
    ns.waitUntilRunning("a0");
    EXPECT_EQ(localAddress(), "10.9.9.9") << "of two active interfaces, the first";
}

} // namespace
