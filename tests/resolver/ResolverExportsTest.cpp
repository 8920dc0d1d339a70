#include "ResolverLibrary.h"
#include "platform/com/ClassRegistration.h"
#include "tests/support/ComTestSupport.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>

using namespace kestrion::com;
using namespace kestrion::resolver;
using kestrion::test::readFile;
using kestrion::test::ResolverLibrary;
using kestrion::test::TempConfigHome;
using kestrion::test::writeFile;

namespace {

const GUID IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID kUnknownGuid{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

std::string realPath(const char* path) {
    return std::filesystem::canonical(path).string();
}

} // namespace

TEST(ResolverExports, ClassObjectCodes) {
    ResolverLibrary library;
    ASSERT_TRUE(library.complete());
    struct Row {
        const char* name;
        GUID clsid, iid;
        bool withResult;
        HRESULT expected;
    } rows[] = {
        {"class factory", CLSID_WSResolver, IID_IClassFactory, true, S_OK},
        {"its IUnknown", CLSID_WSResolver, IID_IUnknown, true, S_OK},
        {"other class", kUnknownGuid, IID_IClassFactory, true, CLASS_E_CLASSNOTAVAILABLE},
        {"interface id as class", IID_IWSResolver, IID_IClassFactory, true, CLASS_E_CLASSNOTAVAILABLE},
        {"object interface from the factory", CLSID_WSResolver, IID_IWSResolver, true, E_NOINTERFACE},
        {"no result pointer", CLSID_WSResolver, IID_IClassFactory, false, E_POINTER},
        {"no result pointer, other class", kUnknownGuid, IID_IClassFactory, false, E_POINTER},
    };
    for (const auto& row : rows) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(library.getClassObject(row.clsid, row.iid, row.withResult ? &object : nullptr),
                  row.expected)
            << row.name;
        if (!row.withResult)
            continue;
        EXPECT_EQ(object != nullptr, Succeeded(row.expected)) << row.name;
        if (object)
            static_cast<IUnknown*>(object)->Release();
    }
    EXPECT_EQ(library.canUnloadNow(), S_OK) << "every reference taken above was given back";
}

TEST(ResolverExports, TheClassFactoryIsMadeOnceAndKept) {
    ResolverLibrary library;
    ComPtr<IClassFactory> first, second;
    ASSERT_EQ(library.getClassObject(CLSID_WSResolver, IID_IClassFactory, first.put()), S_OK);
    ASSERT_EQ(library.getClassObject(CLSID_WSResolver, IID_IClassFactory, second.put()), S_OK);
    EXPECT_EQ(first.get(), second.get());
    second.reset();
    first.reset();
    ASSERT_EQ(library.getClassObject(CLSID_WSResolver, IID_IClassFactory, first.put()), S_OK);
    void* again = nullptr;
    ASSERT_EQ(library.getClassObject(CLSID_WSResolver, IID_IUnknown, &again), S_OK);
    EXPECT_EQ(again, static_cast<IUnknown*>(first.get())) << "kept after every user let go";
    static_cast<IUnknown*>(again)->Release();

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(first->CreateInstance(first.get(), IID_IWSResolver, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(first->CreateInstance(nullptr, IID_IWSResolver, nullptr), E_POINTER);
}

TEST(ResolverExports, ObjectAnswersOnlyItsOwnInterfaces) {
    ResolverLibrary library;
    ComPtr<IWSResolver> resolver = library.create();
    ASSERT_TRUE(resolver);
    struct Row {
        const char* name;
        GUID iid;
        HRESULT expected;
    } rows[] = {
        {"IUnknown", IID_IUnknown, S_OK},
        {"IWSResolver", IID_IWSResolver, S_OK},
        {"IClassFactory", IID_IClassFactory, E_NOINTERFACE},
        {"IDispatch", IID_IDispatch, E_NOINTERFACE},
        {"unknown", kUnknownGuid, E_NOINTERFACE},
    };
    for (const auto& row : rows) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(resolver->QueryInterface(row.iid, &object), row.expected) << row.name;
        if (Succeeded(row.expected)) {
            EXPECT_EQ(object, static_cast<IUnknown*>(resolver.get())) << row.name;
            static_cast<IUnknown*>(object)->Release();
        } else {
            EXPECT_EQ(object, nullptr) << row.name;
        }
    }
    EXPECT_EQ(resolver->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(resolver->GetHostByAddr("1.2.3.4", nullptr), E_POINTER);
    EXPECT_EQ(resolver->GetAddrByHost("localhost", nullptr), E_POINTER);
}

TEST(ResolverExports, UnloadableOnlyWithoutObjectsAndLocks) {
    ResolverLibrary library;
    EXPECT_EQ(library.canUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(library.getClassObject(CLSID_WSResolver, IID_IClassFactory, factory.put()), S_OK);
    EXPECT_EQ(library.canUnloadNow(), S_FALSE) << "a user holds the class factory";

    IWSResolver* one = nullptr;
    IWSResolver* two = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IWSResolver, reinterpret_cast<void**>(&one)), S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IWSResolver, reinterpret_cast<void**>(&two)), S_OK);
    factory.reset();
    EXPECT_EQ(library.canUnloadNow(), S_FALSE);

    EXPECT_EQ(one->AddRef(), 2u);
    EXPECT_EQ(one->Release(), 1u);
    EXPECT_EQ(one->Release(), 0u);
    EXPECT_EQ(library.canUnloadNow(), S_FALSE) << "the second object lives";
    EXPECT_EQ(two->Release(), 0u);
    EXPECT_EQ(library.canUnloadNow(), S_OK);

    ASSERT_EQ(library.getClassObject(CLSID_WSResolver, IID_IClassFactory, factory.put()), S_OK);
    ASSERT_EQ(factory->LockServer(true), S_OK);
    ASSERT_EQ(factory->LockServer(true), S_OK);
    factory.reset();
    EXPECT_EQ(library.canUnloadNow(), S_FALSE) << "two locks";
    ASSERT_EQ(library.getClassObject(CLSID_WSResolver, IID_IClassFactory, factory.put()), S_OK);
    ASSERT_EQ(factory->LockServer(false), S_OK);
    factory.reset();
    EXPECT_EQ(library.canUnloadNow(), S_FALSE) << "one lock left";
    ASSERT_EQ(library.getClassObject(CLSID_WSResolver, IID_IClassFactory, factory.put()), S_OK);
    ASSERT_EQ(factory->LockServer(false), S_OK);
    factory.reset();
    EXPECT_EQ(library.canUnloadNow(), S_OK);
}

