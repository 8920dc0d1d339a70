#include "cli/Commands.h"
#include "cli/Interrupt.h"
#include "platform/AppTitle.h"
#include "platform/Clock.h"
#include "platform/IcmpSocketEcho.h"
#include "platform/Settings.h"
#include "platform/com/RegistryComponentFactory.h"

#include <QCoreApplication>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The window's name: the per-user data folder of a system-wide install is named after it.
    QCoreApplication::setApplicationName(kestrion::platform::appTitle());

    kestrion::platform::IcmpSocketEcho echo;
    kestrion::platform::SystemClock clock;
    kestrion::platform::SettingsStore settings;
    kestrion::com::RegistryComponentFactory components;
    const kestrion::cli::Services services{
        echo, clock, settings, components,
        // Located only: a command prepares the data folder when it needs it, --help never does.
        kestrion::platform::AppPaths::locate(QCoreApplication::applicationDirPath())};

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
