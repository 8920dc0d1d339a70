#pragma once

#include "cli/Console.h"
#include "platform/AppPaths.h"

#include <QString>
#include <QStringList>
#include <chrono>

namespace kestrion::platform {
class EchoService;
class Clock;
class SettingsStore;
} // namespace kestrion::platform
namespace kestrion::com {
class ComponentFactory;
}

namespace kestrion::cli {

// The services the commands work with: the same as the window's, real ones in main.cpp, fakes in tests.
struct Services {
    platform::EchoService& echo;
    platform::Clock& clock;
    platform::SettingsStore& settings;
    com::ComponentFactory& components;
    platform::AppPaths paths;
    // How long run-due waits for another command that holds the database's lock.
    std::chrono::milliseconds lockWait = std::chrono::hours(1);
    // The shared store's connection string from the environment (KESTRION_DATABASE); empty: the
    // SQLite file of the application folder.
    QString database = QString();
};

// Runs one command line (without the program name) and returns the exit status. Never throws: a
// database or file failure is one line with its number and text and status 1; a compaction that
// failed after its sweep was stored adds a line saying so and gives status 3.
int runCommandLine(const QStringList& arguments, const Services& services, const Console& console);

} // namespace kestrion::cli
