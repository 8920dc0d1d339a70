// The parallel prober over real ICMP sockets in a network of the test's own: Cancel in the middle of a
// block, with answers still under way, returns at once, closes its one socket (no descriptor more than
// before) and leaves nothing outstanding: the late answers of the cancelled sweep reach no later sweep.
#include "platform/IcmpSocketEcho.h"
#include "sweep/SweepSession.h"
#include "tests/support/TestNetwork.h"

#include <QStringList>
#include <chrono>
#include <filesystem>
#include <memory>

namespace kestrion::sweep {
namespace {

using Kind = platform::IcmpSocketEcho::SocketKind;
using testsupport::NamespaceScope;
using testsupport::Responder;
using testsupport::TestNetwork;
using SteadyClock = std::chrono::steady_clock;

size_t openDescriptors() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// The real service, with what its batch handles did written down.
class CountingEcho final : public platform::EchoService {
public:
    explicit CountingEcho(Kind kind) : real_(kind) {}

    platform::EchoOpenResult open() override { return real_.open(); }
    platform::EchoBatchOpenResult openBatch() override {
        platform::EchoBatchOpenResult opened = real_.openBatch();
        if (opened.batch)
            opened.batch = std::make_unique<Counted>(std::move(opened.batch), *this);
        return opened;
    }

    int live = 0;    // batch handles open now
    size_t sent = 0; // requests sent through them
    size_t outstandingAtClose = 0;

private:
    class Counted final : public platform::EchoBatch {
    public:
        Counted(std::unique_ptr<platform::EchoBatch> real, CountingEcho& owner)
            : real_(std::move(real)), owner_(owner) {
            ++owner_.live;
        }
        ~Counted() override {
            owner_.outstandingAtClose = real_->outstanding();
            real_.reset();
            --owner_.live;
        }
        Counted(const Counted&) = delete;
        Counted& operator=(const Counted&) = delete;

        std::optional<platform::EchoReply> send(uint32_t destination, const std::vector<uint8_t>& data,
                                                int timeoutMs, uint32_t tag) override {
            ++owner_.sent;
            return real_->send(destination, data, timeoutMs, tag);
        }
        std::vector<Answer> receive(Clock::time_point until) override { return real_->receive(until); }
        size_t outstanding() const override { return real_->outstanding(); }

    private:
        std::unique_ptr<platform::EchoBatch> real_;
        CountingEcho& owner_;
    };

    platform::IcmpSocketEcho real_;
};

QString at(int n) {
    return QStringLiteral("10.1.2.%1").arg(n);
}

class ParallelProberNetwork : public ::testing::TestWithParam<Kind> {};

TEST_P(ParallelProberNetwork, CancelMidSweepReturnsAtOnceAndLeavesNoRequestOutstandingNorSocketOpen) {
    KESTRION_REQUIRE_NETNS();
    TestNetwork net("kpcancel");
    net.allowPingSockets(GetParam() == Kind::DatagramOnly);
    for (const char* address : {"10.1.2.10", "10.1.2.20", "10.1.2.30"})
        net.addHostAddress(address);
    // Slow answers: when Cancel comes they are still under way, and they arrive during the next sweep.
    const Responder responder(net, {"10.1.2.10=delay:700", "10.1.2.20=delay:700", "10.1.2.30=answer"});

    NamespaceScope inClient(net.client());
    CountingEcho echo(GetParam());
    SweepSession session(echo, nullptr, SweepSession::Waiting::OnThisThread);
    QStringList found;
    QObject::connect(&session, &SweepSession::found, [&](const FoundHost& host) { found << host.address; });
    std::optional<SteadyClock::time_point> cancelledAt;
    QObject::connect(&session, &SweepSession::progress, [&](const QString& address, int) {
        if (address == at(100) && !cancelledAt) {
            cancelledAt = SteadyClock::now();
            session.requestStop(StopRequest::Cancel);
        }
    });

    const size_t before = openDescriptors();
    session.setRange({QStringLiteral("10"), QStringLiteral("1"), QStringLiteral("2"), 1, 254});
    session.setSettings({3000, 32});
    session.setPacing({true, 1});
    EXPECT_EQ(session.run().outcome, SweepOutcome::Cancelled);
    ASSERT_TRUE(cancelledAt);
    EXPECT_LT(SteadyClock::now() - *cancelledAt, std::chrono::milliseconds(300)) << "no wait for answers";
    EXPECT_EQ(echo.sent, 100u) << "nothing sent after the address at which Cancel came";
    EXPECT_GE(echo.outstandingAtClose, 2u) << "the test cancelled with answers still under way";
    EXPECT_EQ(echo.live, 0) << "the batch handle is closed when the sweep returns";
    EXPECT_EQ(openDescriptors(), before) << "no socket left open";
    EXPECT_EQ(found, (QStringList{at(1), at(30)})) << "what had answered is kept";

    // The cancelled sweep's answers still arrive while the next one runs; none is taken for its own.
    QObject::disconnect(&session, &SweepSession::progress, nullptr, nullptr);
    found.clear();
    session.clearHosts();
    session.clearStop();
    session.setRange({QStringLiteral("10"), QStringLiteral("1"), QStringLiteral("2"), 1, 40});
    session.setSettings({500, 32});
    EXPECT_EQ(session.run().outcome, SweepOutcome::Done);
    EXPECT_EQ(found, (QStringList{at(1), at(30)})) << "the late answers of .10 and .20 made no row";
    EXPECT_EQ(echo.outstandingAtClose, 0u);
    EXPECT_EQ(openDescriptors(), before);
}

std::string kindName(const ::testing::TestParamInfo<Kind>& info) {
    return info.param == Kind::DatagramOnly ? "Datagram" : "Raw";
}

INSTANTIATE_TEST_SUITE_P(EchoSockets, ParallelProberNetwork,
                         ::testing::Values(Kind::DatagramOnly, Kind::RawOnly), kindName);

} // namespace
} // namespace kestrion::sweep
