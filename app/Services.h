#pragma once

#include "platform/AppPaths.h"

namespace kestrion::platform {
class EchoService;
class MessageBoxes;
class Clock;
class DesktopNotifier;
class HostInfo;
class Shell;
class SettingsStore;
} // namespace kestrion::platform
namespace kestrion::com {
class ComponentFactory;
}

namespace kestrion::app {

class FatalPath;

// The platform services the main window works with; real ones in main.cpp, fakes in tests.
struct Services {
    platform::EchoService& echo;
    platform::MessageBoxes& boxes;
    platform::Clock& clock;
    platform::HostInfo& host;
    platform::Shell& shell;
    platform::SettingsStore& settings;
    com::ComponentFactory& components;
    platform::AppPaths paths;
    // Desktop notifications (the changes a scheduled run found).
    platform::DesktopNotifier& notifier;
    // The application's fatal path (Application::fatalPath()); a test's world has its own.
    FatalPath& fatal;
};

} // namespace kestrion::app
