// The database's lock: one file beside the database, taken by anyone who writes it; who holds it is
// told by its note; where it cannot be made as a plain file of its own, nothing may write.
#include "platform/DatabaseLock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrion::platform {
namespace {

using Outcome = DatabaseLock::Outcome;

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct LockCase {
    const char* name;
    // Prepares the folder (holding the database "KRdb.mdb"); may return a lock that already runs.
    std::function<std::unique_ptr<DatabaseLock>(const QString& folder)> before;
    Outcome outcome;
    LockHolder holder;
    const char* detail; // how the detail ends
};

void PrintTo(const LockCase& c, std::ostream* os) {
    *os << c.name;
}

QString databaseIn(const QString& folder) {
    return folder + QStringLiteral("/KRdb.mdb");
}

class DatabaseLockCases : public ::testing::TestWithParam<LockCase> {};

TEST_P(DatabaseLockCases, OneLockBesideTheDatabase) {
    const LockCase& c = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto running = c.before(dir.path());
    const DatabaseLock lock(databaseIn(dir.path()), LockHolder::Command);
    EXPECT_EQ(lock.outcome(), c.outcome);
    EXPECT_EQ(lock.holder(), c.holder);
    EXPECT_TRUE(lock.detail().startsWith(dir.filePath(QStringLiteral("KRdb.mdb.lock"))))
        << lock.detail().toStdString();
    EXPECT_TRUE(lock.detail().endsWith(QLatin1String(c.detail))) << lock.detail().toStdString();
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("elsewhere")))) << "a link was followed";
    if (c.outcome == Outcome::Acquired) {
        EXPECT_EQ(contents(lock.detail()), QByteArray::number(::getpid()) + " command\n");
    }
}

std::unique_ptr<DatabaseLock> heldAs(const QString& folder, LockHolder as) {
    auto lock = std::make_unique<DatabaseLock>(databaseIn(folder), as);
    EXPECT_TRUE(lock->acquired());
    return lock;
}

INSTANTIATE_TEST_SUITE_P(
    Places, DatabaseLockCases,
    ::testing::Values(
        LockCase{"Free", [](const QString&) { return nullptr; }, Outcome::Acquired, LockHolder::Command,
                 "KRdb.mdb.lock"},
        LockCase{"LeftByAHolderThatEnded",
                 [](const QString& folder) {
                     QFile old(folder + QStringLiteral("/KRdb.mdb.lock"));
                     old.open(QIODevice::WriteOnly);
                     old.write("99999999 window\n");
                     return nullptr;
                 },
                 Outcome::Acquired, LockHolder::Command, "KRdb.mdb.lock"},
        LockCase{"HeldByAWindow", [](const QString& f) { return heldAs(f, LockHolder::Window); },
                 Outcome::HeldByAnother, LockHolder::Window, "KRdb.mdb.lock"},
        LockCase{"HeldByACommand", [](const QString& f) { return heldAs(f, LockHolder::Command); },
                 Outcome::HeldByAnother, LockHolder::Command, "KRdb.mdb.lock"},
        LockCase{"AFolderInItsPlace",
                 [](const QString& folder) {
                     QDir().mkdir(folder + QStringLiteral("/KRdb.mdb.lock"));
                     return nullptr;
                 },
                 Outcome::NoLockFile, LockHolder::Unknown, ": Is a directory"},
        LockCase{"ALinkInItsPlace",
                 [](const QString& folder) {
                     QFile::link(folder + QStringLiteral("/elsewhere"),
                                 folder + QStringLiteral("/KRdb.mdb.lock"));
                     return nullptr;
                 },
                 Outcome::NoLockFile, LockHolder::Unknown, ": Too many levels of symbolic links"},
        LockCase{"APipeInItsPlace",
                 [](const QString& folder) {
                     ::mkfifo(QFile::encodeName(folder + QStringLiteral("/KRdb.mdb.lock")).constData(), 0600);
                     return nullptr;
                 },
                 Outcome::NoLockFile, LockHolder::Unknown, ": not a regular file"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(DatabaseLock, RetryTakesItOnceTheHolderHasGone) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto window = heldAs(dir.path(), LockHolder::Window);
    DatabaseLock command(databaseIn(dir.path()), LockHolder::Command);
    ASSERT_EQ(command.outcome(), Outcome::HeldByAnother);
    command.retry();
    EXPECT_EQ(command.outcome(), Outcome::HeldByAnother);
    window.reset();
    command.retry();
    EXPECT_TRUE(command.acquired());
    EXPECT_EQ(command.holder(), LockHolder::Command);
}

// Another user's view of a folder of root's, readable by all: without a lock file it cannot make one;
// beside a readable lock file it still locks (an flock needs no write access).
TEST(DatabaseLock, AFolderTheUserCannotWrite) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become another user";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString database = databaseIn(dir.path());

    // Exit code of the child: the outcome, or 9 when it could not become the other user.
    auto asNobody = [&] {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(9);
            const DatabaseLock lock(database, LockHolder::Command);
            ::_exit(static_cast<int>(lock.outcome()) +
                    (lock.detail().endsWith(QLatin1String(": Permission denied")) ? 10 : 0));
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(asNobody(), static_cast<int>(Outcome::NoLockFile) + 10);

    QFile lockFile(database + QStringLiteral(".lock"));
    ASSERT_TRUE(lockFile.open(QIODevice::WriteOnly));
    lockFile.close();
    ASSERT_EQ(::chmod(QFile::encodeName(lockFile.fileName()).constData(), 0644), 0);
    EXPECT_EQ(asNobody(), static_cast<int>(Outcome::Acquired));
}

} // namespace
} // namespace kestrion::platform
