#pragma once

#include "platform/AppPaths.h"

#include <QDateTime>
#include <QString>

namespace kestrion::bench {

// Two saved runs of the same size, 10.20.30.1-254 (run 1) and 10.20.31.1-254 (run 2), each with
// `sweeps` saved sweeps in which every address answered, so a run's rows have to be picked out of
// twice as many.
void fillTwoFullRuns(const platform::AppPaths& paths, int sweeps);

// What fillYearOfSweeps made.
struct YearOfSweeps {
    QString rangeText; // "10.20.30.1-254"
    int sweeps = 0;
    long long rows = 0;  // tblSuccess rows
    QDateTime lastSweep; // the time of the latest sweep (its RunDate is the whole minute)
};

// A year of hourly sweeps of 10.20.30.1-254 (24 x 365 = 8,760) saved as one run, as scheduled runs
// would have saved them: the result rows, the count and the sweep log (db::logSweep, the save's own
// logging) of each sweep, all in one transaction. About 250 of the 254 addresses answer in each sweep:
// most always, a few only now and then, some gone for a week or two and back (seeded, so every run of
// the benchmark gets the same rows). The file is compacted afterwards, as after a save.
YearOfSweeps fillYearOfSweeps(const platform::AppPaths& paths);

} // namespace kestrion::bench
