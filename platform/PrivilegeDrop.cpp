#include "platform/PrivilegeDrop.h"

#include "platform/IcmpSocketEcho.h"
#include "platform/PluginChoice.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <linux/capability.h>
#include <string>
#include <sys/auxv.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kestrion::platform {

namespace {

// The effective capability set of this process, as a bit mask; all bits where it cannot be read.
unsigned long long effectiveCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return ~0ULL;
    return static_cast<unsigned long long>(data[0].effective) |
           (static_cast<unsigned long long>(data[1].effective) << 32);
}

// Empty on success, otherwise why not.
std::string dropEveryCapability() {
    // Ambient capabilities would come back in a program this one starts (the desktop's "open").
    if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 && errno != EINVAL)
        return std::string("cannot clear the ambient capabilities: ") + std::strerror(errno);
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct none[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capset, &header, none) != 0)
        return std::string("cannot drop the program's capabilities: ") + std::strerror(errno);
    if (effectiveCapabilities() != 0)
        return "the program's capabilities are still in effect after dropping them";
    return {};
}

} // namespace

UniqueFd startWithoutPrivileges(int& argc, char** argv, const char* programName) {
    UniqueFd raw;
    // Root keeps its own rights: a root user's environment is root's own choice.
    if (::getuid() != 0) {
        if (effectiveCapabilities() & (1ULL << CAP_NET_RAW)) {
            int error = 0;
            raw = IcmpSocketEcho::openRawSocket(error);
        }
        if (const std::string error = dropEveryCapability(); !error.empty()) {
            std::fprintf(stderr, "%s: %s\n", programName, error.c_str());
            std::exit(1);
        }
    }
    if (::getauxval(AT_SECURE) != 0) {
        for (const std::string& choice : keepOnlyInstalledPlugins(argc, argv))
            std::fprintf(stderr,
                         "%s: started with the right to open raw sockets, so only the plugins installed "
                         "with Qt are used; ignoring %s\n",
                         programName, choice.c_str());
    }
    return raw;
}

} // namespace kestrion::platform
