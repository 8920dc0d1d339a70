#include "app/Application.h"
#include "app/Startup.h"
#include "platform/Clock.h"
#include "platform/DBusNotifier.h"
#include "platform/HostInfo.h"
#include "platform/IcmpSocketEcho.h"
#include "platform/PrivilegeDrop.h"
#include "platform/QtMessageBoxes.h"
#include "platform/Settings.h"
#include "platform/Shell.h"
#include "platform/com/RegistryComponentFactory.h"
#include "resolver/FirstUseRegistration.h"

int main(int argc, char** argv) {
    // Before Qt: whatever cap_net_raw is for is opened now, and the capability is gone before any plugin
    // can load.
    kestrion::platform::UniqueFd raw = kestrion::platform::startWithoutPrivileges(argc, argv, "kestrion");
    kestrion::app::Application app(argc, argv);
    kestrion::platform::IcmpSocketEcho echo(std::move(raw),
                                            kestrion::platform::IcmpSocketEcho::SocketKind::Auto);
    kestrion::platform::QtMessageBoxes boxes;
    app.setMessageBoxes(&boxes);
    kestrion::platform::SystemClock clock;
    kestrion::platform::SystemHostInfo host;
    kestrion::platform::DesktopShell shell;
    kestrion::platform::SettingsStore settings;
    kestrion::com::RegistryComponentFactory components;
    kestrion::platform::DBusNotifier notifier;
    // Host names for a user who has never registered the Resolver (a packaged install has no per-user step).
    kestrion::resolver::registerOnFirstUse(app.applicationDirPath());
    return kestrion::app::Main({echo, boxes, clock, host, shell, settings, components,
                                kestrion::platform::AppPaths::forExecutable(app.applicationDirPath()),
                                notifier, app.fatalPath()});
}
