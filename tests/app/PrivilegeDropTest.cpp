// The programs as an ordinary user meets them when they carry cap_net_raw: copies with the file
// capability, started by the user nobody with an environment or arguments that name plugins of the
// user's own. No such plugin may load, the running window's effective capabilities are empty, and
// kestrion-cli still sweeps through the raw socket it opened before giving the capability up.
// Every way in is also tried on a copy without the capability, where the plugin must load: that shows
// the way is real, so its "no marker" row can fail.
#include "tests/support/TestNetwork.h"
#include "tests/support/XServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrion::test {
namespace {

using testsupport::TestNetwork;
using testsupport::XServer;

constexpr uid_t kNobody = 65534;

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// "CapEff" of a running process, or "" when it is gone.
QString effectiveCapabilities(qint64 pid) {
    for (const QString& line : readAll(QStringLiteral("/proc/%1/status").arg(pid)).split('\n'))
        if (line.startsWith(QStringLiteral("CapEff:")))
            return line.mid(7).trimmed();
    return {};
}

bool hasFileCapability(const QString& path) {
    QProcess getcap;
    getcap.start(QStringLiteral("getcap"), {path});
    getcap.waitForFinished(10000);
    return QString::fromLocal8Bit(getcap.readAllStandardOutput()).contains(QStringLiteral("cap_net_raw"));
}

bool makeNobodysFolder(const QString& path) {
    return QDir().mkpath(path) && ::chown(path.toLocal8Bit().constData(), kNobody, kNobody) == 0 &&
           ::chmod(path.toLocal8Bit().constData(), 0700) == 0;
}

// A way for a user's environment to bring a plugin into the window.
struct Way {
    const char* name;
    const char* platform;          // QT_QPA_PLATFORM: "offscreen", "xcb" or the user's own platform
    const char* pluginPath;        // QT_PLUGIN_PATH, relative to the plugin folders ("" none)
    std::vector<std::string> env;  // more variables; "@" stands for the plugin folders
    std::vector<std::string> args; // arguments to the program; "@" as above
};

void PrintTo(const Way& way, std::ostream* out) {
    *out << way.name;
}

const Way kWays[] = {
    {"StyleOverride", "offscreen", "p", {"QT_STYLE_OVERRIDE=kmarkerstyle"}, {}},
    {"StyleArgument", "offscreen", "p", {}, {"-style", "kmarkerstyle"}},
    {"PlatformTheme", "offscreen", "p", {"QT_QPA_PLATFORMTHEME=kmarkertheme"}, {}},
    {"PlatformThemeArgument", "offscreen", "p", {}, {"-platformtheme", "kmarkertheme"}},
    {"GenericPlugins", "offscreen", "p", {"QT_QPA_GENERIC_PLUGINS=kmarkergeneric"}, {}},
    {"GenericPluginArgument", "offscreen", "p", {}, {"-plugin", "kmarkergeneric"}},
    {"InputMethodUnderX", "xcb", "p", {"QT_IM_MODULE=kmarkerim"}, {}},
    {"PlatformNamedOffscreen", "offscreen", "off", {}, {}},
    {"PlatformNamedXcb", "xcb", "xcb", {}, {}},
    // A platform of the user's own, in a folder named for platforms: with only Qt's plugins there is
    // no such platform, and the program ends before it has a window.
    {"PlatformPluginPathVariable",
     "kmarkerplatform",
     "",
     {"QT_QPA_PLATFORM_PLUGIN_PATH=@/own/platforms"},
     {}},
    {"PlatformPluginPathArgument", "kmarkerplatform", "", {}, {"-platformpluginpath", "@/own/platforms"}},
};

class PrivilegeDrop : public ::testing::TestWithParam<Way> {
protected:
    void SetUp() override {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root: the copies get a file capability and run as the user nobody";
        if (QStandardPaths::findExecutable(QStringLiteral("setcap")).isEmpty())
            GTEST_SKIP() << "setcap is not installed (libcap2-bin; scripts/setup.sh installs it)";
        ASSERT_TRUE(dir_.isValid());
        ASSERT_EQ(::chmod(dir_.path().toLocal8Bit().constData(), 0755), 0);
        for (const char* folder : {"capped", "plain"}) {
            const QString app = dir_.filePath(QString::fromLatin1(folder));
            ASSERT_TRUE(QDir().mkpath(app));
            for (const char* file :
                 {"kestrion", "kestrion-cli", "KRdb.mdb", "Kestrion.html", "libResolver.so"})
                ASSERT_TRUE(QFile::copy(QStringLiteral(KESTRION_APP_DIR "/") + QString::fromLatin1(file),
                                        app + '/' + QString::fromLatin1(file)))
                    << file;
        }
        for (const char* program : {"kestrion", "kestrion-cli"}) {
            const QString path = dir_.filePath(QStringLiteral("capped/") + QString::fromLatin1(program));
            QProcess setcap;
            setcap.start(QStringLiteral("setcap"), {QStringLiteral("cap_net_raw+ep"), path});
            setcap.waitForFinished(10000);
            if (!hasFileCapability(path))
                GTEST_SKIP() << "this file system keeps no file capabilities: "
                             << setcap.readAllStandardError().toStdString();
        }
        // The user's plugins: one of each kind in p/, and a platform plugin named like Qt's own in
        // off/ and xcb/.
        plugins_ = dir_.filePath(QStringLiteral("plugins"));
        const struct {
            const char* file;
            const char* folder;
        } placed[] = {{KESTRION_MARKER_style, "p/styles"},
                      {KESTRION_MARKER_theme, "p/platformthemes"},
                      {KESTRION_MARKER_generic, "p/generic"},
                      {KESTRION_MARKER_inputcontext, "p/platforminputcontexts"},
                      {KESTRION_MARKER_offscreen, "off/platforms"},
                      {KESTRION_MARKER_xcb, "xcb/platforms"},
                      {KESTRION_MARKER_platform, "own/platforms"}};
        for (const auto& plugin : placed) {
            const QString folder = plugins_ + '/' + QString::fromLatin1(plugin.folder);
            ASSERT_TRUE(QDir().mkpath(folder));
            const QString file = QString::fromLatin1(plugin.file);
            ASSERT_TRUE(QFile::copy(file, folder + '/' + file.section('/', -1)));
        }
        home_ = dir_.filePath(QStringLiteral("home"));
        for (const QString& folder : {home_, home_ + QStringLiteral("/run")})
            ASSERT_TRUE(makeNobodysFolder(folder));
    }

