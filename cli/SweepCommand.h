#pragma once

#include "cli/Arguments.h"

namespace kestrion::cli {

struct CommandContext;

// sweep RANGE: the window's sweep, one line per answering address, optionally saved like Save.
CommandSpec sweepSpec();
int runSweep(CommandContext& context);

} // namespace kestrion::cli
