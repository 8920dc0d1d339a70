// A library whose code runs the moment it is loaded, as a hostile one's would: its constructor
// creates the file named by KESTRION_MARKER_FILE.
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace {

__attribute__((constructor)) void leaveMarker() {
    if (const char* marker = std::getenv("KESTRION_MARKER_FILE")) {
        const int fd = ::open(marker, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0)
            ::close(fd);
    }
}

} // namespace
