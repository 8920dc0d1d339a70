// Which component libraries a privileged process loads: the rule itself over files given to
// another user, the factory over it, and a capability-bearing program run as an unprivileged user.
#include "platform/com/ClassRegistration.h"
#include "platform/com/RegistryComponentFactory.h"
#include "resolver/IWSResolver.h"
#include "tests/support/ComTestSupport.h"
#include "tests/support/TestNetwork.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrion::com;
namespace fs = std::filesystem;
using kestrion::resolver::CLSID_WSResolver;
using kestrion::resolver::IID_IWSResolver;
using kestrion::resolver::IWSResolver;
using kestrion::test::TempConfigHome;

namespace {

constexpr uid_t kUser = 65534; // nobody
constexpr gid_t kGroup = 65534;

InprocClassInfo resolverAt(const fs::path& path) {
    return {CLSID_WSResolver,        "WSResolver Class", "WSResolver.WSResolver.1",
            "WSResolver.WSResolver", "Apartment",        path.string()};
}

// A temporary tree owned by root: root/app is the application folder.
struct TrustFolder {
    fs::path root;
    fs::path app;
    TrustFolder() {
        char pattern[] = "/tmp/kestrion-trust-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        root = made ? made : "/nonexistent";
        ::chmod(root.c_str(), 0755);
        app = root / "app";
        fs::create_directory(app);
        ::chmod(app.c_str(), 0755);
    }
    ~TrustFolder() {
        std::error_code error;
        fs::remove_all(root, error);
    }
    fs::path copy(const fs::path& from, const fs::path& to, mode_t mode = 0755) const {
        fs::create_directories(to.parent_path());
        fs::copy_file(from, to, fs::copy_options::overwrite_existing);
        ::chmod(to.c_str(), mode);
        return to;
    }
    fs::path library(const fs::path& at, mode_t mode = 0755) const {
        kestrion::test::writeFile(at, "stands for a library");
        ::chmod(at.c_str(), mode);
        return at;
    }
    LibraryTrust privileged() const { return {true, app, kUser, {kGroup}}; }
};

void giveTo(const fs::path& path, uid_t user, gid_t group) {
    EXPECT_EQ(::chown(path.c_str(), user, group), 0) << path;
}

bool isLoaded(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        ::dlclose(handle);
    return handle != nullptr;
}

#define KESTRION_REQUIRE_ROOT()                                                                              \
    do {                                                                                                     \
        if (::geteuid() != 0)                                                                                \
            GTEST_SKIP() << "not root: the test gives files to another user";                                \
    } while (false)

} // namespace

