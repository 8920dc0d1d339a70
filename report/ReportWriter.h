#pragma once

#include "db/DatabaseBusy.h"
#include "platform/AppPaths.h"
#include "platform/MessageBoxes.h"
#include "platform/Shell.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace kestrion::report {

// The text followed by (width - length + 1) blanks when it is at most `width` long, else unchanged:
// width 20 makes any address of up to 20 characters exactly 21 long.
QString PadRight(const QString& text, int16_t width);

// True when the data folder followed by `name` (which begins with "/") can be opened for reading.
bool FileExists(const platform::AppPaths& paths, const QString& name);

// The values of the report's heading, already as the texts to print.
struct ReportHeading {
    QString runip;
    QString runCreated;
    QString numberOfRuns;
};

// The whole report file: 8-bit text, every line ended by CR LF, addresses three to a line.
QByteArray FormatFreeIPReport(const ReportHeading& heading, const QStringList& freeAddresses,
                              const QStringList& usedAddresses);

// The text of "Data Not Found": the last report build found no saved-run row.
QString noDataFoundText();

// The report file's bytes from the work tables of the last db::BuildReportTables; empty when tblCurrentRun
// has no row. Database failures throw db::DbError.
std::optional<QByteArray> ReadFreeIPReport(const platform::AppPaths& paths, db::DatabaseBusy& busy);

// Writes IPReport.txt in the data folder from the work tables of the last db::BuildReportTables (replacing
// whatever has that name, never writing through a link: ReplaceOwnFile) and hands it to the shell. Without a
// tblCurrentRun row it shows "Data Not Found", writes nothing and returns false. Database and file failures
// throw db::DbError.
bool WriteFreeIPReport(const platform::AppPaths& paths, db::DatabaseBusy& busy, platform::MessageBoxes& boxes,
                       platform::Shell& shell);

} // namespace kestrion::report
