// Start-up with a lock file that cannot be made: the program starts; only a running instance keeps
// it out.
#include "app/MainWindow.h"
#include "app/Startup.h"
#include "platform/InstanceLock.h"
#include "tests/support/fakes/FakeWorld.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace kestrion::test {
namespace {

// Sets environment variables for one test and puts the old values back.
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

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// What the process writes on standard error while the object lives.
class StderrCapture {
public:
    StderrCapture() {
        file_.open();
        std::fflush(stderr);
        saved_ = ::dup(2);
        ::dup2(file_.handle(), 2);
    }
    QByteArray text() {
        std::fflush(stderr);
        ::dup2(saved_, 2);
        ::close(saved_);
        saved_ = -1;
        file_.seek(0);
        return file_.readAll();
    }
    ~StderrCapture() {
        if (saved_ >= 0)
            text();
    }

private:
    QTemporaryFile file_;
    int saved_ = -1;
};

TEST(StartupLock, ALockPathThatIsAFolderFallsBackToTheCacheFolder) {
    FakeWorld world;
    const QString runtime = world.folder.file("run");
    ASSERT_TRUE(QDir().mkpath(runtime + QStringLiteral("/kestrion.lock")));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ScopedEnv run("XDG_RUNTIME_DIR", runtime);
    ScopedEnv cache("XDG_CACHE_HOME", world.folder.file("cache"));
    ScopedEnv config("XDG_CONFIG_HOME", world.folder.file("config"));

    app::Running first = app::StartUp(world.services());
    ASSERT_NE(first.window, nullptr) << "taken for a second instance";
    EXPECT_TRUE(world.boxes.shown.empty());
    EXPECT_TRUE(first.lock->acquired());
    EXPECT_EQ(first.lock->detail(), world.folder.file("cache") + QStringLiteral("/Kestrion/kestrion.lock"));

    // The fallback is the same for the next start, so a second instance is still kept out.
    app::Running second = app::StartUp(world.services());
    EXPECT_EQ(second.window, nullptr);
    ASSERT_EQ(world.boxes.shown.size(), 1u);
    EXPECT_EQ(world.boxes.last().text, QStringLiteral("Kestrion is already running."));
}

TEST(StartupLock, NoLockFileAtAllStartsUnprotectedAndSaysSoOnce) {
    FakeWorld world;
    QFile plain(world.folder.file("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();

    StderrCapture err;
    app::Running running = app::StartUp(world.services(), world.folder.file("plain/kestrion.lock"));
    const QByteArray text = err.text();
    ASSERT_NE(running.window, nullptr) << text.constData();
    EXPECT_TRUE(world.boxes.shown.empty());
    EXPECT_EQ(text.count("single-instance protection is off"), 1) << text.constData();
    EXPECT_TRUE(text.contains("plain/kestrion.lock: Not a directory")) << text.constData();
}

} // namespace
} // namespace kestrion::test
