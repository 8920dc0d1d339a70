// Which lock the program takes: only a lock another instance holds keeps it out; a lock file that
// cannot be made falls back to the next place, and where none can, the program starts unprotected.
#include "platform/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrion::platform {
namespace {

using Outcome = InstanceLock::Outcome;

struct LockCase {
    const char* name;
    QStringList candidates; // "dir:" a folder, "file:" a regular file, else a path in the folder
    const char* heldBefore; // held by an instance that already runs, or nullptr
    Outcome outcome;
    const char* detail; // the file taken or refused, or a text the failures name
};

void PrintTo(const LockCase& c, std::ostream* os) {
    *os << c.name;
}

class InstanceLockCases : public ::testing::TestWithParam<LockCase> {};

TEST_P(InstanceLockCases, TakesTheFirstLockThatCanBeMade) {
    const LockCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.lock")));
    QFile regular(dir.filePath(QStringLiteral("plain")));
    ASSERT_TRUE(regular.open(QIODevice::WriteOnly));
    regular.close();

    QStringList paths;
    for (const QString& candidate : c.candidates)
        paths << dir.filePath(candidate);
    std::unique_ptr<InstanceLock> running;
    if (c.heldBefore) {
        running = std::make_unique<InstanceLock>(dir.filePath(QLatin1String(c.heldBefore)));
        ASSERT_TRUE(running->acquired());
    }
    InstanceLock lock(paths);
    EXPECT_EQ(lock.outcome(), c.outcome);
    EXPECT_EQ(lock.acquired(), c.outcome == Outcome::Acquired);
    EXPECT_TRUE(lock.detail().contains(QLatin1String(c.detail))) << lock.detail().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Locations, InstanceLockCases,
    ::testing::Values(
        LockCase{"FreeFile", {"a.lock"}, nullptr, Outcome::Acquired, "a.lock"},
        LockCase{"HeldByARunningInstance", {"a.lock", "b.lock"}, "a.lock", Outcome::HeldByAnother, "a.lock"},
        LockCase{
            "FolderFallsBackToTheNextPlace", {"folder.lock", "b.lock"}, nullptr, Outcome::Acquired, "b.lock"},
        LockCase{
            "FolderThenAHeldFallback", {"folder.lock", "b.lock"}, "b.lock", Outcome::HeldByAnother, "b.lock"},
        LockCase{"ParentIsAFile", {"plain/kestrion.lock", "b.lock"}, nullptr, Outcome::Acquired, "b.lock"},
        LockCase{"NoPlaceAtAll",
                 {"folder.lock", "plain/kestrion.lock"},
                 nullptr,
                 Outcome::NoLockFile,
                 "plain/kestrion.lock: Not a directory"},
        LockCase{"NothingToTry", {}, nullptr, Outcome::NoLockFile, ""}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(InstanceLock, FallsBackFromAFolderTheUserCannotWrite) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString readOnly = dir.filePath(QStringLiteral("run"));
    const QString writable = dir.filePath(QStringLiteral("cache"));
    ASSERT_TRUE(QDir().mkpath(readOnly));
    ASSERT_TRUE(QDir().mkpath(writable));
    ASSERT_EQ(::chmod(QFile::encodeName(readOnly).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(writable).constData(), 0777), 0);

    // Exit code of the child: the outcome, or 9 when it could not become the other user.
    auto asNobody = [](const QStringList& candidates) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(9);
            const InstanceLock lock(candidates);
            ::_exit(static_cast<int>(lock.outcome()));
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(asNobody({readOnly + QStringLiteral("/kestrion.lock")}), static_cast<int>(Outcome::NoLockFile));
    EXPECT_EQ(
        asNobody({readOnly + QStringLiteral("/kestrion.lock"), writable + QStringLiteral("/kestrion.lock")}),
        static_cast<int>(Outcome::Acquired));
    EXPECT_TRUE(QFile::exists(writable + QStringLiteral("/kestrion.lock")));
}

} // namespace
} // namespace kestrion::platform
