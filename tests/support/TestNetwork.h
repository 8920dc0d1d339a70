#pragma once

#include "platform/UniqueFd.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

// Helpers for tests that need a real network: namespaces built and removed by the test itself,
// commands run inside them, and a responder that answers echo requests as a test wants.
namespace kestrion::testsupport {

// Runs a program (no shell) and returns its exit status, or 128 + signal number.
// `output`, when given, receives what it wrote to stdout and stderr.
int runCommand(const std::vector<std::string>& argv, std::string* output = nullptr,
               const std::vector<std::string>& extraEnv = {});

// Like runCommand, but a failure throws std::runtime_error naming the command and its output.
void runChecked(const std::vector<std::string>& argv);

// Runs a program inside a namespace through `ip netns exec`, so it also sees the namespace's
// /etc/netns/NAME/hosts and resolv.conf. `extraEnv` holds "NAME=value" entries added to (or
// replacing those of) this process's environment. Returns the exit status as runCommand does.
int runInNamespace(const std::string& ns, const std::vector<std::string>& argv,
                   const std::vector<std::string>& extraEnv = {});

// Why namespace tests cannot run here (not root, no `ip netns`), or nothing when they can.
std::optional<std::string> netnsUnavailableReason();

// Skips the current test, with the reason, where namespace tests cannot run.
#define KESTRION_REQUIRE_NETNS()                                                                             \
    do {                                                                                                     \
        if (auto kestrionNetnsReason = ::kestrion::testsupport::netnsUnavailableReason())                    \
            GTEST_SKIP() << *kestrionNetnsReason;                                                            \
    } while (false)

// Moves the calling thread into a network namespace for the scope's life. Sockets opened
// meanwhile stay in that namespace after the scope ends.
class NamespaceScope {
public:
    explicit NamespaceScope(const std::string& ns);
    ~NamespaceScope();
    NamespaceScope(const NamespaceScope&) = delete;
    NamespaceScope& operator=(const NamespaceScope&) = delete;

private:
    platform::UniqueFd original_;
};

// Takes one capability out of the calling thread's effective set for the scope's life
// (for example CAP_NET_RAW, to see what an ordinary user gets).
class DroppedCapabilityScope {
public:
    explicit DroppedCapabilityScope(int capability);
    ~DroppedCapabilityScope();
    DroppedCapabilityScope(const DroppedCapabilityScope&) = delete;
    DroppedCapabilityScope& operator=(const DroppedCapabilityScope&) = delete;

private:
    int capability_;
    bool dropped_ = false;
};

// Three namespaces joined by veth pairs:
//
//   client 10.1.1.2/24 ---- 10.1.1.1/24 router 10.1.2.1/24 ---- 10.1.2.2/24 host
//
// The client routes 10.1.0.0/16 to the router and has no other route; the router forwards,
// has no default route (so anything outside 10.1.1.0/24 and 10.1.2.0/24 is "network unreachable"
// there) and sends ICMP errors without rate limit; the host answers echo requests itself unless
// told otherwise. Names are <prefix>-<pid>-<counter>-{c,r,h}; the destructor deletes the namespaces
// and their /etc/netns folders, and a later run removes those a crashed run left behind.
// Nothing is connected to the namespace the test runs in.
class TestNetwork {
public:
    enum class Node { Client, Router, Host };
    enum class RouteKind { Unreachable, Prohibit, Blackhole };

    static constexpr const char* ClientAddress = "10.1.1.2";
    static constexpr const char* RouterClientSide = "10.1.1.1";
    static constexpr const char* RouterHostSide = "10.1.2.1";
    static constexpr const char* HostAddress = "10.1.2.2";

    // Throws std::runtime_error (after removing what it made) when the network cannot be built.
    explicit TestNetwork(const std::string& prefix = "kt");
    ~TestNetwork();
    TestNetwork(const TestNetwork&) = delete;
    TestNetwork& operator=(const TestNetwork&) = delete;

    const std::string& name(Node node) const;
    const std::string& client() const { return name(Node::Client); }
    const std::string& router() const { return name(Node::Router); }
    const std::string& host() const { return name(Node::Host); }

    // One more address of the host, inside 10.1.2.0/24.
    void addHostAddress(const std::string& address);
    // Whether the host's own stack answers echo requests (icmp_echo_ignore_all).
    void setHostAnswersEcho(bool answers);
    // A route of the given kind on the router, e.g. addRouterRoute(RouteKind::Prohibit, "10.1.50.0/24").
    void addRouterRoute(RouteKind kind, const std::string& prefix);
    // A link from the client (10.1.4.0/24) or the router (10.1.3.0/24) on which nobody answers
    // address resolution; neighbour resolution there gives up after about 100 ms.
    // Returns the first three octets, e.g. "10.1.3".
    std::string addUnansweredLink(Node node);
    // Lets every group open ICMP datagram sockets in the client, or no group ("1 0").
    void allowPingSockets(bool allow);
    // sysctl -w key=value inside one namespace.
    void setSysctl(Node node, const std::string& key, const std::string& value);
    // Writes /etc/netns/<ns>/hosts with these lines, a resolv.conf whose name server is 127.0.0.1,
    // where nothing listens, and an nsswitch.conf that asks only those two: look-ups of names not in
    // the file fail at once and never leave the namespace.
    void writeNameFiles(Node node, const std::vector<std::string>& hostsLines);

private:
    void addNamespace(const std::string& name);
    void ipIn(Node node, std::vector<std::string> args);
    void teardown() noexcept;

    std::string names_[3];
    std::vector<std::string> created_;
    bool routerLinkMade_ = false;
    bool clientLinkMade_ = false;
};

// kestrion-test-responder running in the host of a TestNetwork (whose own echo answers it turns
// off). Each rule is "ADDRESS=MODE" for one host address:
//   answer          one normal reply
//   delay:MS        one reply after MS milliseconds
//   twice:MS        a reply at once and a copy MS milliseconds later
//   wrongseq        one reply at once with the sequence number plus one
//   wrongid         one reply at once with the identifier plus one
//   from:ADDRESS    one reply at once whose source is ADDRESS
//   badsum[:MS]     a reply at once with a wrong ICMP checksum (and a correct one MS ms later)
//   badsumerror     a "host unreachable" error from the address at once, with a wrong checksum
//   silent          nothing
// Every echo request it sees is recorded; addresses without a rule get no answer.
class Responder {
public:
    struct Seen {
        std::string destination;
        size_t payloadLength = 0; // bytes after the 8-byte echo header
        bool checksumOk = false;
        bool payloadAllT = false; // every payload byte is 'T' (0x54)
        unsigned sequence = 0;    // the echo header's sequence number
    };

    Responder(TestNetwork& network, const std::vector<std::string>& rules);
    ~Responder();
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;

    std::vector<Seen> seen() const;

private:
    int pid_ = -1;
    std::string logPath_;
};

} // namespace kestrion::testsupport
