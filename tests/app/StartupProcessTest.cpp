// The real program in processes of its own: a second instance is refused and the first stays, whatever
// their runtime folders; a database that cannot be locked is not written; a missing database ends
// start-up with the run-time error.
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

// The program and the delivered database in an application folder of the test's own: the database,
// and so its lock, belong to this test alone. Returns the program's path.
QString install(const QTemporaryDir& dir) {
    const QString appFolder = dir.filePath(QStringLiteral("app"));
    QString program = appFolder + QStringLiteral("/kestrion");
    const QString built = QFileInfo(QStringLiteral(KESTRION_EXECUTABLE)).path();
    if (!QDir().mkpath(appFolder) || !QFile::copy(QStringLiteral(KESTRION_EXECUTABLE), program) ||
        !QFile::copy(built + QStringLiteral("/KRdb.mdb"), appFolder + QStringLiteral("/KRdb.mdb")))
        return {};
    QFile(appFolder + QStringLiteral("/KRdb.mdb"))
        .setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return program;
}

// Starts the program and reads its output until the main window is up or the program has ended.
// Returns everything it wrote meanwhile.
QByteArray startUntilTheWindowIsUp(QProcess& process, const QString& program,
                                   const QProcessEnvironment& env) {
    process.setProcessEnvironment(env);
    process.start(program, {});
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
    const QString program = install(dir);
    ASSERT_FALSE(program.isEmpty());
    QProcess first;
    const QByteArray firstOut = startUntilTheWindowIsUp(first, program, isolated(dir));
    ASSERT_TRUE(firstOut.contains("WINDOW|frmMain")) << firstOut.constData();

    // Another runtime folder (another login session, a sudo) takes the same lock: the database's.
    QProcessEnvironment otherSession = isolated(dir);
    otherSession.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("app")));
    QProcess second;
    second.setProcessEnvironment(otherSession);
    second.start(program, {});
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
    const QByteArray thirdOut = startUntilTheWindowIsUp(third, program, isolated(dir));
    EXPECT_TRUE(thirdOut.contains("WINDOW|frmMain")) << thirdOut.constData();
    EXPECT_FALSE(thirdOut.contains("BOX|")) << thirdOut.constData();
    third.kill();
    third.waitForFinished(5000);
}

TEST(StartupProcess, ADatabaseThatCannotBeLockedIsNotWrittenByAnyWindow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString program = install(dir);
    ASSERT_FALSE(program.isEmpty());
    const QString database = dir.filePath(QStringLiteral("app/KRdb.mdb"));
    ASSERT_TRUE(QDir().mkdir(database + QStringLiteral(".lock")));
    QFile file(database);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    // Two starts, as a user who tries again would: neither gets a window.
    for (int attempt = 0; attempt < 2; ++attempt) {
        QProcess process;
        const QByteArray out = startUntilTheWindowIsUp(process, program, isolated(dir));
        process.waitForFinished(15000);
        ASSERT_EQ(process.state(), QProcess::NotRunning) << out.constData();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << out.constData();
        EXPECT_EQ(process.exitCode(), 1) << out.constData();
        EXPECT_FALSE(out.contains("WINDOW|frmMain")) << out.constData();
        EXPECT_TRUE(out.contains("BOX|Kestrion Error|Kestrion cannot lock its database")) << out.constData();
        EXPECT_TRUE(out.contains("KRdb.mdb.lock: Is a directory")) << out.constData();
        EXPECT_FALSE(out.contains("already running")) << out.constData();
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll() == before) << "the database was written";
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
