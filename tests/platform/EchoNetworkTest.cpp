#include "platform/IcmpSocketEcho.h"
#include "tests/support/TestNetwork.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <linux/capability.h>
#include <map>
#include <memory>
#include <tuple>

using namespace kestrion::platform;

namespace kestrion::platform {
void PrintTo(IcmpSocketEcho::SocketKind kind, std::ostream* os) {
    *os << (kind == IcmpSocketEcho::SocketKind::DatagramOnly ? "datagram socket" : "raw socket");
}
} // namespace kestrion::platform

using kestrion::testsupport::NamespaceScope;
using kestrion::testsupport::Responder;
using kestrion::testsupport::TestNetwork;
using Kind = IcmpSocketEcho::SocketKind;
using Clock = std::chrono::steady_clock;

// How the requests go out: one handle per request (the sequential sweep), or all through one batch
// handle (the parallel prober). Both must judge every packet alike.
enum class Sending { OneByOne, Batch };
using EchoParam = std::tuple<Kind, Sending>;

namespace {

// One request at a time on a batch handle: sent, then answered by its reply, error or time-out.
class BatchAsChannel final : public EchoChannel {
public:
    explicit BatchAsChannel(std::unique_ptr<EchoBatch> batch) : batch_(std::move(batch)) {}
    EchoReply send(uint32_t destination, const std::vector<uint8_t>& data, int timeoutMs) override {
        const uint32_t tag = ++tag_;
        if (auto refused = batch_->send(destination, data, timeoutMs, tag))
            return *refused;
        // The batch answers by the deadline; the margin only keeps a broken batch from hanging the test.
        const auto giveUp = Clock::now() + std::chrono::milliseconds(timeoutMs + 1000);
        while (Clock::now() < giveUp) {
            for (const EchoBatch::Answer& answer : batch_->receive(giveUp)) {
                EXPECT_EQ(answer.tag, tag) << "an answer for a request that was not waiting";
                if (answer.tag == tag)
                    return answer.reply;
            }
        }
        ADD_FAILURE() << "the batch left a request unanswered past its deadline";
        return EchoReply{0, 0xffffffff, 0, 0};
    }

private:
    std::unique_ptr<EchoBatch> batch_;
    uint32_t tag_ = 0;
};

uint32_t ip(const char* text) {
    return inet_addr(text);
}

std::vector<uint8_t> payload(size_t size) {
    return std::vector<uint8_t>(size, 'T');
}

// Addresses of the test network (see TestNetwork.h) with a fixed meaning in these tests.
constexpr const char* Prohibited = "10.1.50.7";
constexpr const char* UnreachableRoute = "10.1.51.7";
constexpr const char* Blackholed = "10.1.52.7";
constexpr const char* NotRoutedByRouter = "10.1.99.7";
constexpr const char* NotRoutedByClient = "10.2.0.1";
constexpr const char* Responding = "10.1.2.10";
constexpr const char* OtherSource = "10.1.2.20";

struct Timed {
    EchoReply reply;
    long elapsedMs;
};

class EchoNetwork : public ::testing::TestWithParam<EchoParam> {
protected:
    void SetUp() override {
        KESTRION_REQUIRE_NETNS();
        net_ = std::make_unique<TestNetwork>("kte");
        // Both kinds are allowed; the parameter forces one.
        net_->allowPingSockets(true);
        net_->addRouterRoute(TestNetwork::RouteKind::Prohibit, "10.1.50.0/24");
        net_->addRouterRoute(TestNetwork::RouteKind::Unreachable, "10.1.51.0/24");
        net_->addRouterRoute(TestNetwork::RouteKind::Blackhole, "10.1.52.0/24");
    }

    void startResponder(const std::vector<std::string>& rules) {
        net_->addHostAddress(Responding);
        responder_ = std::make_unique<Responder>(*net_, rules);
    }

    // Opens a handle in the client namespace; the sends stay there too (errors are judged
    // against the client's own addresses).
    std::unique_ptr<EchoChannel> openChannel() {
        IcmpSocketEcho service(kind());
        return openChannel(service);
    }

    static Kind kind() { return std::get<0>(GetParam()); }

    static std::unique_ptr<EchoChannel> openChannel(IcmpSocketEcho& service) {
        if (std::get<1>(GetParam()) == Sending::Batch) {
            EchoBatchOpenResult opened = service.openBatch();
            EXPECT_TRUE(opened.batch) << opened.error;
            return opened.batch ? std::make_unique<BatchAsChannel>(std::move(opened.batch)) : nullptr;
        }
        EchoOpenResult opened = service.open();
        EXPECT_TRUE(opened.channel) << opened.error;
        return std::move(opened.channel);
    }

