#include "platform/ProgramPath.h"

#include <unistd.h>

namespace kestrion::platform {

std::string programPath() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string("kestrion");
}

std::string programFolder() {
    const std::string path = programPath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

} // namespace kestrion::platform
