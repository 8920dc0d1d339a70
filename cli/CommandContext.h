#pragma once

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "db/DatabaseBusy.h"

#include <memory>

namespace kestrion::platform {
class DatabaseLock;
}

namespace kestrion::cli {

// What one running command has: its services, console and parsed arguments, and the busy depth the
// shared database operations count in.
struct CommandContext {
    CommandContext(const Services& s, const Console& c, ParsedArguments a)
        : services(s), console(c), args(std::move(a)) {}

    const Services& services;
    const Console& console;
    ParsedArguments args;
    db::DatabaseBusy database;
};

// The database's lock, the one the window holds, taken for a command that changes the database: the
// window and another command never work on the file meanwhile (a save ends by replacing the file with
// its compacted copy). Null after saying on standard error why it cannot be had.
std::unique_ptr<platform::DatabaseLock> lockDatabase(const CommandContext& context);

// "COMMAND: no saved run has the range 'RANGE' ..." for a range that names no saved run.
QString noSavedRunText(const QString& command, const QString& range);

// The one line for a lock held elsewhere.
QString lockHeldText();
// The one line for a lock that cannot be had at all; `detail` names the lock file and the reason.
QString noLockText(const QString& detail);

} // namespace kestrion::cli
