#pragma once

#include <QDateTime>
#include <QString>
#include <optional>

namespace kestrion::schedule {

// The next stored schedule, and the one the schedule dialog is making.
struct ScheduleState {
    std::optional<QDateTime> NextSchedDate; // empty: no next schedule
    QString NextSchedIP;
    QDateTime NewSchedDate;
    QString NewSchedIP;
};

} // namespace kestrion::schedule
