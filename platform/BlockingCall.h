#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kestrion::platform {

// The worker thread of the painting wait: one long-lived thread, so a sweep does not start a thread per
// address. Whoever runs blocking calls owns one (the sweep) and hands it to runWhilePainting.
// The destructor lets the call in flight (and any queued) finish, then joins the thread. In the program
// no call is in flight then: the caller waits for it on the user-interface thread, and the input that
// could close the window is held back meanwhile. Should the owner end inside the wait's event loop all
// the same, the wait still returns once the call is done; the caller must not touch its owner after.
class BlockingCallWorker {
public:
    BlockingCallWorker();
    ~BlockingCallWorker();
    BlockingCallWorker(const BlockingCallWorker&) = delete;
    BlockingCallWorker& operator=(const BlockingCallWorker&) = delete;

    void post(std::function<void()> job);

private:
    void loop();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

// Runs a blocking call (an echo wait, a name look-up) on the worker thread while the calling
// user-interface thread waits in a local event loop that paints but takes no user input.
// Clicks stay queued and are handled at the caller's next explicit yield.
// Without a QCoreApplication the call simply runs on the calling thread.
void runWhilePainting(BlockingCallWorker& worker, const std::function<void()>& call);

} // namespace kestrion::platform
