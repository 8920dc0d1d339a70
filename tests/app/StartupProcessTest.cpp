// The real program in processes of its own: a second instance is refused and the first stays; a
// missing database ends start-up with the run-time error.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QProcessEnvironment isolated(const QTemporaryDir& dir) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KESTRION_BOX_ANSWERER));
    // Lock file, settings and class registry of this test alone.
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.path());
    env.insert(QStringLiteral("HOME"), dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
    return env;
}

// Starts the program and reads its output until the main window is up or the program has ended.
// Returns everything it wrote meanwhile.
QByteArray startUntilTheWindowIsUp(QProcess& process, const QTemporaryDir& dir) {
    process.setProcessEnvironment(isolated(dir));
    process.start(QStringLiteral(KESTRION_EXECUTABLE), {});
    if (!process.waitForStarted(5000))
        return "the program did not start";
    QByteArray out;
    (void)QTest::qWaitFor( // the caller judges the output
        [&] {
            process.waitForReadyRead(100);
            out += process.readAllStandardOutput();
            return out.contains("WINDOW|frmMain") || process.state() != QProcess::Running;
        },
        15000);
    return out;
}

TEST(StartupProcess, SecondInstanceIsRefusedAndTheFirstStays) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcess first;
    const QByteArray firstOut = startUntilTheWindowIsUp(first, dir);
    ASSERT_TRUE(firstOut.contains("WINDOW|frmMain")) << firstOut.constData();

    QProcess second;
    second.setProcessEnvironment(isolated(dir));
    second.start(QStringLiteral(KESTRION_EXECUTABLE), {});
    ASSERT_TRUE(second.waitForFinished(15000));
    const QByteArray secondOut = second.readAllStandardOutput();
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(secondOut, QByteArray("BOX|Kestrion|Kestrion is already running.\n"));

    EXPECT_EQ(first.state(), QProcess::Running) << "the first instance is untouched";
    first.waitForReadyRead(200);
    EXPECT_FALSE(first.readAllStandardOutput().contains("BOX|"));

    // A crash (SIGKILL: no clean-up runs) must not leave the lock behind: the next start is let in.
    first.kill();
    ASSERT_TRUE(first.waitForFinished(5000));
    QProcess third;
    const QByteArray thirdOut = startUntilTheWindowIsUp(third, dir);
    EXPECT_TRUE(thirdOut.contains("WINDOW|frmMain")) << thirdOut.constData();
    EXPECT_FALSE(thirdOut.contains("BOX|")) << thirdOut.constData();
    third.kill();
    third.waitForFinished(5000);
}

TEST(StartupProcess, MissingDatabaseEndsWithTheRunTimeErrorWhenSchedulesAreListed) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // An application folder holding the program and nothing else.
    const QString appFolder = dir.filePath(QStringLiteral("app"));
    ASSERT_TRUE(QDir().mkpath(appFolder));
    const QString program = appFolder + QStringLiteral("/kestrion");
    ASSERT_TRUE(QFile::copy(QStringLiteral(KESTRION_EXECUTABLE), program));

    QProcess process;
    process.setProcessEnvironment(isolated(dir));
    process.start(program, {});
    ASSERT_TRUE(process.waitForFinished(20000));
    const QByteArray out = process.readAllStandardOutput();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << "no crash: " << out.constData();
    EXPECT_EQ(process.exitCode(), 1);
    EXPECT_TRUE(out.contains("BOX|Kestrion|Run-time error '14':\n\nunable to open database file"))
        << out.constData();
    EXPECT_EQ(out.count("BOX|"), 1) << out.constData();
    EXPECT_FALSE(QFile::exists(appFolder + QStringLiteral("/KRdb.mdb"))) << "the program never creates it";
}

} // namespace
