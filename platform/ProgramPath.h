#pragma once

#include <string>

namespace kestrion::platform {

// The running program's file (/proc/self/exe), for texts that tell the user a command to run on it.
std::string programPath();

// The folder that holds it: the application folder.
std::string programFolder();

} // namespace kestrion::platform
