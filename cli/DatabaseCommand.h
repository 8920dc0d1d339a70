#pragma once

#include "cli/Arguments.h"

namespace kestrion::cli {

struct CommandContext;

// kestrion-cli database init: makes or upgrades the tables of a shared PostgreSQL store.
CommandSpec databaseInitSpec();
int runDatabaseInit(CommandContext& context);

} // namespace kestrion::cli
