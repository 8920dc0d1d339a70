#pragma once

#include "db/Database.h"
#include "db/SavedRuns.h"
#include "db/SweepLog.h"

#include <QDateTime>

namespace kestrion::db {

// The stored part of SaveRun, in one transaction on an open database: finds or creates the range's
// saved run, counts the sweep, appends its rows with the run date `now` to the whole minute and logs
// the sweep.
// SaveRun adds the opening, the closing and the compaction; the benchmark times this part alone.
SaveOutcome storeSweep(Database& db, const QString& rangeText, const std::vector<ResultRow>& rows,
                       const QDateTime& now, const SweepFacts& facts = {});

} // namespace kestrion::db
