#include "platform/com/ClassRegistration.h"
#include "platform/com/ClassRegistry.h"
#include "tests/support/ComTestSupport.h"

#include <thread>
#include <vector>

using namespace kestrion::com;
using kestrion::test::readFile;
using kestrion::test::TempConfigHome;
using kestrion::test::writeFile;

namespace {

const GUID kClass = *GUID::parse("{E5A8F01F-2348-11D2-9360-0000F6606C80}");
const GUID kOtherClass = *GUID::parse("{0F0F0F0F-1111-2222-3333-444455556666}");

InprocClassInfo sampleClass(std::string path = "/opt/lib/libSample.so") {
    return {kClass, "Sample Class", "Sample.Thing.1", "Sample.Thing", "Apartment", std::move(path)};
}

} // namespace

TEST(ComRegistryTree, AwkwardTextsSurviveTheFile) {
    struct Row {
        const char* name;
        std::string key, valueName, text;
    } rows[] = {
        {"default value", "A\\B", "", "plain"},
        {"empty default", "A\\Empty", "", ""},
        {"quotes and backslashes", "Q", "Path", R"(C:\dir\"x"\)"},
        {"line breaks", "Lines", "Text", "one\ntwo\r\nthree"},
        {"equals and brackets", "K[1]", "a=b", "[x]=@"},
        {"value name like default marker", "At", "@", "not the default"},
        {"eight-bit text", "U", "Name", "gr\xc3\xbc\xc3\x9f"},
    };
    RegistryTree tree;
    for (const auto& row : rows)
        ASSERT_EQ(tree.setValue(row.key, row.valueName, row.text), S_OK) << row.name;
    ASSERT_EQ(tree.createKey("Only\\A\\Key"), S_OK);

    const auto back = RegistryTree::parse(tree.serialize());
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, tree);
    for (const auto& row : rows)
        EXPECT_EQ(back->value(row.key, row.valueName), row.text) << row.name;
    EXPECT_TRUE(back->hasKey("Only\\A\\Key"));
    EXPECT_FALSE(back->value("Only\\A\\Key"));
    EXPECT_FALSE(back->value("At")) << "a value named @ is not the default value";
}

TEST(ComRegistryTree, MalformedTextsAreRefused) {
    struct Row {
        const char* name;
        const char* text;
    } rows[] = {
        {"value before any key", "@=\"x\"\n"},      {"unterminated key", "[A\n"},
        {"empty key name", "[A\\\\B]\n"},           {"unterminated text", "[A]\n@=\"x\n"},
        {"unknown escape", "[A]\n@=\"\\q\"\n"},     {"junk after value", "[A]\n@=\"x\" y\n"},
        {"value without quotes", "[A]\n\"n\"=x\n"}, {"missing equals", "[A]\n\"n\" \"x\"\n"},
    };
    for (const auto& row : rows)
        EXPECT_FALSE(RegistryTree::parse(row.text)) << row.name;
    EXPECT_TRUE(RegistryTree::parse("; comment\r\n\r\n[A]\r\n@=\"x\"\r\n")) << "CRLF lines and comments";
}

TEST(ComRegistryTree, NamesCompareWithoutLetterCase) {
    RegistryTree tree;
    ASSERT_EQ(tree.setValue("CLSID\\{ABC}\\InprocServer32", "ThreadingModel", "Apartment"), S_OK);
    EXPECT_EQ(tree.value("clsid\\{abc}\\INPROCSERVER32", "threadingmodel"), "Apartment");
    ASSERT_EQ(tree.setValue("Clsid\\{aBc}\\inprocserver32", "THREADINGMODEL", "Both"), S_OK);
    EXPECT_EQ(tree.valueNames("CLSID\\{ABC}\\InprocServer32").size(), 1u);
    EXPECT_EQ(tree.subkeys("CLSID"), std::vector<std::string>{"{ABC}"}) << "first spelling kept";
    EXPECT_TRUE(tree.hasKey("clsid")) << "writing a value creates every key on its path";
}

TEST(ComRegistryTree, InvalidPathsAreRefused) {
    RegistryTree tree;
    for (const char* bad : {"", "\\A", "A\\", "A\\\\B", "A\nB"})
        EXPECT_EQ(tree.createKey(bad), E_INVALIDARG) << bad;
    EXPECT_EQ(tree.setValue("A", "line\nbreak", "x"), E_INVALIDARG);
    EXPECT_EQ(tree, RegistryTree{});
}

TEST(ComRegistryTree, DeletingAKeyTakesItsSubkeysAndNothingElse) {
    RegistryTree tree;
    for (const char* key : {"A", "A\\X", "A\\X\\Y", "A.1", "A.1\\CLSID", "A-b", "AB", "A B\\Z"})
        ASSERT_EQ(tree.createKey(key), S_OK);
    EXPECT_TRUE(tree.deleteKey("a"));
    for (const char* gone : {"A", "A\\X", "A\\X\\Y"})
        EXPECT_FALSE(tree.hasKey(gone)) << gone;
    for (const char* kept : {"A.1", "A.1\\CLSID", "A-b", "AB", "A B\\Z"})
        EXPECT_TRUE(tree.hasKey(kept)) << kept;
    EXPECT_FALSE(tree.deleteKey("A"));
}

