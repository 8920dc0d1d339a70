#include "platform/com/ClassRegistration.h"
#include "platform/com/RegistryComponentFactory.h"
#include "resolver/IWSResolver.h"
#include "tests/support/ComTestSupport.h"

#include <cstring>
#include <dlfcn.h>

using namespace kestrion::com;
using kestrion::resolver::CLSID_WSResolver;
using kestrion::resolver::IID_IWSResolver;
using kestrion::resolver::IWSResolver;
using kestrion::test::TempConfigHome;
using kestrion::test::writeFile;

namespace {

const std::string kResolverLibrary = RESOLVER_LIBRARY;
const std::string kNoExportsLibrary = NO_EXPORTS_LIBRARY;

InprocClassInfo resolverAt(std::string path) {
    return {CLSID_WSResolver,        "WSResolver Class", "WSResolver.WSResolver.1",
            "WSResolver.WSResolver", "Apartment",        std::move(path)};
}

bool isLoaded(const std::string& path) {
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle)
        ::dlclose(handle);
    return handle != nullptr;
}

// The address of the object's table of methods: two objects with the same one are of one class.
const void* methodTable(void* object) {
    return *static_cast<void**>(object);
}

} // namespace

TEST(ComRuntime, CreatesByClassAndByEitherProgId) {
    TempConfigHome home;
    ASSERT_EQ(registerInprocClass(ClassRegistry{}, resolverAt(kResolverLibrary)), S_OK);
    RegistryComponentFactory factory;

    ComPtr<IWSResolver> byClass, byProgId, byVersionedProgId;
    ASSERT_EQ(factory.createInstance(CLSID_WSResolver, IID_IWSResolver, byClass.put()), S_OK);
    ASSERT_EQ(factory.createInstanceByProgId("WSResolver.WSResolver", IID_IWSResolver, byProgId.put()), S_OK);
    ASSERT_EQ(
        factory.createInstanceByProgId("WSResolver.WSResolver.1", IID_IWSResolver, byVersionedProgId.put()),
        S_OK);
    ASSERT_TRUE(byClass && byProgId && byVersionedProgId);
    EXPECT_NE(byClass.get(), byProgId.get()) << "each creation is a new object";
    EXPECT_EQ(methodTable(byProgId.get()), methodTable(byClass.get()));
    EXPECT_EQ(methodTable(byVersionedProgId.get()), methodTable(byClass.get()));
    EXPECT_EQ(factory.loadedLibraries(), std::vector<std::string>{kResolverLibrary}) << "loaded once";

    char name[kestrion::resolver::kHostNameChars + 1];
    EXPECT_EQ(byProgId->GetHostByAddr("not an address", name), S_OK);
    EXPECT_EQ(std::strncmp(name, "Error", 5), 0) << name;
}

TEST(ComRuntime, BrokenRegistrationsFailCleanly) {
    TempConfigHome home;
    const std::string textFile = (home.folder() / "notes.so").string();
    writeFile(textFile, "this is not a library\n");
    const std::string server = classKeyPath(CLSID_WSResolver) + "\\InprocServer32";
    struct Row {
        const char* name;
        std::function<void(const ClassRegistry&)> arrange;
        HRESULT expected;
    } rows[] = {
        {"nothing registered", [](const ClassRegistry&) {}, REGDB_E_CLASSNOTREG},
        {"class key without a server",
         [](const ClassRegistry& r) { r.createKey(classKeyPath(CLSID_WSResolver)); }, REGDB_E_CLASSNOTREG},
        {"server key without a path", [&](const ClassRegistry& r) { r.createKey(server); },
         REGDB_E_CLASSNOTREG},
        {"library file missing",
         [](const ClassRegistry& r) { registerInprocClass(r, resolverAt("/nonexistent/libResolver.so")); },
         CO_E_DLLNOTFOUND},
        {"empty library path", [&](const ClassRegistry& r) { r.setValue(server, "", ""); }, CO_E_DLLNOTFOUND},
        {"relative library path",
         [](const ClassRegistry& r) { registerInprocClass(r, resolverAt("libResolver.so")); },
         CO_E_DLLNOTFOUND},
        {"not a library", [&](const ClassRegistry& r) { registerInprocClass(r, resolverAt(textFile)); },
         CO_E_ERRORINDLL},
        {"library without the entry points",
         [](const ClassRegistry& r) { registerInprocClass(r, resolverAt(kNoExportsLibrary)); },
         CO_E_ERRORINDLL},
        {"malformed registry file", [&](const ClassRegistry& r) { writeFile(r.file(), "[" + server + "\n"); },
         REGDB_E_READREGDB},
    };
    for (const auto& row : rows) {
        std::filesystem::remove(home.registryFile());
        ClassRegistry registry;
        row.arrange(registry);
        RegistryComponentFactory factory;
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory.createInstance(CLSID_WSResolver, IID_IWSResolver, &object), row.expected)
            << row.name;
        EXPECT_EQ(object, nullptr) << row.name;
        object = reinterpret_cast<void*>(1);
        EXPECT_EQ(factory.createInstanceByProgId("WSResolver.WSResolver", IID_IWSResolver, &object),
                  registry.hasKey("WSResolver.WSResolver") ? row.expected
                  : row.expected == REGDB_E_READREGDB      ? REGDB_E_READREGDB
                                                           : CO_E_CLASSSTRING)
            << row.name;
        EXPECT_EQ(object, nullptr) << row.name;
        EXPECT_TRUE(factory.loadedLibraries().empty()) << row.name;
    }
    EXPECT_FALSE(isLoaded(kNoExportsLibrary)) << "a refused library is not kept loaded";
}

