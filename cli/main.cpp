#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "platform/AppTitle.h"
#include "platform/Clock.h"
#include "platform/IcmpSocketEcho.h"
#include "platform/PrivilegeDrop.h"
#include "platform/Settings.h"
#include "platform/com/RegistryComponentFactory.h"
#include "resolver/FirstUseRegistration.h"

#include <QCoreApplication>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    // Before Qt: whatever cap_net_raw is for is opened now, and the capability is gone.
    kestrion::platform::UniqueFd raw = kestrion::platform::startWithoutPrivileges(argc, argv, "kestrion-cli");
    QCoreApplication app(argc, argv);
    // The window's name: the per-user data folder of a system-wide install is named after it.
    QCoreApplication::setApplicationName(kestrion::platform::appTitle());

    kestrion::platform::IcmpSocketEcho echo(std::move(raw),
                                            kestrion::platform::IcmpSocketEcho::SocketKind::Auto);
    kestrion::platform::SystemClock clock;
    kestrion::platform::SettingsStore settings;
    kestrion::com::RegistryComponentFactory runtime;
    // The first sweep that wants host names registers the Resolver for a user who has none.
    kestrion::resolver::RegisteringComponentFactory components(runtime,
                                                               QCoreApplication::applicationDirPath());
    kestrion::cli::Services services{
        echo, clock, settings, components,
        // Located only: a command prepares the data folder when it needs it, --help never does.
        kestrion::platform::AppPaths::locate(QCoreApplication::applicationDirPath())};
    services.database = qEnvironmentVariable("KESTRION_DATABASE");

    const kestrion::cli::InterruptScope interrupt;
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    const kestrion::cli::Console console{std::cout, std::cerr,
                                         kestrion::cli::showsProgress(STDOUT_FILENO, STDERR_FILENO),
                                         [&interrupt] { return interrupt.raised(); },
                                         terminal && ::isatty(STDIN_FILENO) == 1 ? &std::cin : nullptr};
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return kestrion::cli::runCommandLine(arguments, services, console);
}