    static Timed timedSend(EchoChannel& channel, const char* destination, int timeoutMs, size_t size = 32) {
        const auto start = Clock::now();
        const EchoReply reply = channel.send(ip(destination), payload(size), timeoutMs);
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        return {reply, static_cast<long>(elapsed)};
    }

    Timed ping(const char* destination, int timeoutMs, size_t size = 32) {
        NamespaceScope inClient(net_->client());
        auto channel = openChannel();
        if (!channel)
            return {};
        return timedSend(*channel, destination, timeoutMs, size);
    }

    std::unique_ptr<TestNetwork> net_;
    std::unique_ptr<Responder> responder_;
};

std::string paramName(const ::testing::TestParamInfo<EchoParam>& info) {
    return std::string(std::get<0>(info.param) == Kind::DatagramOnly ? "Datagram" : "Raw") +
           (std::get<1>(info.param) == Sending::Batch ? "Batch" : "");
}

TEST_P(EchoNetwork, AnsweringHostGivesItsAddressAtOnce) {
    for (const char* destination : {TestNetwork::HostAddress, TestNetwork::RouterClientSide}) {
        const Timed t = ping(destination, 1000);
        EXPECT_EQ(t.reply.status, 0u) << destination;
        EXPECT_EQ(t.reply.replies, 1u) << destination;
        EXPECT_EQ(t.reply.address, ip(destination)) << destination;
        EXPECT_LT(t.elapsedMs, 100) << destination;
        EXPECT_LE(t.reply.roundTripTime, static_cast<uint32_t>(t.elapsedMs)) << destination;
    }
}

TEST_P(EchoNetwork, SilentAddressTimesOutAtTheDeadline) {
    for (int timeoutMs : {100, 300}) {
        const Timed t = ping(Blackholed, timeoutMs);
        EXPECT_EQ(t.reply.status, echo_status::TimedOut);
        EXPECT_EQ(t.reply.replies, 0u);
        EXPECT_EQ(t.reply.address, 0u);
        EXPECT_GE(t.elapsedMs, timeoutMs);
        EXPECT_LE(t.elapsedMs, timeoutMs + 50);
    }
}

TEST_P(EchoNetwork, SlowReplyReturnsWhenItArrives) {
    startResponder({std::string(Responding) + "=delay:150"});
    const Timed t = ping(Responding, 1000);
    EXPECT_EQ(t.reply.status, 0u);
    EXPECT_EQ(t.reply.replies, 1u);
    EXPECT_GE(t.elapsedMs, 150);
    EXPECT_LT(t.elapsedMs, 250);
    EXPECT_GE(t.reply.roundTripTime, 150u);
    EXPECT_LE(t.reply.roundTripTime, static_cast<uint32_t>(t.elapsedMs));
}

TEST_P(EchoNetwork, ReplyArrivingAfterTheDeadlineIsNotTakenForTheNextRequest) {
    startResponder({std::string(Responding) + "=delay:300"});
    NamespaceScope inClient(net_->client());
    auto channel = openChannel();
    ASSERT_TRUE(channel);
    const Timed first = timedSend(*channel, Responding, 100);
    EXPECT_EQ(first.reply.status, echo_status::TimedOut);
    EXPECT_LE(first.elapsedMs, 150);
    // The first request's answer arrives about 200 ms into this one; its own comes at 300 ms.
    const Timed second = timedSend(*channel, Responding, 1000);
    EXPECT_EQ(second.reply.status, 0u);
    EXPECT_GE(second.reply.roundTripTime, 290u);
}

TEST_P(EchoNetwork, DuplicateReplyIsNotTakenForTheNextRequest) {
    startResponder({std::string(Responding) + "=twice:100"});
    NamespaceScope inClient(net_->client());
    auto channel = openChannel();
    ASSERT_TRUE(channel);
    const Timed first = timedSend(*channel, Responding, 1000);
    EXPECT_EQ(first.reply.status, 0u);
    EXPECT_EQ(first.reply.replies, 1u);
    EXPECT_LT(first.elapsedMs, 50);
    const Timed second = timedSend(*channel, Blackholed, 300);
    EXPECT_EQ(second.reply.status, echo_status::TimedOut);
    EXPECT_EQ(second.reply.replies, 0u);
    EXPECT_GE(second.elapsedMs, 300);
}

TEST_P(EchoNetwork, ReplyArrivingAfterItsChannelClosedIsNotTakenByTheNextChannel) {
    // The sweep opens one channel per address. Raw sockets all see every reply, with the same
    // identifier: only the sequence number tells the first channel's late answer from the second's.
    startResponder({std::string(Responding) + "=delay:300"});
    NamespaceScope inClient(net_->client());
    IcmpSocketEcho service(kind());
    {
        auto first = openChannel(service);
        ASSERT_TRUE(first);
        EXPECT_EQ(timedSend(*first, Responding, 100).reply.status, echo_status::TimedOut);
    }
    auto second = openChannel(service);
    ASSERT_TRUE(second);
    const Timed answered = timedSend(*second, Responding, 1000);
    EXPECT_EQ(answered.reply.status, 0u);
    EXPECT_GE(answered.reply.roundTripTime, 290u) << "took the first channel's late answer";
}

TEST_P(EchoNetwork, EachServiceCountsItsOwnSequenceNumbers) {
    startResponder({std::string(Responding) + "=answer"});
    NamespaceScope inClient(net_->client());
    IcmpSocketEcho first(kind());
    IcmpSocketEcho second(kind());
    const auto sendFrom = [&](IcmpSocketEcho& service) {
        auto channel = openChannel(service);
        ASSERT_TRUE(channel);
        EXPECT_EQ(timedSend(*channel, Responding, 1000).reply.status, 0u);
    };
    sendFrom(first);
    sendFrom(first);
    sendFrom(second);
    sendFrom(first);
    const std::vector<Responder::Seen> seen = responder_->seen();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[1].sequence, seen[0].sequence + 1) << "one service never repeats a number in a row";
    EXPECT_EQ(seen[3].sequence, seen[0].sequence + 2) << "the other service took none of this one's numbers";
    EXPECT_EQ(seen[2].sequence, seen[0].sequence) << "both start at the same number";
}