TEST(ComRuntime, AskingForAnInterfaceTheClassLacksFails) {
    TempConfigHome home;
    ASSERT_EQ(registerInprocClass(ClassRegistry{}, resolverAt(kResolverLibrary)), S_OK);
    RegistryComponentFactory factory;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory.createInstance(CLSID_WSResolver, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory.createInstance(CLSID_WSResolver, IID_IWSResolver, nullptr), E_POINTER);
    factory.freeUnusedLibraries();
    EXPECT_FALSE(isLoaded(kResolverLibrary)) << "the failed creation left no object behind";
}

TEST(ComRuntime, UnloadsTheLibraryOnlyOnceItServesNothing) {
    TempConfigHome home;
    ASSERT_EQ(registerInprocClass(ClassRegistry{}, resolverAt(kResolverLibrary)), S_OK);
    ASSERT_FALSE(isLoaded(kResolverLibrary));
    RegistryComponentFactory factory;

    ComPtr<IWSResolver> resolver;
    ASSERT_EQ(factory.createInstance(CLSID_WSResolver, IID_IWSResolver, resolver.put()), S_OK);
    factory.freeUnusedLibraries();
    EXPECT_TRUE(isLoaded(kResolverLibrary)) << "an object is alive";

    ComPtr<IClassFactory> classObject;
    ASSERT_EQ(factory.getClassObject(CLSID_WSResolver, IID_IClassFactory, classObject.put()), S_OK);
    resolver.reset();
    factory.freeUnusedLibraries();
    EXPECT_TRUE(isLoaded(kResolverLibrary)) << "a class factory is held";

    ASSERT_EQ(classObject->LockServer(true), S_OK);
    classObject.reset();
    factory.freeUnusedLibraries();
    EXPECT_TRUE(isLoaded(kResolverLibrary)) << "the server is locked";

    // Unlocking needs the factory again; the library is still the loaded one.
    ASSERT_EQ(factory.getClassObject(CLSID_WSResolver, IID_IClassFactory, classObject.put()), S_OK);
    ASSERT_EQ(classObject->LockServer(false), S_OK);
    classObject.reset();
    factory.freeUnusedLibraries();
    EXPECT_FALSE(isLoaded(kResolverLibrary));
    EXPECT_TRUE(factory.loadedLibraries().empty());

    ASSERT_EQ(factory.createInstance(CLSID_WSResolver, IID_IWSResolver, resolver.put()), S_OK)
        << "loads again";
}

TEST(ComRuntime, AnObjectOutlivesTheFactoryThatMadeIt) {
    TempConfigHome home;
    ASSERT_EQ(registerInprocClass(ClassRegistry{}, resolverAt(kResolverLibrary)), S_OK);
    ComPtr<IWSResolver> resolver;
    {
        RegistryComponentFactory factory;
        ASSERT_EQ(factory.createInstance(CLSID_WSResolver, IID_IWSResolver, resolver.put()), S_OK);
    }
    ASSERT_TRUE(isLoaded(kResolverLibrary));
    char address[kestrion::resolver::kHostNameChars + 1];
    EXPECT_EQ(resolver->GetAddrByHost("127.0.0.1", address), S_OK);
    EXPECT_STREQ(address, "127.0.0.1");
}
