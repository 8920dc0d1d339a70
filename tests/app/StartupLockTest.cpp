// The window's lock is the database's: one file beside the database, whatever the environment says;
// held by anyone, the window is "already running"; where it cannot be had at all, no window writes.
#include "app/MainWindow.h"
#include "app/Splash.h"
#include "app/Startup.h"
#include "platform/DatabaseLock.h"
#include "tests/support/fakes/FakeWorld.h"

#include <QDir>
#include <QFile>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrion::test {
namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QString& value) : name_(name), had_(qEnvironmentVariableIsSet(name)) {
        old_ = qgetenv(name);
        qputenv(name, value.toLocal8Bit());
    }
    ~ScopedEnv() {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

QString lockFileOf(const FakeWorld& world) {
    return world.folder.paths.database() + QStringLiteral(".lock");
}

TEST(StartupLock, TheLockLiesBesideTheDatabaseWhateverTheRuntimeFolder) {
    FakeWorld world;
    std::optional<ScopedEnv> runtime(std::in_place, "XDG_RUNTIME_DIR", world.folder.file("run-a"));
    app::Running first = app::StartUp(world.services());
    ASSERT_NE(first.window, nullptr);
    EXPECT_TRUE(world.boxes.shown.empty());
    ASSERT_TRUE(QFile::exists(lockFileOf(world)));
    EXPECT_EQ(world.folder.bytes("KRdb.mdb.lock"), QByteArray::number(::getpid()) + " window\n");

    runtime.emplace("XDG_RUNTIME_DIR", world.folder.file("run-b"));
    app::Running second = app::StartUp(world.services());
    EXPECT_EQ(second.window, nullptr);
    EXPECT_EQ(second.exitStatus, 0);
    ASSERT_EQ(world.boxes.shown.size(), 1u);
    EXPECT_EQ(world.boxes.last().text, QStringLiteral("Kestrion is already running."));
}

TEST(StartupLock, ACommandAtWorkOnTheDatabaseKeepsTheWindowOut) {
    FakeWorld world;
    const platform::DatabaseLock command(world.folder.paths.database(), platform::LockHolder::Command);
    ASSERT_TRUE(command.acquired());
    app::Running running = app::StartUp(world.services());
    EXPECT_EQ(running.window, nullptr);
    ASSERT_EQ(world.boxes.shown.size(), 1u);
    EXPECT_EQ(world.boxes.last().text, QStringLiteral("Kestrion is already running."));
}

struct NoLockCase {
    const char* name;
    // Puts something in the lock file's place that cannot be opened and locked as a file.
    std::function<bool(const QString& lockFile, const QString& folder)> plant;
    const char* reason;
};

TEST(StartupLock, NoLockFileMeansNoWindowAndABoxThatSaysWhy) {
    const NoLockCase cases[] = {
        {"a folder", [](const QString& lock, const QString&) { return QDir().mkdir(lock); },
         "Is a directory"},
        {"a dangling link",
         [](const QString& lock, const QString& folder) {
             return QFile::link(folder + QStringLiteral("/elsewhere"), lock);
         },
         "Too many levels of symbolic links"},
        {"a pipe",
         [](const QString& lock, const QString&) {
             return ::mkfifo(QFile::encodeName(lock).constData(), 0600) == 0;
         },
         "not a regular file"},
    };
    for (const NoLockCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWorld world;
        ASSERT_TRUE(c.plant(lockFileOf(world), world.folder.dir.path()));
        const QByteArray before = world.folder.bytes("KRdb.mdb");

        app::Running running = app::StartUp(world.services());

        EXPECT_EQ(running.window, nullptr);
        EXPECT_EQ(running.splash, nullptr);
        EXPECT_EQ(running.exitStatus, 1);
        ASSERT_EQ(world.boxes.shown.size(), 1u);
        EXPECT_EQ(world.boxes.last().title, QStringLiteral("Kestrion Error"));
        EXPECT_EQ(world.boxes.last().text, app::noDatabaseLockText(lockFileOf(world) + QStringLiteral(": ") +
                                                                   QLatin1String(c.reason)));
        EXPECT_EQ(world.boxes.last().icon, platform::MsgIcon::Critical);
        EXPECT_FALSE(world.boxes.last().text.contains(QLatin1String("already running")));
        EXPECT_EQ(world.folder.bytes("KRdb.mdb"), before);
        EXPECT_FALSE(QFile::exists(world.folder.file("elsewhere"))) << "the link was followed";
    }
}

} // namespace
} // namespace kestrion::test
