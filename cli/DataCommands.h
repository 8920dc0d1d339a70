#pragma once

#include "cli/Arguments.h"

namespace kestrion::cli {

struct CommandContext;

// The commands on saved runs, the report and schedules.
CommandSpec runsSpec();
int runRuns(CommandContext& context);
CommandSpec reportSpec();
int runReport(CommandContext& context);
CommandSpec schedulesSpec();
int runSchedules(CommandContext& context);
CommandSpec scheduleAddSpec();
int runScheduleAdd(CommandContext& context);
CommandSpec scheduleDeleteSpec();
int runScheduleDelete(CommandContext& context);

// Refreshes the schedule store as the window does after a change: schedules whose minute has passed are
// deleted, each listed on standard error with the text of the window's " Schedule Expired" box. With
// `before`: the schedules whose minute lies before the minute of `before` instead.
void expirePastSchedules(CommandContext& context, const std::optional<QDateTime>& before = std::nullopt);

} // namespace kestrion::cli
