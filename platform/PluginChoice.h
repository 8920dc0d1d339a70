#pragma once

#include <string>
#include <vector>

namespace kestrion::platform {

// A program started in secure mode (it carried cap_net_raw) runs with an environment and arguments
// chosen by the user who started it. Qt takes plugins from where they say (QT_PLUGIN_PATH, a style, a
// platform theme or input method by name, -platformpluginpath, ...), and a plugin's code runs inside
// this process. Such a program keeps to the plugins installed with Qt: this removes every variable and
// argument that names another plugin or another place to look for one, before Qt starts.
// Returns what was removed, for a note on standard error.
std::vector<std::string> keepOnlyInstalledPlugins(int& argc, char** argv);

// The environment variables that choose plugins or plugin folders.
const std::vector<std::string>& pluginChoosingVariables();

} // namespace kestrion::platform
