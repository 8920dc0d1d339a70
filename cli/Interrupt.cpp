#include "cli/Interrupt.h"

#include <atomic>
#include <csignal>

namespace kestrion::cli {

namespace {

// The one piece of process-wide state: a signal handler is given no object to write to, only the
// signal number, so what it sets has to be reachable statically. A lock-free atomic is the kind of
// object a handler may safely set; only the scope's constructor
// resets it.
std::atomic<bool> interruptRaised{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void onInterrupt(int) {
    interruptRaised.store(true, std::memory_order_relaxed);
}

} // namespace

InterruptScope::InterruptScope() {
    interruptRaised.store(false);
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, &previous_);
}

InterruptScope::~InterruptScope() {
    sigaction(SIGINT, &previous_, nullptr);
}

bool InterruptScope::raised() const {
    return interruptRaised.load(std::memory_order_relaxed);
}

} // namespace kestrion::cli
