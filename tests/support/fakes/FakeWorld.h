#pragma once

#include "app/FatalError.h"
#include "app/Services.h"
#include "platform/Settings.h"
#include "tests/support/fakes/AppFolder.h"
#include "tests/support/fakes/FakeEcho.h"
#include "tests/support/fakes/FakeMessageBoxes.h"
#include "tests/support/fakes/FakeResolver.h"
#include "tests/support/fakes/FakeServices.h"

#include <memory>

namespace kestrion::test {

// Every service of the main window as a fake, with settings in a temporary INI file beside the
// delivered database in a temporary application (and data) folder: the window's initialisation
// lists the stored schedules. (The window keeps its own state, not `folder.busy`.)
struct FakeWorld {
    AppFolder folder;
    FakeEcho echo;
    FakeMessageBoxes boxes;
    FakeClock clock;
    FakeHostInfo host;
    FakeShell shell;
    std::unique_ptr<platform::SettingsStore> settings =
        std::make_unique<platform::SettingsStore>(folder.file("Kestrion.ini"));
    FakeComponentFactory components;
    FakeNotifier notifier;
    // Fresh per world: a test that takes the fatal path leaves the next one running.
    app::FatalPath fatal;

    // End-to-end tests put real services in place of these fakes; null keeps the fake.
    platform::EchoService* realEcho = nullptr;
    com::ComponentFactory* realComponents = nullptr;
    platform::HostInfo* realHost = nullptr;
    platform::DesktopNotifier* realNotifier = nullptr;

    app::Services services() {
        return {realEcho ? *realEcho : echo,
                boxes,
                clock,
                realHost ? *realHost : host,
                shell,
                *settings,
                realComponents ? *realComponents : components,
                folder.paths,
                realNotifier ? *realNotifier : notifier,
                fatal};
    }
};

} // namespace kestrion::test
