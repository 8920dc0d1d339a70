#include "platform/com/LibraryTrust.h"

#include <algorithm>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrion::com {

namespace {

bool isUsersGroup(const LibraryTrust& trust, gid_t group) {
    return std::find(trust.groups.begin(), trust.groups.end(), group) != trust.groups.end();
}

// Owner and mode bits, not access(): a privileged process's access() answers for the user only
// with set-user-ID, and root passes every test of it. The owner counts as a writer whatever the
// mode says, since they may change it.
bool userCanChange(const LibraryTrust& trust, const struct stat& info, bool stickyCounts) {
    if (info.st_uid == trust.user)
        return true;
    const bool writable =
        (info.st_mode & S_IWOTH) || ((info.st_mode & S_IWGRP) && isUsersGroup(trust, info.st_gid));
    // In a sticky folder such as /tmp a user may rename or remove only their own entries.
    if (writable && stickyCounts && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX))
        return false;
    return writable;
}

} // namespace

LibraryTrust LibraryTrust::forThisProcess() {
    LibraryTrust trust;
    trust.privileged = ::getauxval(AT_SECURE) != 0;
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::canonical("/proc/self/exe", error);
    if (!error)
        trust.appFolder = executable.parent_path();
    trust.user = ::getuid();
    trust.groups.push_back(::getgid());
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        std::vector<gid_t> more(static_cast<size_t>(count));
        const int got = ::getgroups(count, more.data());
        if (got > 0)
            trust.groups.insert(trust.groups.end(), more.begin(), more.begin() + got);
    }
    return trust;
}

std::optional<std::string> LibraryTrust::refusal(const std::filesystem::path& path) const {
    if (!privileged)
        return std::nullopt;
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(path, error);
    if (error)
        return "it cannot be found (" + error.message() + ")";
    if (appFolder.empty() || real.parent_path() != appFolder)
        return "it is not in the application folder " + appFolder.string();
    // Every folder up to the root too: whoever may rename one of them can put another file in
    // the library's place after it was checked.
    for (std::filesystem::path at = real;; at = at.parent_path()) {
        struct stat info {};
        if (::lstat(at.c_str(), &info) != 0)
            return at.string() + " cannot be examined";
        if (at == real && !S_ISREG(info.st_mode))
            return "it is not a regular file";
        if (userCanChange(*this, info, at != real && at != appFolder))
            return at.string() + " can be changed by user " + std::to_string(user);
        if (at == at.root_path())
            break;
    }
    return std::nullopt;
}

} // namespace kestrion::com
