#pragma once

#include "sweep/SweepEngine.h"

#include <cstddef>

namespace kestrion::sweep {

// How a sweep sends: one address after the other (the sweep as the window has always made it), or
// paced requests to many addresses at once.
struct Pacing {
    bool parallel = false;
    int intervalMs = 1; // parallel: the time between two sends
};

inline constexpr int kIntervalLowestMs = 1;
inline constexpr int kIntervalHighestMs = 1000;

// A sweep of a range with many requests under way at once, over one handle of the echo service's
// batch kind.
//
// Contract of ParallelProber::run (the observer as for SweepEngine::run):
// - Opens one batch handle first; when none can be had, nothing is sent and the outcome is Refused.
// - Sends one request to each address in ascending order, `intervalMs` apart, with at most
//   `maxOutstanding` unanswered; reports progress() before each send and yield()s after it. Each
//   request is answered by its reply, an error quoting it, or a time-out `timeoutMs` after its own send;
//   nothing is sent twice. After the last send it waits for the outstanding answers, yielding every
//   few milliseconds, so Cancel and Exit act at once.
// - stopRequest() is read before each send and at each yield: Exit ends it (Ended, nothing more);
//   Cancel closes the handle, reports the hosts that had answered, then cancelled() (Cancelled).
// - Every answer is judged by kJudgingTable. Nothing is asked while requests are under way: the
//   answers a sequential sweep would ask about are gathered into one question after the found rows,
//   which only goes on (an unattended observer takes its answer without showing it).
// - The answering hosts come out through found() in address order, their names looked up a few at once.
// - The handle is closed before the names are looked up, so no request is outstanding at the end.
class ParallelProber {
public:
    static constexpr size_t kDefaultMaxOutstanding = 256; // a whole block at once
    static constexpr int kNameLookupsAtOnce = 8;

    // `components` may be null: no names are looked up.
    ParallelProber(platform::EchoService& echo, com::ComponentFactory* components,
                   size_t maxOutstanding = kDefaultMaxOutstanding);

    SweepResult run(const SweepRange& range, const SweepSettings& settings, const Pacing& pacing,
                    SweepObserver& observer, int16_t percentDone = 0);

private:
    platform::EchoService& echo_;
    com::ComponentFactory* components_;
    size_t maxOutstanding_;
};

// The one question after a parallel sweep: the addresses whose answers a sequential sweep would have
// asked about, each with what answered it.
struct GatheredAnswer {
    QString address;
    platform::EchoReply reply;
    Verdict verdict;
};
SweepQuestion gatheredQuestion(const std::vector<GatheredAnswer>& answers);

} // namespace kestrion::sweep
