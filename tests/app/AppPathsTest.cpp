#include "platform/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrion::test {
namespace {

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// AppPaths::forExecutable on an application folder the process cannot write to, as after a
// system-wide install. Root may write anywhere, so for root the folder is made a read-only bind mount
// in a private mount namespace of a child process; otherwise its mode is simply taken away.
// Returns the data folder chosen, or an error text starting with '!'.
QString dataFolderOfReadOnlyInstall(const QString& appFolder, const QString& userData) {
    int fds[2];
    if (pipe(fds) != 0)
        return QStringLiteral("!pipe");
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        auto fail = [&](const char* what) {
            const QByteArray text = QByteArray("!") + what + ": " + strerror(errno);
            (void)!write(fds[1], text.data(), text.size());
            _exit(1);
        };
        const QByteArray dir = QFile::encodeName(appFolder);
        if (geteuid() == 0) {
            if (unshare(CLONE_NEWNS) != 0)
                fail("unshare");
            if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
                fail("private mounts");
            if (mount(dir.data(), dir.data(), nullptr, MS_BIND, nullptr) != 0 ||
                mount(nullptr, dir.data(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
                fail("read-only bind mount");
        } else if (chmod(dir.data(), 0555) != 0) {
            fail("chmod");
        }
        qputenv("XDG_DATA_HOME", QFile::encodeName(userData));
        const QByteArray chosen = platform::AppPaths::forExecutable(appFolder).dataFolder.toUtf8();
        (void)!write(fds[1], chosen.data(), chosen.size());
        _exit(0);
    }
    close(fds[1]);
    QByteArray answer;
    char buffer[512];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        answer.append(buffer, n);
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    chmod(QFile::encodeName(appFolder).data(), 0755);
    return QString::fromUtf8(answer);
}

TEST(AppPaths, WritableApplicationFolderHoldsTheData) {
    QTemporaryDir app;
    const platform::AppPaths paths = platform::AppPaths::forExecutable(app.path());
    EXPECT_EQ(paths.dataFolder, paths.appFolder);
    EXPECT_EQ(paths.database(), app.filePath(QStringLiteral("KRdb.mdb")));
    EXPECT_EQ(paths.helpFile(), app.filePath(QStringLiteral("Kestrion.html")));
}

TEST(AppPaths, ReadOnlyInstallKeepsDataInTheUserFolderSeededOnce) {
    QTemporaryDir app, home;
    ASSERT_TRUE(writeFile(app.filePath(QStringLiteral("KRdb.mdb")), "delivered"));

    const QString first = dataFolderOfReadOnlyInstall(app.path(), home.path());
    if (first.startsWith(QLatin1Char('!')))
        GTEST_SKIP() << "this machine cannot make a read-only folder: " << first.toStdString();
    EXPECT_TRUE(first.startsWith(home.path())) << first.toStdString();
    EXPECT_EQ(contents(first + QStringLiteral("/KRdb.mdb")), QByteArray("delivered"));

    // The user's own saved runs must survive the next start.
    ASSERT_TRUE(writeFile(first + QStringLiteral("/KRdb.mdb"), "the user's runs"));
    const QString second = dataFolderOfReadOnlyInstall(app.path(), home.path());
    EXPECT_EQ(second, first);
    EXPECT_EQ(contents(second + QStringLiteral("/KRdb.mdb")), QByteArray("the user's runs"));
    EXPECT_EQ(contents(app.filePath(QStringLiteral("KRdb.mdb"))), QByteArray("delivered"));
}

} // namespace
} // namespace kestrion::test
