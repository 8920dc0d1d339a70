#pragma once

#include <cerrno>
#include <unistd.h>
#include <utility>

namespace kestrion::platform {

// Owns one file descriptor (a socket, a file, a pipe end, a namespace handle); closes it when it goes.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    // Closes now, for a caller that must know: a write can fail late (NFS, a full disk) and only
    // close() says so. 0, or the errno of the failed close; the descriptor is gone either way.
    int close() {
        if (fd_ < 0)
            return 0;
        return ::close(release()) == 0 ? 0 : errno;
    }

private:
    int fd_ = -1;
};

} // namespace kestrion::platform
