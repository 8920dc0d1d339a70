#include "platform/PrivilegeDrop.h"

#include "platform/IcmpSocketEcho.h"
#include "platform/PluginChoice.h"

#include <cstdio>
#include <cstdlib>

#include <cerrno>
#include <cstring>
#include <linux/capability.h>
#include <sys/auxv.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace kestrion::platform {

namespace {

bool readCapabilities(__user_cap_data_struct (&data)[_LINUX_CAPABILITY_U32S_3]) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capget, &header, data) == 0;
}

bool holdsNetRaw() {
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (!readCapabilities(data))
        return false;
    return (data[CAP_NET_RAW / 32].effective & (1u << (CAP_NET_RAW % 32))) != 0;
}

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

unsigned long long effectiveCapabilities() {
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (!readCapabilities(data))
        return ~0ULL;
    return static_cast<unsigned long long>(data[0].effective) |
           (static_cast<unsigned long long>(data[1].effective) << 32);
}

bool startedInSecureMode() {
    return ::getauxval(AT_SECURE) != 0;
}

PrivilegedStart openRawSocketAndDropCapabilities() {
    PrivilegedStart start;
    if (::getuid() == 0)
        return start;
    if (holdsNetRaw()) {
        int error = 0;
        start.rawIcmp = IcmpSocketEcho::openRawSocket(error);
    }
    start.error = dropEveryCapability();
    start.dropped = start.error.empty();
    if (!start.dropped)
        start.rawIcmp.reset();
    return start;
}

UniqueFd startWithoutPrivileges(int& argc, char** argv, const char* programName) {
    PrivilegedStart start = openRawSocketAndDropCapabilities();
    if (!start.error.empty()) {
        std::fprintf(stderr, "%s: %s\n", programName, start.error.c_str());
        std::exit(1);
    }
    if (startedInSecureMode()) {
        const std::vector<std::string> removed = keepOnlyInstalledPlugins(argc, argv);
        for (const std::string& choice : removed)
            std::fprintf(stderr,
                         "%s: started with the right to open raw sockets, so only the plugins installed "
                         "with Qt are used; ignoring %s\n",
                         programName, choice.c_str());
    }
    return std::move(start.rawIcmp);
}

} // namespace kestrion::platform