TEST_P(EchoNetwork, RepliesThatDoNotMatchTheRequestAreIgnored) {
    // Datagram sockets never see a foreign identifier (the kernel sorts by it); raw ones must.
    startResponder({"10.1.2.10=wrongseq", "10.1.2.11=wrongid"});
    net_->addHostAddress("10.1.2.11");
    for (const char* destination : {"10.1.2.10", "10.1.2.11"}) {
        const Timed t = ping(destination, 300);
        EXPECT_EQ(t.reply.status, echo_status::TimedOut) << destination;
        EXPECT_EQ(t.reply.replies, 0u) << destination;
        EXPECT_GE(t.elapsedMs, 300) << destination;
    }
    ASSERT_EQ(responder_->seen().size(), 2u); // both requests got their wrong answer
}

TEST_P(EchoNetwork, PacketsWithAWrongChecksumAreIgnored) {
    // A ping socket's kernel drops them before we see them; a raw socket gets them as they came.
    startResponder({"10.1.2.10=badsum", "10.1.2.11=badsum:150", "10.1.2.12=badsumerror"});
    net_->addHostAddress("10.1.2.11");
    net_->addHostAddress("10.1.2.12");
    struct Row {
        const char* name;
        const char* destination;
        uint32_t status;
        long atLeastMs;
    } rows[] = {
        {"only a corrupted reply", "10.1.2.10", echo_status::TimedOut, 300},
        {"a corrupted reply, then a good one", "10.1.2.11", 0, 150},
        {"a corrupted error", "10.1.2.12", echo_status::TimedOut, 300},
    };
    for (const Row& row : rows) {
        const Timed t = ping(row.destination, 300);
        EXPECT_EQ(t.reply.status, row.status) << row.name;
        EXPECT_EQ(t.reply.replies, row.status == 0 ? 1u : 0u) << row.name;
        EXPECT_GE(t.elapsedMs, row.atLeastMs) << row.name;
    }
    ASSERT_EQ(responder_->seen().size(), 3u);
}

struct RouterCase {
    const char* name;
    const char* destination;
    uint32_t status;
};

TEST_P(EchoNetwork, RouterErrorsComeBackAsOneReplyFromTheRouter) {
    const std::string unanswered = net_->addUnansweredLink(TestNetwork::Node::Router) + ".50";
    for (const RouterCase& c :
         {RouterCase{"unreachable route", UnreachableRoute, echo_status::DestHostUnreachable},
          RouterCase{"no route", NotRoutedByRouter, echo_status::DestNetUnreachable},
          RouterCase{"prohibit route", Prohibited, echo_status::DestProhibited},
          RouterCase{"nobody on the link", unanswered.c_str(), echo_status::DestHostUnreachable}}) {
        const Timed t = ping(c.destination, 2000);
        EXPECT_EQ(t.reply.status, c.status) << c.name;
        EXPECT_EQ(t.reply.replies, 1u) << c.name;
        EXPECT_EQ(t.reply.address, ip(TestNetwork::RouterClientSide)) << c.name;
        EXPECT_LT(t.elapsedMs, 1000) << c.name << ": an error ends the wait";
    }
}