TEST(ResolverExports, RegistersItselfByItsOwnPath) {
    TempConfigHome home;
    ResolverLibrary library;
    ASSERT_EQ(library.registerServer(), S_OK);
    ClassRegistry registry;
    EXPECT_EQ(registry.value(classKeyPath(CLSID_WSResolver) + "\\InprocServer32"),
              realPath(RESOLVER_LIBRARY));
    EXPECT_EQ(registry.value(classKeyPath(CLSID_WSResolver) + "\\InprocServer32", "ThreadingModel"),
              "Apartment");
    EXPECT_EQ(registry.value("WSResolver.WSResolver\\CurVer"), "WSResolver.WSResolver.1");
    EXPECT_EQ(registry.value("WSResolver.WSResolver.1\\CLSID"), CLSID_WSResolver.toString());
    const std::string once = readFile(home.registryFile());
    ASSERT_EQ(library.registerServer(), S_OK);
    EXPECT_EQ(readFile(home.registryFile()), once) << "registering twice changes nothing";

    EXPECT_EQ(library.unregisterServer(), S_OK);
    EXPECT_TRUE(registry.hasKey("CLSID"));
    EXPECT_FALSE(registry.hasKey(classKeyPath(CLSID_WSResolver)));
    EXPECT_FALSE(registry.hasKey("WSResolver.WSResolver"));
    EXPECT_FALSE(registry.hasKey("WSResolver.WSResolver.1"));
    EXPECT_EQ(library.unregisterServer(), S_OK) << "nothing left to remove is no failure";
}

TEST(ResolverExports, RegistrationThatCannotBeWrittenFails) {
    TempConfigHome home;
    ResolverLibrary library;
    // The configuration folder is a plain file, so nothing can be created under it.
    const std::string blocked = (home.folder() / "blocked").string();
    writeFile(blocked, "x");
    ::setenv("XDG_CONFIG_HOME", blocked.c_str(), 1);
    EXPECT_TRUE(Failed(library.registerServer()));
    EXPECT_TRUE(Failed(library.unregisterServer()));
}

namespace {

struct ToolRun {
    int exitCode;
    std::string output;
};

ToolRun runTool(const std::string& arguments) {
    const std::string command = std::string(KREGSVR_TOOL) + " " + arguments + " 2>&1";
    ToolRun run{-1, {}};
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return run;
    std::array<char, 256> chunk;
    while (size_t n = std::fread(chunk.data(), 1, chunk.size(), pipe))
        run.output.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace

TEST(ResolverRegistrationTool, RegistersUnregistersAndExplainsFailures) {
    TempConfigHome home;
    const std::string notALibrary = (home.folder() / "readme.so").string();
    writeFile(notALibrary, "text");
    struct Row {
        const char* name;
        std::string arguments;
        int exitCode;
        const char* saying;
        bool registeredAfter;
    } rows[] = {
        {"register", RESOLVER_LIBRARY, 0, "registered", true},
        {"register again", RESOLVER_LIBRARY, 0, "registered", true},
        {"missing file", "/nonexistent/libX.so", 1, "no such library file", true},
        {"not a library", notALibrary, 1, "cannot load", true},
        {"no entry points", NO_EXPORTS_LIBRARY, 1, "no DllRegisterServer entry point", true},
        {"no entry points, unregistering", std::string("-u ") + NO_EXPORTS_LIBRARY, 1,
         "no DllUnregisterServer entry point", true},
        {"no arguments", "", 2, "usage", true},
        {"two libraries", std::string(RESOLVER_LIBRARY) + " " + RESOLVER_LIBRARY, 2, "usage", true},
        {"unregister", std::string("-u ") + RESOLVER_LIBRARY, 0, "unregistered", false},
    };
    for (const auto& row : rows) {
        const ToolRun run = runTool(row.arguments);
        EXPECT_EQ(run.exitCode, row.exitCode) << row.name << ": " << run.output;
        EXPECT_NE(run.output.find(row.saying), std::string::npos) << row.name << ": " << run.output;
        EXPECT_EQ(ClassRegistry().hasKey(classKeyPath(CLSID_WSResolver)), row.registeredAfter) << row.name;
    }
}
