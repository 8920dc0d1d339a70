#pragma once

#include "cli/Arguments.h"

namespace kestrion::cli {

struct CommandContext;

// run-due: what the window's schedule timer does in this minute, for when the window is closed.
CommandSpec runDueSpec();
int runRunDue(CommandContext& context);

} // namespace kestrion::cli
