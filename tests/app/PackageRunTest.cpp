// The Debian package as a user meets it: its files extracted into a temporary root (never installed
// on this machine), the program started from there by an ordinary user (nobody) inside a test
// network, offscreen. It must find its delivered database (seeded into the user's data folder, as the
// application folder is not writable), register and use the Resolver of its own folder, and open
// its own help page. The package comes from the PackageBuild test (KESTRION_PACKAGE_DEB).
#include "tests/support/TestNetwork.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUrl>
#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace kestrion::test {
namespace {

using testsupport::TestNetwork;

constexpr uid_t kNobody = 65534;

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing " + path.toUtf8() + ">");
}

// A folder the user nobody owns.
bool nobodysFolder(const QString& path) {
    return QDir().mkpath(path) && ::chown(path.toLocal8Bit().constData(), kNobody, kNobody) == 0 &&
           ::chmod(path.toLocal8Bit().constData(), 0700) == 0;
}

TEST(PackageRun, ExtractedPackageSweepsWithItsResolverAndFindsDatabaseAndHelp) {
    KESTRION_REQUIRE_NETNS();
    ASSERT_TRUE(QFile::exists(QStringLiteral(KESTRION_PACKAGE_DEB)))
        << KESTRION_PACKAGE_DEB << " is made by the PackageBuild test";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(::chmod(dir.path().toLocal8Bit().constData(), 0755), 0);
    const QString root = dir.filePath(QStringLiteral("root"));
    std::string out;
    ASSERT_EQ(testsupport::runCommand({"dpkg-deb", "-x", KESTRION_PACKAGE_DEB, root.toStdString()}, &out), 0)
        << out;
    const QString appFolder = root + QStringLiteral("/usr/lib/kestrion");

    const QString home = dir.filePath(QStringLiteral("home"));
    for (const QString& folder : {home, home + QStringLiteral("/run")})
        ASSERT_TRUE(nobodysFolder(folder)) << folder.toStdString();
    TestNetwork net("kpkg");
    net.writeNameFiles(TestNetwork::Node::Client, {"10.1.2.2 files.package.test"});
    // The extracted program has no file capability, so the user sweeps through ping sockets.
    net.allowPingSockets(true);

    const std::string h = home.toStdString();
    const std::string preload =
        std::string("LD_PRELOAD=") + KESTRION_PACKAGE_PROBE + " " + KESTRION_BOX_ANSWERER;
    const int status = testsupport::runCommand(
        {"ip", "netns", "exec", net.client(), "timeout", "40", "setpriv", "--reuid=65534", "--regid=65534",
         "--clear-groups", "--", "env", preload, (root + QStringLiteral("/usr/bin/kestrion")).toStdString()},
        &out,
        {"HOME=" + h, "XDG_CONFIG_HOME=" + h + "/config", "XDG_DATA_HOME=" + h + "/data",
         "XDG_RUNTIME_DIR=" + h + "/run", "QT_QPA_PLATFORM=offscreen", "LC_ALL=C",
         "KESTRION_PROBE_ADDRESS=10.1.2.2"});
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out.find("BOX|"), std::string::npos) << "no message box expected:\n" << out;
    EXPECT_NE(out.find("PROBE|PING|enabled"), std::string::npos) << out;
    EXPECT_NE(out.find("PROBE|ROW|10.1.2.2|files.package.test|"), std::string::npos)
        << "the answering address with its name from the Resolver:\n"
        << out;
    EXPECT_NE(out.find("PROBE|END"), std::string::npos) << out;

    EXPECT_EQ(contents(home + QStringLiteral("/data/Kestrion/KRdb.mdb")), contents(appFolder + "/KRdb.mdb"))
        << "the user's database starts as the delivered one";
    EXPECT_FALSE(QFile::exists(appFolder + QStringLiteral("/IPReport.txt")));
    const QByteArray registry = contents(home + QStringLiteral("/config/Kestrion/classes.reg"));
    EXPECT_TRUE(registry.contains((appFolder + QStringLiteral("/libResolver.so")).toUtf8()))
        << registry.data();
    const QString help = QUrl::fromLocalFile(appFolder + QStringLiteral("/Kestrion.html")).toString();
    EXPECT_NE(out.find("PROBE|OPEN|" + help.toStdString() + "\n"), std::string::npos)
        << "Help opens the help page of the application folder:\n"
        << out;
}

} // namespace
} // namespace kestrion::test
