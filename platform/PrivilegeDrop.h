#pragma once

#include "platform/UniqueFd.h"

namespace kestrion::platform {

// main()'s first step in both programs, before Qt or any other code that loads plugins exists. A user
// other than root gives up the capabilities the program file lent it, whether or not they were used,
// after opening the one thing cap_net_raw is for: a raw ICMP socket, kept for the process's life (sweeps
// use copies of it). In secure mode (the kernel's AT_SECURE) only the plugins installed with Qt are used
// (PluginChoice).
// Returns the kept raw socket, or none. Where the capabilities cannot be dropped it says why on standard
// error and ends the process with status 1.
UniqueFd startWithoutPrivileges(int& argc, char** argv, const char* programName);

} // namespace kestrion::platform
