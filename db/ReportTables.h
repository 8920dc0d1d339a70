#pragma once

#include "db/DatabaseBusy.h"
#include "platform/AppPaths.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace kestrion::db {

// Rebuilds the report's three work tables for one saved run, in one transaction:
// tblDistinctSuccesses (the run's distinct answering addresses), tblFreeIPReport (host addresses
// 1 to 254 of the block, "Used" or "Free", in octet order) and tblCurrentRun (the run's saved-run row).
// A run without any answering address (and run number 0) leaves all three empty.
// Opens and closes the database itself; database failures throw DbError.
void BuildReportTables(const platform::AppPaths& paths, DatabaseBusy& busy, int16_t runNo);

// What the work tables of the last BuildReportTables hold for the report, as stored.
struct ReportRows {
    QString runIP;
    QString runCreateDate; // the stored text
    QString numberOfRuns;
    QStringList freeAddresses; // qryRptIPsFree
    QStringList usedAddresses; // qryRptIPsUsed
};

// The first tblCurrentRun row with the rows of the two report views; nullopt (and the views unread)
// when tblCurrentRun is empty. Database failures throw DbError.
std::optional<ReportRows> ReadReportRows(const platform::AppPaths& paths, DatabaseBusy& busy);

} // namespace kestrion::db
