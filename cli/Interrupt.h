#pragma once

#include <csignal>

namespace kestrion::cli {

// Ctrl-C while a command runs. The first SIGINT only raises a flag, which the sweep reads at its next
// address; the handler goes with it (SA_RESETHAND), so a second Ctrl-C ends the program at once.
// The previous disposition comes back when the scope ends.
class InterruptScope {
public:
    InterruptScope();
    ~InterruptScope();
    InterruptScope(const InterruptScope&) = delete;
    InterruptScope& operator=(const InterruptScope&) = delete;

    bool raised() const;

private:
    struct sigaction previous_ = {};
};

} // namespace kestrion::cli
