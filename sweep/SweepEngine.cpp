#include "sweep/SweepEngine.h"

#include "platform/EchoService.h"
#include "sweep/SweepNames.h"

#include <algorithm>
#include <vector>

namespace kestrion::sweep {

namespace {

// One run of the loop over the range.
class Sweep {
public:
    Sweep(platform::EchoService& echo, com::ComponentFactory* components, const SweepRange& range,
          const SweepSettings& settings, SweepObserver& observer, int16_t percentDone)
        : echo_(echo), range_(range), settings_(settings), observer_(observer), names_(components, observer),
          request_(static_cast<size_t>(std::max<int16_t>(settings.packetSize, 0)), 'T'),
          percent_(percentDone) {}

    SweepOutcome run() {
        const int16_t last = range_.lastHost;
        for (int16_t n = range_.firstHost; n <= last; ++n) {
            switch (observer_.stopRequest()) {
            case StopRequest::Cancel:
                observer_.cancelled();
                return SweepOutcome::Cancelled;
            case StopRequest::Exit:
                return SweepOutcome::Ended;
            case StopRequest::None:
                break;
            }
            if (!pingOne(n))
                return SweepOutcome::Cancelled;
            observer_.yield();
        }
        return SweepOutcome::Done;
    }

    int16_t percent() const { return percent_; }

private:
    // False when an answer to a question stopped the sweep.
    bool pingOne(int16_t n) {
        const QString address = range_.address(n);
        percent_ = progressPercent(range_.firstHost, range_.lastHost, n, percent_);
        observer_.progress(address, percent_);

        const int32_t destination = AddressToLong(address);
        platform::EchoReply reply{0, platform::echo_status::GeneralFailure, 0, 0};
        // The handle is closed on leaving this block, before the reply is judged.
        if (platform::EchoOpenResult handle = echo_.open(); handle.channel) {
            observer_.wait([&] {
                reply =
                    handle.channel->send(static_cast<uint32_t>(destination), request_, settings_.timeoutMs);
            });
        }

        const JudgingRule& rule = judgingRule(judge(reply, static_cast<uint32_t>(destination)));
        if (rule.asks) {
            if (observer_.ask(judgingQuestion(rule, address, reply, destination)) != rule.stopAnswer)
                return true;
            if (rule.progressBeforeStop)
                observer_.progress(address, percent_);
            observer_.ask(stopMessage(rule));
            observer_.cancelled();
            return false;
        }
        if (rule.verdict == Verdict::Success)
            observer_.found({address, names_.lookUp(address), reply.roundTripTime});
        return true;
    }

    platform::EchoService& echo_;
    const SweepRange& range_;
    const SweepSettings& settings_;
    SweepObserver& observer_;
    SweepNames names_;
    const std::vector<uint8_t> request_;
    int16_t percent_;
};

} // namespace

SweepEngine::SweepEngine(platform::EchoService& echo, com::ComponentFactory* components)
    : echo_(echo), components_(components) {}

SweepResult SweepEngine::run(const SweepRange& range, const SweepSettings& settings, SweepObserver& observer,
                             int16_t percentDone) {
    // Where no echo socket can be had at all, say why once instead of failing at every address.
    if (platform::EchoOpenResult probe = echo_.open(); !probe.channel)
        return {SweepOutcome::Refused, QString::fromStdString(probe.error), percentDone};
    observer.started();
    Sweep sweep(echo_, components_, range, settings, observer, percentDone);
    const SweepOutcome outcome = sweep.run();
    return {outcome, {}, sweep.percent()};
}

} // namespace kestrion::sweep
