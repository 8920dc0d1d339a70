#pragma once

#include "db/ScheduleStore.h"
#include "db/pg/Connection.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace kestrion::db::pg {

// Stores a schedule for the agents of `site` (an empty site: any agent), unless one at the same date
// and time is stored already, whatever its range or site.
AddOutcome addSchedule(Connection& connection, const QDateTime& scheddate, const QString& schedip,
                       const QString& site = QString());

// Takes the earliest schedule due by the minute of `now` that the agents of `site` carry out (those
// naming that site and those naming none) and deletes it, in one statement: whichever agents ask at
// the same moment, each due schedule goes to exactly one of them, and one held by another agent's
// claim is passed over rather than waited for. nullopt when none is due.
std::optional<StoredSchedule> claimDueSchedule(Connection& connection, const QString& site,
                                               const QDateTime& now);

} // namespace kestrion::db::pg
