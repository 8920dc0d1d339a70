#include "platform/UniqueFd.h"

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <unistd.h>

namespace kestrion::platform {
namespace {

bool isOpen(int fd) {
    return ::fcntl(fd, F_GETFD) != -1;
}

int openOne() {
    return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
}

// Each row hands one descriptor through the owner's operations; afterwards it is open exactly when
// the row says so (a release gives it up without closing, everything else closes it once).
TEST(UniqueFd, ClosesWhatItOwnsOnceAndNothingElse) {
    struct Row {
        const char* name;
        std::function<int(int)> handle; // takes the descriptor, returns one the test closes itself or -1
        bool openAfter;
    };
    const Row rows[] = {
        {"goes out of scope",
         [](int fd) {
             UniqueFd owner(fd);
             return -1;
         },
         false},
        {"moved into another, both go",
         [](int fd) {
             UniqueFd first(fd);
             UniqueFd second(std::move(first));
             EXPECT_FALSE(first); // NOLINT(bugprone-use-after-move): a moved-from owner is empty
             EXPECT_EQ(second.get(), fd);
             return -1;
         },
         false},
        {"move-assigned over an owner of another descriptor",
         [](int fd) {
             UniqueFd other(openOne());
             const int replaced = other.get();
             other = UniqueFd(fd);
             EXPECT_FALSE(isOpen(replaced)) << "the replaced descriptor is closed";
             return -1;
         },
         false},
        {"released", [](int fd) { return UniqueFd(fd).release(); }, true},
        {"reset to another",
         [](int fd) {
             UniqueFd owner(fd);
             owner.reset(openOne());
             EXPECT_FALSE(isOpen(fd));
             return owner.release();
         },
         false},
        {"closed by hand, then gone",
         [](int fd) {
             UniqueFd owner(fd);
             EXPECT_EQ(owner.close(), 0);
             EXPECT_FALSE(owner);
             EXPECT_EQ(owner.close(), 0) << "nothing left to close";
             return -1;
         },
         false},
    };
    for (const Row& row : rows) {
        const int fd = openOne();
        ASSERT_GE(fd, 0) << row.name;
        const int keptByTest = row.handle(fd);
        EXPECT_EQ(isOpen(fd), row.openAfter) << row.name;
        if (keptByTest >= 0 && keptByTest != fd)
            ::close(keptByTest);
        if (row.openAfter)
            ::close(fd);
    }
}

TEST(UniqueFd, CloseReportsAFailedClose) {
    const int fd = openOne();
    ASSERT_GE(fd, 0);
    ::close(fd); // someone else closed it: the owner's close fails and says why
    UniqueFd owner(fd);
    EXPECT_EQ(owner.close(), EBADF);
    EXPECT_FALSE(owner);
}

} // namespace
} // namespace kestrion::platform
