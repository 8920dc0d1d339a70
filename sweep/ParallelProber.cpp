#include "sweep/ParallelProber.h"

#include "platform/AppTitle.h"
#include "platform/EchoService.h"
#include "sweep/SweepNames.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

namespace kestrion::sweep {

namespace {

using Clock = platform::EchoBatch::Clock;

// While the last answers are awaited, the caller gets its events this often.
constexpr auto kYieldSlice = std::chrono::milliseconds(15);
// The gathered question names this many addresses, then counts the rest.
constexpr size_t kListedAnswers = 30;

QString dotted(uint32_t networkOrder) {
    const auto* b = reinterpret_cast<const uint8_t*>(&networkOrder);
    return QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
}

QString answerText(const GatheredAnswer& answer) {
    QString code = QString::number(answer.reply.status);
    switch (answer.verdict) {
    case Verdict::NetUnreachable:
        return QStringLiteral("network unreachable (error %1)").arg(code);
    case Verdict::BadDestination:
        return QStringLiteral("bad destination (error %1)").arg(code);
    case Verdict::PingFailed:
        return answer.reply.address
                   ? QStringLiteral("ping failed (error %1, from %2)").arg(code, dotted(answer.reply.address))
                   : QStringLiteral("ping failed (error %1)").arg(code);
    case Verdict::HostUnreachable:
        return answer.reply.status == platform::echo_status::Success
                   ? QStringLiteral("the reply came from %1").arg(dotted(answer.reply.address))
                   : QStringLiteral("unreachable, says %1 (error %2)")
                         .arg(dotted(answer.reply.address), code);
    case Verdict::Silent:
    case Verdict::Success:
        break;
    }
    return code;
}

// One run over the range.
class Probe {
public:
    Probe(platform::EchoBatch& batch, const SweepRange& range, const SweepSettings& settings,
          const Pacing& pacing, size_t maxOutstanding, SweepObserver& observer, int16_t percentDone)
        : batch_(batch), range_(range), settings_(settings),
          maxOutstanding_(std::max<size_t>(maxOutstanding, 1)),
          interval_(std::chrono::milliseconds(
              std::clamp(pacing.intervalMs, kIntervalLowestMs, kIntervalHighestMs))),
          observer_(observer), request_(static_cast<size_t>(std::max<int16_t>(settings.packetSize, 0)), 'T'),
          replies_(range.firstHost <= range.lastHost
                       ? static_cast<size_t>(range.lastHost - range.firstHost + 1)
                       : 0),
          percent_(percentDone) {}

    // None: swept to the end (every request answered); else the stop request that ended it.
    std::optional<StopRequest> run() {
        std::optional<Clock::time_point> due; // when the next request may go
        for (int16_t n = range_.firstHost; n <= range_.lastHost; ++n) {
            if (const auto stop = stopped())
                return stop;
            // Pacing, and room under the bound; answers are taken in meanwhile.
            while (batch_.outstanding() >= maxOutstanding_ || (due && Clock::now() < *due)) {
                const Clock::time_point until =
                    batch_.outstanding() >= maxOutstanding_ ? Clock::now() + kYieldSlice : *due;
                take(batch_.receive(until));
                if (batch_.outstanding() >= maxOutstanding_) {
                    observer_.yield();
                    if (const auto stop = stopped())
                        return stop;
                }
            }
            percent_ = progressPercent(range_.firstHost, range_.lastHost, n, percent_);
            const QString address = range_.address(n);
            observer_.progress(address, percent_);
            const auto destination = static_cast<uint32_t>(AddressToLong(address));
            const auto index = static_cast<size_t>(n - range_.firstHost);
            // The pace is kept from due time to due time, not from each wake-up, whose lateness would
            // add up over a block; after a stall of more than an interval (a box, a slow frame) it starts
            // again from now rather than sending the missed requests in a burst.
            const Clock::time_point sentAt = Clock::now();
            due = due && *due + interval_ > sentAt ? *due + interval_ : sentAt + interval_;
            if (auto refused =
                    batch_.send(destination, request_, settings_.timeoutMs, static_cast<uint32_t>(index)))
                replies_[index] = *refused;
            observer_.yield();
        }
        while (batch_.outstanding() > 0) {
            if (const auto stop = stopped())
                return stop;
            take(batch_.receive(Clock::now() + kYieldSlice));
            observer_.yield();
        }
        return std::nullopt;
    }