    QString expand(const std::string& text) const {
        return QString::fromStdString(text).replace('@', plugins_);
    }

    // The environment of nobody's session, as the way has it.
    QProcessEnvironment environment(const Way& way, const QString& marker, const QString& display) const {
        QProcessEnvironment env;
        env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/sbin:/usr/bin:/sbin:/bin"));
        env.insert(QStringLiteral("HOME"), home_);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_ + QStringLiteral("/config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home_ + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_ + QStringLiteral("/run"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QString::fromLatin1(way.platform));
        env.insert(QStringLiteral("KESTRION_PLUGIN_MARKER"), marker);
        if (!display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), display);
        if (*way.pluginPath)
            env.insert(QStringLiteral("QT_PLUGIN_PATH"),
                       plugins_ + '/' + QString::fromLatin1(way.pluginPath));
        for (const std::string& variable : way.env) {
            const QString text = expand(variable);
            env.insert(text.section('=', 0, 0), text.section('=', 1));
        }
        return env;
    }

    struct Outcome {
        QString marker; // what loaded plugins wrote
        QString capEff; // the window's effective capabilities once it was up ("" if it had ended)
        QString output;
    };

    // Starts the window from one of the copies as nobody, reads its capabilities after it has come up,
    // and ends it.
    Outcome runWindow(const Way& way, const QString& copy, const QString& display) {
        const QString marker = home_ + QStringLiteral("/marker-") + copy;
        QFile::remove(marker);
        QProcess window;
        window.setProcessEnvironment(environment(way, marker, display));
        window.setProcessChannelMode(QProcess::MergedChannels);
        QStringList args{QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                         QStringLiteral("--clear-groups"), QStringLiteral("--"),
                         dir_.filePath(copy + QStringLiteral("/kestrion"))};
        for (const std::string& arg : way.args)
            args << expand(arg);
        window.start(QStringLiteral("setpriv"), args);
        EXPECT_TRUE(window.waitForStarted(10000));
        // setpriv becomes the program (same process); give the window time to come up and load what
        // it loads.
        const QString program = dir_.filePath(copy + QStringLiteral("/kestrion"));
        for (int i = 0; i < 100 && QFile::symLinkTarget(
                                       QStringLiteral("/proc/%1/exe").arg(window.processId())) != program;
             ++i)
            QThread::msleep(50);
        window.waitForFinished(2500);
        Outcome outcome;
        outcome.capEff =
            window.state() == QProcess::Running ? effectiveCapabilities(window.processId()) : QString();
        window.kill();
        window.waitForFinished(5000);
        outcome.output = QString::fromLocal8Bit(window.readAll());
        outcome.marker = readAll(marker);
        return outcome;
    }

