#include "sweep/SweepSession.h"

#include "platform/BlockingCall.h"

#include <QCoreApplication>
#include <chrono>

namespace kestrion::sweep {

// The engine's observer: the session's state and signals.
class SweepSession::Observer final : public SweepObserver {
public:
    explicit Observer(SweepSession& session) : s_(session) {}

    StopRequest stopRequest() override { return s_.stop_; }
    void started() override { emit s_.started(); }
    void progress(const QString& address, int16_t percentDone) override {
        s_.currentAddress_ = address;
        s_.percentDone_ = percentDone;
        emit s_.progress(address, percentDone);
    }
    void found(const FoundHost& host) override {
        s_.hosts_.append(host);
        emit s_.found(host);
    }
    int ask(const SweepQuestion& question) override {
        int answer = unaskedAnswer(question);
        if (s_.unattended_)
            emit s_.unasked(question);
        else
            emit s_.question(question, &answer);
        return answer;
    }
    void cancelled() override {
        s_.stop_ = StopRequest::Cancel;
        emit s_.cancelled();
    }
    void yield() override {
        emit s_.yielding();
        if (s_.waiting_ == Waiting::KeepPainting)
            QCoreApplication::processEvents();
    }
    void wait(const std::function<void()>& call) override {
        if (s_.worker_)
            platform::runWhilePainting(*s_.worker_, call);
        else
            call();
    }

private:
    SweepSession& s_;
};

SweepSession::SweepSession(platform::EchoService& echo, com::ComponentFactory* components, Waiting waiting,
                           QObject* parent)
    : QObject(parent), engine_(echo, components), prober_(echo, components), waiting_(waiting), hosts_(this),
      worker_(waiting == Waiting::KeepPainting ? std::make_unique<platform::BlockingCallWorker>() : nullptr) {
}

SweepSession::~SweepSession() = default;

QString SweepSession::stopRequestText() const {
    switch (stop_) {
    case StopRequest::Cancel:
        return QStringLiteral("Cancel");
    case StopRequest::Exit:
        return QStringLiteral("Exit");
    case StopRequest::None:
        break;
    }
    return QStringLiteral("False");
}

SweepResult SweepSession::run() {
    running_ = true;
    lastRefusal_.clear();
    emit runningChanged(true);
    Observer observer(*this);
    SweepResult result;
    const auto began = std::chrono::steady_clock::now();
    try {
        result = pacing_.parallel ? prober_.run(range_, settings_, pacing_, observer, percentDone_)
                                  : engine_.run(range_, settings_, observer, percentDone_);
    } catch (...) {
        running_ = false;
        emit runningChanged(false);
        throw;
    }
    lastDurationMs_ =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began)
            .count();
    percentDone_ = result.percentDone;
    lastRefusal_ = result.refusal;
    running_ = false;
    emit runningChanged(false);
    emit finished(result);
    return result;
}

} // namespace kestrion::sweep
