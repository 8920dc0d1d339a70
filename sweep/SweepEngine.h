#pragma once

#include "sweep/JudgingTable.h"
#include "sweep/SweepRange.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace kestrion::platform {
class EchoService;
}
namespace kestrion::com {
class ComponentFactory;
}

// One sweep of a range, without any window: what the Ping button, the scheduled run and a command line
// share.
//
// Contract of SweepEngine::run:
// - Opens one echo handle first; when none can be had, nothing is sent and the outcome is Refused with the
//   echo service's reason (nothing else of the observer is called).
// - Then, for each fourth octet from firstHost up to lastHost (taken once; none when first > last):
//   reads stopRequest() (Cancel: cancelled(), outcome Cancelled; Exit: outcome Ended, nothing else
//   touched), reports progress(), sends one echo on a new handle through wait(), closes the handle,
//   judges the reply by kJudgingTable (questions go to ask(); the row's stopping answer shows the stop
//   message through ask(), calls cancelled() and ends with Cancelled), reports found() for an answering
//   address, then yield().
// - A loop run to its end (also an empty one) is Done.
// - One resolver object per sweep, created at the first answering address and released before run()
//   returns. A null factory, or one that cannot create it, names every host "Not available" (the latter
//   says so once through ask()).
// - Everything of the observer is called on the caller's thread; only the calls handed to wait() may run
//   elsewhere.
namespace kestrion::sweep {

struct SweepSettings {
    int16_t timeoutMs = 3000;
    int16_t packetSize = 64; // letters "T" in each request; a negative size sends none
};

struct FoundHost {
    QString address;
    QString name; // the resolver's answer, or "Not available"
    uint32_t roundTripTime = 0;
};

enum class StopRequest { None, Cancel, Exit };

class SweepObserver {
public:
    virtual ~SweepObserver() = default;
    // Read at the top of every address.
    virtual StopRequest stopRequest() = 0;
    // The handle opened: the sweep is under way.
    virtual void started() {}
    // Before the echo to `address`, and once more before the stop message of a reply from another host.
    virtual void progress(const QString& address, int16_t percentDone) = 0;
    virtual void found(const FoundHost& host) = 0;
    // Returns the answer (platform::AnswerOk ...). An unattended caller returns question.goOnAnswer.
    virtual int ask(const SweepQuestion& question) = 0;
    // The sweep stops as cancelled: by a Cancel request or by a stopping answer.
    virtual void cancelled() = 0;
    // Once per address, after its handle is closed: where the caller handles its own events.
    virtual void yield() = 0;
    // Runs a blocking call (the echo wait, a name look-up); the window keeps painting meanwhile.
    virtual void wait(const std::function<void()>& call) { call(); }
};

enum class SweepOutcome { Done, Cancelled, Ended, Refused };

struct SweepResult {
    SweepOutcome outcome = SweepOutcome::Done;
    QString refusal;         // Refused: why no echo handle could be had, with the remedies
    int16_t percentDone = 0; // the progress as the sweep left it
};

class SweepEngine {
public:
    // `components` may be null: no names are looked up.
    SweepEngine(platform::EchoService& echo, com::ComponentFactory* components);

    // `percentDone` is the progress left by the previous sweep (it is kept at the last address).
    SweepResult run(const SweepRange& range, const SweepSettings& settings, SweepObserver& observer,
                    int16_t percentDone = 0);

private:
    platform::EchoService& echo_;
    com::ComponentFactory* components_;
};

} // namespace kestrion::sweep