    QTemporaryDir dir_;
    QString plugins_;
    QString home_;
};

TEST_P(PrivilegeDrop, NoPluginOfTheUsersLoadsAndTheWindowHoldsNoCapability) {
    const Way& way = GetParam();
    std::unique_ptr<XServer> x;
    if (QString::fromLatin1(way.platform) == QStringLiteral("xcb")) {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            GTEST_SKIP() << "Xvfb is not installed (scripts/setup.sh installs it)";
        x = std::make_unique<XServer>();
        ASSERT_FALSE(x->display().isEmpty()) << "Xvfb did not start";
    }
    const QString display = x ? x->display() : QString();

    const Outcome plain = runWindow(way, QStringLiteral("plain"), display);
    ASSERT_FALSE(plain.marker.isEmpty())
        << "without the capability the user's plugin loads this way, else the test shows nothing:\n"
        << plain.output.toStdString();

    const Outcome capped = runWindow(way, QStringLiteral("capped"), display);
    EXPECT_EQ(capped.marker.toStdString(), "") << "a plugin of the user's ran in the capable program";
    if (QString::fromLatin1(way.platform).startsWith(QStringLiteral("kmarker")))
        EXPECT_TRUE(capped.capEff.isEmpty() || capped.capEff == QStringLiteral("0000000000000000"))
            << capped.capEff.toStdString();
    else
        EXPECT_EQ(capped.capEff.toStdString(), "0000000000000000")
            << "the window is up and holds no capability:\n"
            << capped.output.toStdString();
}

std::string wayName(const ::testing::TestParamInfo<Way>& way) {
    return way.param.name;
}

INSTANTIATE_TEST_SUITE_P(Ways, PrivilegeDrop, ::testing::ValuesIn(kWays), wayName);

// kestrion-cli from the capable copy, where no ping socket may be opened: it sweeps through the raw
// socket it opened with the capability, and holds no capability while it sweeps.
TEST_F(PrivilegeDrop, CliSweepsThroughTheKeptRawSocketWithoutCapabilities) {
    KESTRION_REQUIRE_NETNS();
    TestNetwork net("kcap");
    net.allowPingSockets(false);
    // Silent addresses, so that the sweep lasts long enough to be looked at.
    net.addRouterRoute(TestNetwork::RouteKind::Blackhole, "10.1.2.64/26");

    const Way none{"", "offscreen", "", {}, {}};
    const auto sweep = [&](const QString& range) {
        auto cli = std::make_unique<QProcess>();
        cli->setProcessEnvironment(environment(none, home_ + QStringLiteral("/marker-cli"), QString()));
        cli->setProcessChannelMode(QProcess::MergedChannels);
        cli->start(QStringLiteral("ip"),
                   {QStringLiteral("netns"), QStringLiteral("exec"), QString::fromStdString(net.client()),
                    QStringLiteral("setpriv"), QStringLiteral("--reuid=65534"),
                    QStringLiteral("--regid=65534"), QStringLiteral("--clear-groups"), QStringLiteral("--"),
                    dir_.filePath(QStringLiteral("capped/kestrion-cli")), QStringLiteral("sweep"), range,
                    QStringLiteral("--no-names")});
        EXPECT_TRUE(cli->waitForStarted(10000));
        return cli;
    };

    auto answering = sweep(QString::fromLatin1(TestNetwork::HostAddress));
    ASSERT_TRUE(answering->waitForFinished(30000));
    const QString out = QString::fromLocal8Bit(answering->readAll());
    EXPECT_EQ(answering->exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.startsWith(QString::fromLatin1(TestNetwork::HostAddress) + '\t')) << out.toStdString();

    auto silent = sweep(QStringLiteral("10.1.2.64-67"));
    const QString program = dir_.filePath(QStringLiteral("capped/kestrion-cli"));
    QString capEff;
    for (int i = 0; i < 200 && capEff.isEmpty() && silent->state() == QProcess::Running; ++i) {
        if (QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(silent->processId())) == program) {
            // Past its start: the program gives the capability up first thing in main().
            QThread::msleep(300);
            capEff = effectiveCapabilities(silent->processId());
        } else {
            QThread::msleep(10);
        }
    }
    ASSERT_TRUE(silent->waitForFinished(60000));
    EXPECT_EQ(capEff.toStdString(), "0000000000000000") << "kestrion-cli holds no capability while it sweeps";
    EXPECT_EQ(silent->exitCode(), 0) << QString::fromLocal8Bit(silent->readAll()).toStdString();
}

} // namespace
} // namespace kestrion::test