TEST_P(EchoNetwork, NoLocalRouteFailsAtOnceWithoutReply) {
    const Timed t = ping(NotRoutedByClient, 1000);
    EXPECT_EQ(t.reply.status, echo_status::DestNetUnreachable);
    EXPECT_EQ(t.reply.replies, 0u);
    EXPECT_EQ(t.reply.address, 0u);
    EXPECT_LT(t.elapsedMs, 50);
}

TEST_P(EchoNetwork, NobodyOnOurOwnLinkIsSilentLikeATimeOut) {
    const std::string absent = net_->addUnansweredLink(TestNetwork::Node::Client) + ".50";
    const Timed t = ping(absent.c_str(), 3000);
    EXPECT_EQ(t.reply.status, echo_status::TimedOut);
    EXPECT_EQ(t.reply.replies, 0u);
    EXPECT_EQ(t.reply.address, 0u);
    EXPECT_LT(t.elapsedMs, 2000) << "our own stack's verdict ends the wait";
}

TEST_P(EchoNetwork, ReplyFromAnotherAddressNamesThatAddress) {
    startResponder({std::string(Responding) + "=from:" + OtherSource});
    const Timed t = ping(Responding, 1000);
    EXPECT_EQ(t.reply.status, 0u);
    EXPECT_EQ(t.reply.replies, 1u);
    EXPECT_EQ(t.reply.address, ip(OtherSource));
}

TEST_P(EchoNetwork, RequestCarriesExactlyTheGivenPayload) {
    startResponder({std::string(Responding) + "=answer"});
    const std::vector<size_t> sizes{8, 64, 512, 33};
    for (size_t size : sizes) {
        const Timed t = ping(Responding, 1000, size);
        EXPECT_EQ(t.reply.status, 0u) << size;
    }
    const auto seen = responder_->seen();
    ASSERT_EQ(seen.size(), sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
        EXPECT_EQ(seen[i].destination, Responding);
        EXPECT_EQ(seen[i].payloadLength, sizes[i]);
        EXPECT_TRUE(seen[i].checksumOk) << sizes[i];
        EXPECT_TRUE(seen[i].payloadAllT) << sizes[i];
    }
}

INSTANTIATE_TEST_SUITE_P(EchoSockets, EchoNetwork,
                         ::testing::Combine(::testing::Values(Kind::DatagramOnly, Kind::RawOnly),
                                            ::testing::Values(Sending::OneByOne, Sending::Batch)),
                         paramName);

struct OpenCase {
    const char* name;
    bool pingSockets;
    bool rawCapability;
    bool opens;
    Kind kind;
};

TEST(EchoOpen, TakesTheSocketTheSystemAllowsOrRefusesWithRemedies) {
    KESTRION_REQUIRE_NETNS();
    TestNetwork net("kte");
    for (const OpenCase& c : {OpenCase{"ping sockets allowed", true, true, true, Kind::DatagramOnly},
                              OpenCase{"raw capability only", false, true, true, Kind::RawOnly},
                              OpenCase{"ping sockets only", true, false, true, Kind::DatagramOnly},
                              OpenCase{"neither", false, false, false, Kind::Auto}}) {
        net.allowPingSockets(c.pingSockets);
        NamespaceScope inClient(net.client());
        std::optional<kestrion::testsupport::DroppedCapabilityScope> noRaw;
        if (!c.rawCapability)
            noRaw.emplace(CAP_NET_RAW);
        IcmpSocketEcho service;
        const EchoOpenResult opened = service.open();
        EXPECT_EQ(static_cast<bool>(opened.channel), c.opens) << c.name;
        EXPECT_EQ(service.lastOpenedKind(), c.kind) << c.name;
        if (c.opens) {
            const EchoReply reply = opened.channel->send(ip(TestNetwork::HostAddress), payload(8), 1000);
            EXPECT_EQ(reply.status, 0u) << c.name;
        } else {
            EXPECT_NE(opened.error.find("sysctl -w net.ipv4.ping_group_range=\"0 2147483647\""),
                      std::string::npos);
            EXPECT_NE(opened.error.find("setcap cap_net_raw+ep"), std::string::npos);
        }
    }
}

} // namespace