    // The replies by address, in address order; those not answered (a stopped sweep) are empty.
    const std::vector<std::optional<platform::EchoReply>>& replies() const { return replies_; }
    int16_t percent() const { return percent_; }

private:
    std::optional<StopRequest> stopped() {
        const StopRequest stop = observer_.stopRequest();
        if (stop == StopRequest::None)
            return std::nullopt;
        return stop;
    }

    void take(const std::vector<platform::EchoBatch::Answer>& answers) {
        for (const platform::EchoBatch::Answer& answer : answers)
            if (answer.tag < replies_.size())
                replies_[answer.tag] = answer.reply;
    }

    platform::EchoBatch& batch_;
    const SweepRange& range_;
    const SweepSettings& settings_;
    const size_t maxOutstanding_;
    const Clock::duration interval_;
    SweepObserver& observer_;
    const std::vector<uint8_t> request_;
    std::vector<std::optional<platform::EchoReply>> replies_;
    int16_t percent_;
};

} // namespace

ParallelProber::ParallelProber(platform::EchoService& echo, com::ComponentFactory* components,
                               size_t maxOutstanding)
    : echo_(echo), components_(components), maxOutstanding_(maxOutstanding) {}

SweepResult ParallelProber::run(const SweepRange& range, const SweepSettings& settings, const Pacing& pacing,
                                SweepObserver& observer, int16_t percentDone) {
    platform::EchoBatchOpenResult opened = echo_.openBatch();
    if (!opened.batch)
        return {SweepOutcome::Refused, QString::fromStdString(opened.error), percentDone};
    observer.started();
    Probe probe(*opened.batch, range, settings, pacing, maxOutstanding_, observer, percentDone);
    const std::optional<StopRequest> stop = probe.run();
    // Closed before anything else: nothing stays outstanding while names are looked up.
    opened.batch.reset();
    if (stop == StopRequest::Exit)
        return {SweepOutcome::Ended, {}, probe.percent()};

    QStringList answering;
    std::vector<uint32_t> roundTrips;
    std::vector<GatheredAnswer> gathered;
    for (size_t i = 0; i < probe.replies().size(); ++i) {
        const std::optional<platform::EchoReply>& reply = probe.replies()[i];
        if (!reply)
            continue;
        const QString address =
            range.address(static_cast<int16_t>(range.firstHost + static_cast<int16_t>(i)));
        const Verdict verdict = judge(*reply, static_cast<uint32_t>(AddressToLong(address)));
        if (verdict == Verdict::Success) {
            answering << address;
            roundTrips.push_back(reply->roundTripTime);
        } else if (judgingRule(verdict).asks) {
            gathered.push_back({address, *reply, verdict});
        }
    }

    SweepNames names(components_, observer);
    const QStringList found = names.lookUpAll(answering, kNameLookupsAtOnce);
    for (qsizetype i = 0; i < answering.size(); ++i)
        observer.found({answering[i], found[i], roundTrips[static_cast<size_t>(i)]});
    if (stop == StopRequest::Cancel) {
        observer.cancelled();
        return {SweepOutcome::Cancelled, {}, probe.percent()};
    }
    if (!gathered.empty())
        observer.ask(gatheredQuestion(gathered));
    return {SweepOutcome::Done, {}, probe.percent()};
}

SweepQuestion gatheredQuestion(const std::vector<GatheredAnswer>& answers) {
    QString text = answers.size() == 1 ? QStringLiteral("1 address was not reached:")
                                       : QStringLiteral("%1 addresses were not reached:").arg(answers.size());
    for (size_t i = 0; i < answers.size() && i < kListedAnswers; ++i)
        text += QLatin1Char('\n') + answers[i].address + QStringLiteral(": ") + answerText(answers[i]);
    if (answers.size() > kListedAnswers)
        text += QStringLiteral("\n... and %1 more.").arg(answers.size() - kListedAnswers);
    text += QStringLiteral("\nThese addresses may lie outside of your network or behind a firewall.");
    return {platform::appTitle() + QStringLiteral(" Alert"), text, platform::MsgButtons::Ok,
            platform::MsgIcon::Exclamation, platform::AnswerOk};
}

} // namespace kestrion::sweep
