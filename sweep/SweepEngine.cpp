#include "sweep/SweepEngine.h"

#include "platform/AppTitle.h"
#include "platform/EchoService.h"
#include "platform/ProgramPath.h"
#include "platform/com/Com.h"
#include "resolver/IWSResolver.h"

#include <algorithm>
#include <string>
#include <vector>

namespace kestrion::sweep {

namespace {

QString hresultText(com::HRESULT hr) {
    return QStringLiteral("0x") +
           QString::number(static_cast<uint32_t>(hr), 16).toUpper().rightJustified(8, QLatin1Char('0'));
}

// The resolver object of one sweep: made at the first answering address, released on every way out,
// and its library let go once it serves nothing.
class SweepNames {
public:
    SweepNames(com::ComponentFactory* components, SweepObserver& observer)
        : components_(components), observer_(observer) {}
    SweepNames(const SweepNames&) = delete;
    SweepNames& operator=(const SweepNames&) = delete;
    ~SweepNames() {
        if (object_) {
            object_.reset();
            components_->freeUnusedLibraries();
        }
    }

    QString lookUp(const QString& address) {
        if (!object_ && !unavailable_)
            create();
        if (!object_)
            return QStringLiteral("Not available");
        std::string buffer(resolver::kHostNameChars, ' ');
        buffer.push_back('\0');
        const QByteArray text = address.toLatin1();
        observer_.wait([&] { object_->GetHostByAddr(text.constData(), buffer.data()); });
        return hostNameFromBuffer(buffer.data(), resolver::kHostNameChars);
    }

private:
    void create() {
        unavailable_ = true;
        if (!components_)
            return;
        const com::HRESULT hr =
            components_->createInstance(resolver::CLSID_WSResolver, resolver::IID_IWSResolver, object_.put());
        if (com::Succeeded(hr) && object_) {
            unavailable_ = false;
            return;
        }
        object_.reset();
        observer_.ask(
            {platform::appTitle() + QStringLiteral(" Error"),
             QStringLiteral("Host names are not available: the name resolver component could not be "
                            "created (error %1). Answering addresses are listed with \"Not "
                            "available\". Registering the Resolver library makes the names "
                            "available:\n    %2/kregsvr %2/libResolver.so")
                 .arg(hresultText(hr), QString::fromStdString(platform::programFolder())),
             platform::MsgButtons::Ok, platform::MsgIcon::Exclamation, platform::AnswerOk});
    }

    com::ComponentFactory* components_;
    SweepObserver& observer_;
    com::ComPtr<resolver::IWSResolver> object_;
    bool unavailable_ = false;
};

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
