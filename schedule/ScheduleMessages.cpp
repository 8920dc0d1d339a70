#include "schedule/ScheduleMessages.h"

#include "platform/DateText.h"

namespace kestrion::schedule {

QString expiredScheduleText(const db::StoredSchedule& schedule) {
    return QStringLiteral("The scheduled time for this run is past.  This schedule will be deleted") +
           QLatin1Char('\r') + platform::generalDateText(schedule.scheddate) + QStringLiteral("  Address: ") +
           schedule.schedip;
}

QString pastNewScheduleText() {
    return QStringLiteral("The scheduled time for this run is past.  This schedule will not be saved. ");
}

QString duplicateScheduleText() {
    return QStringLiteral("There is already a schedule for this date and time saved.  Please try again.");
}

QString addScheduleErrorText(int number, const QString& text) {
    return QStringLiteral("An error has occurred saving this schedule.  Please try again. ") +
           QLatin1Char('\r') + QStringLiteral("If the error persists, contact customer support.") +
           QLatin1Char('\r') + QStringLiteral("Error: ") + QString::number(number) + QStringLiteral(", ") +
           text;
}

} // namespace kestrion::schedule
