// The real program in a real X server (Xvfb) with real input (XTEST through xdotool): the box that shows
// a fatal database failure takes the user's key or click and the program ends. The offscreen platform
// delivers input to the widgets directly and cannot show what happens on the way through the window system.
#include "tests/support/XServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using kestrion::testsupport::XServer;

class FatalBoxX11 : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            GTEST_SKIP() << "Xvfb is not installed (scripts/setup.sh installs it)";
        ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            << "xdotool is not installed (scripts/setup.sh installs it)";
        ASSERT_FALSE(QStandardPaths::findExecutable(QStringLiteral("xprop")).isEmpty())
            << "xprop (x11-utils) is not installed (scripts/setup.sh installs it)";
        x_ = std::make_unique<XServer>();
        ASSERT_FALSE(x_->display().isEmpty()) << "Xvfb did not start";
        ASSERT_TRUE(dir_.isValid());
        appFolder_ = dir_.filePath(QStringLiteral("app"));
        ASSERT_TRUE(QDir().mkpath(appFolder_));
        ASSERT_TRUE(
            QFile::copy(QStringLiteral(KESTRION_EXECUTABLE), appFolder_ + QStringLiteral("/kestrion")));
    }
    void TearDown() override {
        if (program_.state() != QProcess::NotRunning) {
            program_.kill();
            program_.waitForFinished(5000);
        }
    }

    QString x(const QStringList& args) {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), x_->display());
        tool.setProcessEnvironment(env);
        tool.start(args[0], args.mid(1));
        tool.waitForFinished(10000);
        return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
    }

    void start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("DISPLAY"), x_->display());
        env.insert(QStringLiteral("HOME"), dir_.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir_.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir_.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dir_.filePath(QStringLiteral("data")));
        env.remove(QStringLiteral("LD_PRELOAD"));
        program_.setProcessEnvironment(env);
        // To files, not pipes: a pipe nobody reads would stop the program once it is full.
        program_.setStandardOutputFile(QProcess::nullDevice());
        program_.setStandardErrorFile(dir_.filePath(QStringLiteral("stderr.txt")));
        program_.start(appFolder_ + QStringLiteral("/kestrion"), {});
        ASSERT_TRUE(program_.waitForStarted(5000));
    }

    // The first visible window of the program whose type is `type` (and that has the focus), else empty.
    QString waitForWindow(const char* type, bool focused) {
        QString box;
        (void)QTest::qWaitFor( // the caller judges the result
            [&] {
                if (program_.state() != QProcess::Running)
                    return true;
                const QStringList windows =
                    x({QStringLiteral("xdotool"), QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                       QStringLiteral("--name"), QStringLiteral("^Kestrion$")})
                        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
                const QString focus = x({QStringLiteral("xdotool"), QStringLiteral("getwindowfocus")});
                seen_ = QStringLiteral("windows [%1], focus %2").arg(windows.join(QLatin1Char(' ')), focus);
                for (const QString& window : windows) {
                    if (focused && window != focus)
                        continue;
                    // The first type named is the window's own; a dialog names "normal" as its fallback.
                    const QString types = x({QStringLiteral("xprop"), QStringLiteral("-id"), window,
                                             QStringLiteral("_NET_WM_WINDOW_TYPE")});
                    seen_ += QStringLiteral("; %1: %2").arg(window, types);
                    if (types.section(QLatin1Char('='), 1).section(QLatin1Char(','), 0, 0).trimmed() ==
                        QLatin1String(type))
                        box = window;
                }
                return !box.isEmpty();
            },
            20000);
        return box;
    }
    QString waitForTheBox() { return waitForWindow("_NET_WM_WINDOW_TYPE_DIALOG", true); }

    // Return on the box, or a click on its OK button (bottom right, as the box lays it out).
    void answer(const QString& box) {
        if (QByteArray(GetParam()) == "ReturnKey") {
            x({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("--clearmodifiers"),
               QStringLiteral("Return")});
            return;
        }
        int width = 0, height = 0;
        for (const QString& line : x({QStringLiteral("xdotool"), QStringLiteral("getwindowgeometry"),
                                      QStringLiteral("--shell"), box})
                                       .split(QLatin1Char('\n'))) {
            if (line.startsWith(QLatin1String("WIDTH=")))
                width = line.mid(6).toInt();
            if (line.startsWith(QLatin1String("HEIGHT=")))
                height = line.mid(7).toInt();
        }
        ASSERT_GT(width, 60);
        ASSERT_GT(height, 40);
        x({QStringLiteral("xdotool"), QStringLiteral("mousemove"), QStringLiteral("--window"), box,
           QString::number(width - 51), QString::number(height - 24), QStringLiteral("click"),
           QStringLiteral("1")});
    }

    QByteArray programErrors() const {
        QFile file(dir_.filePath(QStringLiteral("stderr.txt")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void expectEndsWithStatus1() {
        EXPECT_TRUE(program_.waitForFinished(5000)) << "the box did not close: the program still runs";
        EXPECT_EQ(program_.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program_.exitCode(), 1);
    }

    std::unique_ptr<XServer> x_;
    QTemporaryDir dir_;
    QString appFolder_;
    QProcess program_;
    QString seen_; // what the last look for a window found, for a failure's message
};

TEST_P(FatalBoxX11, ADatabaseOfRandomBytesEndsTheProgramOnceTheBoxIsAnswered) {
    QByteArray noise(qsizetype{64} * 1024, '\0');
    QRandomGenerator random(26);
    for (char& byte : noise)
        byte = static_cast<char>(random.bounded(256));
    QFile database(appFolder_ + QStringLiteral("/KRdb.mdb"));
    ASSERT_TRUE(database.open(QIODevice::WriteOnly));
    ASSERT_EQ(database.write(noise), noise.size());
    database.close();

    start();
    const QString box = waitForTheBox();
    ASSERT_FALSE(box.isEmpty()) << "no run-time error box; the program "
                                << (program_.state() == QProcess::Running ? "runs" : "ended") << ": "
                                << programErrors().constData();
    answer(box);
    expectEndsWithStatus1();
}

// Another process holds the database locked when the Database tab is entered: the read fails after the
// busy wait and the box shows the run-time error.
TEST_P(FatalBoxX11, ADatabaseLockedOnEnteringTheDatabaseTabEndsTheProgramOnceTheBoxIsAnswered) {
    const QString databaseFile = appFolder_ + QStringLiteral("/KRdb.mdb");
    ASSERT_TRUE(QFile::copy(QStringLiteral(KESTRION_APP_DIR "/KRdb.mdb"), databaseFile));
    start();
    const QString mainWindow = waitForWindow("_NET_WM_WINDOW_TYPE_NORMAL", false);
    ASSERT_FALSE(mainWindow.isEmpty())
        << "the main window did not appear: " << seen_.toStdString() << programErrors().constData();

    // Without a window manager nothing gives the main window the focus. Ctrl+Tab to the Options tab
    // first: the program stores its options on that first tab change, which it handles only once its
    // start-up, and with it every start-up read of the database, is over.
    x({QStringLiteral("xdotool"), QStringLiteral("windowfocus"), QStringLiteral("--sync"), mainWindow,
       QStringLiteral("key"), QStringLiteral("ctrl+Tab")});
    const QString options = dir_.filePath(QStringLiteral("config/Kestrion/Kestrion.conf"));
    ASSERT_TRUE(QTest::qWaitFor(
                    [&] { return QFile::exists(options) || program_.state() != QProcess::Running; }, 20000) &&
                QFile::exists(options))
        << "the Options tab was not entered: " << programErrors().constData();

    QProcess locker;
    locker.start(QStringLiteral("sqlite3"), {databaseFile});
    ASSERT_TRUE(locker.waitForStarted(5000)) << "sqlite3 is not installed (scripts/setup.sh installs it)";
    locker.write(".timeout 10000\nBEGIN EXCLUSIVE;\nSELECT 'locked';\n");
    QByteArray said;
    while (!said.contains("locked") && locker.waitForReadyRead(10000))
        said += locker.readAllStandardOutput();
    ASSERT_TRUE(said.contains("locked")) << said.constData() << locker.readAllStandardError().constData();

    x({QStringLiteral("xdotool"), QStringLiteral("key"), QStringLiteral("ctrl+Tab")});
    const QString box = waitForTheBox();
    ASSERT_FALSE(box.isEmpty()) << "no run-time error box; the program "
                                << (program_.state() == QProcess::Running ? "runs" : "ended");
    answer(box);
    expectEndsWithStatus1();
    locker.closeWriteChannel();
    locker.waitForFinished(5000);
}

INSTANTIATE_TEST_SUITE_P(Answers, FatalBoxX11, ::testing::Values("ReturnKey", "ClickOnOk"),
                         [](const auto& row) { return std::string(row.param); });

} // namespace
