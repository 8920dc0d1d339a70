#pragma once

#include <functional>

namespace kestrion::platform {

// Runs a blocking call (an echo wait, a name look-up) on a worker thread while the calling
// user-interface thread waits in a local event loop that paints but takes no user input.
// Clicks stay queued and are handled at the caller's next explicit yield.
// Without a QCoreApplication the call simply runs on the calling thread.
void runWhilePainting(const std::function<void()>& call);

} // namespace kestrion::platform
