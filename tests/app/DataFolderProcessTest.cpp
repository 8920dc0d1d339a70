// The real program started by an ordinary user whose application folder and home are not writable
// (a system-wide install, a read-only home): it ends with a run-time error that says which folder is
// missing, and changes nothing.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <unistd.h>

namespace {

constexpr const char* kNobody = "65534";

TEST(DataFolderProcess, UnwritableHomeEndsWithTheMissingFolderNamed) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to start the program as another user";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile::setPermissions(dir.path(),
                          QFile::permissions(dir.path()) | QFileDevice::ExeOther | QFileDevice::ReadOther);
    const QString appFolder = dir.filePath(QStringLiteral("app"));
    const QString home = dir.filePath(QStringLiteral("home"));
    const QString runtime = dir.filePath(QStringLiteral("run"));
    ASSERT_TRUE(QDir().mkpath(appFolder) && QDir().mkpath(home) && QDir().mkpath(runtime));
    const QString program = appFolder + QStringLiteral("/kestrion");
    const QString answerer = dir.filePath(QStringLiteral("answerer.so"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KESTRION_EXECUTABLE), program));
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(KESTRION_APP_DIR "/KRdb.mdb"), appFolder + QStringLiteral("/KRdb.mdb")));
    ASSERT_TRUE(QFile::copy(QStringLiteral(KESTRION_BOX_ANSWERER), answerer));
    // Folders of root, readable by all: neither the application folder nor the home can be written.
    ASSERT_EQ(QProcess::execute(QStringLiteral("chown"), {QString::fromLatin1(kNobody), runtime}), 0);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LD_PRELOAD"), answerer);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral("setpriv"), {QStringLiteral("--reuid=%1").arg(QLatin1String(kNobody)),
                                              QStringLiteral("--regid=%1").arg(QLatin1String(kNobody)),
                                              QStringLiteral("--clear-groups"), program});
    ASSERT_TRUE(process.waitForFinished(20000));
    const QByteArray out = process.readAllStandardOutput();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "no crash: " << out.constData();
    EXPECT_EQ(process.exitCode(), 1) << out.constData() << process.readAllStandardError().constData();
    const QString folder = home + QStringLiteral("/data/Kestrion");
    EXPECT_EQ(QString::fromUtf8(out),
              QStringLiteral("BOX|Kestrion|Run-time error '14':\n\nunable to open database file: ") + folder +
                  QStringLiteral("/KRdb.mdb (the folder ") + folder + QStringLiteral(" does not exist)\n"));
    EXPECT_TRUE(QDir(home).isEmpty()) << "nothing made in the home";
    EXPECT_EQ(QDir(appFolder).entryList(QDir::Files).size(), 2) << "the application folder is unchanged";
}

} // namespace
