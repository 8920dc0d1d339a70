#pragma once

#include "db/DatabaseBusy.h"
#include "platform/AppPaths.h"

#include <cstdint>

namespace kestrion::report {

// Rebuilds the report's three work tables for one saved run, in one transaction:
// tblDistinctSuccesses (the run's distinct answering addresses), tblFreeIPReport (host addresses
// 1 to 254 of the block, "Used" or "Free", in octet order) and tblCurrentRun (the run's saved-run row).
// A run without any answering address (and run number 0) leaves all three empty.
// Opens and closes the database itself; database failures throw db::DbError.
void BuildReportTables(const platform::AppPaths& paths, db::DatabaseBusy& busy, int16_t runNo);

} // namespace kestrion::report
