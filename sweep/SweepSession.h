#pragma once

#include "sweep/HostsModel.h"
#include "sweep/ParallelProber.h"
#include "sweep/SweepEngine.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>

namespace kestrion::platform {
class BlockingCallWorker;
class EchoService;
} // namespace kestrion::platform
namespace kestrion::com {
class ComponentFactory;
}

namespace kestrion::sweep {

// One sweep session: the range, the stop request, the progress and the answering hosts of the sweeps
// that the Ping button, a scheduled run and the command line carry out, without any window. What
// happens is told by signals, all emitted on the caller's thread while run() is under way:
// - runningChanged(true) first, whatever follows; runningChanged(false) just before finished();
// - started() once the echo handle is open (not when the sweep is refused);
// - progress() before each address's echo (and once more before a stop message, see SweepEngine);
// - found() after the host is added to hosts();
// - question() for each of the sweep's questions: a connected slot sets *answer; left alone the answer
//   is the one that goes on. An unattended session emits unasked() instead and takes that answer;
// - cancelled() when the sweep stops as cancelled (a Cancel request, or a stopping answer);
// - yielding() once per address after its handle is closed: where a caller handles its own events
//   (a window's clicks are delivered then too, when the session keeps painting);
// - finished() last, with the outcome. After Exit nothing but runningChanged(false) and finished() come.
class SweepSession final : public QObject {
    Q_OBJECT
public:
    enum class Waiting {
        OnThisThread, // the echo wait and the look-ups block the caller (a command line)
        KeepPainting, // they run on a worker thread while the caller's event loop paints (a window)
    };

    // `components` may be null: no names are looked up.
    SweepSession(platform::EchoService& echo, com::ComponentFactory* components, Waiting waiting,
                 QObject* parent = nullptr);
    ~SweepSession() override;

    void setRange(const SweepRange& range) { range_ = range; }
    const SweepRange& range() const { return range_; }
    void setSettings(const SweepSettings& settings) { settings_ = settings; }
    const SweepSettings& settings() const { return settings_; }
    // Parallel: the sweeps go through the ParallelProber (its contract says what differs).
    void setPacing(const Pacing& pacing) { pacing_ = pacing; }
    const Pacing& pacing() const { return pacing_; }
    // Unattended (a scheduled run): no question is put to anyone; each takes the answer that goes on.
    void setUnattended(bool unattended) { unattended_ = unattended; }
    bool unattended() const { return unattended_; }

    // Read at the top of every address. A request stays until clearStop() (the window's initialisation).
    void requestStop(StopRequest request) { stop_ = request; }
    void clearStop() { stop_ = StopRequest::None; }
    StopRequest stopRequest() const { return stop_; }
    // "False", "Cancel" or "Exit": the request as the window's rules name it.
    QString stopRequestText() const;

    bool isRunning() const { return running_; }
    const QString& currentAddress() const { return currentAddress_; }
    // Kept from one sweep to the next; the first progress of a sweep sets it anew.
    int16_t percentDone() const { return percentDone_; }
    // How long the last run() took, in whole milliseconds.
    int64_t lastDurationMs() const { return lastDurationMs_; }
    // Why the last sweep could not start (no echo handle could be had); empty when it ran.
    const QString& lastRefusal() const { return lastRefusal_; }

    HostsModel& hosts() { return hosts_; }
    const HostsModel& hosts() const { return hosts_; }
    // Forgets the answering hosts (Reset).
    void clearHosts() { hosts_.clear(); }

    // Sweeps the range with the settings; the hosts found are added to those already held.
    SweepResult run();

signals:
    void runningChanged(bool running);
    void started();
    void progress(const QString& address, int percentDone);
    void found(const kestrion::sweep::FoundHost& host);
    void question(const kestrion::sweep::SweepQuestion& question, int* answer);
    void unasked(const kestrion::sweep::SweepQuestion& question);
    void cancelled();
    void yielding();
    void finished(const kestrion::sweep::SweepResult& result);

private:
    class Observer;

    SweepEngine engine_;
    ParallelProber prober_;
    Pacing pacing_;
    Waiting waiting_;
    SweepRange range_;
    SweepSettings settings_;
    bool unattended_ = false;
    StopRequest stop_ = StopRequest::None;
    bool running_ = false;
    QString currentAddress_;
    int16_t percentDone_ = 0;
    int64_t lastDurationMs_ = 0;
    QString lastRefusal_;
    HostsModel hosts_;
    // Last, so destroyed first: its thread is joined before anything a call in flight could use goes.
    std::unique_ptr<platform::BlockingCallWorker> worker_;
};

} // namespace kestrion::sweep
