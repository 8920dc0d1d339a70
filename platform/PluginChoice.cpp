#include "platform/PluginChoice.h"

#include <cstdlib>
#include <cstring>

namespace kestrion::platform {

namespace {

struct PluginArgument {
    const char* name;
    bool takesValue;
};

// Arguments QGuiApplication and QApplication read to choose plugins; each also comes as "-name=value"
// and with a doubled dash.
constexpr PluginArgument pluginArguments[] = {
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"style", true},
};

// The argument's name without its dashes, or nullptr for one that is not an option.
const char* optionName(const char* argument) {
    if (argument[0] != '-')
        return nullptr;
    return argument[1] == '-' ? argument + 2 : argument + 1;
}

// How many entries of argv, from this one, choose a plugin (0 when it does not).
int pluginArgumentLength(char** argv, int index, int argc) {
    const char* name = optionName(argv[index]);
    if (!name)
        return 0;
    for (const PluginArgument& option : pluginArguments) {
        const size_t length = std::strlen(option.name);
        if (std::strncmp(name, option.name, length) != 0)
            continue;
        if (name[length] == '=')
            return 1;
        if (name[length] == '\0')
            return option.takesValue && index + 1 < argc ? 2 : 1;
    }
    return 0;
}

} // namespace

const std::vector<std::string>& pluginChoosingVariables() {
    static const std::vector<std::string> variables{
        "QT_PLUGIN_PATH",
        "QT_QPA_PLATFORM_PLUGIN_PATH",
        "QT_QPA_PLATFORMTHEME",
        "QT_QPA_GENERIC_PLUGINS",
        "QT_IM_MODULE",
        "QT_IM_MODULES",
        "QT_STYLE_OVERRIDE",
        "QT_XCB_GL_INTEGRATION",
        "QT_WAYLAND_SHELL_INTEGRATION",
        "QT_WAYLAND_CLIENT_BUFFER_INTEGRATION",
        "QT_WAYLAND_DECORATION",
        "QT_ACCESSIBILITY_PLUGIN",
        // A platform theme from Qt's own folder may load GTK, which takes modules from these.
        "GTK_MODULES",
        "GTK3_MODULES",
        "GTK_PATH",
        "GTK_IM_MODULE",
        "GTK_IM_MODULE_FILE",
    };
    return variables;
}

std::vector<std::string> keepOnlyInstalledPlugins(int& argc, char** argv) {
    std::vector<std::string> removed;
    for (const std::string& variable : pluginChoosingVariables()) {
        if (std::getenv(variable.c_str())) {
            ::unsetenv(variable.c_str());
            removed.push_back(variable);
        }
    }
    int kept = argc > 0 ? 1 : 0;
    for (int i = kept; i < argc;) {
        const int length = pluginArgumentLength(argv, i, argc);
        if (length == 0) {
            argv[kept++] = argv[i++];
            continue;
        }
        removed.emplace_back(argv[i]);
        i += length;
    }
    argc = kept;
    argv[argc] = nullptr;
    return removed;
}

} // namespace kestrion::platform
