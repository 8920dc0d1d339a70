#pragma once

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "db/DatabaseBusy.h"

#include <memory>

namespace kestrion::platform {
class InstanceLock;
}

namespace kestrion::cli {

// What one running command has: its services, console and parsed arguments, the busy depth the shared
// database operations count in, and boxes that print.
struct CommandContext {
    CommandContext(const Services& s, const Console& c, ParsedArguments a)
        : services(s), console(c), args(std::move(a)), boxes(c) {}

    const Services& services;
    const Console& console;
    ParsedArguments args;
    db::DatabaseBusy database;
    ConsoleBoxes boxes;
};

// The window's instance lock, taken for a command that changes the database: the window and another
// command never work on the file meanwhile (a save ends by replacing the file with its compacted copy).
// Null when it is held elsewhere.
std::unique_ptr<platform::InstanceLock> takeInstanceLock(const Services& services);

// The one line for a lock held elsewhere.
QString lockHeldText();

} // namespace kestrion::cli