TEST(ComRegistryFile, LivesUnderTheUsersConfigurationFolder) {
    const char* oldHome = std::getenv("HOME");
    const std::string home = oldHome ? oldHome : "";
    struct Row {
        const char* name;
        const char* xdg;
        const char* expected;
    } rows[] = {
        {"XDG_CONFIG_HOME set", "/tmp/cfg", "/tmp/cfg/Kestrion/classes.reg"},
        {"relative XDG_CONFIG_HOME ignored", "cfg", "/home/u/.config/Kestrion/classes.reg"},
        {"empty XDG_CONFIG_HOME ignored", "", "/home/u/.config/Kestrion/classes.reg"},
        {"unset", nullptr, "/home/u/.config/Kestrion/classes.reg"},
    };
    TempConfigHome restoreXdg;
    ::setenv("HOME", "/home/u", 1);
    for (const auto& row : rows) {
        if (row.xdg)
            ::setenv("XDG_CONFIG_HOME", row.xdg, 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(defaultClassRegistryPath(), std::filesystem::path(row.expected)) << row.name;
    }
    ::setenv("HOME", home.c_str(), 1);
}

TEST(ComRegistryFile, ChangesAreRewrittenWholeAndAFailedChangeWritesNothing) {
    TempConfigHome home;
    ClassRegistry registry;
    EXPECT_EQ(registry.file(), home.registryFile());

    RegistryTree empty;
    EXPECT_EQ(registry.read(empty), S_OK) << "a missing file is an empty registry";
    EXPECT_FALSE(std::filesystem::exists(home.registryFile()));

    ASSERT_EQ(registry.setValue("A\\B", "N", "v"), S_OK);
    EXPECT_EQ(registry.value("a\\b", "n"), "v");
    const std::string before = readFile(home.registryFile());

    EXPECT_EQ(registry.update([](RegistryTree& tree) {
        tree.deleteKey("A");
        return E_FAIL;
    }),
              E_FAIL);
    EXPECT_EQ(readFile(home.registryFile()), before);

    ASSERT_EQ(registry.deleteKey("A"), S_OK);
    EXPECT_FALSE(registry.hasKey("A\\B"));
    EXPECT_EQ(registry.deleteKey("A"), S_FALSE);
    for (const auto& entry : std::filesystem::directory_iterator(home.registryFile().parent_path()))
        EXPECT_NE(entry.path().extension(), ".new") << "no half-written file left behind";
}

TEST(ComRegistryFile, AMalformedFileIsNeitherTrustedNorOverwritten) {
    TempConfigHome home;
    const std::string garbage = "[Broken\nnot a registry\n";
    writeFile(home.registryFile(), garbage);
    ClassRegistry registry;
    RegistryTree tree;
    EXPECT_EQ(registry.read(tree), REGDB_E_READREGDB);
    EXPECT_EQ(registry.setValue("A", "", "x"), REGDB_E_READREGDB);
    EXPECT_EQ(registerInprocClass(registry, sampleClass()), REGDB_E_READREGDB);
    EXPECT_EQ(readFile(home.registryFile()), garbage);
}

TEST(ComRegistryFile, AnUnwritableFolderGivesAFailureNotACrash) {
    TempConfigHome home;
    writeFile(home.folder() / "file", "x");
    ClassRegistry registry(home.folder() / "file" / "Kestrion" / "classes.reg");
    EXPECT_EQ(registry.setValue("A", "", "x"), REGDB_E_WRITEREGDB);
    EXPECT_FALSE(registry.hasKey("A"));
}

TEST(ComRegistryFile, ConcurrentWritersLoseNoKeys) {
    TempConfigHome home;
    constexpr int kWriters = 4, kKeysEach = 15;
    std::vector<std::thread> writers;
    writers.reserve(kWriters);
    for (int w = 0; w < kWriters; ++w)
        writers.emplace_back([w] {
            ClassRegistry registry;
            for (int k = 0; k < kKeysEach; ++k)
                EXPECT_EQ(registry.setValue("W" + std::to_string(w) + "\\K" + std::to_string(k), "", "x"),
                          S_OK);
        });
    for (auto& t : writers)
        t.join();
    RegistryTree tree;
    ASSERT_EQ(ClassRegistry().read(tree), S_OK);
    for (int w = 0; w < kWriters; ++w)
        EXPECT_EQ(tree.subkeys("W" + std::to_string(w)).size(), size_t(kKeysEach)) << "writer " << w;
}

TEST(ComRegistration, WritesTheClassAndBothProgIds) {
    TempConfigHome home;
    ClassRegistry registry;
    ASSERT_EQ(registerInprocClass(registry, sampleClass()), S_OK);
    const std::string cls = "CLSID\\{E5A8F01F-2348-11D2-9360-0000F6606C80}";
    struct Row {
        std::string key, name, expected;
    } rows[] = {
        {"Sample.Thing.1", "", "Sample Class"},
        {"Sample.Thing.1\\CLSID", "", "{E5A8F01F-2348-11D2-9360-0000F6606C80}"},
        {"Sample.Thing", "", "Sample Class"},
        {"Sample.Thing\\CurVer", "", "Sample.Thing.1"},
        {cls, "", "Sample Class"},
        {cls + "\\ProgID", "", "Sample.Thing.1"},
        {cls + "\\VersionIndependentProgID", "", "Sample.Thing"},
        {cls + "\\InprocServer32", "", "/opt/lib/libSample.so"},
        {cls + "\\InprocServer32", "ThreadingModel", "Apartment"},
    };
    RegistryTree tree;
    ASSERT_EQ(registry.read(tree), S_OK);
    for (const auto& row : rows)
        EXPECT_EQ(tree.value(row.key, row.name), row.expected) << row.key << " " << row.name;
    EXPECT_TRUE(tree.hasKey(cls + "\\Programmable"));
    EXPECT_TRUE(tree.valueNames(cls + "\\Programmable").empty());
}

TEST(ComRegistration, RegisteringAgainReplacesTheClassKeyWhole) {
    TempConfigHome home;
    ClassRegistry registry;
    ASSERT_EQ(registerInprocClass(registry, sampleClass()), S_OK);
    RegistryTree once;
    ASSERT_EQ(registry.read(once), S_OK);
    ASSERT_EQ(registerInprocClass(registry, sampleClass()), S_OK);
    RegistryTree twice;
    ASSERT_EQ(registry.read(twice), S_OK);
    EXPECT_EQ(twice, once);
    EXPECT_EQ(twice.subkeys("CLSID").size(), 1u);

    // Left-overs of an older registration inside the class key go; a moved library is followed.
    const std::string cls = classKeyPath(kClass);
    ASSERT_EQ(registry.setValue(cls + "\\TypeLib", "", "{old}"), S_OK);
    ASSERT_EQ(registry.setValue(cls + "\\Programmable", "Stale", "1"), S_OK);
    ASSERT_EQ(registerInprocClass(registry, sampleClass("/new/place/libSample.so")), S_OK);
    RegistryTree moved;
    ASSERT_EQ(registry.read(moved), S_OK);
    EXPECT_FALSE(moved.hasKey(cls + "\\TypeLib"));
    EXPECT_TRUE(moved.valueNames(cls + "\\Programmable").empty());
    EXPECT_EQ(moved.value(cls + "\\InprocServer32"), "/new/place/libSample.so");
}

TEST(ComRegistration, UnregisteringLeavesTheClsidRootAndOtherClasses) {
    TempConfigHome home;
    ClassRegistry registry;
    ASSERT_EQ(registry.setValue(classKeyPath(kOtherClass) + "\\InprocServer32", "", "/other.so"), S_OK);
    ASSERT_EQ(registerInprocClass(registry, sampleClass()), S_OK);
    ASSERT_EQ(unregisterInprocClass(registry, sampleClass()), S_OK);
    RegistryTree tree;
    ASSERT_EQ(registry.read(tree), S_OK);
    for (const std::string& gone :
         {std::string("Sample.Thing.1"), std::string("Sample.Thing"), classKeyPath(kClass)})
        EXPECT_FALSE(tree.hasKey(gone)) << gone;
    EXPECT_TRUE(tree.hasKey("CLSID"));
    EXPECT_EQ(tree.value(classKeyPath(kOtherClass) + "\\InprocServer32"), "/other.so");

    ASSERT_EQ(unregisterInprocClass(registry, sampleClass()), S_OK) << "nothing left to remove";
    EXPECT_TRUE(registry.hasKey("CLSID"));
}

TEST(ComRegistration, EitherProgIdNamesTheSameClass) {
    TempConfigHome home;
    ClassRegistry registry;
    ASSERT_EQ(registerInprocClass(registry, sampleClass()), S_OK);
    ASSERT_EQ(registry.setValue("Bad.Guid\\CLSID", "", "{not-a-guid}"), S_OK);
    ASSERT_EQ(registry.setValue("Dangling\\CurVer", "", "Nowhere.1"), S_OK);
    ASSERT_EQ(registry.createKey("Bare"), S_OK);
    struct Row {
        const char* progId;
        HRESULT expected;
    } rows[] = {
        {"Sample.Thing.1", S_OK},       {"Sample.Thing", S_OK},
        {"sample.thing", S_OK},         {"Unknown.Thing", CO_E_CLASSSTRING},
        {"", CO_E_CLASSSTRING},         {"Bad.Guid", CO_E_CLASSSTRING},
        {"Dangling", CO_E_CLASSSTRING}, {"Bare", CO_E_CLASSSTRING},
    };
    for (const auto& row : rows) {
        GUID clsid;
        EXPECT_EQ(clsidFromProgId(registry, row.progId, clsid), row.expected) << row.progId;
        if (row.expected == S_OK) {
            EXPECT_EQ(clsid, kClass) << row.progId;
        }
    }
}
