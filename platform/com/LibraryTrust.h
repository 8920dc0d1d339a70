#pragma once

// Which component libraries a process may load. A process that runs with more rights than the
// user who started it (a file capability or set-user-ID, which the kernel marks with AT_SECURE)
// must not run code that this user can name or change: it loads only libraries of its own folder
// that the user cannot write, whatever the user's class registry says.

#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kestrion::com {

struct LibraryTrust {
    bool privileged = false;
    std::filesystem::path appFolder; // the executable's folder, symbolic links resolved
    uid_t user = 0;                  // the real user and the groups they write with
    std::vector<gid_t> groups;

    // getauxval(AT_SECURE), the folder of /proc/self/exe, the real user id, real group and
    // supplementary groups.
    static LibraryTrust forThisProcess();

    // Why the library at `path` may not be loaded, or nothing when it may. An unprivileged
    // process may load any library.
    std::optional<std::string> refusal(const std::filesystem::path& path) const;
};

} // namespace kestrion::com
