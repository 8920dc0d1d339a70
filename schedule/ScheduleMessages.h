#pragma once

#include "db/ScheduleStore.h"

#include <QString>

namespace kestrion::schedule {

// The texts with which schedules are refused or expired, shared by the window's boxes and the
// command-line companion's messages.

// A schedule found past by a refresh; its box is titled " Schedule Expired".
QString expiredScheduleText(const db::StoredSchedule& schedule);
// A new schedule whose minute lies before the current one.
QString pastNewScheduleText();
// A second schedule at a stored date and time; box " Duplicate Schedule".
QString duplicateScheduleText();
// Any other failure while a schedule is added; box " Error".
QString addScheduleErrorText(int number, const QString& text);

} // namespace kestrion::schedule
