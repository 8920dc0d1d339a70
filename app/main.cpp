#include "app/Application.h"
#include "app/ResolverFirstStart.h"
#include "app/Startup.h"
#include "platform/Clock.h"
#include "platform/HostInfo.h"
#include "platform/IcmpSocketEcho.h"
#include "platform/QtMessageBoxes.h"
#include "platform/Settings.h"
#include "platform/Shell.h"
#include "platform/com/RegistryComponentFactory.h"

int main(int argc, char** argv) {
    kestrion::app::Application app(argc, argv);
    kestrion::platform::IcmpSocketEcho echo;
    kestrion::platform::QtMessageBoxes boxes;
    app.setMessageBoxes(&boxes);
    kestrion::platform::SystemClock clock;
    kestrion::platform::SystemHostInfo host;
    kestrion::platform::DesktopShell shell;
    kestrion::platform::SettingsStore settings;
    kestrion::com::RegistryComponentFactory components;
    // Host names for a user who has never registered the Resolver (a packaged install has no per-user step).
    kestrion::app::registerResolverOnFirstStart(app.applicationDirPath());
    return kestrion::app::Main({echo, boxes, clock, host, shell, settings, components,
                                kestrion::platform::AppPaths::forExecutable(app.applicationDirPath()),
                                app.fatalPath()});
}
