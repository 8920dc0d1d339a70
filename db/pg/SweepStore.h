#pragma once

#include "db/SavedRuns.h"
#include "db/SweepLog.h"
#include "db/pg/Connection.h"

#include <QDateTime>
#include <vector>

namespace kestrion::db::pg {

// Saving a sweep on the shared store, in one transaction: finds or creates the range's saved run,
// counts the sweep, appends its rows with the run date `now` to the whole minute and logs it, as
// the SQLite file's save does. Agents of several machines may save at once: a new run gets the
// lowest free run number without two agents taking the same one, and every sweep is counted once.
// A failure (the server gone in the middle) throws PgError and stores nothing of the sweep.
SaveOutcome storeSweep(Connection& connection, const QString& rangeText, const std::vector<ResultRow>& rows,
                       const QDateTime& now, const SweepFacts& facts = {});

} // namespace kestrion::db::pg
