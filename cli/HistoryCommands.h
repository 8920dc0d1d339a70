#pragma once

#include "cli/Arguments.h"
#include "cli/Records.h"

namespace kestrion::db {
struct SweepChanges;
}

namespace kestrion::cli {

struct CommandContext;

// An address's history and the changes between sweeps, read from the sweep log.
CommandSpec historySpec();
int runHistory(CommandContext& context);
CommandSpec changesSpec();
int runChanges(CommandContext& context);

// The addresses of a run silent for at least DAYS days (report RANGE --silent-for DAYS).
int runSilentFor(CommandContext& context, const QString& range, const QString& days);

// The fields of a change record, and the records of a run's changes: range, change (new, back, gone),
// address, time_ms, earlier, later.
QList<Field> changeFields();
void writeChanges(RecordWriter& records, const QString& range, const db::SweepChanges& changes);

} // namespace kestrion::cli
