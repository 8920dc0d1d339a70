#pragma once

#include "app/Services.h"
#include "platform/Settings.h"
#include "tests/support/fakes/FakeEcho.h"
#include "tests/support/fakes/FakeMessageBoxes.h"
#include "tests/support/fakes/FakeResolver.h"
#include "tests/support/fakes/FakeServices.h"

#include <QTemporaryDir>
#include <memory>

namespace kestrion::test {

// Every service of the main window as a fake, with settings in a temporary INI file and the
// application and data folders in a temporary folder.
struct FakeWorld {
    QTemporaryDir dir;
    FakeEcho echo;
    FakeMessageBoxes boxes;
    FakeClock clock;
    FakeHostInfo host;
    FakeShell shell;
    std::unique_ptr<platform::SettingsStore> settings =
        std::make_unique<platform::SettingsStore>(dir.filePath(QStringLiteral("Kestrion.ini")));
    FakeComponentFactory components;

    app::Services services() {
        return {echo,  boxes,     clock,      host,
                shell, *settings, components, platform::AppPaths{dir.path(), dir.path()}};
    }
};

} // namespace kestrion::test
