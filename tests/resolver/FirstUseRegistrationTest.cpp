// The Resolver registered for a user on the first start without a registration, from the program's
// own application folder; a working registration of the user's is left alone.
#include "resolver/FirstUseRegistration.h"
#include "platform/com/ClassRegistration.h"
#include "resolver/IWSResolver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <optional>

namespace kestrion::test {
namespace {

using resolver::FirstUseRegistration;

const std::string kServerKey = com::classKeyPath(resolver::CLSID_WSResolver) + "\\InprocServer32";

// XDG_CONFIG_HOME points at a folder of the test for the scope's life.
class ConfigHome {
public:
    explicit ConfigHome(const QString& folder) : saved_(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", folder.toLocal8Bit());
    }
    ~ConfigHome() { qputenv("XDG_CONFIG_HOME", saved_); }

private:
    QByteArray saved_;
};

enum class Before { Nothing, ExistingLibrary, VanishedLibrary };
enum class InAppFolder { Resolver, NoLibrary, NotAComponent };

struct Row {
    const char* name;
    Before before;
    InAppFolder appFolder;
    FirstUseRegistration expected;
    // What the registry names afterwards: "app" the application folder's library, "other" the
    // registration made before, "" nothing.
    const char* namesAfter;
};

const Row kRows[] = {
    {"new user, library beside the program", Before::Nothing, InAppFolder::Resolver,
     FirstUseRegistration::Registered, "app"},
    {"user's own registration is kept", Before::ExistingLibrary, InAppFolder::Resolver,
     FirstUseRegistration::AlreadyRegistered, "other"},
    {"registration of a removed library is renewed", Before::VanishedLibrary, InAppFolder::Resolver,
     FirstUseRegistration::Registered, "app"},
    {"no library beside the program", Before::Nothing, InAppFolder::NoLibrary,
     FirstUseRegistration::NoLibrary, ""},
    {"a file that is no component library", Before::Nothing, InAppFolder::NotAComponent,
     FirstUseRegistration::Failed, ""},
};

TEST(ResolverFirstStart, RegistersOnlyWhereTheUserHasNoWorkingRegistration) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString appFolder = dir.filePath(QStringLiteral("app"));
        ASSERT_TRUE(QDir().mkpath(appFolder));
        const QString appLibrary = appFolder + QStringLiteral("/libResolver.so");
        if (row.appFolder != InAppFolder::NoLibrary) {
            const char* source =
                row.appFolder == InAppFolder::Resolver ? RESOLVER_LIBRARY : NO_EXPORTS_LIBRARY;
            ASSERT_TRUE(QFile::copy(QString::fromUtf8(source), appLibrary));
        }

        const ConfigHome home(dir.filePath(QStringLiteral("config")));
        const com::ClassRegistry registry;
        std::string other = RESOLVER_LIBRARY;
        if (row.before == Before::VanishedLibrary)
            other = dir.filePath(QStringLiteral("removed/libResolver.so")).toStdString();
        if (row.before != Before::Nothing) {
            ASSERT_EQ(registry.setValue(kServerKey, "", other), com::S_OK);
        }

        EXPECT_EQ(resolver::registerOnFirstUse(appFolder), row.expected);

        const std::optional<std::string> after = registry.value(kServerKey);
        const std::string names = row.namesAfter;
        if (names == "app") {
            ASSERT_TRUE(after.has_value());
            EXPECT_EQ(*after, QFileInfo(appLibrary).canonicalFilePath().toStdString());
            EXPECT_EQ(registry.value("WSResolver.WSResolver\\CurVer"), "WSResolver.WSResolver.1");
            EXPECT_EQ(resolver::registerOnFirstUse(appFolder), FirstUseRegistration::AlreadyRegistered)
                << "the second start finds the first start's registration";
        } else if (names == "other") {
            EXPECT_EQ(after, other);
        } else {
            EXPECT_FALSE(after.has_value()) << *after;
        }
    }
}

} // namespace
} // namespace kestrion::test
