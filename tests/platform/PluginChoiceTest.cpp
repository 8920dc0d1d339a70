// What a capable program keeps of its environment and arguments before Qt starts: nothing that names a
// plugin or a place to look for one; everything else, in order.
#include "platform/PluginChoice.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace kestrion::test {
namespace {

std::vector<std::string> keptArguments(std::vector<std::string> args) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(args.size());
    platform::keepOnlyInstalledPlugins(argc, argv.data());
    EXPECT_EQ(argv[static_cast<size_t>(argc)], nullptr) << "argv stays terminated";
    return {argv.begin(), argv.begin() + argc};
}

TEST(PluginChoice, ArgumentsThatChoosePluginsGoWithTheirValuesOthersStayInOrder) {
    using Args = std::vector<std::string>;
    const struct {
        Args given;
        Args kept;
    } rows[] = {
        {{"kestrion"}, {"kestrion"}},
        {{"kestrion", "-platformpluginpath", "/home/u/p"}, {"kestrion"}},
        {{"kestrion", "--platformpluginpath=/home/u/p", "-reverse"}, {"kestrion", "-reverse"}},
        {{"kestrion", "-style", "mystyle", "-reverse"}, {"kestrion", "-reverse"}},
        {{"kestrion", "-style=mystyle"}, {"kestrion"}},
        {{"kestrion", "-platformtheme", "t", "-plugin", "evdevmouse"}, {"kestrion"}},
        // Not plugins: a style sheet is read as text; the platform is chosen among Qt's own plugins.
        {{"kestrion", "-stylesheet", "a.qss", "-platform", "offscreen"},
         {"kestrion", "-stylesheet", "a.qss", "-platform", "offscreen"}},
        // A value that only looks like an option is still the value.
        {{"kestrion", "-style", "-reverse", "x"}, {"kestrion", "x"}},
        // Nothing after the name: the name alone goes.
        {{"kestrion", "x", "-style"}, {"kestrion", "x"}},
        {{"kestrion", "styles", "plugin"}, {"kestrion", "styles", "plugin"}},
    };
    for (const auto& row : rows) {
        std::string given;
        for (const std::string& arg : row.given)
            given += arg + ' ';
        EXPECT_EQ(keptArguments(row.given), row.kept) << given;
    }
}

TEST(PluginChoice, EveryPluginChoosingVariableIsRemovedAndOthersKept) {
    for (const std::string& variable : platform::pluginChoosingVariables())
        ::setenv(variable.c_str(), "/home/u/p", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("KESTRION_UNRELATED", "kept", 1);
    std::string program = "kestrion";
    char* argv[] = {program.data(), nullptr};
    int argc = 1;
    const std::vector<std::string> removed = platform::keepOnlyInstalledPlugins(argc, argv);
    EXPECT_EQ(removed, platform::pluginChoosingVariables());
    for (const std::string& variable : platform::pluginChoosingVariables())
        EXPECT_EQ(std::getenv(variable.c_str()), nullptr) << variable;
    for (const char* variable : {"QT_PLUGIN_PATH", "QT_QPA_PLATFORM_PLUGIN_PATH", "QT_QPA_PLATFORMTHEME",
                                 "QT_QPA_GENERIC_PLUGINS", "QT_IM_MODULE", "QT_STYLE_OVERRIDE"})
        EXPECT_EQ(std::getenv(variable), nullptr) << variable << " is one of the ways in";
    EXPECT_STREQ(std::getenv("QT_QPA_PLATFORM"), "offscreen");
    EXPECT_STREQ(std::getenv("KESTRION_UNRELATED"), "kept");
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("KESTRION_UNRELATED");
}

} // namespace
} // namespace kestrion::test
