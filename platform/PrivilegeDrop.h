#pragma once

#include "platform/UniqueFd.h"

#include <string>

namespace kestrion::platform {

// What a program that may carry cap_net_raw does first in main(), before Qt or any other code that
// loads plugins exists: it opens the one thing the capability is for, a raw ICMP socket, and then gives
// up every capability for good. The socket stays open for the process's life; sweeps use copies of it.
struct PrivilegedStart {
    UniqueFd rawIcmp; // the raw ICMP socket opened with the capability; none without it
    bool dropped = false;
    std::string error; // why the capabilities could not be dropped (the program must not go on)
};

// Root keeps its own rights (a root user's environment is root's own choice); any other user gives up
// the capabilities the program file lent it, whether or not they were used.
PrivilegedStart openRawSocketAndDropCapabilities();

// The effective capability set of this process (the CapEff of /proc/self/status), as a bit mask.
unsigned long long effectiveCapabilities();

// True where the kernel started this program in secure mode (file capabilities or set-user-ID): its
// environment and arguments were chosen by a user who does not own those rights.
bool startedInSecureMode();

// main()'s first step in both programs: the raw socket and the dropped capabilities, then, in secure
// mode, only the plugins installed with Qt (PluginChoice). Returns the kept raw socket (or none). Where
// the capabilities cannot be dropped it says why on standard error and ends the process with status 1.
UniqueFd startWithoutPrivileges(int& argc, char** argv, const char* programName);

} // namespace kestrion::platform