namespace {

// Many requests at once on one batch handle, each meeting another case: every request gets exactly its
// own answer, whatever else arrives meanwhile.
class EchoBatchNetwork : public ::testing::TestWithParam<Kind> {};

struct BatchCase {
    const char* destination;
    uint32_t status;
    const char* source; // the reply's source; null: none
    uint32_t atLeastMs = 0;
};

TEST_P(EchoBatchNetwork, ManyRequestsAtOnceEachGetTheirOwnAnswer) {
    KESTRION_REQUIRE_NETNS();
    TestNetwork net("kteb");
    net.allowPingSockets(true);
    net.addRouterRoute(TestNetwork::RouteKind::Prohibit, "10.1.50.0/24");
    net.addRouterRoute(TestNetwork::RouteKind::Unreachable, "10.1.51.0/24");
    net.addRouterRoute(TestNetwork::RouteKind::Blackhole, "10.1.52.0/24");
    for (const char* address : {"10.1.2.10", "10.1.2.11", "10.1.2.12", "10.1.2.13", "10.1.2.14", "10.1.2.15"})
        net.addHostAddress(address);
    const Responder responder(net, {"10.1.2.10=delay:200", "10.1.2.11=answer", "10.1.2.12=twice:50",
                                    "10.1.2.13=wrongseq", "10.1.2.14=badsum:100", "10.1.2.15=from:10.1.2.20",
                                    // The responder switches off the host's own answers; it answers for it.
                                    std::string(TestNetwork::HostAddress) + "=answer"});
    namespace es = echo_status;
    const std::vector<BatchCase> cases{
        {"10.1.2.10", es::Success, "10.1.2.10", 200},
        {"10.1.2.11", es::Success, "10.1.2.11"},
        {"10.1.2.12", es::Success, "10.1.2.12"},
        {"10.1.2.13", es::TimedOut, nullptr, 500},
        {"10.1.2.14", es::Success, "10.1.2.14", 100},
        {"10.1.2.15", es::Success, "10.1.2.20"},
        {TestNetwork::HostAddress, es::Success, TestNetwork::HostAddress},
        {"10.1.51.7", es::DestHostUnreachable, TestNetwork::RouterClientSide},
        {"10.1.51.8", es::DestHostUnreachable, TestNetwork::RouterClientSide},
        {"10.1.50.7", es::DestProhibited, TestNetwork::RouterClientSide},
        {"10.1.99.7", es::DestNetUnreachable, TestNetwork::RouterClientSide},
        {"10.1.52.7", es::TimedOut, nullptr, 500},
        {"10.2.0.1", es::DestNetUnreachable, nullptr},
    };

    NamespaceScope inClient(net.client());
    IcmpSocketEcho service(GetParam());
    EchoBatchOpenResult opened = service.openBatch();
    ASSERT_TRUE(opened.batch) << opened.error;
    EchoBatch& batch = *opened.batch;
    std::map<uint32_t, std::vector<EchoReply>> answers;
    for (uint32_t tag = 0; tag < cases.size(); ++tag) {
        if (auto refused = batch.send(ip(cases[tag].destination), payload(32), 500, tag))
            answers[tag].push_back(*refused);
    }
    const auto giveUp = Clock::now() + std::chrono::seconds(3);
    while (batch.outstanding() > 0 && Clock::now() < giveUp)
        for (const EchoBatch::Answer& answer : batch.receive(giveUp))
            answers[answer.tag].push_back(answer.reply);
    EXPECT_EQ(batch.outstanding(), 0u) << "every request answered by its deadline";
    // Late duplicates and stale packets still arriving now find no request.
    EXPECT_TRUE(batch.receive(Clock::now() + std::chrono::milliseconds(150)).empty());

    for (uint32_t tag = 0; tag < cases.size(); ++tag) {
        const BatchCase& c = cases[tag];
        SCOPED_TRACE(c.destination);
        ASSERT_EQ(answers[tag].size(), 1u) << "exactly one answer";
        const EchoReply& reply = answers[tag].front();
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.address, c.source ? ip(c.source) : 0u);
        EXPECT_EQ(reply.replies, c.source ? 1u : 0u);
        if (c.status == echo_status::Success) {
            EXPECT_GE(reply.roundTripTime, c.atLeastMs);
        }
    }
}

std::string batchKindName(const ::testing::TestParamInfo<Kind>& param) {
    return param.param == Kind::DatagramOnly ? "Datagram" : "Raw";
}

INSTANTIATE_TEST_SUITE_P(EchoSockets, EchoBatchNetwork, ::testing::Values(Kind::DatagramOnly, Kind::RawOnly),
                         batchKindName);

} // namespace