TEST(LibraryTrust, APrivilegedProcessLoadsOnlyWhatTheUserCannotChangeInItsOwnFolder) {
    KESTRION_REQUIRE_ROOT();
    struct Row {
        const char* name;
        std::function<fs::path(TrustFolder&, LibraryTrust&)> arrange; // gives the registered path
        const char* refusal; // part of the reason, or null where the library may be loaded
    } rows[] = {
        {"root's library in the application folder",
         [](TrustFolder& t, LibraryTrust&) { return t.library(t.app / "libResolver.so"); }, nullptr},
        {"a library elsewhere",
         [](TrustFolder& t, LibraryTrust&) { return t.library(t.root / "lib" / "libResolver.so"); },
         "not in the application folder"},
        {"a library in a folder below the application folder",
         [](TrustFolder& t, LibraryTrust&) { return t.library(t.app / "plugins" / "libResolver.so"); },
         "not in the application folder"},
        {"a link in the application folder to a library elsewhere",
         [](TrustFolder& t, LibraryTrust&) {
             fs::create_symlink(t.library(t.root / "libEvil.so"), t.app / "libResolver.so");
             return t.app / "libResolver.so";
         },
         "not in the application folder"},
        {"the folder above named through '..'",
         [](TrustFolder& t, LibraryTrust&) {
             t.library(t.root / "libResolver.so");
             return t.app / ".." / "libResolver.so";
         },
         "not in the application folder"},
        {"a library the user owns, read-only",
         [](TrustFolder& t, LibraryTrust&) {
             fs::path at = t.library(t.app / "libResolver.so", 0444);
             giveTo(at, kUser, 0);
             return at;
         },
         "can be changed by user 65534"},
        {"a library everybody may write",
         [](TrustFolder& t, LibraryTrust&) { return t.library(t.app / "libResolver.so", 0757); },
         "can be changed"},
        {"a library the user's group may write",
         [](TrustFolder& t, LibraryTrust&) {
             fs::path at = t.library(t.app / "libResolver.so", 0775);
             giveTo(at, 0, kGroup);
             return at;
         },
         "can be changed"},
        {"a library only a group without the user may write",
         [](TrustFolder& t, LibraryTrust&) { return t.library(t.app / "libResolver.so", 0775); }, nullptr},
        {"an application folder the user owns",
         [](TrustFolder& t, LibraryTrust&) {
             giveTo(t.app, kUser, kGroup);
             return t.library(t.app / "libResolver.so");
         },
         "can be changed"},
        {"an application folder everybody may write, even sticky",
         [](TrustFolder& t, LibraryTrust&) {
             ::chmod(t.app.c_str(), 01777);
             return t.library(t.app / "libResolver.so");
         },
         "can be changed"},
        {"a folder above the application folder that the user owns",
         [](TrustFolder& t, LibraryTrust&) {
             giveTo(t.root, kUser, kGroup);
             return t.library(t.app / "libResolver.so");
         },
         "can be changed"},
        {"a sticky folder above, as /tmp is",
         [](TrustFolder& t, LibraryTrust&) {
             ::chmod(t.root.c_str(), 01777);
             return t.library(t.app / "libResolver.so");
         },
         nullptr},
        {"no such library", [](TrustFolder& t, LibraryTrust&) { return t.app / "libMissing.so"; },
         "cannot be found"},
        {"a folder in the library's place",
         [](TrustFolder& t, LibraryTrust&) {
             fs::create_directory(t.app / "libResolver.so");
             return t.app / "libResolver.so";
         },
         "not a regular file"},
        {"an unprivileged process loads the user's own library anywhere",
         [](TrustFolder& t, LibraryTrust& trust) {
             trust.privileged = false;
             fs::path at = t.library(t.root / "libEvil.so", 0777);
             giveTo(at, kUser, kGroup);
             return at;
         },
         nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TrustFolder folder;
        LibraryTrust trust = folder.privileged();
        const fs::path path = row.arrange(folder, trust);
        const std::optional<std::string> refusal = trust.refusal(path);
        if (row.refusal) {
            ASSERT_TRUE(refusal);
            EXPECT_NE(refusal->find(row.refusal), std::string::npos) << *refusal;
        } else {
            EXPECT_FALSE(refusal) << *refusal;
        }
    }
}

TEST(LibraryTrust, ThisProcessIsNotPrivilegedAndLivesInItsOwnFolder) {
    const LibraryTrust trust = LibraryTrust::forThisProcess();
    EXPECT_FALSE(trust.privileged);
    EXPECT_EQ(trust.appFolder, fs::canonical("/proc/self/exe").parent_path());
    EXPECT_EQ(trust.user, ::getuid());
    ASSERT_FALSE(trust.groups.empty());
    EXPECT_EQ(trust.groups.front(), ::getgid());
}

TEST(ComTrust, APrivilegedFactoryRefusesARegistrationElsewhereAndSaysWhyOnce) {
    KESTRION_REQUIRE_ROOT();
    TempConfigHome home;
    TrustFolder folder;
    const fs::path trusted = folder.copy(RESOLVER_LIBRARY, folder.app / "libResolver.so");
    const fs::path users = folder.copy(RESOLVER_LIBRARY, folder.root / "mine" / "libResolver.so");
    giveTo(users, kUser, kGroup);
    struct Row {
        const char* name;
        fs::path registered;
        HRESULT expected;
        size_t notices;
    } rows[] = {
        {"the library in the application folder", trusted, S_OK, 0},
        {"a copy the user owns elsewhere", users, E_ACCESSDENIED, 1},
        {"the build's library, outside this application folder", RESOLVER_LIBRARY, E_ACCESSDENIED, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(registerInprocClass(ClassRegistry{}, resolverAt(row.registered)), S_OK);
        std::vector<std::string> notices;
        RegistryComponentFactory factory(ClassRegistry{}, folder.privileged(),
                                         [&](const std::string& text) { notices.push_back(text); });
        for (int attempt = 0; attempt < 2; ++attempt) {
            ComPtr<IWSResolver> resolver;
            EXPECT_EQ(factory.createInstance(CLSID_WSResolver, IID_IWSResolver, resolver.put()),
                      row.expected);
            EXPECT_EQ(static_cast<bool>(resolver), row.expected == S_OK);
            ComPtr<IWSResolver> byProgId;
            EXPECT_EQ(
                factory.createInstanceByProgId("WSResolver.WSResolver", IID_IWSResolver, byProgId.put()),
                row.expected);
        }
        ASSERT_EQ(notices.size(), row.notices) << "said once, for every creation";
        if (row.notices) {
            EXPECT_NE(notices[0].find("does not load the component library " + row.registered.string()),
                      std::string::npos)
                << notices[0];
            EXPECT_NE(notices[0].find(folder.app.string()), std::string::npos) << notices[0];
            EXPECT_TRUE(factory.loadedLibraries().empty());
            EXPECT_FALSE(isLoaded(row.registered.string()));
        }
        factory.freeUnusedLibraries();
    }
}

// The real thing: a copy of a small program that creates the class as Kestrion does, given
// cap_net_raw, run as nobody with a registry of nobody's own that names a library whose code
// leaves a marker file when it is loaded.
TEST(ComTrust, ACapabilityBearingProgramRunByAUserLoadsNoLibraryTheUserNamed) {
    KESTRION_REQUIRE_ROOT();
    TrustFolder folder;
    const fs::path privileged = folder.copy(TRUST_PROBE, folder.app / "probe");
    const fs::path plain = folder.copy(TRUST_PROBE, folder.root / "plain" / "probe");
    std::string output;
    if (kestrion::testsupport::runCommand({"setcap", "cap_net_raw+ep", privileged.string()}, &output) != 0)
        GTEST_SKIP() << "cannot give the copy a file capability here (setcap, extended attributes): "
                     << output;

    // Everything below home is the user's.
    const fs::path home = folder.root / "home";
    const fs::path mine = folder.copy(MARKER_LIBRARY, home / "libMarker.so");
    const fs::path config = home / "config";
    const fs::path marker = home / "loaded";
    const fs::path ownedByRoot = folder.copy(MARKER_LIBRARY, folder.app / "libMarker.so");
    fs::create_symlink(mine, folder.app / "libLinked.so");

    struct Row {
        const char* name;
        fs::path program;
        fs::path registered;
        bool loads;
    } rows[] = {
        {"the user's own library, with the capability", privileged, mine, false},
        {"a link in the application folder to the user's library", privileged, folder.app / "libLinked.so",
         false},
        {"root's library in the application folder, with the capability", privileged, ownedByRoot, true},
        {"the user's own library, a copy without the capability", plain, mine, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(config);
        fs::remove(marker);
        ASSERT_EQ(registerInprocClass(ClassRegistry{config / "Kestrion" / "classes.reg"},
                                      resolverAt(row.registered)),
                  S_OK);
        for (const auto& entry : fs::recursive_directory_iterator(home))
            ASSERT_EQ(::lchown(entry.path().c_str(), kUser, kGroup), 0) << entry.path();
        giveTo(home, kUser, kGroup);

        output.clear();
        const int status = kestrion::testsupport::runCommand(
            {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", row.program.string()}, &output,
            {"XDG_CONFIG_HOME=" + config.string(), "KESTRION_MARKER_FILE=" + marker.string()});
        ASSERT_EQ(status, 0) << output;
        const bool withCapability = row.program == privileged;
        if (withCapability && output.find("secure 1") == std::string::npos)
            GTEST_SKIP() << "the kernel does not raise the copy's privileges here (a nosuid mount?): "
                         << output;
        EXPECT_EQ(fs::exists(marker), row.loads) << output;
        const bool told = output.find("does not load the component library " + row.registered.string()) !=
                          std::string::npos;
        EXPECT_EQ(told, !row.loads) << output;
        if (!row.loads) {
            EXPECT_NE(output.find("result 80070005"), std::string::npos) << output;
        }
    }
}
